#include "ui/toolkit/msg_box_dlg.h"

#include <QAccessible>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTimerEvent>

#include "ui/toolkit/accessible.h"
#include "ui/toolkit/frame_strips.h"
#include "ui/toolkit/skin.h"

namespace zorvex::ui {
namespace {

constexpr int kWidth = 315;
constexpr int kHeight = 80;
// What an opaque toast stands in front of: the page's content grey.
const QColor kBackdrop(242, 243, 243);

// The window's rounded region: 9 x 9 corner ellipses.
QPainterPath roundedRegion() {
    QPainterPath region;
    region.addRoundedRect(QRectF(0, 0, kWidth, kHeight), 4.5, 4.5);
    return region;
}

bool placesWindows() {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

// A Wayland client cannot place a window of its own on the screen, only a
// popup relative to its parent: there the toast is one, centred on the window.
Qt::WindowType toastWindowType() {
    return placesWindows() ? Qt::Tool : Qt::ToolTip;
}

}  // namespace

CMsgBoxDlg::CMsgBoxDlg(QWidget* owner, Backdrop backdrop)
    : QWidget(owner, toastWindowType() | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint |
                         Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus |
                         Qt::WindowTransparentForInput),
      translucent_(backdrop == Backdrop::Translucent ||
                   (backdrop == Backdrop::Auto && FrameStrips::canBlendWindows())) {
    if (translucent_)
        setAttribute(Qt::WA_TranslucentBackground);
    else
        setMask(QRegion(roundedRegion().toFillPolygon().toPolygon()));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(kWidth, kHeight);
    panel_ = loadSkinImage(QStringLiteral("Comm\\1.png"));
    warning_ = loadSkinImage(QStringLiteral("Comm\\Warning.png"));
    hide();
}

QString CMsgBoxDlg::textForCode(int code) {
    return QString::fromUtf8(toastText(code));
}

void CMsgBoxDlg::Show(int code) {
    code_ = code;
    const QString text = textForCode(code);
    if (!text.isEmpty()) text_ = text;
    // A new toast gets its whole time: a fade-out still running would fight
    // the fade-in and cut the hold short.
    hold_.stop();
    fadeOut_.stop();
    fadeIn_.start(20, this);
    update();
    announce();
}

// A toast never takes the focus; screen readers are told it as an alert.
void CMsgBoxDlg::announce() {
    SkinAccessible::SetRole(this, QAccessible::AlertMessage);
    setAccessibleName(text_);
    if (!QAccessible::isActive()) return;
    QAccessibleEvent alert(this, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

void CMsgBoxDlg::ShowText(const QString& text) {
    Show(0);
    text_ = text;
    announce();
}

void CMsgBoxDlg::centreOnScreen() {
    const QWidget* over = parentWidget() ? parentWidget()->window() : nullptr;
    if (!placesWindows() && over) {
        move(over->geometry().center() - QPoint(kWidth / 2, kHeight / 2));
        return;
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(kWidth / 2, kHeight / 2));
}

void CMsgBoxDlg::setAlpha(int alpha) {
    alpha_ = alpha;
    update();
    emit alphaChanged(alpha_);
}

void CMsgBoxDlg::timerEvent(QTimerEvent* event) {
    const int id = event->timerId();
    if (id == fadeIn_.timerId()) {
        if (isHidden()) {
            centreOnScreen();
            show();
        }
        if (alpha_ < 220) {
            setAlpha(alpha_ + 10);
        } else {
            fadeIn_.stop();
            hold_.start(600, this);
        }
    } else if (id == hold_.timerId()) {
        hold_.stop();
        fadeOut_.start(50, this);
    } else if (id == fadeOut_.timerId()) {
        if (alpha_ > 70) {
            setAlpha(alpha_ - 10);
        } else {
            fadeOut_.stop();
            hide();
        }
    } else {
        QWidget::timerEvent(event);
    }
}

void CMsgBoxDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), translucent_ ? QColor(Qt::transparent) : kBackdrop);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setClipPath(roundedRegion());
    painter.setOpacity(alpha_ / 255.0);
    if (!panel_.isNull())
        painter.drawImage(QRectF(0, 0, kWidth, kHeight), panel_, QRectF(0, 0, kWidth, kHeight));
    // A name in a text of the caller's may be long: the panel stays its size.
    const int room = kWidth - 24;
    int pixels = 24;
    QFont font = skinFont(pixels);
    while (pixels > 14 && QFontMetrics(font).horizontalAdvance(text_) > room)
        font = skinFont(--pixels);
    painter.setFont(font);
    painter.setPen(argb(0xFFCFCED3));
    painter.drawText(QRect(0, 0, kWidth, kHeight), Qt::AlignCenter,
                     QFontMetrics(font).elidedText(text_, Qt::ElideMiddle, room));
}

}  // namespace zorvex::ui
