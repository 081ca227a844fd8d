#include "ui/windows/video_wnd_dlg.h"

#include "ui/session/core_session.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStringList>

#include <algorithm>

#include "ui/toolkit/accessible.h"
#include "ui/toolkit/disk_worker.h"
#include "ui/toolkit/focus_ring.h"
#include "ui/toolkit/gif_image.h"

namespace zorvex::ui {
namespace {

const QColor kBackground(242, 243, 243);
const QRectF kThumbnail(8, 8, 128, 72);
const QRectF kBadge(86, 64, 50, 16);
const QRectF kCheck(8, 92, 14, 14);
const QRectF kName(24, 91, 119, 14);

// The documented short form where it fits the name's place. Else the same
// shape with fewer leading characters, the last character and the whole
// extension kept; else Qt's middle elision of the whole name.
QString fittedName(const QString& shortForm, const QString& name) {
    const QFontMetrics metrics(skinFont(12));
    const int width = static_cast<int>(kName.width());
    if (metrics.horizontalAdvance(shortForm) <= width) return shortForm;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    const qsizetype lastLength = base.size() > 1 && base.back().isLowSurrogate() ? 2 : 1;
    const QString last = base.right(lastLength);
    for (qsizetype head = std::min<qsizetype>(7, base.size() - lastLength - 1); head > 0; --head) {
        if (base[head - 1].isHighSurrogate()) continue;  // a character is never cut in two
        QString candidate = base.left(head) + QStringLiteral("...") + last + extension;
        if (metrics.horizontalAdvance(candidate) <= width) return candidate;
    }
    return metrics.elidedText(name, Qt::ElideMiddle, width);
}

}  // namespace

std::shared_ptr<const CardArt> CardArt::Load() {
    auto art = std::make_shared<CardArt>();
    art->placeholder = SkinImage::load(QStringLiteral("FP\\NoVideoSrc.png"));
    art->check = SkinImage::load(QStringLiteral("FP\\Check.png"));
    art->converted = SkinImage::load(QStringLiteral("FP\\Coned.png"));
    art->waiting = SkinImage::load(QStringLiteral("FP\\Con_Wait.png"));
    art->lost = SkinImage::load(QStringLiteral("FP\\Lose.png"));
    return art;
}

CVideoWndDlg::CVideoWndDlg(const CardView& view, std::shared_ptr<const CardArt> art,
                           DiskWorker& disk, QWidget* parent)
    : QWidget(parent), art_(std::move(art)), disk_(disk) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(kWidth, kHeight);
    setUpKeyboard();
    SetView(view);
}

CVideoWndDlg::~CVideoWndDlg() = default;

QString CVideoWndDlg::toolTipText() const {
    QStringList lines{QString::fromStdString(view_.name)};
    QStringList facts;
    if (const std::int64_t ms = view_.durationMs; ms > 0) {
        const std::int64_t s = (ms + 500) / 1000;
        facts << (s >= 3600 ? QStringLiteral("时长 %1:%2:%3")
                                  .arg(s / 3600)
                                  .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
                                  .arg(s % 60, 2, 10, QLatin1Char('0'))
                            : QStringLiteral("时长 %1:%2")
                                  .arg(s / 60)
                                  .arg(s % 60, 2, 10, QLatin1Char('0')));
    }
    if (const std::int64_t bytes = view_.bytes; bytes > 0) {
        const double mb = static_cast<double>(bytes) / 1024 / 1024;
        facts << (mb < 1      ? QStringLiteral("%1 KB").arg(std::max<std::int64_t>(1, bytes / 1024))
                  : mb < 1024 ? QString::asprintf("%.1f MB", mb)
                              : QString::asprintf("%.1f GB", mb / 1024));
    }
    if (view_.width > 0 && view_.height > 0)
        facts << QStringLiteral("%1×%2").arg(view_.width).arg(view_.height);
    if (!facts.isEmpty()) lines << facts.join(QStringLiteral(" · "));
    if (view_.look == CardLook::Missing) lines << QStringLiteral("视频已丢失");
    if (view_.notShared) lines << QStringLiteral("未共享：手机看不到这个视频");
    return lines.join(QLatin1Char('\n'));
}

void CVideoWndDlg::SetView(const CardView& view) {
    view_ = view;
    shownName_ =
        fittedName(QString::fromStdString(view_.shortName), QString::fromStdString(view_.name));
    showAnimation(view_.look == CardLook::Converting);
    setToolTip(toolTipText());
    const QString path = QString::fromStdString(view_.thumbnailPath);
    const bool usable = view_.thumbUsable;
    if (path != thumbnailPath_ || usable != thumbnailUsable_) {
        thumbnailPath_ = path;
        thumbnailUsable_ = usable;
        if (path.isEmpty())
            thumbnail_ = QImage();
        else
            loadThumbnail(path);
    }
    paintedCurrent_ = false;
    update();
    followAccessible();
}

void CVideoWndDlg::loadThumbnail(const QString& path) {
    ++loading_;
    disk_.loadPicture(path, this, [this, path](QImage image) {
        --loading_;
        if (path != thumbnailPath_) return;  // asked for another since
        thumbnail_ = std::move(image);
        paintedCurrent_ = false;
        update();
    });
}

void CVideoWndDlg::showAnimation(bool on) {
    // isHidden, not isVisible: a card of a view that is not showing is
    // invisible however its animation stands, and must still drop it.
    if (!on) {
        if (animation_ && !animation_->isHidden()) {
            animation_->Stop();
            animation_->hide();
        }
        return;
    }
    if (!animation_) {
        animation_ = new CGIFImage(this);
        animation_->setGeometry(kBadge.toRect());
        animation_->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    if (!animation_->isHidden() && animation_->animating()) return;
    animation_->Load(skinPathFor(QStringLiteral("FP\\Coning.gif"), devicePixelRatioF()));
    animation_->SetKind(2);
    animation_->show();
}

void CVideoWndDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(rect(), kBackground);

    const CardLook look = view_.look;
    const bool missing = look == CardLook::Missing;
    // A missing video keeps its last thumbnail under the overlay; without
    // one it gets the placeholder rather than an empty frame.
    if ((view_.thumbUsable || missing) && !thumbnail_.isNull()) {
        const QRectF source =
            QRectF(0, 0, 128, 72).intersected(QRectF(QPointF(0, 0), QSizeF(thumbnail_.size())));
        painter.drawImage(kThumbnail, thumbnail_, source);
    } else {
        art_->placeholder.draw(painter, kThumbnail, QRectF(0, 0, 128, 72));
    }
    if (look == CardLook::Converted) art_->converted.draw(painter, kBadge, QRectF(0, 0, 50, 16));
    if (look == CardLook::Waiting) art_->waiting.draw(painter, kBadge, QRectF(0, 0, 50, 16));
    if (missing) art_->lost.draw(painter, kThumbnail, QRectF(0, 0, 128, 72));

    art_->check.draw(painter, kCheck, QRectF(0, view_.checked ? 28 : 0, 14, 14));

    painter.setFont(skinFont(12));
    painter.setPen(view_.notShared ? argb(0xFFA0A0A0) : argb(0xFF3E3D42));
    painter.drawText(kName, Qt::AlignLeft | Qt::AlignTop, shownName());
    paintedCurrent_ = loading_ == 0;
}

void CVideoWndDlg::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton) return;
    emit pressed(view_.path, view_.examined);
}

void CVideoWndDlg::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton || !view_.examined) return;
    if (!rect().contains(event->position().toPoint())) return;
    emit clicked(view_.itemId);
}

void CVideoWndDlg::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    if (!view_.examined) return;
    hovered_ = true;
    update();
}

void CVideoWndDlg::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (!hovered_) return;
    hovered_ = false;
    update();
}

void CVideoWndDlg::setUpKeyboard() {
    setFocusPolicy(Qt::TabFocus);
    FocusRing::Surround(this);
    SkinAccessible::SetRole(this, QAccessible::CheckBox);
}

QString CVideoWndDlg::accessibleText() const {
    const QString name = QString::fromStdString(view_.name);
    QString state;
    switch (view_.look) {
        case CardLook::Waiting:
            state = QStringLiteral("等待转码");
            break;
        case CardLook::Converting:
            state = QStringLiteral("正在转码");
            break;
        case CardLook::Converted:
            state = QStringLiteral("已转码");
            break;
        case CardLook::Interrupted:
            state = QStringLiteral("转码中断");
            break;
        case CardLook::Missing:
            state = QStringLiteral("视频已丢失");
            break;
        case CardLook::Plain:
            break;
    }
    if (view_.notShared) state = QStringLiteral("未共享");
    return state.isEmpty() ? name : name + QStringLiteral("，") + state;
}

void CVideoWndDlg::followAccessible() {
    SkinAccessible::SetName(this, accessibleText());
    SkinAccessible::SetChecked(this, view_.checked);
}

void CVideoWndDlg::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key != Qt::Key_Space && key != Qt::Key_Return && key != Qt::Key_Enter) {
        QWidget::keyPressEvent(event);  // the arrows and the list's keys go on to the list
        return;
    }
    event->accept();
    if (view_.examined) emit clicked(view_.itemId);
}

void CVideoWndDlg::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    // Only a move of the keyboard's scrolls: the focus coming back with the
    // window leaves the view where the user scrolled it.
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)
        emit focused(view_.itemId);
}

}  // namespace zorvex::ui
