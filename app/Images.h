#pragma once
// The program's pictures, drawn at start-up in the 16-colour palette: the toolbar's image
// strip and the two icons.
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <span>

// The toolbar's 11 button images side by side, 16 by 16 pixels each (176 by 16), on a
// transparent background so the button face shows through.
QPixmap DrawToolbarBitmap();
// The main window's icon (IDR_MAINFRAME) and the document icon (IDR_TIDEMARKTYPE), each in
// 32 by 32 and 16 by 16 pixels. The main icon also carries the larger sizes of the desktop's
// icon theme, so that the window shows the same picture as the menu entry.
QIcon DrawMainIcon();
QIcon DrawDocumentIcon();

// The sizes in which the main icon is drawn, smallest first; the installed theme icons are
// these same pictures. The build sets them (TIDEMARK_ICON_SIZES in the top CMakeLists.txt).
extern const std::span<const int> kMainIconSizes;
// The main icon at size by size pixels; an image, so that it can be drawn without a display.
QImage DrawMainIconImage(int size);
