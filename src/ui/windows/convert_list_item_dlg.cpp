#include "ui/windows/convert_list_item_dlg.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>

#include "ui/toolkit/accessible.h"
#include "ui/toolkit/disk_worker.h"
#include "ui/toolkit/focus_ring.h"
#include "ui/toolkit/kbc_button.h"
#include "ui/toolkit/my_progress_bar.h"

namespace zorvex::ui {
namespace {

const QColor kBackground(242, 242, 243);
const QColor kGrey = argb(0xFF8E8E8E);
const QRectF kThumbnail(24, 18, 80, 45);
const QRect kName(120, 21, 164, 14);
const QRect kSize(118, 39, 164, 14);
const QRect kMode(328, 23, 116, 24);
const QRect kModeArea(309, 20, 116, 24);  // presses here keep the focus where it is
const QRect kStatus(451, 37, 160, 14);
const QRect kDoneText(471, 23, 160, 14);

}  // namespace

std::shared_ptr<const RowArt> RowArt::Load() {
    auto art = std::make_shared<RowArt>();
    art->placeholder = SkinImage::load(QStringLiteral("Convert\\NoVideoSrc.png"));
    art->converted = SkinImage::load(QStringLiteral("Convert\\Converted.png"));
    art->error = SkinImage::load(QStringLiteral("Convert\\Error.png"));
    art->tip = SkinImage::load(QStringLiteral("Convert\\Tip.png"));
    return art;
}

QString CConvertListItemDlg::FormatSize(std::int64_t bytes) {
    const double megabytes = static_cast<double>(bytes) / 1024 / 1024;
    if (megabytes < 1024) return QString::asprintf("%.1fM", megabytes);
    return QString::asprintf("%.1fG", megabytes / 1024);
}

CConvertListItemDlg::CConvertListItemDlg(std::shared_ptr<const RowArt> art, DiskWorker& disk,
                                         QWidget* parent)
    : QWidget(parent), art_(std::move(art)), disk_(disk) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    resize(width(), kHeight);

    bar_ = new CMyProgressBar(this);
    bar_->setGeometry(452, 25, 142, 8);
    bar_->SetRange(0, 100);
    bar_->SetPos(0);

    top_ = new CKbcButton(kTopButtonId, CKbcButton::Mode::Push, this);
    top_->SetImage({}, QStringLiteral("置顶"));
    top_->SetSize(30, 20);  // the caption's box; the button itself is 35 wide
    top_->SetLayout(CKbcButton::LayoutText);
    top_->SetBackground(CKbcButton::BackgroundPanel);
    top_->SetUseCursor(true);
    top_->setGeometry(632, 30, 35, 20);
    top_->hide();
    connect(top_, &CKbcButton::clicked, this, [this] {
        top_->hide();
        emit pinClicked(task_.key);
    });

    cancel_ = new CKbcButton(kCancelButtonId, CKbcButton::Mode::Push, this);
    cancel_->SetImage(skinPath(QStringLiteral("Convert\\Close.png")), QStringLiteral("取消"));
    cancel_->SetSize(64, 30);
    cancel_->SetLayout(CKbcButton::LayoutCellsCaptioned);
    cancel_->SetCellSize(64, 30);
    cancel_->SetBackground(CKbcButton::BackgroundPanelPlain);
    cancel_->SetUseCursor(true);
    cancel_->move(699, 25);
    connect(cancel_, &CKbcButton::clicked, this, [this] { emit cancelClicked(task_.key); });
    setUpKeyboard();
}

CConvertListItemDlg::~CConvertListItemDlg() = default;

void CConvertListItemDlg::SetTask(const TaskRowView& task) {
    task_ = task;
    name_ = QString::fromStdString(task.name);
    sizeText_ = FormatSize(task.bytes);
    mode_ = QString::fromStdString(task.modeLabel);
    const bool done = task.look == TaskLook::Done;
    bar_->setVisible(!done);
    bar_->SetPos(static_cast<int>(task.percent));
    const QString caption = done ? QStringLiteral("删除") : QStringLiteral("取消");
    if (cancel_->caption() != caption) cancel_->SetImage({}, caption);
    if (task.look == TaskLook::Running || done) top_->hide();
    if (task.look != TaskLook::Failed) unsetCursor();  // no retry to point at
    const QString thumbnail = QString::fromStdString(task.thumbnailPath);
    if (thumbnail != thumbnailPath_) {
        thumbnailPath_ = thumbnail;
        thumbnail_ = QImage();
        if (!thumbnail.isEmpty()) loadThumbnail(thumbnail);
    }
    update();
    followAccessible();
}

void CConvertListItemDlg::SetProgress(std::uint32_t percent) {
    task_.percent = percent;
    bar_->SetPos(static_cast<int>(percent));
    update(kStatus);
    followAccessible();
}

void CConvertListItemDlg::SetIndex(unsigned index) {
    if (index_ != 0 && index != index_) settled_.setRemainingTime(kSettleMs);
    index_ = index;
    if (index_ < 3) top_->hide();
}

void CConvertListItemDlg::loadThumbnail(const QString& path) {
    disk_.loadPicture(path, this, [this, path](QImage image) {
        if (path != thumbnailPath_) return;  // asked for another since
        thumbnail_ = std::move(image);
        update(kThumbnail.toRect());
    });
}

QString CConvertListItemDlg::statusText() const {
    switch (task_.look) {
        case TaskLook::Waiting:
            return QStringLiteral("任务等待");
        case TaskLook::Running:
            return QStringLiteral("已转码：%1 %").arg(bar_->pos());
        case TaskLook::Done:
            return QStringLiteral("转码完成");
        case TaskLook::Failed:
            return QStringLiteral("任务失败");
        default:
            return {};
    }
}

void CConvertListItemDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const int w = width(), h = height();
    painter.fillRect(rect(), kBackground);
    painter.setPen(argb(0xFFE8E9ED));
    painter.drawLine(10, h - 1, w - 10, h - 1);

    if (!thumbnail_.isNull()) {
        const QRectF source =
            QRectF(0, 0, 128, 72).intersected(QRectF(QPointF(0, 0), QSizeF(thumbnail_.size())));
        painter.drawImage(kThumbnail, thumbnail_, source);
    } else {
        art_->placeholder.draw(painter, kThumbnail, QRectF(0, 0, 128, 72));
    }

    painter.setFont(skinFont(12));
    const QFontMetrics metrics(painter.font());
    const bool stopped = task_.look == TaskLook::Stopped;
    // A long name ends in an ellipsis rather than being cut in a character.
    painter.setPen(stopped ? argb(0xFFAAAAAA) : argb(0xFF3E3D42));
    painter.drawText(kName, Qt::AlignLeft | Qt::AlignTop,
                     metrics.elidedText(name_, Qt::ElideRight, kName.width()));
    painter.setPen(stopped ? argb(0xFFAAAAAA) : kGrey);
    painter.drawText(kSize, Qt::AlignLeft | Qt::AlignTop, sizeText_);
    painter.setPen(kGrey);
    painter.drawText(kMode, Qt::AlignLeft | Qt::AlignTop, mode_);

    switch (task_.look) {
        case TaskLook::Waiting:
        case TaskLook::Running:
            painter.setPen(kGrey);
            painter.drawText(kStatus, Qt::AlignLeft | Qt::AlignTop, statusText());
            break;
        case TaskLook::Done:
            art_->converted.draw(painter, QRectF(451, 23, 18, 18));
            painter.setPen(kGrey);
            painter.drawText(kDoneText, Qt::AlignLeft | Qt::AlignTop, statusText());
            break;
        case TaskLook::Failed:
            painter.setPen(argb(0xFFF4564E));
            painter.drawText(kStatus, Qt::AlignLeft | Qt::AlignTop, statusText());
            art_->tip.draw(painter, QRectF(504, 39, 13, 13));
            art_->error.draw(painter, QRectF(92, 51, 14, 14));
            break;
        default:
            break;
    }
    FocusRing::Paint(painter, this);
}

QRect CConvertListItemDlg::failedStatusArea() {
    return {451, 36, 68, 17};  // the text and the icon at (504, 39)
}

QString CConvertListItemDlg::toolTipAt(const QPoint& at) const {
    if (task_.look == TaskLook::Failed && failedStatusArea().contains(at)) {
        QString again = QStringLiteral("点击重新转码");
        if (task_.failReason.empty()) return again;
        return QString::fromStdString(task_.failReason) + QLatin1Char('\n') + again;
    }
    if (task_.outputPath.empty()) return name_;
    return name_ + QStringLiteral("\n输出：") + QString::fromStdString(task_.outputPath);
}

bool CConvertListItemDlg::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QString text = toolTipAt(help->pos());
    // Shown again as the mouse moves onto another part with another text.
    QToolTip::showText(
        help->globalPos(), text, this,
        failedStatusArea().contains(help->pos()) ? failedStatusArea() : QRect(0, 0, 440, kHeight));
    return true;
}

void CConvertListItemDlg::hover() {
    hovered_ = true;
    const bool movable = task_.look != TaskLook::Running && task_.look != TaskLook::Done;
    if (movable && index_ >= 3 && !top_->isVisible()) top_->show();
}

void CConvertListItemDlg::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    hover();
}

void CConvertListItemDlg::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
    hover();
    const bool retry =
        task_.look == TaskLook::Failed && failedStatusArea().contains(event->position().toPoint());
    if (retry != (cursor().shape() == Qt::PointingHandCursor)) {
        if (retry)
            setCursor(Qt::PointingHandCursor);
        else
            unsetCursor();
    }
}

void CConvertListItemDlg::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (top_->isVisible() && top_->geometry().contains(mapFromGlobal(QCursor::pos()))) return;
    hovered_ = false;
    top_->hide();
    update();
}

void CConvertListItemDlg::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton) return;
    if (task_.look == TaskLook::Failed && !moving() &&
        failedStatusArea().contains(event->position().toPoint())) {
        emit retryClicked(task_.key);
        return;
    }
    if (kModeArea.contains(event->position().toPoint())) return;
    emit focusRequested();
    update();
}

void CConvertListItemDlg::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool press = key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
    if (!press || task_.look != TaskLook::Failed) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    emit retryClicked(task_.key);
}

void CConvertListItemDlg::wheelEvent(QWheelEvent* event) {
    // Handed to the list by hand: Qt passes only the platform's own wheel
    // events on to the parent.
    if (parentWidget())
        QCoreApplication::sendEvent(parentWidget(), event);
    else
        event->ignore();
}

void CConvertListItemDlg::setUpKeyboard() {
    setFocusPolicy(Qt::TabFocus);
    FocusRing::Track();
    SkinAccessible::SetRole(this, QAccessible::ListItem);
    bar_->setAccessibleName(QStringLiteral("转码进度"));
    top_->installEventFilter(this);
    cancel_->installEventFilter(this);
}

QString CConvertListItemDlg::accessibleText() const {
    QString state;
    switch (task_.look) {
        case TaskLook::Running:
            state = QStringLiteral("已转码 %1%").arg(bar_->pos());
            break;
        case TaskLook::Stopped:
            state = QStringLiteral("转码中断");
            break;
        default:
            state = statusText();
            break;
    }
    return state.isEmpty() ? name_ : name_ + QStringLiteral("，") + state;
}

void CConvertListItemDlg::followAccessible() {
    SkinAccessible::SetName(this, accessibleText());
    SkinAccessible::SetAction(
        this, task_.look == TaskLook::Failed ? QStringLiteral("重新转码") : QString());
    if (QAccessible::isActive() && task_.look == TaskLook::Running) {
        QAccessibleValueChangeEvent event(bar_, bar_->pos());
        QAccessible::updateAccessibility(&event);
    }
}

void CConvertListItemDlg::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    // Only a move of the keyboard's scrolls: the focus coming back with the
    // window leaves the view where the user scrolled it.
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) {
        const bool movable = task_.look != TaskLook::Running && task_.look != TaskLook::Done;
        if (movable && index_ >= 3) top_->show();
        emit focused();
    }
}

void CConvertListItemDlg::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    dropPinUnlessHeld();
}

bool CConvertListItemDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == top_ && event->type() == QEvent::FocusOut) dropPinUnlessHeld();
    const bool press =
        event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
    const bool button = watched == top_ || watched == cancel_;
    if (button && press && moving()) return true;  // aimed at the row that was here
    return QWidget::eventFilter(watched, event);
}

// "置顶" offered to the keyboard goes when the focus leaves the row and its
// button, unless the mouse still holds it.
void CConvertListItemDlg::dropPinUnlessHeld() {
    const QWidget* focus = QApplication::focusWidget();
    if (hovered_ || focus == this || focus == top_) return;
    top_->hide();
}

}  // namespace zorvex::ui
