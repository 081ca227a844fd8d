#include "ui/toolkit/frame_strips.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>
#include <string>

#include "platform/environment.h"
#include "ui/toolkit/client_frame_dlg.h"
#include "ui/toolkit/skin.h"

namespace zorvex::ui {

FrameStrips::FrameStrips(QWidget* owner, Geometry geometry, Mode mode)
    : QObject(owner), owner_(owner), geometry_(geometry) {
    if (mode == Mode::Auto) {
        mode = !canPlaceWindows() ? Mode::Margin : canBlendWindows() ? Mode::Pieces : Mode::None;
    }
    if (mode == Mode::None) {
        shadowless_ = true;
    } else if (mode == Mode::Pieces) {
        // The pieces share the owner's layer: those of a dialog kept on top
        // would otherwise fall behind the main window the dialog covers.
        const bool onTop = owner->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        for (int kind = CClientFrameDlg::Left; kind <= CClientFrameDlg::Bottom; ++kind) {
            auto* piece = new CClientFrameDlg(owner, kind);
            if (onTop) piece->setWindowFlag(Qt::WindowStaysOnTopHint);
            pieces_[static_cast<std::size_t>(kind - 1)] = piece;
        }
    } else {
        margin_ = kMarginWidth;
        const char* names[] = {"Comm\\Frame_Left.png", "Comm\\Frame_Top.png",
                               "Comm\\Frame_Right.png", "Comm\\Frame_Bottom.png"};
        for (std::size_t i = 0; i < images_.size(); ++i)
            images_[i] = loadSkinImage(QString::fromLatin1(names[i]));
        owner->setAttribute(Qt::WA_TranslucentBackground);
    }
    owner->installEventFilter(this);
}

bool FrameStrips::canPlaceWindows() {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

bool FrameStrips::canBlendWindows() {
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return true;  // not X11: the platform blends
    // A compositing manager owns the selection _NET_WM_CM_S<screen>.
    int screen = 0;
    if (auto display = environmentVariable("DISPLAY")) {
        const auto dot = display->rfind('.');
        if (dot != std::string::npos && display->find(':') < dot)
            screen = std::atoi(display->c_str() + dot + 1);
    }
    const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
    xcb_connection_t* connection = x11->connection();
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.c_str()),
        nullptr);
    if (!atom) return true;
    xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
    const bool composited = owner && owner->owner != XCB_NONE;
    std::free(owner);
    std::free(atom);
    return composited;
}

void FrameStrips::paintMargin(QPainter& painter, const QRect& client) const {
    if (margin_ == 0) return;
    const auto rects = placement(client, geometry_);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setOpacity(200.0 / 255.0);
    for (std::size_t i = 0; i < images_.size(); ++i) {
        const int kind = static_cast<int>(i) + CClientFrameDlg::Left;
        if (!images_[i].isNull())
            painter.drawImage(QRectF(rects[i]), images_[i],
                              QRectF(CClientFrameDlg::sourceRect(kind)));
    }
    painter.restore();
}

void FrameStrips::paintOutline(QPainter& painter, const QRect& client) const {
    if (!shadowless_) return;
    painter.save();
    painter.setPen(QColor(0xB4, 0xB4, 0xB8));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(client.adjusted(0, 0, -1, -1));
    painter.restore();
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
        // Above whatever the owner covers (a dialog's pieces lie over its main
        // window); beside the owner they hide nothing of it.
        piece->raise();
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
                // Clicks on the shadow margin reach whatever lies below it.
                if (margin_ > 0 && !canPlaceWindows() && owner_->windowHandle())
                    owner_->windowHandle()->setMask(
                        QRegion(owner_->rect().adjusted(margin_, margin_, -margin_, -margin_)));
                break;
            case QEvent::Hide:
                Hide();
                break;
            case QEvent::WindowActivate:
                // The window manager raised the owner: the pieces come up with it.
                for (CClientFrameDlg* piece : pieces_)
                    if (piece && piece->isVisible()) piece->raise();
                break;
            default:
                break;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace zorvex::ui
