#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>

#include <functional>
#include <map>

namespace zorvex::ui {

class CKbcButton;
class FrameStrips;

// The modal confirmation dialog of five types (1 delete converted video,
// 2 cancel task, 3 exit prompt, 4 duplicate name, 5 delete task). Run it with
// exec() and read resultCode(): 0 when the pressed button sets none.
// Escape counts as the close button; Enter does nothing.
// GUI thread only; built on the caller's stack for one question.
class CNotifyMsgDlg : public QDialog {
    Q_OBJECT
public:
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
        int exitWndType = 1;
        // Stores ExitWndType and saves the settings; called with 2 or 3 by the remember box.
        std::function<void(int)> saveExitWndType;
    };

    // text: the file name a type-4 question shows.
    CNotifyMsgDlg(QWidget* parent, int type, const QString& text, Settings settings);
    ~CNotifyMsgDlg() override;

    int type() const { return type_; }
    int resultCode() const { return result_; }
    const QString& title() const { return title_; }
    const QString& body() const { return body_; }
    CKbcButton* button(int id) const;
    FrameStrips* strips() const { return strips_; }

    void reject() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void addButton(int id, bool check, const QString& caption, const QString& skin, QSize size,
                   int layout, int background, const QRect& place);
    void applyType();
    void onButton(int id);
    void finish(int result);

    // Constant after construction.
    const int type_;
    const QString text_;
    const Settings settings_;

    QString title_;
    QString body_;
    std::map<int, CKbcButton*> buttons_;  // children of the dialog
    FrameStrips* strips_ = nullptr;
    int result_ = ResultNone;
    bool dragging_ = false;
    QPoint dragOffset_;
};

}  // namespace zorvex::ui
