#include "ui/windows/save_folder_bar.h"

#include "ui/session/core_session.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include "ui/toolkit/kbc_button.h"
#include "ui/toolkit/key_target.h"
#include "ui/toolkit/tab_chain.h"

namespace zorvex::ui {
namespace {

constexpr int kTextLead = 2;
// Both sit on the bar, whose grey is lighter than their background's.
const QColor kBar = colorref(0xF8F8F8);

CKbcButton* makeButton(int id, const char* skin, const QString& caption, int width, int height,
                       int layout, CKbcButton::Background background, QWidget* parent) {
    auto* b = new CKbcButton(id, CKbcButton::Mode::Push, parent);
    b->SetImage(skinPath(QString::fromLatin1(skin)), caption);
    b->SetSize(width, height);
    b->SetLayout(layout);
    b->SetBackground(background);
    b->SetUseCursor(true);
    return b;
}

}  // namespace

CSaveFolderBar::CSaveFolderBar(CoreSession& session, QWidget* parent)
    : QWidget(parent), session_(session) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    modify_ = makeButton(IdModifyPath, "Setting\\Button.png", QStringLiteral("修改"), 70, 26,
                         CKbcButton::LayoutCells, CKbcButton::BackgroundPanel, this);
    modify_->SetCellSize(90, 30);
    modify_->SetBackgroundColour(kBar);
    clean_ = makeButton(IdClean, "Convert\\CleanBtn.png", QStringLiteral("清空已完成"), 86, 16,
                        CKbcButton::LayoutIcon, CKbcButton::BackgroundPale, this);
    clean_->SetCellSize(16, 16);
    connect(modify_, &CKbcButton::clicked, this, &CSaveFolderBar::chooseFolder);
    connect(clean_, &CKbcButton::clicked, this, [this] { session_.clearFinished(); });
    folderTarget_ = new CKeyTarget(QStringLiteral("打开保存文件夹"), QAccessible::Button, this);
    folderTarget_->setGeometry(folderIconRect());
    connect(folderTarget_, &CKeyTarget::activated, this, &CSaveFolderBar::openFolder);
    folderIcon_ = SkinImage::load(QStringLiteral("Convert\\OpenPath.png"));
}

QString CSaveFolderBar::ShownPath(const QString& path) {
    if (path.size() < kPathCharacters) return path;
    qsizetype cut = kPathCharacters;
    if (path[cut - 1].isHighSurrogate()) --cut;  // never half a character
    return path.left(cut) + QStringLiteral("...");
}

void CSaveFolderBar::SetTabAnchor(QWidget* anchor) {
    ChainTabs({anchor, folderTarget_, modify_, clean_});
}

void CSaveFolderBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    modify_->move(398, 15);
    clean_->setGeometry(width() - 106, 18, 86, 16);
}

void CSaveFolderBar::chooseFolder() {
    if (folderDialog_) {
        folderDialog_->raise();
        folderDialog_->activateWindow();
        return;
    }
    const QString current = QString::fromStdString(session_.convertFolder());
    auto* dialog = new QFileDialog(window(), QStringLiteral("请选择保存路径"), current);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& chosen) {
        const QFileInfo folder(chosen);
        if (chosen.isEmpty() || !folder.isDir()) return;  // no folder of the file system
        const auto choice =
            session_.setConvertFolder(QDir::cleanPath(folder.absoluteFilePath()).toStdString());
        if (choice == CoreSession::FolderChoice::NotWritable)
            emit refused(QStringLiteral("无法写入此文件夹，保存位置未更改"));
        update(folderBoxRect());
    });
    folderDialog_ = dialog;
    dialog->open();
}

void CSaveFolderBar::openFolder() {
    session_.openFile(session_.convertFolder());
}

void CSaveFolderBar::setIconState(bool over, bool pressed) {
    if (over == overIcon_ && pressed == pressedIcon_) return;
    overIcon_ = over;
    pressedIcon_ = pressed;
    update(folderIconRect());
}

void CSaveFolderBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton &&
        folderIconRect().contains(event->position().toPoint())) {
        setIconState(overIcon_, true);
        setCursor(Qt::PointingHandCursor);
    }
    event->ignore();  // on to the page
}

void CSaveFolderBar::mouseReleaseEvent(QMouseEvent* event) {
    event->ignore();  // on to the page
    if (event->button() != Qt::LeftButton || !pressedIcon_) return;
    setIconState(false, false);
    if (folderIconRect().contains(event->position().toPoint())) openFolder();
}

void CSaveFolderBar::mouseMoveEvent(QMouseEvent* event) {
    event->ignore();  // on to the page
    const bool over = folderIconRect().contains(event->position().toPoint());
    setIconState(over, over && pressedIcon_);
    if (over)
        setCursor(Qt::PointingHandCursor);
    else if (!pressedIcon_)
        unsetCursor();
}

void CSaveFolderBar::leaveEvent(QEvent* event) {
    setIconState(false, pressedIcon_);
    QWidget::leaveEvent(event);
}

void CSaveFolderBar::hideEvent(QHideEvent* event) {
    setIconState(false, false);
    unsetCursor();
    QWidget::hideEvent(event);
}

void CSaveFolderBar::paintEvent(QPaintEvent*) {
    const int w = width();
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setFont(skinFont(12));
    painter.fillRect(rect(), kBar);
    painter.setPen(argb(0xFFDDDDDD));
    painter.drawLine(1, 0, w, 0);

    const QRect box = folderBoxRect();
    painter.setPen(argb(0xFFD6D6D6));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.setPen(argb(0xFF3E3F42));
    // Both texts keep the small leading a GDI+ string has, off the box's edge.
    painter.drawText(QRect(21 + kTextLead, 20, 50, 20), Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("保存至:"));
    // Cut by the rule; what still does not fit stops short of the icon.
    const int pathLeft = 63 + kTextLead;
    const QRect pathRect(pathLeft, 20, folderIconRect().left() - 4 - pathLeft, 20);
    QString shown = ShownPath(QString::fromStdString(session_.convertFolder()));
    const QFontMetrics metrics(painter.font());
    if (metrics.horizontalAdvance(shown) > pathRect.width())
        shown = metrics.elidedText(shown, Qt::ElideRight, pathRect.width());
    painter.setPen(argb(0xFF8E8E8E));
    painter.drawText(pathRect, Qt::AlignLeft | Qt::AlignTop, shown);
    const int cell = pressedIcon_ ? 2 : overIcon_ ? 1 : 0;
    folderIcon_.draw(painter, folderIconRect(), QRectF(0, 24 * cell, 24, 24));
}

}  // namespace zorvex::ui
