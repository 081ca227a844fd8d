#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <map>

#include "ui/toolkit/kbc_button.h"
#include "ui/toolkit/window_drag.h"

namespace zorvex::ui {

class FrameStrips;

// The modal confirmation dialog of five types. Run it with exec() and read
// resultCode(): ResultNone when the pressed button sets none.
// Escape counts as the close button. The right-hand button of the bottom
// row (确认, 继续, 后台运行) is the default: it holds the focus when the
// dialog opens, and Enter presses it, or the button the keyboard has moved
// to. Tab goes as the eye reads: the close button, the check box, then the
// bottom row from the left. GUI thread only; built on the caller's stack for one question.
class CNotifyMsgDlg : public QDialog {
    Q_OBJECT
public:
    enum Type {
        TypeDeleteConverted = 1,  // offers to delete the converted file too
        TypeStopTask = 2,         // a running conversion would stop
        TypeExit = 3,             // hide to the tray or quit
        TypeDuplicateName = 4,    // the output name is taken
        TypeDeleteTask = 5,       // a queued task would go
    };

    enum Result {
        ResultNone = 0,
        ResultDelete = 10,
        ResultDeleteWithSource = 11,
        ResultHide = 21,
        ResultQuit = 22,
        ResultContinue = 30,
        ResultSkip = 31,
        ResultStopTask = 40,
        ResultKeepTask = 41,
        ResultClose = 42,
        // "确认" of type 5: without a code of its own it could not be told from "取消".
        ResultDeleteTask = 50,
    };

    enum ButtonId {
        IdClose = 1006,
        IdOk = 1046,
        IdCancel = 1047,
        IdCheck1 = 1048,
        IdCheck2 = 1049,
        IdContinue = 1050,
        IdSkip = 1051,
        IdHide = 1053,
        IdQuit = 1054,
    };

    // What the dialog needs of the settings, handed in by whoever owns them.
    struct Settings {
        bool deleteOrigin = false;  // initial state of "彻底删除源文件"
        // Keeps the exit choice (ResultHide or ResultQuit) for later closes,
        // when the remember box is checked.
        std::function<void(Result)> rememberExit;
    };

    // text: the file name a type-4 question shows.
    CNotifyMsgDlg(QWidget* parent, Type type, const QString& text, Settings settings);
    ~CNotifyMsgDlg() override;

    Type type() const { return type_; }
    int resultCode() const { return result_; }
    const QString& title() const { return title_; }
    const QString& body() const { return body_; }
    CKbcButton* button(int id) const;
    // What Enter presses while no other button has the keyboard's focus.
    CKbcButton* defaultButton() const;
    FrameStrips* strips() const { return strips_; }

    void reject() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void addButton(int id, bool check, const QString& caption, const QString& skin, QSize size,
                   int layout, CKbcButton::Background background, const QRect& place);
    void applyType();
    void onButton(int id);
    void finish(int result);

    // Constant after construction.
    const Type type_;
    const QString text_;
    const Settings settings_;

    QString title_;
    QString body_;
    std::map<int, CKbcButton*> buttons_;  // children of the dialog
    FrameStrips* strips_ = nullptr;
    int result_ = ResultNone;
    WindowDrag drag_;  // by the title band
};

}  // namespace zorvex::ui
