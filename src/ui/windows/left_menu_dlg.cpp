#include "ui/windows/left_menu_dlg.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "ui/toolkit/accessible.h"
#include "ui/toolkit/gif_image.h"
#include "ui/toolkit/kbc_button.h"
#include "ui/toolkit/key_target.h"
#include "ui/toolkit/skin.h"

namespace zorvex::ui {
namespace {

CKbcButton* entryButton(int id, const char* skin, const QString& caption, QWidget* parent) {
    auto* b = new CKbcButton(id, CKbcButton::Mode::Check, parent);
    b->SetImage(skinPath(QString::fromLatin1(skin)), caption);
    b->SetSize(CLeftMenuDlg::kWidth, 48);
    b->SetLayout(2);
    b->SetBackground(CKbcButton::BackgroundDark);
    b->SetUseCursor(true);
    SkinAccessible::SetRole(b, QAccessible::PageTab);
    return b;
}

}  // namespace

CLeftMenuDlg::CLeftMenuDlg(QWidget* owner) : QWidget(owner) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    logo_ = loadSkinImage(QStringLiteral("LeftMenu\\logo.png"));
    convertEntry_ = loadSkinImage(QStringLiteral("LeftMenu\\ConvertList.png"));
    fly_ = entryButton(IdFly, "FP\\FlyScreen.png", QStringLiteral("飞屏"), this);
    // Made between the two buttons, so Tab meets the entries in their order.
    convertTarget_ = new CKeyTarget(QStringLiteral("转码"), QAccessible::PageTab, this);
    convertTarget_->setGeometry(kConvertRect);
    connect(convertTarget_, &CKeyTarget::activated, this, &CLeftMenuDlg::chooseConvert);
    settings_ = entryButton(IdSettings, "LeftMenu\\Setting.png", QStringLiteral("设置"), this);
    connect(fly_, &CKbcButton::clicked, this, &CLeftMenuDlg::onButton);
    connect(settings_, &CKbcButton::clicked, this, &CLeftMenuDlg::onButton);
    gif_ = new CGIFImage(this);
    gif_->setGeometry(kConvertRect);
    gif_->Load(skinPath(QStringLiteral("LeftMenu\\ConvertList.gif")));
    gif_->SetKind(0);
    gif_->Stop();  // hidden: nothing to animate
    gif_->hide();
    if (owner) resize(kWidth, owner->height());
}

void CLeftMenuDlg::Layout() {
    fly_->move(kFlyRect.topLeft());
    settings_->move(kSettingsRect.topLeft());
    Mark(MenuLibrary);
    update();
}

void CLeftMenuDlg::Mark(int code) {
    convertSelected_ = code == MenuConvert;
    SkinAccessible::SetChecked(convertTarget_, convertSelected_);
    fly_->SetCheck(code == MenuLibrary);
    settings_->SetCheck(code == MenuSettings);
    update(kConvertRect);
}

int CLeftMenuDlg::marked() const {
    if (convertSelected_) return MenuConvert;
    if (settings_->checked()) return MenuSettings;
    return MenuLibrary;
}

bool CLeftMenuDlg::inDragArea(const QPoint& point) const {
    return point.y() > 195 && point.y() < height() - 35;
}

CKbcButton* CLeftMenuDlg::button(int id) const {
    if (id == IdFly) return fly_;
    if (id == IdSettings) return settings_;
    return nullptr;
}

void CLeftMenuDlg::onButton(int id) {
    CKbcButton* chosen = id == IdFly ? fly_ : settings_;
    CKbcButton* other = id == IdFly ? settings_ : fly_;
    if (chosen->checked()) return;
    convertSelected_ = false;
    SkinAccessible::SetChecked(convertTarget_, false);
    chosen->SetCheck(true);
    other->SetCheck(false);
    update(kConvertRect);
    emit viewRequested(id == IdFly ? MenuLibrary : MenuSettings);
}

void CLeftMenuDlg::mousePressEvent(QMouseEvent* event) {
    // Left unaccepted, the press travels up to the main window, which drags.
    if (event->button() == Qt::LeftButton && inDragArea(event->position().toPoint())) {
        event->ignore();
        return;
    }
    event->accept();
}

void CLeftMenuDlg::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton) return;
    // Only the release counts: a press elsewhere still chooses the entry.
    if (!kConvertRect.contains(event->position().toPoint())) {
        update(kConvertRect);
        return;
    }
    chooseConvert();
}

void CLeftMenuDlg::chooseConvert() {
    if (convertSelected_) return;
    convertSelected_ = true;
    SkinAccessible::SetChecked(convertTarget_, true);
    fly_->SetCheck(false);
    settings_->SetCheck(false);
    update(kConvertRect);
    emit viewRequested(MenuConvert);
}

void CLeftMenuDlg::mouseMoveEvent(QMouseEvent* event) {
    setConvertHovered(kConvertRect.contains(event->position().toPoint()));
    event->ignore();  // a drag that started here goes on in the main window
}

void CLeftMenuDlg::leaveEvent(QEvent*) {
    setConvertHovered(false);
}

void CLeftMenuDlg::setConvertHovered(bool on) {
    if (on == convertHovered_) return;
    convertHovered_ = on;
    setCursor(on ? Qt::PointingHandCursor : Qt::ArrowCursor);
    update(kConvertRect);
}

void CLeftMenuDlg::keyPressEvent(QKeyEvent* event) {
    // Keys stop here: Escape and Return never reach the main window.
    event->accept();
}

void CLeftMenuDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(rect(), colorref(0x423D3E));
    if (!logo_.isNull()) painter.drawImage(QRectF(kLogoRect), logo_, QRectF(0, 0, 160, 50));
    const int cell = convertSelected_ ? 2 : convertHovered_ ? 1 : 0;
    if (!convertEntry_.isNull())
        painter.drawImage(kConvertRect.topLeft(), convertEntry_, QRect(0, 48 * cell, 160, 48));
    // 12 points at the documented 96 dpi.
    painter.setFont(skinFont(16));
    painter.setPen(convertSelected_ ? argb(0xFFFFFFFF) : argb(0xFF99989C));
    painter.drawText(QRect(6, 99, 160, 48), Qt::AlignCenter, QStringLiteral("转码"));
}

}  // namespace zorvex::ui
