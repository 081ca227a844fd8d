#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

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
