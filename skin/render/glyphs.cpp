#include "glyphs.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace skin {
namespace {

// Maps unit coordinates (0..1) into the box.
struct Unit {
    QRectF box;
    QPointF p(qreal x, qreal y) const {
        return {box.left() + x * box.width(), box.top() + y * box.height()};
    }
    qreal s(qreal v) const { return v * box.width(); }
    QRectF r(qreal x, qreal y, qreal w, qreal h) const { return {p(x, y), QSizeF(s(w), s(h))}; }
};

void arrowHead(QPainter& painter, QPointF tip, qreal angle, qreal size) {
    const qreal spread = 0.55;
    QPainterPath path;
    path.moveTo(tip +
                QPointF(std::cos(angle + M_PI - spread), std::sin(angle + M_PI - spread)) * size);
    path.lineTo(tip);
    path.lineTo(tip +
                QPointF(std::cos(angle + M_PI + spread), std::sin(angle + M_PI + spread)) * size);
    painter.drawPath(path);
}

}  // namespace

void drawGlyph(QPainter& painter, Glyph glyph, const QRectF& box, const QColor& colour,
               qreal stroke) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(colour, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const Unit u{box};
    switch (glyph) {
        case Glyph::Add:
            painter.drawLine(u.p(0.5, 0.12), u.p(0.5, 0.88));
            painter.drawLine(u.p(0.12, 0.5), u.p(0.88, 0.5));
            break;
        case Glyph::Convert: {
            // Two half circles chasing each other: the file goes round once.
            const QRectF ring = u.r(0.14, 0.14, 0.72, 0.72);
            painter.drawArc(ring, 20 * 16, 140 * 16);
            painter.drawArc(ring, 200 * 16, 140 * 16);
            const qreal radius = ring.width() / 2;
            const QPointF c = ring.center();
            const qreal a1 = 20 * M_PI / 180;
            const qreal a2 = 200 * M_PI / 180;
            arrowHead(painter, c + QPointF(std::cos(a1), -std::sin(a1)) * radius, M_PI / 2 + 0.35,
                      u.s(0.22));
            arrowHead(painter, c + QPointF(std::cos(a2), -std::sin(a2)) * radius, -M_PI / 2 + 0.35,
                      u.s(0.22));
            break;
        }
        case Glyph::Delete: {
            painter.drawLine(u.p(0.12, 0.24), u.p(0.88, 0.24));
            painter.drawLine(u.p(0.38, 0.24), u.p(0.42, 0.1));
            painter.drawLine(u.p(0.42, 0.1), u.p(0.58, 0.1));
            painter.drawLine(u.p(0.58, 0.1), u.p(0.62, 0.24));
            QPainterPath can;
            can.moveTo(u.p(0.22, 0.24));
            can.lineTo(u.p(0.27, 0.9));
            can.lineTo(u.p(0.73, 0.9));
            can.lineTo(u.p(0.78, 0.24));
            painter.drawPath(can);
            painter.drawLine(u.p(0.42, 0.42), u.p(0.43, 0.72));
            painter.drawLine(u.p(0.58, 0.42), u.p(0.57, 0.72));
            break;
        }
        case Glyph::GroupNew:
        case Glyph::GroupSame:
            painter.drawRoundedRect(u.r(0.1, 0.3, 0.6, 0.6), u.s(0.08), u.s(0.08));
            painter.drawLine(u.p(0.3, 0.1), u.p(0.9, 0.1));
            painter.drawLine(u.p(0.9, 0.1), u.p(0.9, 0.7));
            if (glyph == Glyph::GroupNew) {
                painter.drawLine(u.p(0.4, 0.45), u.p(0.4, 0.75));
                painter.drawLine(u.p(0.25, 0.6), u.p(0.55, 0.6));
            } else {
                painter.drawLine(u.p(0.25, 0.55), u.p(0.55, 0.55));
                painter.drawLine(u.p(0.25, 0.7), u.p(0.55, 0.7));
            }
            break;
        case Glyph::Close:
            painter.drawLine(u.p(0.2, 0.2), u.p(0.8, 0.8));
            painter.drawLine(u.p(0.8, 0.2), u.p(0.2, 0.8));
            break;
        case Glyph::Minimise:
            painter.drawLine(u.p(0.18, 0.55), u.p(0.82, 0.55));
            break;
        case Glyph::Tick: {
            QPainterPath tick;
            tick.moveTo(u.p(0.16, 0.52));
            tick.lineTo(u.p(0.42, 0.76));
            tick.lineTo(u.p(0.86, 0.26));
            painter.drawPath(tick);
            break;
        }
        case Glyph::Folder: {
            QPainterPath folder;
            folder.moveTo(u.p(0.1, 0.82));
            folder.lineTo(u.p(0.1, 0.2));
            folder.lineTo(u.p(0.4, 0.2));
            folder.lineTo(u.p(0.48, 0.3));
            folder.lineTo(u.p(0.9, 0.3));
            folder.lineTo(u.p(0.9, 0.82));
            folder.closeSubpath();
            painter.drawPath(folder);
            painter.drawLine(u.p(0.1, 0.42), u.p(0.9, 0.42));
            break;
        }
        case Glyph::Play: {
            QPainterPath play;
            play.moveTo(u.p(0.3, 0.18));
            play.lineTo(u.p(0.82, 0.5));
            play.lineTo(u.p(0.3, 0.82));
            play.closeSubpath();
            painter.setBrush(colour);
            painter.drawPath(play);
            break;
        }
        case Glyph::Pause:
            painter.drawLine(u.p(0.36, 0.2), u.p(0.36, 0.8));
            painter.drawLine(u.p(0.64, 0.2), u.p(0.64, 0.8));
            break;
        case Glyph::Reset: {
            const QRectF ring = u.r(0.16, 0.16, 0.68, 0.68);
            painter.drawArc(ring, 100 * 16, 290 * 16);
            const qreal a = 100 * M_PI / 180;
            arrowHead(painter,
                      ring.center() + QPointF(std::cos(a), -std::sin(a)) * ring.width() / 2,
                      M_PI + 0.3, u.s(0.22));
            break;
        }
        case Glyph::Phone:
            painter.drawRoundedRect(u.r(0.28, 0.08, 0.44, 0.84), u.s(0.1), u.s(0.1));
            painter.drawLine(u.p(0.44, 0.78), u.p(0.56, 0.78));
            break;
        case Glyph::Cast: {
            // A screen with waves: the videos fly to the phone.
            painter.drawRoundedRect(u.r(0.08, 0.14, 0.84, 0.6), u.s(0.08), u.s(0.08));
            painter.drawLine(u.p(0.34, 0.9), u.p(0.66, 0.9));
            QPainterPath play;
            play.moveTo(u.p(0.42, 0.3));
            play.lineTo(u.p(0.64, 0.44));
            play.lineTo(u.p(0.42, 0.58));
            play.closeSubpath();
            painter.setBrush(colour);
            painter.drawPath(play);
            break;
        }
        case Glyph::List:
            for (qreal y : {0.22, 0.5, 0.78}) {
                painter.drawPoint(u.p(0.14, y));
                painter.drawLine(u.p(0.32, y), u.p(0.88, y));
            }
            break;
        case Glyph::Gear: {
            const QPointF c = u.p(0.5, 0.5);
            for (int i = 0; i < 8; ++i) {
                const qreal a = i * M_PI / 4;
                const QPointF d(std::cos(a), std::sin(a));
                painter.drawLine(c + d * u.s(0.3), c + d * u.s(0.42));
            }
            painter.drawEllipse(c, u.s(0.3), u.s(0.3));
            painter.drawEllipse(c, u.s(0.11), u.s(0.11));
            break;
        }
        case Glyph::Info:
        case Glyph::Exclamation: {
            painter.drawEllipse(u.r(0.1, 0.1, 0.8, 0.8));
            const bool info = glyph == Glyph::Info;
            painter.drawLine(u.p(0.5, info ? 0.46 : 0.3), u.p(0.5, info ? 0.7 : 0.54));
            painter.setPen(QPen(colour, stroke * 1.3, Qt::SolidLine, Qt::RoundCap));
            painter.drawPoint(u.p(0.5, info ? 0.31 : 0.69));
            break;
        }
        case Glyph::Sparkle: {
            QPainterPath star;
            star.moveTo(u.p(0.5, 0.08));
            star.quadTo(u.p(0.54, 0.46), u.p(0.92, 0.5));
            star.quadTo(u.p(0.54, 0.54), u.p(0.5, 0.92));
            star.quadTo(u.p(0.46, 0.54), u.p(0.08, 0.5));
            star.quadTo(u.p(0.46, 0.46), u.p(0.5, 0.08));
            painter.drawPath(star);
            break;
        }
        case Glyph::Sweep:
            painter.drawLine(u.p(0.8, 0.1), u.p(0.5, 0.48));
            painter.drawRoundedRect(u.r(0.14, 0.46, 0.56, 0.2), u.s(0.05), u.s(0.05));
            painter.drawLine(u.p(0.2, 0.66), u.p(0.14, 0.9));
            painter.drawLine(u.p(0.42, 0.66), u.p(0.42, 0.9));
            painter.drawLine(u.p(0.64, 0.66), u.p(0.7, 0.9));
            break;
        case Glyph::Clock:
            painter.drawEllipse(u.r(0.1, 0.1, 0.8, 0.8));
            painter.drawLine(u.p(0.5, 0.28), u.p(0.5, 0.52));
            painter.drawLine(u.p(0.5, 0.52), u.p(0.66, 0.62));
            break;
        case Glyph::Broken: {
            // A film frame torn in two: the file is gone.
            painter.drawLine(u.p(0.1, 0.22), u.p(0.42, 0.22));
            painter.drawLine(u.p(0.1, 0.22), u.p(0.1, 0.78));
            painter.drawLine(u.p(0.1, 0.78), u.p(0.36, 0.78));
            painter.drawLine(u.p(0.62, 0.22), u.p(0.9, 0.22));
            painter.drawLine(u.p(0.9, 0.22), u.p(0.9, 0.78));
            painter.drawLine(u.p(0.9, 0.78), u.p(0.56, 0.78));
            QPainterPath tear;
            tear.moveTo(u.p(0.46, 0.12));
            tear.lineTo(u.p(0.54, 0.4));
            tear.lineTo(u.p(0.44, 0.58));
            tear.lineTo(u.p(0.52, 0.88));
            painter.drawPath(tear);
            break;
        }
        case Glyph::Film:
            painter.drawRoundedRect(u.r(0.08, 0.18, 0.84, 0.64), u.s(0.08), u.s(0.08));
            for (qreal x : {0.24, 0.42, 0.58, 0.76}) {
                painter.drawPoint(u.p(x, 0.29));
                painter.drawPoint(u.p(x, 0.71));
            }
            break;
        case Glyph::ChevronDown:
        case Glyph::ChevronUp: {
            const bool down = glyph == Glyph::ChevronDown;
            QPainterPath chevron;
            chevron.moveTo(u.p(0.2, down ? 0.36 : 0.64));
            chevron.lineTo(u.p(0.5, down ? 0.64 : 0.36));
            chevron.lineTo(u.p(0.8, down ? 0.36 : 0.64));
            painter.drawPath(chevron);
            break;
        }
    }
    painter.restore();
}

}  // namespace skin
