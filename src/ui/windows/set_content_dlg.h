#pragma once

#include <QWidget>

#include <map>

#include "ui/session/core_session.h"

namespace zorvex::ui {

class CKbcButton;

// The settings page: the program version with "检测更新", the conversion
// quality (1080P or 2K) and the keep-awake box. Each change goes into the
// settings record through the session and is saved at once; a click that changes
// nothing saves nothing. Where this system cannot keep the computer awake,
// the box is inactive and unticked, and its tooltip says why.
// GUI thread only; the fly-screen page owns it.
class CSetContentDlg : public QWidget {
    Q_OBJECT
public:
    enum ControlId { IdCheckUpdate = 1027, IdKeepAwake = 1031, Id1080P = 1039, Id2K = 1040 };

    CSetContentDlg(QWidget* parent, CoreSession& session);

    // Places the controls.
    void Layout();
    // Sets the controls from the session's settings; done again whenever
    // the page is shown.
    void ReflectSettings();
    // While the main window checks for updates the button is inactive and
    // the page says that a check runs.
    void SetCheckRunning(bool running);

    CKbcButton* button(int id) const;
    bool checkRunning() const { return checkRunning_; }
    // "当前版本：V%s "
    QString versionText() const;

signals:
    // "检测更新": the main window runs the check.
    void updateCheckRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void onButton(int id);
    void chooseRatio(int id);

    CoreSession& session_;
    std::map<int, CKbcButton*> buttons_;  // children of the page
    bool checkRunning_ = false;
};

}  // namespace zorvex::ui
