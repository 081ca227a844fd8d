#pragma once

#include <QColor>
#include <QImage>
#include <QString>

class QWidget;

// The sections of the gallery image, each rendered offscreen from the real controls.
namespace zorvex::ui::gallery {

QImage buttonsSection();
QImage smallControlsSection();
QImage dialogsSection();
QImage skinSection();
QImage mainWindowSection();

// Shared by the sections: grabs a widget (shown or not) as an image.
QImage grabWidget(QWidget& widget);
// A section with a heading above its content, at least `width` wide.
QImage titled(const QString& title, const QImage& content, int width);

}  // namespace zorvex::ui::gallery
