#pragma once

#include <QColor>

// The colours every piece of the skin is drawn from. The windows name their
// fills as COLORREF values (0x00BBGGRR): the column 0x423D3E is RGB 3E3D42 and
// the accent 0x318EEE is RGB EE8E31, the warm orange beside the amber F19410
// of the texts. The art uses the same RGB values, so images and fills match.
namespace skin::palette {

inline const QColor kColumn(0x3E, 0x3D, 0x42);
inline const QColor kColumnHover(0x49, 0x48, 0x4E);
inline const QColor kColumnSelected(0x33, 0x32, 0x37);
inline const QColor kPanel(0xF2, 0xF3, 0xF3);
inline const QColor kBand(0xF8, 0xF8, 0xF8);
inline const QColor kWhite(0xFF, 0xFF, 0xFF);
inline const QColor kAccent(0xEE, 0x8E, 0x31);
inline const QColor kAccentHover(0xF3, 0x9D, 0x4B);
inline const QColor kAccentPressed(0xD6, 0x77, 0x1C);
inline const QColor kAccentSoft(0xFC, 0xEC, 0xDC);
inline const QColor kAccentSoftPressed(0xF8, 0xDC, 0xC0);
inline const QColor kAmber(0xF1, 0x94, 0x10);
inline const QColor kAmberPressed(0xFF, 0x7A, 0x10);
inline const QColor kRed(0xF4, 0x56, 0x4E);
inline const QColor kText(0x3E, 0x3D, 0x42);
inline const QColor kGrey(0x76, 0x76, 0x76);
inline const QColor kMidGrey(0x9A, 0x99, 0x9E);
inline const QColor kDimGrey(0x99, 0x98, 0x9C);
inline const QColor kLightGrey(0xC0, 0xC0, 0xC0);
inline const QColor kBorder(0xD6, 0xD6, 0xD6);
inline const QColor kBorderSoft(0xE3, 0xE4, 0xE6);
inline const QColor kInactiveFill(0xEE, 0xEF, 0xEF);
inline const QColor kPlaceholder(0xE4, 0xE6, 0xE9);
inline const QColor kShadow(0x0D, 0x20, 0x2D);
inline const QColor kTitleBand(0x57, 0x56, 0x5B);

}  // namespace skin::palette
