#include "ui/toolkit/client_frame_dlg.h"

#include <QPainter>

#include "ui/toolkit/skin.h"

namespace zorvex::ui {

CClientFrameDlg::CClientFrameDlg(QWidget* owner, int kind)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint |
                         Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput),
      kind_(kind),
      image_(loadSkinImage(imageName(kind))) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    if (owner) setWindowIcon(owner->windowIcon());
    setGeometry(0, 0, 1012, 670);
    RefreshLayered();
}

QRect CClientFrameDlg::sourceRect(int kind) {
    switch (kind) {
        case Left:
        case Right:
            return {0, 0, 16, 630};
        case Top:
        case Bottom:
            return {0, 0, 1004, 16};
        case Whole:
            return {0, 0, 1012, 670};
        default:
            return {};
    }
}

QString CClientFrameDlg::imageName(int kind) {
    switch (kind) {
        case Left:
            return QStringLiteral("Comm\\Frame_Left.png");
        case Top:
            return QStringLiteral("Comm\\Frame_Top.png");
        case Right:
            return QStringLiteral("Comm\\Frame_Right.png");
        case Bottom:
            return QStringLiteral("Comm\\Frame_Bottom.png");
        default:
            return QStringLiteral("Comm\\Frame_Full.png");
    }
}

void CClientFrameDlg::RefreshLayered() {
    update();
}

void CClientFrameDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    const QRect source = sourceRect(kind_);
    if (image_.isNull() || source.isEmpty()) return;  // a missing image shows nothing
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setOpacity(200.0 / 255.0);
    painter.drawImage(QRectF(rect()), image_, QRectF(source));
}

}  // namespace zorvex::ui
