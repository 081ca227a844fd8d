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

// A transparent image of `cells` cells stacked vertically; draw(painter, cell
// rectangle, cell index) paints each one with antialiasing on.
QImage cellSheet(QSize cell, int cells,
                 const std::function<void(QPainter&, const QRectF&, int)>& draw);

// The family the windows ask for, with the fallback that ships on Debian.
QFont skinFont(int pixelSize, bool bold = false);

}  // namespace skin
