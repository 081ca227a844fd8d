#include "ui/windows/set_content_dlg.h"

#include <QPainter>

#include "ui/toolkit/accessible.h"
#include "ui/toolkit/kbc_button.h"
#include "ui/toolkit/skin.h"

namespace zorvex::ui {
namespace {

struct PageText {
    const char16_t* text;
    QRect rect;  // from the documented left, top, right, bottom
    quint32 colour;
};

QRect ltrb(int left, int top, int right, int bottom) {
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

const QRect kRunningNote(408, 62, 200, 20);

QString keepAwakeTip(KeepAwakeObstacle obstacle) {
    switch (obstacle) {
        case KeepAwakeObstacle::NoSystemBus:
            return QStringLiteral("本机没有 D-Bus 系统总线，无法阻止电脑休眠");
        case KeepAwakeObstacle::NoInhibitor:
            return QStringLiteral("本机找不到 systemd-inhibit，无法阻止电脑休眠");
        case KeepAwakeObstacle::None:
            break;
    }
    return {};
}

}  // namespace

CSetContentDlg::CSetContentDlg(QWidget* parent, CoreSession& session)
    : QWidget(parent), session_(session) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    auto add = [this](int id, CKbcButton::Mode mode, const char* skin, const QString& caption,
                      QSize size, int layout, CKbcButton::Background background) {
        auto* b = new CKbcButton(id, mode, this);
        b->SetImage(skinPath(QString::fromLatin1(skin)), caption);
        b->SetSize(size.width(), size.height());
        b->SetLayout(layout);
        b->SetBackground(background);
        b->SetUseCursor(true);
        connect(b, &CKbcButton::clicked, this, &CSetContentDlg::onButton);
        buttons_[id] = b;
    };
    using M = CKbcButton::Mode;
    add(IdCheckUpdate, M::Push, "Setting\\Button.png", QStringLiteral("检测更新"), {70, 26},
        CKbcButton::LayoutCells, CKbcButton::BackgroundPanel);
    buttons_[IdCheckUpdate]->SetCellSize(90, 30);
    add(Id1080P, M::Check, "Setting\\Radio.png", QStringLiteral("1080P画质 (1K及以下手机)"),
        {200, 18}, CKbcButton::LayoutCaptioned, CKbcButton::BackgroundPanel);
    add(Id2K, M::Check, "Setting\\Radio.png", QStringLiteral("  2K画质     (2K及以上手机)"),
        {200, 18}, CKbcButton::LayoutCaptioned, CKbcButton::BackgroundPanel);
    SkinAccessible::SetRole(buttons_[Id1080P], QAccessible::RadioButton);
    SkinAccessible::SetRole(buttons_[Id2K], QAccessible::RadioButton);
    add(IdKeepAwake, M::Check, "Setting\\Check.png",
        QStringLiteral("有任务时电脑不自动休眠(推荐开启)"), {250, 18}, CKbcButton::LayoutCaptioned,
        CKbcButton::BackgroundPanel);
    Layout();
    ReflectSettings();
}

void CSetContentDlg::Layout() {
    buttons_[IdCheckUpdate]->setGeometry(328, 58, 70, 26);
    buttons_[Id1080P]->setGeometry(138, 133, 200, 18);
    buttons_[Id2K]->setGeometry(138, 168, 200, 18);
    buttons_[IdKeepAwake]->setGeometry(138, 288, 250, 18);
}

void CSetContentDlg::ReflectSettings() {
    // Where nothing could keep the computer awake, the box says so rather
    // than promise it; the stored choice stays for a system where it works.
    const KeepAwakeObstacle obstacle = session_.keepAwakeObstacle();
    CKbcButton* keepAwake = buttons_[IdKeepAwake];
    keepAwake->SetInactive(obstacle != KeepAwakeObstacle::None);
    keepAwake->SetUseCursor(obstacle == KeepAwakeObstacle::None);
    keepAwake->setToolTip(keepAwakeTip(obstacle));
    keepAwake->SetCheck(obstacle == KeepAwakeObstacle::None && session_.comSleepUnSleep() != 0);
    // Anything but 1 shows 2K, and the value stays until a radio is clicked.
    const int ratio = session_.videoConvertRatio();
    buttons_[Id1080P]->SetCheck(ratio == 1);
    buttons_[Id2K]->SetCheck(ratio != 1);
    update();
}

void CSetContentDlg::SetCheckRunning(bool running) {
    checkRunning_ = running;
    buttons_[IdCheckUpdate]->SetInactive(running);
    update(kRunningNote);
}

CKbcButton* CSetContentDlg::button(int id) const {
    const auto it = buttons_.find(id);
    return it == buttons_.end() ? nullptr : it->second;
}

QString CSetContentDlg::versionText() const {
    return QStringLiteral("当前版本：V%1 ").arg(QString::fromStdString(session_.productVersion()));
}

void CSetContentDlg::onButton(int id) {
    switch (id) {
        case IdCheckUpdate:
            if (!checkRunning_) emit updateCheckRequested();
            return;
        case IdKeepAwake: {
            CKbcButton* box = buttons_[IdKeepAwake];
            const bool on = !box->checked();
            box->SetCheck(on);
            session_.setComSleepUnSleep(on ? 1 : 0);
            session_.saveSettings();
            return;
        }
        case Id1080P:
        case Id2K:
            chooseRatio(id);
            return;
        default:
            return;
    }
}

void CSetContentDlg::chooseRatio(int id) {
    CKbcButton* chosen = buttons_[id];
    if (chosen->checked()) return;
    const int ratio = id == Id1080P ? 1 : 2;
    chosen->SetCheck(true);
    buttons_[id == Id1080P ? Id2K : Id1080P]->SetCheck(false);
    session_.setVideoConvertRatio(ratio);
    session_.saveSettings();
}

void CSetContentDlg::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    ReflectSettings();
}

void CSetContentDlg::paintEvent(QPaintEvent*) {
    static const PageText texts[] = {
        {u"版本状态：", ltrb(72, 23, 172, 41), 0xFF3E3D42},
        {nullptr, ltrb(138, 60, 318, 78), 0xFF3E3D42},  // the version
        {u"转码：", ltrb(72, 101, 172, 119), 0xFF3E3D42},
        {u"请根据手机屏幕分辨率选取适当的画质设置，我们将为您智能转码", ltrb(138, 204, 538, 222),
         0xFF6C6B64},
        {u"休眠设置：", ltrb(72, 249, 152, 267), 0xFF3E3D42},
    };
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(rect(), QColor(0xF2, 0xF3, 0xF3));
    painter.setFont(skinFont(14));
    for (const PageText& t : texts) {
        painter.setPen(argb(t.colour));
        // Unclipped: the fallback font runs a little wider than the one the rectangles fit.
        painter.drawText(t.rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                         t.text ? QString::fromUtf16(t.text) : versionText());
    }
    if (checkRunning_) {
        painter.setPen(argb(0xFF8E8E8E));
        painter.drawText(kRunningNote, Qt::AlignLeft | Qt::AlignTop,
                         QStringLiteral("正在检测更新…"));
    }
}

}  // namespace zorvex::ui
