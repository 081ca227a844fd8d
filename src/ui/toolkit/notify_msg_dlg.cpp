#include "ui/toolkit/notify_msg_dlg.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include "ui/toolkit/accessible.h"
#include "ui/toolkit/frame_strips.h"
#include "ui/toolkit/kbc_button.h"
#include "ui/toolkit/screen_fit.h"
#include "ui/toolkit/skin.h"

namespace zorvex::ui {
namespace {

constexpr int kWidth = 460;
constexpr int kHeight = 300;
constexpr int kTitleBand = 50;

struct TypeText {
    const char16_t* title;
    const char16_t* body;
    QRect bodyRect;
    int alignment;
};

const TypeText& typeText(int type) {
    static const TypeText texts[] = {
        {u"", u"", {}, 0},
        {u"删除转码视频", u"是否删除已转码视频", {150, 120, 300, 40}, Qt::AlignLeft | Qt::AlignTop},
        {u"取消任务",
         u"正在转码的视频将丢失进度，是否继续",
         {85, 140, 300, 40},
         Qt::AlignLeft | Qt::AlignTop},
        {u"退出提示", u"是否退出Zorvex助手", {160, 140, 300, 40}, Qt::AlignLeft | Qt::AlignTop},
        {u"重名任务",
         u"发现《%1》同名文件，点击继续将保存为两个文件",
         {110, 100, 250, 90},
         Qt::AlignCenter},
        // Shown like TypeStopTask's question: a confirmation without its question asks nothing.
        {u"删除任务",
         u"任务正处于转码队列，是否确认删除？",
         {85, 140, 300, 40},
         Qt::AlignLeft | Qt::AlignTop},
    };
    return texts[type >= 1 && type <= 5 ? type : 0];
}

}  // namespace

CNotifyMsgDlg::CNotifyMsgDlg(QWidget* parent, Type type, const QString& text, Settings settings)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::NoDropShadowWindowHint),
      type_(type),
      text_(text),
      settings_(std::move(settings)),
      drag_(this, [this](const QPoint& at) {
          const int y = at.y() - strips_->margin();
          return y >= 0 && y < kTitleBand;
      }) {
    // The shadow first: where it is a margin of the dialog, it decides the size.
    strips_ = new FrameStrips(this, FrameStrips::kConfirmation);
    const int m = strips_->margin();
    setFixedSize(kWidth + 2 * m, kHeight + 2 * m);
    setModal(true);
    // Screen readers hear the buttons of its type alone, not the hidden ones.
    SkinAccessible::SetRole(this, QAccessible::Dialog);
    const QString button = QStringLiteral("Msg\\Button.png");
    addButton(IdClose, false, {}, QStringLiteral("Msg\\Close.png"), {24, 24},
              CKbcButton::LayoutCaptioned, CKbcButton::BackgroundGrey, {420, 4, 24, 24});
    buttons_[IdClose]->setAccessibleName(QStringLiteral("关闭"));
    addButton(IdOk, false, QStringLiteral("确认"), button, {90, 30}, CKbcButton::LayoutWide,
              CKbcButton::BackgroundLight, {350, 252, 90, 30});
    addButton(IdCancel, false, QStringLiteral("取消"), button, {90, 30}, CKbcButton::LayoutWide,
              CKbcButton::BackgroundLight, {242, 252, 90, 30});
    addButton(IdContinue, false, QStringLiteral("继续"), button, {90, 30}, CKbcButton::LayoutWide,
              CKbcButton::BackgroundLight, {350, 252, 90, 30});
    addButton(IdSkip, false, QStringLiteral("跳过"), button, {90, 30}, CKbcButton::LayoutWide,
              CKbcButton::BackgroundLight, {242, 252, 90, 30});
    addButton(IdHide, false, QStringLiteral("后台运行"), QStringLiteral("Msg\\RunHide.png"),
              {90, 30}, CKbcButton::LayoutWide, CKbcButton::BackgroundLight, {350, 252, 90, 30});
    addButton(IdQuit, false, QStringLiteral("完全退出"), {}, {90, 30}, CKbcButton::LayoutText,
              CKbcButton::BackgroundPanelPlain, {242, 252, 90, 30});
    addButton(IdCheck1, true, QStringLiteral("不再提示"), QStringLiteral("Msg\\Check.png"),
              {250, 18}, CKbcButton::LayoutCaptioned, CKbcButton::BackgroundPanel,
              {18, 260, 150, 30});
    addButton(IdCheck2, true, QStringLiteral("彻底删除源文件"), QStringLiteral("Msg\\Check.png"),
              {250, 18}, CKbcButton::LayoutCaptioned, CKbcButton::BackgroundPanel,
              {165, 150, 250, 18});
    applyType();

    const QWidget* owner = parent ? parent->window() : nullptr;
    const QRect area = owner ? owner->frameGeometry()
                             : (QGuiApplication::primaryScreen()
                                    ? QGuiApplication::primaryScreen()->availableGeometry()
                                    : QRect(0, 0, kWidth, kHeight));
    move(area.center() - QPoint(width() / 2, height() / 2));
    // Over a window larger than its screen, the centre may lie off it.
    KeepOnScreen(*this, strips_->clientRect(QSize(kWidth, kHeight)),
                 owner ? owner->screen() : nullptr);
}

CNotifyMsgDlg::~CNotifyMsgDlg() = default;

void CNotifyMsgDlg::addButton(int id, bool check, const QString& caption, const QString& skin,
                              QSize size, int layout, CKbcButton::Background background,
                              const QRect& place) {
    auto* b = new CKbcButton(id, check ? CKbcButton::Mode::Check : CKbcButton::Mode::Push, this);
    b->SetImage(skin.isEmpty() ? QString() : skinPath(skin), caption);
    b->SetSize(size.width(), size.height());
    b->SetLayout(layout);
    b->SetBackground(background);
    b->SetUseCursor(true);
    b->setGeometry(place.translated(strips_->margin(), strips_->margin()));
    connect(b, &CKbcButton::clicked, this, &CNotifyMsgDlg::onButton);
    buttons_[id] = b;
}

CKbcButton* CNotifyMsgDlg::button(int id) const {
    const auto it = buttons_.find(id);
    return it == buttons_.end() ? nullptr : it->second;
}

void CNotifyMsgDlg::applyType() {
    const TypeText& t = typeText(type_);
    title_ = QString::fromUtf16(t.title);
    body_ = QString::fromUtf16(t.body);
    if (type_ == TypeDuplicateName) body_ = body_.arg(text_);
    // Drawn in the title band; also the name window lists and screen readers give it.
    setWindowTitle(title_);

    for (auto& [id, b] : buttons_) b->setVisible(id == IdClose);
    // As read: the title band, the check boxes, the bottom row from the left.
    const int order[] = {IdClose, IdCheck2, IdCheck1,   IdCancel, IdSkip,
                         IdQuit,  IdOk,     IdContinue, IdHide};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(buttons_[order[i - 1]], buttons_[order[i]]);
    auto show = [this](std::initializer_list<int> ids) {
        for (int id : ids) buttons_[id]->show();
    };
    switch (type_) {
        case TypeDeleteConverted:
            show({IdCheck2, IdCancel, IdOk});
            buttons_[IdCheck2]->SetCheck(settings_.deleteOrigin);
            break;
        case TypeStopTask:
        case TypeDeleteTask:
            show({IdCancel, IdOk});
            break;
        case TypeExit:
            // Asked only while ExitWndType asks: the remember box starts
            // unchecked and stays hidden, as in every type.
            buttons_[IdCheck1]->SetCheck(false);
            show({IdHide, IdQuit});
            break;
        case TypeDuplicateName:
            show({IdContinue, IdSkip});
            break;
    }
    if (CKbcButton* preferred = defaultButton()) preferred->setFocus(Qt::OtherFocusReason);
}

CKbcButton* CNotifyMsgDlg::defaultButton() const {
    switch (type_) {
        case TypeDeleteConverted:
        case TypeStopTask:
        case TypeDeleteTask:
            return button(IdOk);
        case TypeExit:
            return button(IdHide);  // the orange one
        case TypeDuplicateName:
            return button(IdContinue);
    }
    return nullptr;
}

void CNotifyMsgDlg::onButton(int id) {
    CKbcButton* b = button(id);
    const bool remember = buttons_[IdCheck1]->checked();
    switch (id) {
        case IdCheck1:
        case IdCheck2:
            b->SetCheck(!b->checked());
            return;
        case IdOk:
            if (type_ == TypeDeleteConverted)
                finish(buttons_[IdCheck2]->checked() ? ResultDeleteWithSource : ResultDelete);
            else
                finish(type_ == TypeStopTask     ? ResultStopTask
                       : type_ == TypeDeleteTask ? ResultDeleteTask
                                                 : result_);
            return;
        case IdCancel:
            finish(type_ == TypeStopTask ? ResultKeepTask : result_);
            return;
        case IdContinue:
            finish(type_ == TypeDuplicateName ? ResultContinue : result_);
            return;
        case IdSkip:
            finish(type_ == TypeDuplicateName ? ResultSkip : result_);
            return;
        case IdHide:
        case IdQuit: {
            const Result choice = id == IdHide ? ResultHide : ResultQuit;
            if (remember && settings_.rememberExit) settings_.rememberExit(choice);
            finish(choice);
            return;
        }
        case IdClose:
            finish(ResultClose);
            return;
        default:
            return;
    }
}

void CNotifyMsgDlg::finish(int result) {
    result_ = result;
    accept();
}

void CNotifyMsgDlg::reject() {
    finish(ResultClose);
}

void CNotifyMsgDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            reject();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            event->accept();
            // The button the keyboard moved to, else the default; a check box
            // with the focus leaves Enter to the default too.
            auto* focused = qobject_cast<CKbcButton*>(focusWidget());
            CKbcButton* pressed = focused && focused->isVisible() && !focused->isCheckMode()
                                      ? focused
                                      : defaultButton();
            if (pressed) pressed->Press();
            return;
        }
        default:
            QDialog::keyPressEvent(event);
    }
}

void CNotifyMsgDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const int m = strips_->margin();
    strips_->paintMargin(painter, QRect(m, m, kWidth, kHeight));
    painter.translate(m, m);
    painter.fillRect(QRect(0, 0, kWidth, kTitleBand), colorref(0x5B5657));
    painter.fillRect(QRect(0, kTitleBand, kWidth, kHeight - kTitleBand), colorref(0xF3F3F2));
    painter.setFont(skinFont(14));
    painter.setPen(argb(0xFFD3D3D4));
    painter.drawText(QRect(5, 10, 100, 30), Qt::AlignLeft | Qt::AlignTop, title_);
    const TypeText& t = typeText(type_);
    if (!t.bodyRect.isEmpty()) {
        painter.setFont(skinFont(16));
        painter.setPen(argb(0xFF5B5C62));
        painter.drawText(t.bodyRect, t.alignment | Qt::TextWordWrap, body_);
    }
    strips_->paintOutline(painter, QRect(0, 0, kWidth, kHeight));
}

}  // namespace zorvex::ui
