#include <QRect>

#include <algorithm>
#include <cmath>
#include <functional>

#include "art.h"
#include "palette.h"
#include "skin_writer.h"

namespace skin {
namespace {

constexpr qreal kSpread = 16;     // pixels from the window edge to full transparency
constexpr qreal kStrength = 120;  // alpha right at the edge, before the 200/255 opacity

// Falls off smoothly, so the shadow has no visible outer edge.
int shadowAlpha(qreal distance) {
    if (distance >= kSpread) return 0;
    const qreal t = 1.0 - std::max<qreal>(distance, 0) / kSpread;
    return static_cast<int>(std::lround(kStrength * std::pow(t, 2.2)));
}

// distance(x, y): from the pixel centre to the window it surrounds, in
// logical pixels; negative inside.
QImage shadow(QSize size, const std::function<qreal(qreal, qreal)>& distance) {
    const int scale = renderScale();
    QImage image(size * scale, QImage::Format_ARGB32);
    const QColor ink = palette::kShadow;
    for (int y = 0; y < image.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const qreal d = distance((x + 0.5) / scale, (y + 0.5) / scale);
            line[x] = qRgba(ink.red(), ink.green(), ink.blue(), d < 0 ? 0 : shadowAlpha(d));
        }
    }
    return image;
}

// Distance from a point to a rectangle's outline, measured outside it.
qreal outside(const QRectF& window, qreal x, qreal y) {
    if (window.contains(x, y)) return -1;
    const qreal dx = std::max({window.left() - x, 0.0, x - window.right()});
    const qreal dy = std::max({window.top() - y, 0.0, y - window.bottom()});
    return std::hypot(dx, dy);
}

}  // namespace

void renderFrames(SkinWriter& out) {
    // The strips are cut from a 972 x 630 window: the sides as high as it, the
    // top and bottom 16 pixels longer at both ends so they hold the corners.
    const QRectF window(16, 16, 972, 630);
    out.png("Comm\\Frame_Left.png",
            shadow({16, 630}, [&](qreal x, qreal y) { return outside(window, x, y + 16); }));
    out.png("Comm\\Frame_Right.png",
            shadow({16, 630}, [&](qreal x, qreal y) { return outside(window, x + 988, y + 16); }));
    out.png("Comm\\Frame_Top.png",
            shadow({1004, 16}, [&](qreal x, qreal y) { return outside(window, x, y); }));
    out.png("Comm\\Frame_Bottom.png",
            shadow({1004, 16}, [&](qreal x, qreal y) { return outside(window, x, y + 646); }));
    const QRectF whole(20, 20, 972, 630);
    out.png("Comm\\Frame_Full.png",
            shadow({1012, 670}, [&](qreal x, qreal y) { return outside(whole, x, y); }));
}

}  // namespace skin
