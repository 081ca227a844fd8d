#include "ui/windows/video_wnd_list.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>

#include "ui/toolkit/kbc_button.h"
#include "ui/toolkit/notify_msg_dlg.h"
#include "ui/toolkit/tab_chain.h"
#include "ui/windows/video_wnd_dlg.h"

namespace zorvex::ui {
namespace {

// A card's press is logged under the card's own tag.
constexpr const char* kCardLogTag = "ZorvexUIFiles\\VideoWndDlg";
const QColor kBackground(242, 243, 243);
constexpr int kAddButtonId = 1081;
constexpr int kMargin = 18;  // above the first row, and below the last

std::vector<std::string> localPaths(const QMimeData* data) {
    std::vector<std::string> paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
    }
    return paths;
}

}  // namespace

std::vector<std::string> DroppedFiles(const QMimeData* data) {
    return localPaths(data);
}

CVideoWndList::CVideoWndList(CoreSession& session, QWidget* parent)
    : CScrollPane(parent), session_(session) {
    connect(&session_, &CoreSession::libraryChanged, this, &CVideoWndList::syncCards);
    connect(&session_, &CoreSession::cardChanged, this, &CVideoWndList::onCardChanged);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    art_ = CardArt::Load();
    picture_ = SkinImage::load(QStringLiteral("Comm\\Add.png"));

    addButton_ = new CKbcButton(kAddButtonId, CKbcButton::Mode::Push, viewport());
    addButton_->SetImage(skinPath(QStringLiteral("Comm\\AddFile.png")), QStringLiteral("添加"));
    addButton_->SetLayout(CKbcButton::LayoutCaptioned);
    addButton_->SetSize(64, 30);
    addButton_->SetUseCursor(true);
    addButton_->SetBackground(CKbcButton::BackgroundLight);
    connect(addButton_, &CKbcButton::clicked, this, [this] { AddByDialog(); });
    syncCards();
}

CVideoWndList::~CVideoWndList() {
    for (CVideoWndDlg* card : order_) delete card;
    if (dialog_) delete dialog_;
}

QString CVideoWndList::dialogTitle() {
    return QStringLiteral("请选择需要转换文件");
}

QString CVideoWndList::dialogFilter() {
    return QStringLiteral(
        "视频文件 (*.mp4 *.mkv *.flv *.rmvb *.rm *.mov *.wmv *.avi *.mpeg *.3gp)");
}

QPoint CVideoWndList::cardPosition(int index) {
    return {kLeft + kColumnPitch * (index % kColumns), kTop + kRowPitch * (index / kColumns)};
}

CVideoWndDlg* CVideoWndList::cardAt(int index) const {
    if (index < 0 || index >= cardCount()) return nullptr;
    return order_[static_cast<std::size_t>(index)];
}

CVideoWndDlg* CVideoWndList::card(const std::string& itemId) const {
    auto it = cards_.find(itemId);
    return it == cards_.end() ? nullptr : it->second;
}

QRect CVideoWndList::pictureRect() const {
    const QSize size = viewport()->size();
    return {size.width() / 2 - 190, size.height() / 2 - 120, 380, 240};
}

void CVideoWndList::syncCards() {
    // The grid's Tab stop and the focus stay where the removed cards were.
    const auto wasCurrent = std::find(order_.begin(), order_.end(), currentCard());
    const int currentAt = static_cast<int>(wasCurrent - order_.begin());
    QWidget* const focus = QApplication::focusWidget();
    std::map<std::string, CVideoWndDlg*> kept;
    std::vector<CVideoWndDlg*> order;
    for (const CardView& view : session_.cards()) {
        CVideoWndDlg* widget = nullptr;
        auto it = cards_.find(view.itemId);
        if (it != cards_.end()) {
            widget = it->second;
            cards_.erase(it);
            // A change of the list may change a card too (a finished
            // conversion turns its source plain again) without a word of it.
            widget->SetView(view);
        } else {
            widget = new CVideoWndDlg(view, art_, disk_, viewport());
            connect(widget, &CVideoWndDlg::pressed, this, &CVideoWndList::logPress);
            connect(widget, &CVideoWndDlg::clicked, this, &CVideoWndList::onCardClicked);
            connect(widget, &CVideoWndDlg::focused, this, &CVideoWndList::showCard);
        }
        kept[view.itemId] = widget;
        order.push_back(widget);
    }
    // Later: the change may come from inside one of these cards' own events.
    bool focusLost = false;
    for (auto& [id, widget] : cards_) {
        focusLost = focusLost || widget == focus;
        widget->hide();
        widget->deleteLater();
    }
    cards_ = std::move(kept);
    order_ = std::move(order);
    if (!currentCard() && !order_.empty())
        current_ = order_[static_cast<std::size_t>(std::min(currentAt, cardCount() - 1))]->itemId();
    LayoutCards();
    if (!focusLost) return;
    if (CVideoWndDlg* next = currentCard()) {
        next->setFocus(Qt::OtherFocusReason);
        showCard(next->itemId());
    } else {
        setFocus(Qt::OtherFocusReason);
    }
}

void CVideoWndList::LayoutCards() {
    addButton_->setVisible(order_.empty());
    UpdateScrollRange();
    placeChildren();
    for (CVideoWndDlg* card : order_) card->show();
    orderTabs();
    viewport()->update();
}

void CVideoWndList::UpdateScrollRange() {
    const int rows = (cardCount() + kColumns - 1) / kColumns;
    const int content = rows == 0 ? 0 : kTop + kRowPitch * rows - 8 + kMargin;
    const int page = viewport()->height();
    SetScrollRange(content > page ? content : page, page);
}

void CVideoWndList::placeChildren() {
    const QPoint shift(0, offset());
    for (int i = 0; i < cardCount(); ++i)
        order_[static_cast<std::size_t>(i)]->move(cardPosition(i) - shift);
    const QSize size = viewport()->size();
    addButton_->move(QPoint(size.width() / 2 + 5, size.height() / 2 + 66) - shift);
}

void CVideoWndList::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), kBackground);
    if (order_.empty()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        picture_.draw(painter, pictureRect().translated(0, -offset()), QRectF(0, 0, 380, 240));
    }
}

void CVideoWndList::resizeEvent(QResizeEvent* event) {
    CScrollPane::resizeEvent(event);
    LayoutCards();
}

void CVideoWndList::keyPressEvent(QKeyEvent* event) {
    if (moveCardFocus(event->key())) {
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        event->accept();
        SetAllChecked(true);
        emit selectionChanged();
        return;
    }
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        event->accept();
        const auto cards = session_.cards();
        const bool any = std::any_of(cards.begin(), cards.end(),
                                     [](const CardView& card) { return card.checked; });
        if (any) emit deleteRequested();
        return;
    }
    CScrollPane::keyPressEvent(event);
}

void CVideoWndList::mouseReleaseEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    CScrollPane::mouseReleaseEvent(event);
}

void CVideoWndList::dragEnterEvent(QDragEnterEvent* event) {
    if (!localPaths(event->mimeData()).empty()) event->acceptProposedAction();
}

void CVideoWndList::dragMoveEvent(QDragMoveEvent* event) {
    if (!localPaths(event->mimeData()).empty()) event->acceptProposedAction();
}

void CVideoWndList::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths = localPaths(event->mimeData());
    if (paths.empty()) return;
    event->acceptProposedAction();
    AddDropped(paths);
}

void CVideoWndList::AddDropped(const std::vector<std::string>& paths) {
    QPointer<CVideoWndList> self(this);
    disk_.run<DroppedPaths>([paths] { return CoreSession::expandDrop(paths); },
                            [self](const DroppedPaths& dropped) {
                                if (self) self->session_.addDropped(dropped);
                            });
}

void CVideoWndList::AddByDialog() {
    if (dialog_) {
        dialog_->raise();
        dialog_->activateWindow();
        return;
    }
    if (!session_.mayAdd()) return;
    // The first time, where videos are kept, not wherever the program was started from.
    if (lastFolder_.isEmpty()) {
        const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
        lastFolder_ = QDir(videos).exists() ? videos : QDir::homePath();
    }
    auto* dialog = new QFileDialog(window(), dialogTitle(), lastFolder_, dialogFilter());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFiles);
    connect(dialog, &QFileDialog::filesSelected, this, [this](const QStringList& files) {
        std::vector<std::string> paths;
        for (const QString& file : files) paths.push_back(file.toStdString());
        if (!files.isEmpty()) lastFolder_ = QFileInfo(files.front()).absolutePath();
        if (!paths.empty()) session_.addChosen(paths);
    });
    dialog_ = dialog;
    dialog->open();
}

void CVideoWndList::logPress(const std::string& path, bool examined) {
    session_.log(path + "||||||||OnLButtonDown====" + (examined ? "TRUE" : "FALSE"), kCardLogTag);
}

void CVideoWndList::onCardClicked(const std::string& itemId) {
    // A card toggled from the keyboard keeps the focus.
    if (CVideoWndDlg* clicked = card(itemId); !clicked || !clicked->hasFocus())
        setFocus(Qt::MouseFocusReason);
    if (CVideoWndDlg* clicked = card(itemId)) setCurrent(clicked);
    session_.toggleChecked(itemId);
    emit selectionChanged();
}

void CVideoWndList::QueueConversion() {
    ConvertOutcome outcome = session_.queueConversion();
    while (outcome.question)
        outcome = session_.answerDuplicate(askDuplicateName(*outcome.question));
}

DuplicateChoice CVideoWndList::askDuplicateName(const std::string& shownName) {
    CNotifyMsgDlg question(this, CNotifyMsgDlg::TypeDuplicateName,
                           QString::fromStdString(shownName), {});
    question.exec();
    switch (question.resultCode()) {
        case CNotifyMsgDlg::ResultContinue:
            return DuplicateChoice::Continue;
        case CNotifyMsgDlg::ResultClose:
            return DuplicateChoice::Close;
        default:
            return DuplicateChoice::Skip;
    }
}

void CVideoWndList::onCardChanged(const std::string& itemId) {
    CVideoWndDlg* widget = card(itemId);
    if (!widget) return;
    if (auto view = session_.card(itemId)) widget->SetView(*view);
}

void CVideoWndList::orderTabs() {
    // Screen readers list the children in their order: the library's.
    std::vector<CVideoWndDlg*> stacked;
    for (QObject* child : viewport()->children()) {
        if (auto* card = qobject_cast<CVideoWndDlg*>(child); card && cards_.count(card->itemId()))
            stacked.push_back(card);
    }
    if (stacked != order_) {
        for (CVideoWndDlg* card : order_) card->raise();
    }
    std::vector<QWidget*> chain{tabAnchor_};
    chain.insert(chain.end(), order_.begin(), order_.end());
    ChainTabs(chain);
    setCurrent(currentCard() ? currentCard() : cardAt(0));
}

void CVideoWndList::setCurrent(CVideoWndDlg* current) {
    current_ = current ? current->itemId() : std::string();
    // Only the current card is in Tab's way; the others are reached inside.
    for (CVideoWndDlg* card : order_)
        card->setFocusPolicy(card == current ? Qt::TabFocus : Qt::NoFocus);
}

int CVideoWndList::keyTarget(int from, int key) const {
    const int count = cardCount();
    const int row = from / kColumns, column = from % kColumns;
    const int lastRow = (count - 1) / kColumns;
    const int pageRows = std::max(1, viewport()->height() / kRowPitch);
    int to = -1;
    switch (key) {
        case Qt::Key_Left:
            to = from - 1;
            break;
        case Qt::Key_Right:
            to = from + 1 < count ? from + 1 : -1;
            break;
        case Qt::Key_Home:
            to = 0;
            break;
        case Qt::Key_End:
            to = count - 1;
            break;
        case Qt::Key_Up:
        case Qt::Key_PageUp:
            to = std::max(row - (key == Qt::Key_Up ? 1 : pageRows), 0) * kColumns + column;
            break;
        case Qt::Key_Down:
        case Qt::Key_PageDown: {
            // A shorter last row is reached on its last card.
            const int down = std::min(row + (key == Qt::Key_Down ? 1 : pageRows), lastRow);
            to = std::min(down * kColumns + column, count - 1);
            break;
        }
        default:
            return -1;
    }
    return to == from ? -1 : to;
}

// Inside the grid the keys move the focus from card to card.
bool CVideoWndList::moveCardFocus(int key) {
    switch (key) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            break;
        default:
            return false;
    }
    const auto at = std::find(order_.begin(), order_.end(), QApplication::focusWidget());
    if (at == order_.end()) return false;  // the list itself: the keys scroll
    if (CVideoWndDlg* next = cardAt(keyTarget(static_cast<int>(at - order_.begin()), key))) {
        setCurrent(next);
        next->setFocus(Qt::TabFocusReason);
    }
    return true;
}

// The list itself holds the focus after a click on it: Tab and Shift+Tab
// go on from its current card, where the grid stands in Tab's order.
bool CVideoWndList::focusNextPrevChild(bool next) {
    CVideoWndDlg* current = currentCard();
    if (!hasFocus() || !current || !current->isVisible())
        return CScrollPane::focusNextPrevChild(next);
    if (next) {
        current->setFocus(Qt::TabFocusReason);
        return true;
    }
    return FocusTabStopBefore(current) || CScrollPane::focusNextPrevChild(next);
}

void CVideoWndList::showCard(const std::string& itemId) {
    const auto at = std::find_if(order_.begin(), order_.end(),
                                 [&](const CVideoWndDlg* c) { return c->itemId() == itemId; });
    if (at == order_.end()) return;
    const int top = cardPosition(static_cast<int>(at - order_.begin())).y();
    const int bottom = top + CVideoWndDlg::kHeight;
    const int page = viewport()->height();
    if (top - kTop < offset())
        ScrollTo(top - kTop + 1);
    else if (bottom + kMargin > offset() + page)
        ScrollTo(bottom + kMargin - page + 1);
}

}  // namespace zorvex::ui
