#include "ui/toolkit/client_frame_dlg.h"

#include <QPainter>

#include "ui/toolkit/skin.h"

namespace zorvex::ui {

CClientFrameDlg::CClientFrameDlg(QWidget* owner, int kind)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint |
                         Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput),
      kind_(kind) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    if (owner) setWindowIcon(owner->windowIcon());
    setGeometry(0, 0, 1012, 670);
    left_ = loadSkinImage(QStringLiteral("Comm\\Frame_Left.png"));
    top_ = loadSkinImage(QStringLiteral("Comm\\Frame_Top.png"));
    right_ = loadSkinImage(QStringLiteral("Comm\\Frame_Right.png"));
    bottom_ = loadSkinImage(QStringLiteral("Comm\\Frame_Bottom.png"));
    whole_ = loadSkinImage(QStringLiteral("Comm\\Frame_Full.png"));
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

const QImage& CClientFrameDlg::imageForKind() const {
    switch (kind_) {
        case Left:
            return left_;
        case Top:
            return top_;
        case Right:
            return right_;
        case Bottom:
            return bottom_;
        default:
            return whole_;
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
    const QImage& image = imageForKind();
    const QRect source = sourceRect(kind_);
    if (image.isNull() || source.isEmpty()) return;  // a missing image shows nothing
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setOpacity(200.0 / 255.0);
    painter.drawImage(QRectF(rect()), image, QRectF(source));
}

}  // namespace zorvex::ui
