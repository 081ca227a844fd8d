#include "ui/frame_strips.h"

#include <QEvent>
#include <QWidget>

#include "ui/client_frame_dlg.h"

namespace zorvex::ui {

FrameStrips::FrameStrips(QWidget* owner, Geometry geometry)
    : QObject(owner), owner_(owner), geometry_(geometry) {
    for (int kind = CClientFrameDlg::Left; kind <= CClientFrameDlg::Bottom; ++kind)
        pieces_[static_cast<std::size_t>(kind - 1)] = new CClientFrameDlg(owner, kind);
    owner->installEventFilter(this);
}

std::array<QRect, 4> FrameStrips::placement(const QRect& client, Geometry g) {
    // Windows-style right and bottom edges: one past the last pixel.
    const int l = client.left(), t = client.top();
    const int r = client.left() + client.width(), b = client.top() + client.height();
    return {QRect(l - 16, t, 16, g.sideHeight), QRect(l - g.edgeInset, t - 16, g.edgeWidth, 16),
            QRect(r, t, 16, g.sideHeight), QRect(l - g.edgeInset, b, g.edgeWidth, 16)};
}

void FrameStrips::Place() {
    const QRect client(owner_->mapToGlobal(QPoint(0, 0)), owner_->size());
    const auto rects = placement(client, geometry_);
    for (std::size_t i = 0; i < pieces_.size(); ++i) {
        CClientFrameDlg* piece = pieces_[i];
        if (!piece) continue;
        piece->setGeometry(rects[i]);
        piece->show();
        piece->RefreshLayered();
    }
}

void FrameStrips::Hide() {
    for (CClientFrameDlg* piece : pieces_)
        if (piece) piece->hide();
}

void FrameStrips::Destroy() {
    for (auto& piece : pieces_) {
        delete piece.data();
        piece = nullptr;
    }
}

CClientFrameDlg* FrameStrips::piece(int kind) const {
    if (kind < CClientFrameDlg::Left || kind > CClientFrameDlg::Bottom) return nullptr;
    return pieces_[static_cast<std::size_t>(kind - 1)];
}

bool FrameStrips::eventFilter(QObject* watched, QEvent* event) {
    if (watched == owner_) {
        switch (event->type()) {
            case QEvent::Move:
            case QEvent::Resize:
            case QEvent::Show:
                Place();
                break;
            case QEvent::Hide:
                Hide();
                break;
            default:
                break;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace zorvex::ui
