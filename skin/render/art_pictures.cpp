#include <QLinearGradient>
#include <QPainterPath>
#include <QTransform>

#include <cmath>
#include <vector>

#include "art.h"
#include "glyphs.h"
#include "palette.h"
#include "skin_writer.h"

namespace skin {
namespace p = palette;
namespace {

QImage canvas(QSize size, const QColor& fill = Qt::transparent) {
    return blankImage(size, fill);
}

void begin(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
}

// The mark: a pair of lenses in a rounded square, the player's headset seen from the front.
void drawMark(QPainter& painter, const QRectF& box, const QColor& plate, const QColor& ink) {
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(plate);
    painter.drawRoundedRect(box, box.width() * 0.24, box.width() * 0.24);
    const qreal w = box.width();
    QPainterPath visor;
    const QRectF body(box.left() + w * 0.16, box.top() + w * 0.3, w * 0.68, w * 0.4);
    visor.addRoundedRect(body, w * 0.12, w * 0.12);
    QPainterPath nose;
    nose.addEllipse(QPointF(body.center().x(), body.bottom()), w * 0.1, w * 0.11);
    painter.setBrush(ink);
    painter.drawPath(visor.subtracted(nose));
    painter.setBrush(plate);
    painter.drawEllipse(QPointF(body.left() + body.width() * 0.28, body.center().y() - w * 0.01),
                        w * 0.08, w * 0.08);
    painter.drawEllipse(QPointF(body.right() - body.width() * 0.28, body.center().y() - w * 0.01),
                        w * 0.08, w * 0.08);
    painter.restore();
}

void text(QPainter& painter, const QRectF& box, const QString& s, int px, const QColor& colour,
          int flags = Qt::AlignCenter, bool bold = false) {
    painter.setFont(skinFont(px, bold));
    painter.setPen(colour);
    painter.drawText(box, flags, s);
}

QImage placeholder() {
    QImage image = canvas({128, 72}, p::kPlaceholder);
    QPainter painter(&image);
    begin(painter);
    drawGlyph(painter, Glyph::Film, QRectF(48, 20, 32, 32), QColor(0xB4, 0xBA, 0xC1), 1.6);
    drawGlyph(painter, Glyph::Play, QRectF(57, 29, 14, 14), QColor(0xB4, 0xBA, 0xC1));
    return image;
}

QImage badge(const QColor& fill, const QString& label) {
    QImage image = canvas({50, 16});
    QPainter painter(&image);
    begin(painter);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(0, 0, 50, 16), 2, 2);
    text(painter, QRectF(0, 0, 50, 16), label, 11, p::kWhite);
    return image;
}

// A busy badge: a lighter band sweeps across the blue while the label stays put.
std::vector<QImage> busyBadge(int frames) {
    std::vector<QImage> out;
    for (int f = 0; f < frames; ++f) {
        QImage image = canvas({50, 16}, p::kAccent);
        QPainter painter(&image);
        begin(painter);
        const qreal x = -20 + f * (90.0 / frames);
        QLinearGradient band(x, 0, x + 20, 0);
        band.setColorAt(0, QColor(255, 255, 255, 0));
        band.setColorAt(0.5, QColor(255, 255, 255, 70));
        band.setColorAt(1, QColor(255, 255, 255, 0));
        painter.fillRect(QRectF(0, 0, 50, 16), band);
        text(painter, QRectF(0, 0, 50, 16), QStringLiteral("转码中"), 11, p::kWhite);
        out.push_back(image);
    }
    return out;
}

void spinning(QPainter& painter, const QRectF& box, qreal degrees, const QColor& ink) {
    painter.save();
    painter.translate(box.center());
    painter.rotate(degrees);
    painter.translate(-box.center());
    drawGlyph(painter, Glyph::Convert, box, ink, 1.5);
    painter.restore();
}

QImage addPicture() {
    QImage image = canvas({380, 240});
    QPainter painter(&image);
    begin(painter);
    // A drop zone: the list takes videos dropped anywhere on it.
    QPen dash(QColor(0xC9, 0xCD, 0xD2), 1.2, Qt::DashLine);
    dash.setDashPattern({4, 3});
    painter.setPen(dash);
    painter.setBrush(QColor(0xFA, 0xFB, 0xFB));
    painter.drawRoundedRect(QRectF(60.5, 8.5, 259, 162), 8, 8);
    drawGlyph(painter, Glyph::Film, QRectF(150, 36, 80, 80), QColor(0xC3, 0xC8, 0xCE), 2.2);
    painter.setPen(Qt::NoPen);
    painter.setBrush(p::kAccent);
    painter.drawEllipse(QPointF(222, 108), 15, 15);
    drawGlyph(painter, Glyph::Add, QRectF(213, 99, 18, 18), p::kWhite, 2.2);
    text(painter, QRectF(60, 124, 260, 40), QStringLiteral("还没有分享的视频"), 14, p::kGrey);
    // The list puts its add button at (195, 186) of this picture; the line leads to it.
    text(painter, QRectF(0, 186, 187, 30), QStringLiteral("拖拽视频到这里，或"), 14, p::kGrey,
         Qt::AlignRight | Qt::AlignVCenter);
    text(painter, QRectF(0, 220, 380, 20), QStringLiteral("支持 MP4、MKV、MOV、AVI 等常见格式"), 12,
         p::kDimGrey);
    return image;
}

QImage toastPanel() {
    QImage image = canvas({315, 80});
    QPainter painter(&image);
    begin(painter);
    painter.setPen(QPen(QColor(255, 255, 255, 28), 1));
    painter.setBrush(QColor(0x33, 0x2F, 0x30, 240));
    painter.drawRoundedRect(QRectF(0.5, 0.5, 314, 79), 5, 5);
    return image;
}

QImage logo() {
    QImage image = canvas({160, 50}, p::kColumn);
    QPainter painter(&image);
    begin(painter);
    drawMark(painter, QRectF(18, 12, 26, 26), p::kAccent, p::kWhite);
    text(painter, QRectF(52, 0, 108, 50), QStringLiteral("Zorvex助手"), 16, p::kWhite,
         Qt::AlignLeft | Qt::AlignVCenter);
    painter.fillRect(QRectF(0, 49, 160, 1), QColor(0x4C, 0x46, 0x47));
    return image;
}

QImage banner() {
    QImage image = canvas({460, 140}, p::kColumn);
    QPainter painter(&image);
    begin(painter);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        painter.setBrush(QColor(0xEE, 0x8E, 0x31, 16 + 6 * i));
        const qreal r = 150 - 32 * i;
        painter.drawEllipse(QPointF(400, 120), r, r);
    }
    painter.setBrush(QColor(255, 255, 255, 16));
    painter.drawEllipse(QPointF(40, -10), 60, 60);
    drawMark(painter, QRectF(40, 42, 56, 56), p::kAccent, p::kWhite);
    text(painter, QRectF(112, 40, 300, 32), QStringLiteral("Zorvex助手"), 24, p::kWhite,
         Qt::AlignLeft | Qt::AlignVCenter);
    text(painter, QRectF(113, 74, 300, 22), QStringLiteral("发现新版本，正在为您升级"), 14,
         QColor(255, 255, 255, 220), Qt::AlignLeft | Qt::AlignVCenter);
    return image;
}

QImage roundBadge(QSize size, const QColor& fill, Glyph glyph, qreal inset, qreal stroke) {
    QImage image = canvas(size);
    QPainter painter(&image);
    begin(painter);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawEllipse(QRectF(QPointF(0, 0), QSizeF(size)).adjusted(0.5, 0.5, -0.5, -0.5));
    const QRectF box = QRectF(QPointF(0, 0), QSizeF(size)).adjusted(inset, inset, -inset, -inset);
    if (glyph == Glyph::Exclamation) {
        // The glyph's own ring would be lost on the disc; draw only the mark.
        const qreal w = size.width();
        painter.setPen(QPen(p::kWhite, stroke, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(w / 2, w * 0.26), QPointF(w / 2, w * 0.56));
        painter.drawPoint(QPointF(w / 2, w * 0.75));
    } else {
        drawGlyph(painter, glyph, box, p::kWhite, stroke);
    }
    return image;
}

QImage lostOverlay() {
    QImage image = canvas({128, 72}, QColor(0x2E, 0x2A, 0x2B, 165));
    QPainter painter(&image);
    begin(painter);
    drawGlyph(painter, Glyph::Broken, QRectF(52, 12, 24, 24), p::kWhite, 1.6);
    text(painter, QRectF(0, 40, 128, 20), QStringLiteral("视频已丢失"), 12, p::kWhite);
    return image;
}

QImage card(bool selected) {
    QImage image = canvas({144, 116});
    QPainter painter(&image);
    begin(painter);
    painter.setPen(QPen(selected ? p::kAccent : p::kBorderSoft, 1));
    painter.setBrush(selected ? p::kAccentSoft : p::kWhite);
    painter.drawRoundedRect(QRectF(0.5, 0.5, 143, 115), 4, 4);
    return image;
}

// The conversion entry of the menu while a conversion runs; the control shows
// the upper half of each frame.
std::vector<QImage> menuConverting(int frames) {
    std::vector<QImage> out;
    for (int f = 0; f < frames; ++f) {
        QImage image = canvas({160, 96}, p::kColumnSelected);
        QPainter painter(&image);
        begin(painter);
        for (int half = 0; half < 2; ++half) {
            const qreal top = half * 48;
            painter.fillRect(QRectF(0, top, 3, 48), p::kAccent);
            spinning(painter, QRectF(36, top + 14, 19, 19), f * 360.0 / frames, p::kWhite);
            text(painter, QRectF(66, top, 94, 48), QStringLiteral("转码中"), 16, p::kWhite,
                 Qt::AlignLeft | Qt::AlignVCenter);
        }
        out.push_back(image);
    }
    return out;
}

std::vector<QImage> buttonConverting(int frames) {
    std::vector<QImage> out;
    for (int f = 0; f < frames; ++f) {
        QImage image = canvas({64, 30}, p::kBand);
        QPainter painter(&image);
        begin(painter);
        painter.setPen(QPen(p::kAccent, 1));
        painter.setBrush(p::kWhite);
        painter.drawRoundedRect(QRectF(0.5, 0.5, 63, 29), 3, 3);
        spinning(painter, QRectF(8, 8, 13, 13), f * 360.0 / frames, p::kAccent);
        text(painter, QRectF(25, 0, 36, 30), QStringLiteral("转码"), 14, p::kAccent,
             Qt::AlignLeft | Qt::AlignVCenter);
        out.push_back(image);
    }
    return out;
}

}  // namespace

void renderPictures(SkinWriter& out) {
    out.png("Comm\\1.png", toastPanel());
    out.png("Comm\\Warning.png", roundBadge({24, 24}, p::kAmber, Glyph::Exclamation, 0, 2.4));
    out.png("Comm\\Add.png", addPicture());

    out.png("FP\\NoVideoSrc.png", placeholder());
    out.png("Convert\\NoVideoSrc.png", placeholder());
    out.png("FP\\Lose.png", lostOverlay());
    out.png("FP\\Coned.png", badge(p::kColumn, QStringLiteral("已转码")));
    out.png("FP\\Con_Wait.png", badge(p::kMidGrey, QStringLiteral("等待中")));
    out.png("FP\\Coning.png", badge(p::kAccent, QStringLiteral("转码中")));
    out.png("FP\\BK.png", card(false));
    out.png("FP\\SelectBK.png", card(true));
    out.gif("FP\\Coning.gif", busyBadge(10), std::vector<int>(10, 8));
    out.gif("FP\\ConvertList.gif", buttonConverting(12), std::vector<int>(12, 8));
    out.gif("LeftMenu\\ConvertList.gif", menuConverting(12), std::vector<int>(12, 8));

    out.png("LeftMenu\\logo.png", logo());
    out.png("Update\\Update.png", banner());

    out.png("Convert\\Converted.png", roundBadge({18, 18}, p::kAccent, Glyph::Tick, 4.5, 1.7));
    out.png("Convert\\Error.png", roundBadge({14, 14}, p::kRed, Glyph::Exclamation, 0, 1.8));
    out.png("Convert\\Tip.png", roundBadge({13, 13}, p::kRed, Glyph::Exclamation, 0, 1.7));
}

}  // namespace skin
