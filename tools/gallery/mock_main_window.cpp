// A still of the main window built from the skin and the real controls, laid
// out where the windows place them, so the pieces can be judged together.
#include <QCoreApplication>
#include <QEnterEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <array>

#include "gallery_page.h"
#include "ui/toolkit/client_frame_dlg.h"
#include "ui/toolkit/frame_strips.h"
#include "ui/toolkit/gif_image.h"
#include "ui/toolkit/kbc_button.h"
#include "ui/toolkit/menu_dlg.h"
#include "ui/toolkit/skin.h"

namespace zorvex::ui::gallery {
namespace {

constexpr int kWindowW = 972, kWindowH = 630;
constexpr int kPageW = kWindowW - 160, kPageH = kWindowH;

QImage skin(const char* name) {
    return loadSkinImage(QString::fromLatin1(name));
}

// A made-up frame of video: sky, sun and hills in a few calm colours.
QImage thumbnail(int seed) {
    static const std::array<std::array<QColor, 3>, 4> scenes = {{
        {QColor(0x9F, 0xC9, 0xE8), QColor(0x5E, 0x8C, 0x61), QColor(0x3D, 0x63, 0x45)},
        {QColor(0xF3, 0xC1, 0x8B), QColor(0x8A, 0x5A, 0x7A), QColor(0x4B, 0x35, 0x52)},
        {QColor(0xC9, 0xD8, 0xE4), QColor(0x7D, 0x8F, 0xA3), QColor(0x4D, 0x5B, 0x6E)},
        {QColor(0x2B, 0x3A, 0x5C), QColor(0x5A, 0x4E, 0x7C), QColor(0x1E, 0x22, 0x36)},
    }};
    const auto& c = scenes[static_cast<std::size_t>(seed) % scenes.size()];
    QImage image(128, 72, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 72);
    sky.setColorAt(0, c[0].lighter(115));
    sky.setColorAt(1, c[0]);
    painter.fillRect(image.rect(), sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 150));
    painter.drawEllipse(QPointF(30 + seed * 17 % 70, 22), 9, 9);
    QPainterPath far;
    far.moveTo(0, 50);
    far.cubicTo(30, 30 + seed % 3 * 4, 70, 56, 128, 38);
    far.lineTo(128, 72);
    far.lineTo(0, 72);
    painter.setBrush(c[1]);
    painter.drawPath(far);
    QPainterPath near;
    near.moveTo(0, 64);
    near.cubicTo(40, 50, 80, 70, 128, 56);
    near.lineTo(128, 72);
    near.lineTo(0, 72);
    painter.setBrush(c[2]);
    painter.drawPath(near);
    return image;
}

QString shortName(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot < 0 ? QString() : name.left(dot);
    const QString ext = dot < 0 ? name : name.mid(dot);
    if (base.size() < 9) return name;
    return base.left(7) + QStringLiteral("...") + base.right(1) + ext;
}

enum CardKind { Plain, Converted, Waiting, Converting, Missing };

void drawCard(QPainter& painter, QPoint at, int seed, CardKind kind, bool checked,
              const QString& name) {
    painter.save();
    painter.translate(at);
    painter.fillRect(QRect(0, 0, 144, 116), QColor(242, 243, 243));
    painter.drawImage(QRectF(8, 8, 128, 72), thumbnail(seed), QRectF(0, 0, 128, 72));
    if (kind == Converted) painter.drawImage(QRectF(86, 64, 50, 16), skin("FP\\Coned.png"));
    if (kind == Waiting) painter.drawImage(QRectF(86, 64, 50, 16), skin("FP\\Con_Wait.png"));
    if (kind == Missing) painter.drawImage(QRectF(8, 8, 128, 72), skin("FP\\Lose.png"));
    if (kind == Converting) {
        CGIFImage gif(nullptr);
        gif.resize(50, 16);
        gif.Load(skinPath(QStringLiteral("FP\\Coning.gif")));
        gif.SetKind(2);
        gif.ShowFrame(4);
        painter.drawImage(86, 64, grabWidget(gif));
    }
    painter.drawImage(QRectF(8, 92, 14, 14), skin("FP\\Check.png"),
                      QRectF(0, checked ? 28 : 0, 14, 14));
    painter.setFont(skinFont(12));
    painter.setPen(argb(0xFF3E3D42));
    painter.drawText(QRect(24, 91, 119, 14), Qt::AlignLeft | Qt::AlignTop, shortName(name));
    painter.restore();
}

QImage button(int id, bool check, const char* file, const QString& caption, QSize size, int layout,
              int background, bool on = false, bool hover = false) {
    CKbcButton b(id, check ? CKbcButton::Mode::Check : CKbcButton::Mode::Push, nullptr);
    b.SetImage(skinPath(QString::fromLatin1(file)), caption);
    b.SetSize(size.width(), size.height());
    b.SetLayout(layout);
    b.SetBackground(static_cast<CKbcButton::Background>(background));
    if (check) b.SetCheck(on);
    if (!check && on) b.SetInactive(true);
    if (hover) {
        const QPointF c(5, 5);
        QEnterEvent enter(c, c, c);
        QCoreApplication::sendEvent(&b, &enter);
    }
    return grabWidget(b);
}

QImage leftMenu() {
    QImage image(160, kWindowH, QImage::Format_ARGB32_Premultiplied);
    image.fill(colorref(0x423D3E));
    QPainter painter(&image);
    painter.drawImage(QRectF(0, 0, 160, 51), skin("LeftMenu\\logo.png"), QRectF(0, 0, 160, 50));
    painter.drawImage(
        0, 51,
        button(1011, true, "FP\\FlyScreen.png", QStringLiteral("飞屏"), {160, 48}, 2, 4, true));
    painter.drawImage(QRectF(0, 99, 160, 48), skin("LeftMenu\\ConvertList.png"),
                      QRectF(0, 0, 160, 48));
    painter.setFont(skinFont(16));
    painter.setPen(argb(0xFF99989C));
    painter.drawText(QRect(6, 99, 160, 48), Qt::AlignCenter, QStringLiteral("转码"));
    painter.drawImage(
        0, 147,
        button(1076, true, "LeftMenu\\Setting.png", QStringLiteral("设置"), {160, 48}, 2, 4));
    return image;
}

QImage page() {
    const int W = kPageW, H = kPageH;
    QImage image(W, H, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(QRect(0, 0, W, 50), colorref(0xF8F8F8));
    painter.fillRect(QRect(0, 50, W, H - 50), colorref(0xF3F3F2));
    painter.drawImage(
        10, 10, button(1001, false, "FP\\AddFile.png", QStringLiteral("添加"), {64, 30}, 0, 2));
    painter.drawImage(84, 10,
                      button(1002, false, "FP\\Convert.png", QStringLiteral("转码"), {64, 30}, 0, 2,
                             false, true));
    painter.setFont(skinFont(12));
    painter.setPen(argb(0xFF767676));
    painter.drawText(QRect(W - 333, 15, 120, 15), Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("【已连接2台设备】"));
    painter.drawImage(QRectF(W - 223, 16, 18, 18), skin("FP\\IPState.png"), QRectF(0, 18, 18, 18));
    painter.drawImage(QRectF(W - 205, 14, 126, 22), skin("FP\\IPCombo.png"),
                      QRectF(0, 22, 126, 22));
    painter.setPen(argb(0xFFF19410));
    painter.drawText(QRect(W - 200, 16, 126, 22), Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("IP: 192.168.1.23"));
    painter.drawImage(W - 66, 16, button(1005, false, "Comm\\Min.png", {}, {18, 18}, 0, 2));
    painter.drawImage(W - 36, 16, button(1006, false, "Comm\\Close.png", {}, {18, 18}, 0, 2));
    painter.setPen(argb(0xFFDDDDDD));
    painter.drawLine(0, 50, W - 2, 50);

    // The card list, with one card of every look.
    painter.fillRect(QRect(0, 52, W - 4, H - 104), QColor(242, 243, 243));
    const struct {
        CardKind kind;
        bool checked;
        const char16_t* name;
    } cards[] = {
        {Plain, true, u"holiday_in_rome.mp4"},        {Converted, false, u"alps_360.mp4"},
        {Converting, false, u"city_night_drive.mkv"}, {Waiting, false, u"ocean.mov"},
        {Plain, true, u"concert_front_row.mp4"},      {Missing, false, u"old_trip.avi"},
        {Plain, false, u"forest_walk.mp4"},           {Converted, true, u"rollercoaster_3d.mp4"},
    };
    for (int i = 0; i < 8; ++i)
        drawCard(painter, QPoint(14 + 158 * (i % 5), 52 + 18 + 124 * (i / 5)), i, cards[i].kind,
                 cards[i].checked, QString::fromUtf16(cards[i].name));

    painter.fillRect(QRect(0, H - 52, W, 52), colorref(0xF8F8F8));
    painter.setPen(argb(0xFFDDDDDD));
    painter.drawLine(1, H - 52, W, H - 52);
    painter.drawImage(
        W - 85, H - 41,
        button(1004, false, "FP\\Delete.png", QStringLiteral("删除"), {64, 30}, 0, 2));
    CKbcButton all(1085, CKbcButton::Mode::Check, nullptr);
    all.SetImage(skinPath(QStringLiteral("Setting\\Check.png")), QStringLiteral("全选"));
    all.SetSize(250, 18);
    all.SetLayout(3);
    all.SetBackground(CKbcButton::BackgroundPanel);
    all.resize(50, 18);
    painter.drawImage(W - 186, H - 34, grabWidget(all));
    return image;
}

}  // namespace

QImage mainWindowSection() {
    constexpr int kMargin = 30;
    QImage out(kWindowW + 2 * kMargin, kWindowH + 2 * kMargin, QImage::Format_ARGB32_Premultiplied);
    out.fill(QColor(0xE6, 0xE7, 0xE9));
    QPainter painter(&out);
    const QRect client(kMargin, kMargin, kWindowW, kWindowH);
    QWidget owner;
    owner.resize(kWindowW, kWindowH);
    FrameStrips strips(&owner, FrameStrips::kMainWindow);
    const auto rects = FrameStrips::placement(client, FrameStrips::kMainWindow);
    for (int kind = 1; kind <= 4; ++kind) {
        CClientFrameDlg* piece = strips.piece(kind);
        piece->resize(rects[static_cast<std::size_t>(kind - 1)].size());
        painter.drawImage(rects[static_cast<std::size_t>(kind - 1)].topLeft(), grabWidget(*piece));
    }
    painter.drawImage(client.topLeft(), leftMenu());
    painter.drawImage(client.topLeft() + QPoint(160, 0), page());

    // The address menu open below the address box.
    CMenuDlg menu(2, nullptr);
    menu.SetTexts(
        {QStringLiteral("192.168.1.23"), QStringLiteral("10.0.0.8"), QStringLiteral("127.0.0.1")});
    menu.resize(126, 66);
    menu.SetCurrent(QStringLiteral("192.168.1.23"));
    menu.Rebuild();
    const QPointF at(50, 33);
    QMouseEvent move(QEvent::MouseMove, at, at, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&menu, &move);
    painter.drawImage(client.topLeft() + QPoint(160 + kPageW - 205, 36), grabWidget(menu));
    return out;
}

}  // namespace zorvex::ui::gallery
