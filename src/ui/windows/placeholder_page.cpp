#include "ui/windows/placeholder_page.h"

#include <QMouseEvent>
#include <QPainter>

#include "ui/toolkit/kbc_button.h"
#include "ui/toolkit/msg_box_dlg.h"
#include "ui/toolkit/skin.h"
#include "ui/windows/set_content_dlg.h"

namespace zorvex::ui {

PlaceholderPage::PlaceholderPage(QWidget* owner, CoreSession& session) : RightPage(owner, session) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    auto corner = [this](int id, const char* skin) {
        auto* b = new CKbcButton(id, CKbcButton::Mode::Push, this);
        b->SetImage(skinPath(QString::fromLatin1(skin)), {});
        b->SetSize(18, 18);
        b->SetLayout(CKbcButton::LayoutCaptioned);
        b->SetBackground(CKbcButton::BackgroundLight);
        b->SetUseCursor(true);
        return b;
    };
    add_ = new CKbcButton(IdAdd, CKbcButton::Mode::Push, this);
    add_->SetImage(skinPath(QStringLiteral("Comm\\AddFile.png")), QStringLiteral("添加"));
    add_->SetSize(64, 30);
    add_->SetBackground(CKbcButton::BackgroundPanel);
    add_->SetUseCursor(true);
    min_ = corner(IdMin, "Comm\\Min.png");
    close_ = corner(IdClose, "Comm\\Close.png");
    min_->setAccessibleName(QStringLiteral("最小化"));
    close_->setAccessibleName(QStringLiteral("关闭"));
    connect(min_, &CKbcButton::clicked, this, &RightPage::minimiseRequested);
    connect(close_, &CKbcButton::clicked, this, [this] { CloseRequest(); });
    settings_ = new CSetContentDlg(this, session);
    settings_->hide();
    toast_ = new CMsgBoxDlg(this);
    emptyLibrary_ = loadSkinImage(QStringLiteral("Comm\\Add.png"));
}

QRect PlaceholderPage::contentRect() const {
    return QRect(0, 52, width() - 4, height() - 104);
}

QRect PlaceholderPage::emptyLibraryRect() const {
    const QRect content = contentRect();
    const QSize size = emptyLibrary_.isNull() ? QSize(380, 240) : emptyLibrary_.size();
    return QRect(content.center() - QPoint(size.width() / 2, size.height() / 2), size);
}

void PlaceholderPage::Layout() {
    const int w = width();
    // The picture leaves room for the add button at (195, 186).
    add_->move(emptyLibraryRect().topLeft() + QPoint(195, 186));
    min_->move(w - 66, 16);
    close_->move(w - 36, 16);
    settings_->setGeometry(contentRect());
    settings_->Layout();
    SwitchView(view_);
}

void PlaceholderPage::SwitchView(int view) {
    view_ = view;
    if (view >= ViewLibrary && view <= ViewSettings) {
        settings_->setVisible(view == ViewSettings);
        add_->setVisible(view == ViewLibrary);
    }
    update();
}

void PlaceholderPage::ShowToast(int code) {
    toast_->Show(code);
    toast_->raise();
}

void PlaceholderPage::PrepareQuit() {
    quitting_ = true;
}

CKbcButton* PlaceholderPage::button(int id) const {
    if (id == IdMin) return min_;
    if (id == IdClose) return close_;
    return nullptr;
}

void PlaceholderPage::mousePressEvent(QMouseEvent* event) {
    // Unaccepted, a press in the title band goes on to the main window, which drags.
    if (event->position().y() < kTitleBand)
        event->ignore();
    else
        event->accept();
}

void PlaceholderPage::paintEvent(QPaintEvent*) {
    const int w = width(), h = height();
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(QRect(0, 0, w, kTitleBand), colorref(0xF8F8F8));
    painter.fillRect(QRect(0, kTitleBand, w, h - kTitleBand), colorref(0xF3F3F2));
    if (view_ != ViewLibrary) {
        painter.fillRect(QRect(0, h - 52, w, 52), colorref(0xF8F8F8));
        painter.setPen(argb(0xFFDDDDDD));
        painter.drawLine(1, h - 52, w, h - 52);
    }
    painter.setPen(argb(0xFFDDDDDD));
    painter.drawLine(0, 50, w - 2, 50);
    painter.setFont(skinFont(12));
    painter.setPen(argb(0xFF3E3D42));
    painter.drawText(
        QRect(w - 200, 16, 126, 22), Qt::AlignLeft | Qt::AlignTop,
        QStringLiteral("IP: %1").arg(QString::fromStdString(session().currentAddress())));
    if (view_ == ViewLibrary && !emptyLibrary_.isNull())
        painter.drawImage(emptyLibraryRect().topLeft(), emptyLibrary_);
}

}  // namespace zorvex::ui
