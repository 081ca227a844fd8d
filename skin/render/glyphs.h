#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

namespace skin {

// The line icons of the skin. Each is drawn with round strokes into a square
// box, so one shape serves every size from 12 to 24 pixels.
enum class Glyph {
    Add,
    Convert,
    Delete,
    GroupNew,
    GroupSame,
    Close,
    Minimise,
    Tick,
    Folder,
    Play,
    Pause,
    Reset,
    Phone,
    Cast,
    List,
    Gear,
    Info,
    Sparkle,
    Sweep,
    Clock,
    Broken,
    Film,
    ChevronDown,
    ChevronUp,
    Exclamation,
};

// stroke: line width in pixels at this box size.
void drawGlyph(QPainter& painter, Glyph glyph, const QRectF& box, const QColor& colour,
               qreal stroke = 1.5);

}  // namespace skin
