#include "ui/toolkit/kbc_button.h"

#include <QAccessible>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "ui/toolkit/accessible.h"
#include "ui/toolkit/focus_ring.h"
#include "ui/toolkit/skin.h"

namespace zorvex::ui {
namespace {

const QColor kGrey = argb(0xFF767676);
const QColor kWhite = argb(0xFFFFFFFF);
const QColor kDimGrey = argb(0xFF99989C);
const QColor kLightGrey = argb(0xFFC0C0C0);
const QColor kAmber = argb(0xFFF19410);
const QColor kBrightAmber = argb(0xFFFF7A10);
const QColor kBlue = argb(0xFF509BF7);
const QColor kDark = argb(0xFF3E3D40);
const QColor kInactiveCaption = argb(0xFFAAAAAA);

enum Cell { Normal = 0, Hover = 1, Pressed = 2, Inactive = 3 };

QColor backgroundColour(CKbcButton::Background background) {
    switch (background) {
        case CKbcButton::BackgroundPanel:
            return argb(0xFFF2F3F3);
        case CKbcButton::BackgroundLight:
            return argb(0xFFF8F8F8);
        case CKbcButton::BackgroundGrey:
            return argb(0xFF57565B);
        case CKbcButton::BackgroundDark:
            return argb(0xFF3E3D42);
        case CKbcButton::BackgroundPanelPlain:
            return argb(0xFFF2F3F3);
        case CKbcButton::BackgroundStone:
            return argb(0xFFEAE9E6);
        case CKbcButton::BackgroundPale:
            return argb(0xFFF7F7F7);
        default:
            return {};
    }
}

// Grey, white on hover and press, light grey when inactive: layouts 0 and 4.
QColor plainColour(int cell) {
    switch (cell) {
        case Hover:
        case Pressed:
            return kWhite;
        case Inactive:
            return kLightGrey;
        default:
            return kGrey;
    }
}

}  // namespace

CKbcButton::CKbcButton(int id, Mode mode, QWidget* parent) : QWidget(parent), id_(id), mode_(mode) {
    // Tab only: a click leaves the focus where it was, as before.
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover, false);  // hover comes from enter and leave only
    FocusRing::Surround(this, [this] { return ringArea(); });
    SkinAccessible::Install();
}

namespace {
void tellState(QWidget* widget, bool checked, bool disabled) {
    if (!QAccessible::isActive()) return;
    QAccessible::State changed;
    changed.checked = checked;
    changed.disabled = disabled;
    QAccessibleStateChangeEvent event(widget, changed);
    QAccessible::updateAccessibility(&event);
}
}  // namespace

void CKbcButton::SetImage(const QString& path, const QString& caption) {
    if (!path.isEmpty()) image_ = SkinImage::fromFile(path);
    const bool renamed = caption_ != caption;
    caption_ = caption;
    update();
    if (renamed && accessibleName().isEmpty() && QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

void CKbcButton::SetSize(int width, int height) {
    width_ = width;
    height_ = height;
    resize(width, height);
}

void CKbcButton::SetCheck(bool on) {
    if (mode_ != Mode::Check) return;
    const bool changed = checked_ != on;
    checked_ = on;
    update();
    if (changed) tellState(this, true, false);
}

void CKbcButton::SetInactive(bool on) {
    const bool changed = inactive_ != on;
    inactive_ = on;
    // Tab passes over what cannot be pressed; a focus it holds stays till Tab moves it.
    setFocusPolicy(on ? Qt::NoFocus : Qt::TabFocus);
    update();
    if (changed) tellState(this, false, true);
}

void CKbcButton::SetLayout(int layout) {
    layout_ = layout;
    update();
}

void CKbcButton::SetBackground(Background background) {
    background_ = background;
    update();
}

void CKbcButton::SetBackgroundColour(const QColor& colour) {
    backgroundColour_ = colour;
    update();
}

void CKbcButton::SetCellSize(int width, int height) {
    cellWidth_ = width;
    cellHeight_ = height;
    update();
}

void CKbcButton::SetUseCursor(bool on, const QCursor& cursor) {
    if (on)
        setCursor(cursor);
    else
        unsetCursor();
}

int CKbcButton::stateCell() const {
    if (mode_ == Mode::Check)
        return down_ || checked_ ? Pressed : hovered_ && !inactive_ ? Hover : Normal;
    if (inactive_) return Inactive;
    return down_ ? Pressed : hovered_ ? Hover : Normal;
}

void CKbcButton::drawCell(QPainter& painter, const QRect& source, const QRect& target) const {
    // A size never set, or no image, draws nothing: only background and caption show.
    image_.draw(painter, QRectF(target), QRectF(source));
}

void CKbcButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QColor background =
        backgroundColour_.isValid() ? backgroundColour_ : backgroundColour(background_);
    if (background.isValid()) painter.fillRect(rect(), background);
    if (mode_ == Mode::Check)
        paintCheck(painter);
    else
        paintPush(painter);
}

QRect CKbcButton::ringArea() const {
    // A box with its caption beside it: the ring hugs what is drawn.
    if (mode_ != Mode::Check || background_ != BackgroundPanel) return rect();
    const int text =
        caption_.isEmpty() ? 0 : QFontMetrics(skinFont(14)).horizontalAdvance(caption_);
    return QRect(0, 0, std::min(width(), 20 + text + 2), height());
}

void CKbcButton::paintCheck(QPainter& painter) {
    const int cell = stateCell();
    if (background_ == BackgroundPanel) {
        // Inactive: a faded box and a grey caption, as a box nobody can tick.
        painter.setOpacity(inactive_ ? 0.4 : 1.0);
        drawCell(painter, QRect(0, 14 * cell, 14, 14), QRect(2, 2, 14, 14));
        painter.setOpacity(1.0);
        painter.setFont(skinFont(14));
        painter.setPen(inactive_ ? kInactiveCaption : kDark);
        painter.drawText(QRect(20, -2, width() - 15, height()), Qt::AlignLeft | Qt::AlignTop,
                         caption_);
        return;
    }
    drawCell(painter, QRect(0, cell * height_, width_, height_), QRect(0, 0, width_, height_));
    if (background_ == BackgroundDark) {
        painter.setFont(skinFont(16));
        painter.setPen(down_ || checked_ ? kWhite : kDimGrey);
        painter.drawText(QRect(66, 12, 80, 25), Qt::AlignLeft | Qt::AlignTop, caption_);
    }
}

void CKbcButton::paintPush(QPainter& painter) {
    const int cell = stateCell();
    int layout = layout_;
    if (layout != 0 && layout != 1 && (layout < 3 || layout > 7)) layout = 1;
    const bool ownCell =
        layout == 0 || layout == 1 || (cell == Inactive && layout != 3 && layout != 4);
    if (ownCell) {
        drawCell(painter, QRect(0, cell * height_, width_, height_), QRect(0, 0, width_, height_));
    } else if (layout == 3) {
        drawCell(painter, QRect(0, 30 * cell, 90, 30), QRect(0, 0, width_, height_));
    } else if (layout == 4 || layout == 7) {
        drawCell(painter, QRect(0, cell * cellHeight_, cellWidth_, cellHeight_),
                 QRect(0, 0, width_, height_));
    } else if (layout == 5) {
        const int k = cell == Normal ? 0 : 1;
        drawCell(painter, QRect(0, k * cellHeight_, cellWidth_, cellHeight_),
                 QRect(0, 0, cellWidth_, cellHeight_));
    }
    if (cell == Inactive && layout != 0 && layout != 3 && layout != 4) return;
    const Caption text = pushCaption(layout, cell);
    if (text.rect.isEmpty() || caption_.isEmpty()) return;
    painter.save();
    painter.setClipRect(text.rect);
    painter.setFont(skinFont(text.pixelSize));
    painter.setPen(text.colour);
    painter.drawText(text.rect, text.alignment, caption_);
    painter.restore();
}

CKbcButton::Caption CKbcButton::pushCaption(int layout, int cell) const {
    const bool inactive = cell == Inactive;
    const qsizetype length = caption_.size();
    Caption c;
    switch (layout) {
        case 0:
            if (caption_ == QLatin1String("Convert"))
                c.rect = QRect(25, 4, 70, 25);
            else if (caption_ == QLatin1String("Delete"))
                c.rect = QRect(inactive ? 28 : 25, 4, 70, 25);
            else
                c.rect = QRect(25, 4, 40, 25);
            c.colour = plainColour(cell);
            break;
        case 3: {
            const bool runHide = caption_ == QStringLiteral("后台运行");
            const bool hide = caption_ == QLatin1String("Hide");
            const bool skip = caption_ == QLatin1String("Skip");
            // One branch per documented case, even where two place alike.
            // NOLINTBEGIN(bugprone-branch-clone)
            if (length == 2)
                c.rect = QRect(28, 4, 40, 25);
            else if (runHide)
                c.rect = QRect(14, 4, 70, 25);
            else if (hide)
                c.rect = QRect(inactive ? 14 : 25, 4, 70, 25);
            else if (skip)
                c.rect = QRect(inactive ? 14 : 28, 4, 70, 25);
            else if (length == 4)
                c.rect = QRect(14, 4, 70, 25);
            else if (caption_ == QLatin1String("Continue") && !inactive)
                c.rect = QRect(14, 4, 70, 25);
            // NOLINTEND(bugprone-branch-clone)
            if (cell == Normal)
                c.colour = runHide || hide ? kWhite : kGrey;
            else if (cell == Hover)
                c.colour = length == 4 && !runHide && !hide && !skip ? kGrey : kWhite;
            else
                c.colour = plainColour(cell);
            break;
        }
        case 4: {
            int x = -1;
            if (length == 2)
                x = 21;
            else if (length == 4)
                x = 9;
            else if (caption_ == QLatin1String("Select"))
                x = inactive ? 10 : 18;
            else if (caption_ == QLatin1String("Check for Updates") && !inactive)
                x = 3;
            if (x >= 0) c.rect = QRect(x, 5, width_, height_);
            c.pixelSize = 12;
            c.colour = plainColour(cell);
            break;
        }
        case 5:
            c.rect = QRect(cellWidth_ + 1, 0, width_ - cellWidth_, height_);
            c.pixelSize = 12;
            c.colour = cell == Normal ? kGrey : kAmber;
            break;
        case 6: {
            c.alignment = Qt::AlignCenter;
            const bool top = caption_ == QStringLiteral("置顶") || caption_ == QLatin1String("Top");
            const bool exit =
                caption_ == QStringLiteral("完全退出") || caption_ == QLatin1String("Exit");
            c.pixelSize = exit ? 14 : 12;
            c.rect = exit ? QRect(0, 0, width_, height_) : QRect(0, 3, width_, height_);
            if (top)
                c.colour = kBlue;
            else if (exit)
                c.colour = cell == Pressed ? kBrightAmber : kAmber;
            else
                c.colour = cell == Normal ? kGrey : cell == Hover ? kAmber : kBrightAmber;
            break;
        }
        case 7:
            if (caption_ == QStringLiteral("取消") || caption_ == QStringLiteral("删除"))
                c.rect = QRect(15, 4, width_ - 15, height_);
            else if (caption_ == QLatin1String("Cancel") || caption_ == QLatin1String("Delete"))
                c.rect = QRect(8, 4, width_ - 5, height_);
            else
                c.rect = QRect(25, 4, width_ - 25, height_);
            c.colour = cell == Normal ? kGrey : kWhite;
            break;
        default:
            break;  // layout 1 never writes its caption
    }
    return c;
}

void CKbcButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QWidget::enterEvent(event);
}

void CKbcButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QWidget::leaveEvent(event);
}

void CKbcButton::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton || inactive_)
        return;  // an inactive button swallows the press
    tracking_ = true;
    down_ = true;
    update();
}

void CKbcButton::mouseMoveEvent(QMouseEvent* event) {
    if (!tracking_) return;
    const bool inside = rect().contains(event->position().toPoint());
    if (inside != down_) {
        down_ = inside;
        update();
    }
}

void CKbcButton::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton || !tracking_) return;
    const bool click = down_ && rect().contains(event->position().toPoint());
    tracking_ = false;
    down_ = false;
    update();
    // Last: the listener may close the window that owns this button.
    if (click) emit clicked(id_);
}

void CKbcButton::Press() {
    if (!inactive_) emit clicked(id_);
}

void CKbcButton::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool press = key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
    // Only where the ring shows: a button that got the focus from the window
    // alone leaves Enter to the dialog, which ignores it as ever.
    if (!press || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier ||
        !FocusRing::KeyboardInUse()) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    Press();
}

}  // namespace zorvex::ui
