#pragma once

#include <QImage>
#include <QRect>

#include "ui/windows/right_page.h"

namespace zorvex::ui {

class CKbcButton;
class CMsgBoxDlg;

// Stands in for the fly-screen page until it exists: the title band with
// the address, minimise and close, the empty library picture, an empty
// conversion view, the real settings page and the toast. The title band
// drags the main window. GUI thread only; the main window owns it.
class PlaceholderPage final : public RightPage {
    Q_OBJECT
public:
    enum ControlId { IdAdd = 1001, IdMin = 1005, IdClose = 1006 };
    static constexpr int kTitleBand = 50;

    PlaceholderPage(QWidget* owner, CoreSession& session);

    void Layout() override;
    void SwitchView(int view) override;
    void ShowToast(int code) override;
    CSetContentDlg* settingsPage() const override { return settings_; }
    void PrepareQuit() override;

    CKbcButton* button(int id) const;
    CMsgBoxDlg* toast() const { return toast_; }
    bool quitting() const { return quitting_; }
    QRect contentRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QRect emptyLibraryRect() const;

    CKbcButton* add_;  // drawn with the empty library's picture; adds nothing here
    CKbcButton* min_;
    CKbcButton* close_;
    CSetContentDlg* settings_;
    CMsgBoxDlg* toast_;
    QImage emptyLibrary_;
    bool quitting_ = false;
};

}  // namespace zorvex::ui
