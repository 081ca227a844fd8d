#include <QPainterPath>

#include "art.h"
#include "glyphs.h"
#include "palette.h"
#include "skin_writer.h"

namespace skin {
namespace p = palette;

namespace {
int scale = 1;
}  // namespace

int renderScale() {
    return scale;
}

void setRenderScale(int value) {
    scale = value;
}

QImage blankImage(QSize size, const QColor& fill) {
    QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(fill);
    return image;
}

QImage cellSheet(QSize cell, int cells,
                 const std::function<void(QPainter&, const QRectF&, int)>& draw) {
    QImage image = blankImage(QSize(cell.width(), cell.height() * cells));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    for (int i = 0; i < cells; ++i) {
        painter.save();
        painter.setClipRect(QRect(0, i * cell.height(), cell.width(), cell.height()));
        draw(painter, QRectF(0, i * cell.height(), cell.width(), cell.height()), i);
        painter.restore();
    }
    return image;
}

QFont skinFont(int pixelSize, bool bold) {
    QFont font;
    font.setFamilies({QStringLiteral("Microsoft YaHei"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

namespace {

// The four looks of a plain button: normal, hover, pressed, inactive.
struct Look {
    QColor fill;
    QColor border;  // invalid: no outline
    QColor ink;
};

Look plainLook(int state) {
    switch (state) {
        case 1:
            return {p::kAccent, {}, p::kWhite};
        case 2:
            return {p::kAccentPressed, {}, p::kWhite};
        case 3:
            return {p::kInactiveFill, p::kBorderSoft, p::kLightGrey};
        default:
            return {p::kWhite, p::kBorder, p::kGrey};
    }
}

Look primaryLook(int state) {
    switch (state) {
        case 1:
            return {p::kAccentHover, {}, p::kWhite};
        case 2:
            return {p::kAccentPressed, {}, p::kWhite};
        case 3:
            return {p::kInactiveFill, p::kBorderSoft, p::kLightGrey};
        default:
            return {p::kAccent, {}, p::kWhite};
    }
}

void roundedBox(QPainter& painter, const QRectF& cell, const Look& look, qreal radius = 3) {
    painter.setPen(look.border.isValid() ? QPen(look.border, 1) : Qt::NoPen);
    painter.setBrush(look.fill);
    painter.drawRoundedRect(cell.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

// 64 x 30 command buttons: the icon sits left of the caption the button writes at x 25.
QImage iconButton(Glyph glyph) {
    return cellSheet({64, 30}, 4, [glyph](QPainter& painter, const QRectF& cell, int state) {
        const Look look = plainLook(state);
        roundedBox(painter, cell, look);
        drawGlyph(painter, glyph, QRectF(cell.left() + 8, cell.top() + 8, 13, 13), look.ink, 1.5);
    });
}

QImage textButton(QSize size, Look (*lookOf)(int)) {
    return cellSheet(size, 4, [lookOf](QPainter& painter, const QRectF& cell, int state) {
        roundedBox(painter, cell, lookOf(state));
    });
}

// Small glyph buttons on light panels: a soft square behind the glyph on hover.
QImage glyphButton(QSize size, int cells, Glyph glyph, qreal inset, const QColor& hoverInk) {
    return cellSheet(size, cells, [=](QPainter& painter, const QRectF& cell, int state) {
        QColor ink = p::kGrey;
        if (state == 1 || state == 2) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(state == 1 ? p::kAccentSoft : p::kAccentSoftPressed);
            painter.drawRoundedRect(cell.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
            ink = state == 2 ? p::kAccentPressed : hoverInk;
        } else if (state == 3) {
            ink = p::kLightGrey;
        }
        drawGlyph(painter, glyph, cell.adjusted(inset, inset, -inset, -inset), ink, 1.5);
    });
}

// 14 x 14 check glyphs: empty, hovered, checked.
QImage checkSheet() {
    return cellSheet({14, 14}, 3, [](QPainter& painter, const QRectF& cell, int state) {
        const QRectF box = cell.adjusted(0.5, 0.5, -0.5, -0.5);
        if (state == 2) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(p::kAccent);
            painter.drawRoundedRect(box, 2.5, 2.5);
            drawGlyph(painter, Glyph::Tick, cell.adjusted(2.5, 2.5, -2.5, -2.5), p::kWhite, 1.6);
            return;
        }
        painter.setPen(QPen(state == 1 ? p::kAccent : QColor(0xB7, 0xBD, 0xC0), 1));
        painter.setBrush(p::kWhite);
        painter.drawRoundedRect(box, 2.5, 2.5);
    });
}

QImage radioSheet() {
    return cellSheet({14, 14}, 3, [](QPainter& painter, const QRectF& cell, int state) {
        const QRectF ring = cell.adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setPen(
            QPen(state == 0 ? QColor(0xB7, 0xBD, 0xC0) : p::kAccent, state == 2 ? 1.5 : 1));
        painter.setBrush(p::kWhite);
        painter.drawEllipse(state == 2 ? ring.adjusted(0.25, 0.25, -0.25, -0.25) : ring);
        if (state == 2) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(p::kAccent);
            painter.drawEllipse(cell.center(), 3.2, 3.2);
        }
    });
}

// 160 x 48 entries of the dark column: normal, hover, chosen. The button writes
// its caption at x 66, so the icon takes the space before it.
QImage menuEntry(Glyph glyph) {
    return cellSheet({160, 48}, 3, [glyph](QPainter& painter, const QRectF& cell, int state) {
        const QColor fill = state == 0   ? p::kColumn
                            : state == 1 ? p::kColumnHover
                                         : p::kColumnSelected;
        painter.fillRect(cell, fill);
        QColor ink = state == 0 ? p::kDimGrey : state == 1 ? QColor(0xD8, 0xD7, 0xDB) : p::kWhite;
        if (state == 2)
            painter.fillRect(QRectF(cell.left(), cell.top(), 3, cell.height()), p::kAccent);
        drawGlyph(painter, glyph, QRectF(cell.left() + 36, cell.top() + 14, 19, 19), ink, 1.5);
    });
}

}  // namespace

void renderControls(SkinWriter& out) {
    out.png("Comm\\AddFile.png", iconButton(Glyph::Add));
    out.png("FP\\AddFile.png", iconButton(Glyph::Add));
    out.png("FP\\Convert.png", iconButton(Glyph::Convert));
    out.png("FP\\Delete.png", iconButton(Glyph::Delete));
    out.png("FP\\Group_a.png", iconButton(Glyph::GroupNew));
    out.png("FP\\Group_b.png", iconButton(Glyph::GroupSame));
    out.png("FP\\ConvertList.png", iconButton(Glyph::List));

    out.png("Comm\\Min.png", glyphButton({18, 18}, 4, Glyph::Minimise, 4, p::kAccent));
    out.png("Comm\\Close.png", glyphButton({18, 18}, 4, Glyph::Close, 4.5, p::kAccent));
    out.png("Msg\\Close.png",
            cellSheet({24, 24}, 4, [](QPainter& painter, const QRectF& cell, int state) {
                static const QColor fills[] = {Qt::transparent, QColor(0x6E, 0x68, 0x69),
                                               QColor(0x4A, 0x45, 0x46), Qt::transparent};
                static const QColor inks[] = {QColor(0xD3, 0xD3, 0xD4), p::kWhite, p::kWhite,
                                              QColor(0x8A, 0x85, 0x86)};
                painter.setPen(Qt::NoPen);
                painter.setBrush(fills[state]);
                painter.drawRoundedRect(cell.adjusted(1, 1, -1, -1), 3, 3);
                drawGlyph(painter, Glyph::Close, cell.adjusted(7, 7, -7, -7), inks[state], 1.6);
            }));

    out.png("Msg\\Button.png", textButton({90, 30}, plainLook));
    out.png("Msg\\RunHide.png", textButton({90, 30}, primaryLook));
    out.png("Setting\\Button.png", textButton({90, 30}, plainLook));
    out.png("Convert\\Close.png", textButton({64, 30}, plainLook));

    for (const char* name :
         {"FP\\Check.png", "Msg\\Check.png", "Setting\\Check.png", "Convert\\Check.png"})
        out.png(QString::fromLatin1(name), checkSheet());
    out.png("Setting\\Radio.png", radioSheet());

    out.png("Comm\\Select.png",
            cellSheet({12, 12}, 2, [](QPainter& painter, const QRectF& cell, int state) {
                drawGlyph(painter, Glyph::Tick, cell.adjusted(1, 1, -1, -1),
                          state == 0 ? p::kAccent : p::kWhite, 1.8);
            }));

    out.png("FP\\IPState.png",
            cellSheet({18, 18}, 2, [](QPainter& painter, const QRectF& cell, int state) {
                drawGlyph(painter, Glyph::Phone, cell.adjusted(1, 1, -1, -1),
                          state ? p::kAmber : p::kDimGrey, 1.5);
                if (state) {
                    painter.setPen(QPen(p::kWhite, 1.5));
                    painter.setBrush(p::kAmber);
                    painter.drawEllipse(QPointF(cell.right() - 4, cell.top() + 4), 3, 3);
                }
            }));
    out.png("FP\\IPCombo.png",
            cellSheet({126, 22}, 2, [](QPainter& painter, const QRectF& cell, int state) {
                painter.setPen(QPen(state ? p::kAccent : p::kBorder, 1));
                painter.setBrush(p::kWhite);
                painter.drawRoundedRect(cell.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
                drawGlyph(painter, state ? Glyph::ChevronUp : Glyph::ChevronDown,
                          QRectF(cell.right() - 17, cell.top() + 6, 10, 10),
                          state ? p::kAccent : p::kDimGrey, 1.4);
            }));
    out.png("FP\\ComboBox.png",
            cellSheet({116, 24}, 4, [](QPainter& painter, const QRectF& cell, int state) {
                painter.setPen(QPen(state == 1 || state == 2 ? p::kAccent
                                    : state == 3             ? p::kBorderSoft
                                                             : p::kBorder,
                                    1));
                painter.setBrush(state == 3 ? p::kInactiveFill : p::kWhite);
                painter.drawRoundedRect(cell.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
                drawGlyph(painter, state == 2 ? Glyph::ChevronUp : Glyph::ChevronDown,
                          QRectF(cell.right() - 17, cell.top() + 7, 10, 10),
                          state == 3 ? p::kLightGrey
                          : state    ? p::kAccent
                                     : p::kDimGrey,
                          1.4);
            }));

    out.png("FP\\FlyScreen.png", menuEntry(Glyph::Cast));
    out.png("FP\\About.png", menuEntry(Glyph::Info));
    out.png("LeftMenu\\ConvertList.png", menuEntry(Glyph::Convert));
    out.png("LeftMenu\\Setting.png", menuEntry(Glyph::Gear));
    out.png("LeftMenu\\Secret.png", menuEntry(Glyph::Sparkle));

    out.png("Convert\\CleanBtn.png",
            cellSheet({16, 16}, 4, [](QPainter& painter, const QRectF& cell, int state) {
                static const QColor inks[] = {p::kGrey, p::kAmber, p::kAmberPressed, p::kLightGrey};
                drawGlyph(painter, Glyph::Sweep, cell.adjusted(1.5, 1.5, -1.5, -1.5), inks[state],
                          1.3);
            }));
    out.png("Convert\\OpenPath.png", glyphButton({24, 24}, 3, Glyph::Folder, 5, p::kAccent));
    out.png("Convert\\Start.png", glyphButton({24, 24}, 4, Glyph::Play, 6, p::kAccent));
    out.png("Convert\\Pause.png", glyphButton({24, 24}, 4, Glyph::Pause, 6, p::kAccent));
    out.png("Convert\\Reset.png", glyphButton({24, 24}, 4, Glyph::Reset, 5, p::kAccent));
    out.png("Convert\\Delete.png", glyphButton({24, 24}, 4, Glyph::Delete, 5, p::kRed));
}

}  // namespace skin
