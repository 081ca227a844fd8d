#pragma once

#include <QBasicTimer>
#include <QImage>
#include <QString>
#include <QWidget>

#include "foundation/toast_code.h"

namespace zorvex::ui {

// The toast: a rounded 315 x 80 panel with one line chosen by a code. It
// fades in by 10 every 20 ms up to 220, stays 600 ms, fades out by 10 every
// 50 ms down to 70 and hides. The opacity is never reset, so every toast after
// the first starts from 70. It takes no input and never takes activation.
// GUI thread only; the owner's widget tree owns it.
class CMsgBoxDlg : public QWidget {
    Q_OBJECT
public:
    // Translucent: the panel and its fades are blended over whatever lies
    // below. Opaque, for an X11 screen without a compositing manager, where a
    // translucent window shows as a black slab: the window is cut to its
    // rounded corners and the panel drawn over the page's grey, faded
    // against that grey. Auto: Opaque exactly where nothing blends windows.
    enum class Backdrop { Auto, Translucent, Opaque };
    explicit CMsgBoxDlg(QWidget* owner, Backdrop backdrop = Backdrop::Auto);

    // A ToastCode; any other value keeps the previous text and still shows the toast.
    void Show(int code);
    // A text of the caller's (code 0): drawn smaller down to 14 pixels where
    // 24 would not fit, then shortened in the middle.
    void ShowText(const QString& text);

    // The text of a code, or an empty string for a code without one.
    static QString textForCode(int code);

    // Asked for and not yet faded out (it shows on its first fade step).
    bool showing() const { return !isHidden() || fadeIn_.isActive(); }
    const QString& text() const { return text_; }
    int code() const { return code_; }
    int alpha() const { return alpha_; }
    bool translucent() const { return translucent_; }

signals:
    // Each fade step, with the new opacity (0-255).
    void alphaChanged(int alpha);

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void announce();
    void centreOnScreen();
    void setAlpha(int alpha);

    const bool translucent_;
    QImage panel_;
    QImage warning_;  // loaded like the panel, not drawn
    QString text_;
    int code_ = 0;
    int alpha_ = 10;
    QBasicTimer fadeIn_;   // 20 ms
    QBasicTimer hold_;     // 600 ms
    QBasicTimer fadeOut_;  // 50 ms
};

}  // namespace zorvex::ui
