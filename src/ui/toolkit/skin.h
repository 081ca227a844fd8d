#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRectF>
#include <QString>

#include <memory>

class QPainter;

// Where the skin lives and the few drawing conventions every window shares.
// GUI thread only.
namespace zorvex::ui {

// Full path of a skin file named as the windows name it ("Msg\\Button.png").
// The SkinRes folder is looked for beside the executable, then in the
// installed data folders ($XDG_DATA_HOME/zorvex, then <prefix>/share/zorvex);
// a file found nowhere gets the path beside the executable, so it simply fails
// to load like any other missing image.
QString skinPath(const QString& relative);

// Tests point the lookup at a folder of their own; an empty string restores it.
void setSkinRoot(const QString& folder);

// A null image when the file is missing or unreadable; drawing it draws nothing.
QImage loadSkinImage(const QString& relative);

// A skin picture and, where the skin has one, its twice-as-large "@2x"
// rendering. Geometry is always given in the picture's logical (1x) pixels;
// on a device of pixel ratio above 1 the 2x rendering is drawn, so high-DPI
// screens stay crisp. The 2x file is decoded at its first such draw: four
// times the pixels, which a 1x screen never shows. GUI thread only; cheap
// to copy (copies share the pictures).
class SkinImage {
public:
    SkinImage() = default;
    // A file by its full path, with "name@2x.ext" beside it when present.
    static SkinImage fromFile(const QString& path);
    // A skin file named as the windows name it ("FP\\Check.png").
    static SkinImage load(const QString& relative);

    bool isNull() const { return one_.isNull(); }
    bool hasDouble() const { return two_ != nullptr; }
    // Logical size: that of the 1x picture.
    QSize size() const { return one_.size(); }
    const QImage& image() const { return one_; }

    // Draws the logical source rectangle scaled into target. A cell is copied
    // out first when it is scaled, so smoothing never blends in its neighbours.
    void draw(QPainter& painter, const QRectF& target, const QRectF& source) const;
    void draw(QPainter& painter, const QRectF& target) const;

private:
    struct Double {
        QString path;
        QImage image;  // null until first drawn
        bool unusable;
    };
    // The 2x picture, decoded now if not yet; null when it cannot be read.
    const QImage* doubled() const;

    QImage one_;
    std::shared_ptr<Double> two_;  // null without a usable 2x file
};

// The "@2x" sibling of a skin file for a device pixel ratio above 1 when the
// skin has it, else the file itself.
QString skinPathFor(const QString& relative, qreal devicePixelRatio);

// "微软雅黑" at a size in pixels, regular; falls back to WenQuanYi Micro Hei.
QFont skinFont(int pixelSize);

// GDI+ colours are written 0xAARRGGBB.
inline QColor argb(quint32 value) {
    return QColor::fromRgba(value);
}
// Plain fills are written as COLORREF, 0x00BBGGRR.
inline QColor colorref(quint32 value) {
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

}  // namespace zorvex::ui
