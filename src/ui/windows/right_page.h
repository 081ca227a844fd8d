#pragma once

#include <QPointer>
#include <QWidget>

#include <string>
#include <vector>

#include "ui/session/core_session.h"
#include "ui/toolkit/notify_msg_dlg.h"

namespace zorvex::ui {

class CSetContentDlg;

// What the main window asks of the page right of the left menu (the
// fly-screen page, CRightVideoDlg) and hears from it. The page owns the title
// band, the three views, the toast and the settings page.
//
// The close request is decided here, once for every page, by the stored
// exit choice: ask with the exit prompt, hide to the tray, or quit. Quitting stops
// running conversions quietly, lets the page wind down its own workers
// (PrepareQuit) and then asks the main window to close for good.
//
// The fly-screen page derives from this class; a main window over a session
// without a library shows a PlaceholderPage instead.
// GUI thread only; the main window owns the page.
class RightPage : public QWidget {
    Q_OBJECT
public:
    enum View { ViewLibrary = 0, ViewConvert = 1, ViewSettings = 2 };
    static constexpr int kLeft = 160;  // the page's x in the main window

    RightPage(QWidget* owner, CoreSession& session);
    ~RightPage() override;

    // Lays the page out for its size. Called once, right after creation.
    virtual void Layout() = 0;
    // Shows a view's content and buttons; other values change only view().
    virtual void SwitchView(int view) = 0;
    // Shows the toast with a code of CMsgBoxDlg.
    virtual void ShowToast(int code) = 0;
    // The settings page, whose "检测更新" the main window answers.
    virtual CSetContentDlg* settingsPage() const = 0;
    // The page's own part of quitting: the phone counter ends, the address
    // menu and the card list are marked closing. The main window calls it
    // too, before it quits after a successful update download.
    virtual void PrepareQuit() = 0;

    // The page's close button, the tray menu's "关闭" and a close from the
    // window manager while the main window is not closing yet.
    virtual void CloseRequest();

    // Files and folders dropped on the window outside the library view; the
    // library view is shown and takes them as a drop on it. A page without
    // a library refuses them.
    virtual bool TakesDrops() const { return false; }
    virtual void AddDropped(const std::vector<std::string>& paths) { (void)paths; }

    int view() const { return view_; }
    // The exit prompt while it is shown; a second close request meanwhile
    // does not open another.
    CNotifyMsgDlg* exitPrompt() const { return prompt_; }

signals:
    void hideToTrayRequested();
    // The main window marks itself closing and closes.
    void quitRequested();
    void minimiseRequested();
    // A conversion of the library finished: the tray balloon with the title.
    void conversionFinished(const QString& title);

protected:
    // Stops conversions, PrepareQuit, then quitRequested.
    void Quit();

    CoreSession& session() const { return session_; }
    int view_ = ViewLibrary;

private:
    void onPromptFinished();

    CoreSession& session_;
    QPointer<CNotifyMsgDlg> prompt_;
};

}  // namespace zorvex::ui
