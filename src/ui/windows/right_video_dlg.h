#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <string>

#include "ui/toolkit/qt_executor.h"
#include "ui/toolkit/skin.h"
#include "ui/windows/right_page.h"
#include "ui/windows/save_folder_bar.h"

namespace zorvex::ui {

class CConvertList;
class CKbcButton;
class CKeyTarget;
class CMenuDlg;
class CMsgBoxDlg;
class CVideoWndList;

// The fly-screen page: the title band (phones connected, the address of the
// LAN service with its menu, minimise and close), the three views in one
// content area (the card list, the conversion list, the settings page) with
// their buttons, and the toast.
//
// The phone counter is a 100 ms timer reading the session's phone count;
// it repaints only when the count changed. An address chosen in the menu
// moves the service on the session's worker, not on the GUI thread; a choice
// while a switch runs is dropped. The counter pauses for the switch and runs
// again when it ends, whether it succeeded or not. While the service does
// not listen whole on the address shown (its start or the last switch
// failed), the address is drawn in the failure colour and the state icon in
// its first cell.
//
// Tab goes through the title band (add, convert, the address box, minimise,
// close), then the card grid (one stop) or the task rows, then the bottom
// bar from the left, passing over inactive buttons; on the address box
// Space or Enter opens the menu, and the open menu takes the keys however
// it was opened (CMenuDlg). Minimise and close are named for screen
// readers, and the address box by its address.
//
// Needs a session with a library. The address is the session's; the
// conversion view's bottom bar (CSaveFolderBar) looks after the save folder.
// GUI thread only; the main window owns the page.
class CRightVideoDlg final : public RightPage {
    Q_OBJECT
public:
    enum ControlId {
        IdAdd = 1001,
        IdConvert = 1002,
        IdDelete = 1004,
        IdMin = 1005,
        IdClose = 1006,
        IdModifyPath = CSaveFolderBar::IdModifyPath,
        IdClean = CSaveFolderBar::IdClean,
        IdCheckAll = 1085,
    };
    static constexpr int kTitleBand = 50;
    static constexpr int kCounterIntervalMs = 100;
    // ARGB of the address while the service does not run there.
    static constexpr unsigned kAddressDownColour = 0xFFD9453A;

    CRightVideoDlg(QWidget* owner, CoreSession& session);
    ~CRightVideoDlg() override;

    void Layout() override;
    void SwitchView(int view) override;
    void ShowToast(int code) override;
    CSetContentDlg* settingsPage() const override { return settings_; }
    void PrepareQuit() override;
    bool TakesDrops() const override { return !quitting_; }
    void AddDropped(const std::vector<std::string>& paths) override;

    // An address from the menu (the menu's choice lands here).
    void OnAddressChosen(const QString& address);
    // The buttons' commands, as their clicks run them.
    void OnConvert();
    void OnSelectAll();

    CKbcButton* button(int id) const;
    CVideoWndList* cardList() const { return cardList_; }
    CConvertList* convertList() const { return convertList_; }
    CMsgBoxDlg* toast() const { return toast_; }
    CMenuDlg* addressMenu() const { return addressMenu_; }
    CKeyTarget* addressTarget() const { return addressTarget_; }
    // The conversion view's bottom bar.
    CSaveFolderBar* folderBar() const { return folderBar_; }
    CNotifyMsgDlg* deletePrompt() const { return deletePrompt_; }

    // What the title band shows and does now.
    struct TitleState {
        int phones = 0;            // as last counted
        bool counting = false;     // the phone counter runs
        bool switching = false;    // an address switch runs
        bool menuOpen = false;     // the address box is open
        bool serviceDown = false;  // the service does not listen whole on the address shown
    };
    TitleState titleState() const;
    bool quitting() const { return quitting_; }
    // The address menu's first row: serve every network.
    static QString AllNetworksText();
    // The address menu's last row while a firewall keeps phones out.
    static QString AllowPhonesText();
    // What the address box's tooltip says now; empty for none.
    QString addressToolTip() const;

    // Rectangles of the layout, in the page's coordinates.
    QRect deviceTextRect() const;
    QRect addressBoxRect() const;

signals:
    // An address switch ended (for those who wait on it).
    void addressSwitched(const QString& address, bool succeeded);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    void OnAdd();
    // Deletes the checked cards, asking first where more than a card is lost.
    void OnDelete();
    // The question's type, for what the session says "删除" asks.
    enum DeletePrompt {
        DeleteNothing = -1,  // nothing is checked
        DeleteUnasked = 0,   // plain cards only: unshared without a question
        DeleteRunning = CNotifyMsgDlg::TypeStopTask,
        DeleteQueued = CNotifyMsgDlg::TypeDeleteTask,
        DeleteConverted = CNotifyMsgDlg::TypeDeleteConverted,  // offers to delete the file too
    };
    DeletePrompt DeletePromptType() const;
    bool switching() const { return switching_; }
    QRect contentRect() const;
    QRect addressIconRect() const;
    // The menu follows the adapters: the addresses offered now, and the pin.
    void rebuildAddressMenu();
    void onNetworksChanged();
    CKbcButton* makeButton(int id, bool check, const char* skin, const QString& caption, int width,
                           int height, int layout, CKbcButton::Background background);
    void place();
    void applyViewLooks();
    // "转码", "删除" and "全选" as the selection makes them.
    void applySelection(const SelectionView& looks);
    void deleteChecked(bool withFiles);
    void onDeletePromptFinished();
    void onCounterTick();
    void followCards();
    void onUnexaminable(const std::string& name);
    void onSwitchDone(const QString& address, bool succeeded);
    // Lets phones through the firewall on a worker: pkexec waits for the user.
    void openFirewall();
    // The address is drawn as not listening: a part is down, or a firewall
    // keeps phones out.
    bool phonesShutOut() const;
    void startCounter();
    void toggleAddressMenu();
    void hideAddressMenu();
    void showMessage(const QString& text);
    void paintBottomBar(QPainter& painter) const;
    QRect titleStateRect() const;  // device text, state icon and address box
    void setUpKeyboard();
    void followAddress();
    void onAddressKey(int key);

    CKbcButton* add_;
    CKbcButton* convert_;
    CKbcButton* delete_;
    CKbcButton* min_;
    CKbcButton* close_;
    CKbcButton* checkAll_;
    CVideoWndList* cardList_;
    CConvertList* convertList_;
    CSetContentDlg* settings_;
    CSaveFolderBar* folderBar_;
    CMsgBoxDlg* toast_;
    QStringList unexaminable_;  // the names the toast up now tells of
    CMenuDlg* addressMenu_;
    CKeyTarget* addressTarget_ = nullptr;
    SkinImage stateIcon_;   // "FP\\IPState.png"
    SkinImage addressBox_;  // "FP\\IPCombo.png"
    QPointer<CNotifyMsgDlg> deletePrompt_;
    QPointer<QMessageBox> message_;

    QTimer counter_;
    int deviceCount_ = 0;
    bool overAddress_ = false;
    bool menuOpen_ = false;
    bool quitting_ = false;
    bool serviceDown_ = false;  // the service does not listen whole on the address shown
    QtExecutor gui_{this};
    CoalescedPost looks_{gui_, [this] {
                             applyViewLooks();
                             update();
                         }};

    // From a switch's start until its report has arrived here.
    bool switching_ = false;
    bool openingFirewall_ = false;  // while the firewall's opening waits for the user
};

}  // namespace zorvex::ui
