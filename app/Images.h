#pragma once
// The program's pictures, drawn at start-up in the 16-colour palette: the toolbar's image
// strip and the two icons.
#include <QIcon>
#include <QPixmap>

// The toolbar's 11 button images side by side, 16 by 16 pixels each (176 by 16), on a
// transparent background so the button face shows through.
QPixmap DrawToolbarBitmap();
// The main window's icon (IDR_MAINFRAME) and the document icon (IDR_TIDEMARKTYPE), each in
// 32 by 32 and 16 by 16 pixels.
QIcon DrawMainIcon();
QIcon DrawDocumentIcon();
