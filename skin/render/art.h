#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>

#include <functional>

namespace skin {

class SkinWriter;

// Every file the windows name, grouped by what they show.
void renderControls(SkinWriter& out);
void renderFrames(SkinWriter& out);
void renderPictures(SkinWriter& out);

// The scale the art is drawn at: 1, or 2 for the "@2x" files of high-DPI
// screens. Every image is made through blankImage or cellSheet, whose
// painters work in logical (1x) pixels whatever the scale.
int renderScale();
void setRenderScale(int scale);

// An image of `size` logical pixels at the render scale, filled with `fill`.
QImage blankImage(QSize size, const QColor& fill = Qt::transparent);

// A transparent image of `cells` cells stacked vertically; draw(painter, cell
// rectangle, cell index) paints each one with antialiasing on.
QImage cellSheet(QSize cell, int cells,
                 const std::function<void(QPainter&, const QRectF&, int)>& draw);

// The family the windows ask for, with the fallback that ships on Debian.
QFont skinFont(int pixelSize, bool bold = false);

}  // namespace skin
