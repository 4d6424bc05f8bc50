#include "Images.h"

#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace {
// The 16 colours of the classic palette.
const QColor kBlack(0, 0, 0), kMaroon(128, 0, 0), kGreen(0, 128, 0), kOlive(128, 128, 0),
    kNavy(0, 0, 128), kTeal(0, 128, 128), kGray(128, 128, 128), kSilver(192, 192, 192),
    kRed(255, 0, 0), kYellow(255, 255, 0), kBlue(0, 0, 255), kAqua(0, 255, 255),
    kWhite(255, 255, 255);

QColor paletteColor(char c) {
    switch (c) {
    case 'k':
        return kBlack;
    case 'm':
        return kMaroon;
    case 'G':
        return kGreen;
    case 'o':
        return kOlive;
    case 'n':
        return kNavy;
    case 't':
        return kTeal;
    case 'g':
        return kGray;
    case 's':
        return kSilver;
    case 'r':
        return kRed;
    case 'y':
        return kYellow;
    case 'b':
        return kBlue;
    case 'c':
        return kAqua;
    case 'w':
        return kWhite;
    default:
        return Qt::transparent;
    }
}

// Paints a 16-row picture given one character per pixel ('.' leaves the pixel untouched).
void paintGrid(QPainter& p, const char* const rows[16]) {
    for (int y = 0; y < 16; ++y)
        for (int x = 0; rows[y][x] && x < 16; ++x)
            if (rows[y][x] != '.')
                p.fillRect(x, y, 1, 1, paletteColor(rows[y][x]));
}

void drawNew(QPainter& p) {
    static const char* const rows[16] = {
        "................", "..kkkkkkkk......", "..kwwwwwwkk.....", "..kwwwwwwkwk....",
        "..kwwwwwwkkkk...", "..kwwwwwwwwwk...", "..kwwwwwwwwwk...", "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...", "..kwwwwwwwwwk...", "..kwwwwwwwwwk...", "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...", "..kwwwwwwwwwk...", "..kkkkkkkkkkk...", "................"};
    paintGrid(p, rows);
}

void drawOpen(QPainter& p) {
    static const char* const rows[16] = {
        "................", "................", "..........kkk...", ".........k...k.k",
        "..............kk", ".kkk.........kkk", "kyyykkkkkkk.....", "kyyyyyyyyyk.....",
        "kyyyyyyyyyk.....", "kyyykkkkkkkkkkk.", "kyykoooooooooook", "kykoooooooooook.",
        "kkoooooooooook..", "kkkkkkkkkkkkk...", "................", "................"};
    paintGrid(p, rows);
}

void drawSave(QPainter& p) {
    static const char* const rows[16] = {
        "................", ".kkkkkkkkkkkkkk.", ".knnwwwwwwwwnnk.", ".knnwwwwwwwwnnk.",
        ".knnwkkkkkkwnnk.", ".knnwwwwwwwwnnk.", ".knnnnnnnnnnnnk.", ".knnnnnnnnnnnnk.",
        ".knnssssssssnnk.", ".knnssggssssnnk.", ".knnssggssssnnk.", ".knnssggssssnnk.",
        ".kknssssssssnnk.", "..kkkkkkkkkkkkk.", "................", "................"};
    paintGrid(p, rows);
}

void drawStart(QPainter& p) {
    // The looping dark-blue arrow: an arch that comes down on the right with its head.
    static const char* const rows[16] = {
        "................", "....nnnnnn......", "...nn....nn.....", "..nn......nn....",
        "..n........n....", "..n......nnnnn..", "..n.......nnn...", "...........n....",
        "........k.......", "........kk......", "kkkkkkkkkyk.....", "kyyyyyyyyyyk....",
        "kyyyyyyyyyyyk...", "kyyyyyyyyyyk....", "kkkkkkkkkyk.....", "........kk......"};
    paintGrid(p, rows);
}

void drawOptions(QPainter& p) {
    // A raised frame around a lever: a black stick with a grey knob on a grey pivot block.
    p.fillRect(1, 1, 14, 14, kSilver);
    p.setPen(kWhite);
    p.drawLine(1, 1, 14, 1);
    p.drawLine(1, 1, 1, 14);
    p.setPen(kGray);
    p.drawLine(2, 14, 14, 14);
    p.drawLine(14, 2, 14, 14);
    p.setPen(kBlack);
    p.drawLine(1, 15, 15, 15);
    p.drawLine(15, 1, 15, 15);
    p.drawLine(6, 11, 10, 4);
    p.drawLine(7, 11, 11, 4);
    p.fillRect(4, 11, 7, 3, kGray);
    p.drawRect(4, 11, 6, 2);
    p.setBrush(kGray);
    p.drawEllipse(9, 2, 4, 4);
    p.setBrush(Qt::NoBrush);
}

void drawPurge(QPainter& p) {
    static const char* const rows[16] = {
        "................", "................", "..mm........mm..", "..mmm......mmm..",
        "...mmm....mmm...", "....mmm..mmm....", ".....mmmmmm.....", "......mmmm......",
        "......mmmm......", ".....mmmmmm.....", "....mmm..mmm....", "...mmm....mmm...",
        "..mmm......mmm..", "..mm........mm..", "................", "................"};
    paintGrid(p, rows);
}

void drawCut(QPainter& p) {
    static const char* const rows[16] = {
        "................", "....k.....k.....", "....k.....k.....", "....kk...kk.....",
        ".....k...k......", ".....kk.kk......", "......kgk.......", ".......k........",
        "......ngn.......", ".....nn.nn......", "...nnn...nnn....", "..n..n...n..n...",
        "..n..n...n..n...", "..n..n...n..n...", "...nn.....nn....", "................"};
    paintGrid(p, rows);
}

void drawCopy(QPainter& p) {
    // Two pages, the second lying over the lower right of the first.
    p.setPen(kBlack);
    for (const QPoint origin : {QPoint(1, 1), QPoint(6, 5)}) {
        const QRect page(origin, QSize(9, 10));
        p.fillRect(page, kWhite);
        p.drawRect(page.adjusted(0, 0, -1, -1));
        for (int y = 3; y <= 7; y += 2)
            p.drawLine(origin.x() + 2, origin.y() + y, origin.x() + 6, origin.y() + y);
    }
}

void drawPaste(QPainter& p) {
    static const char* const rows[16] = {
        "....kkkkk.......", ".kkkksssskkkk...", ".kooksggskook...", ".kookkkkkkook...",
        ".koooooooooook..", ".kooooookkkkkkk.", ".kooooookwwwwwkk", ".kooooookwkkkwkw",
        ".kooooookwwwwwkk", ".kooooookwkkkkwk", ".kooooookwwwwwwk", ".kooooookwkkkkwk",
        ".kooooookwwwwwwk", ".kkkkkkkkwwwwwwk", "........kkkkkkkk", "................"};
    paintGrid(p, rows);
}

void drawPrint(QPainter& p) {
    static const char* const rows[16] = {
        "................", "....kkkkkkkk....", "....kwwwwwwk....", "....kwkkkkwk....",
        "....kwwwwwwk....", "..kkkkkkkkkkkk..", ".kssssssssssssk.", ".ksssssssssGGsk.",
        ".kssssssssssssk.", ".kggggggggggggk.", ".kkkkkkkkkkkkkk.", "...kwwwwwwwwk...",
        "...kwkkkkkkwk...", "...kwwwwwwwwk...", "...kkkkkkkkkk...", "................"};
    paintGrid(p, rows);
}

void drawAbout(QPainter& p) {
    static const char* const rows[16] = {
        "................", ".....nnnnnn.....", "....nnnnnnnn....", "...nnn....nnn...",
        "...nnn....nnn...", "..........nnn...", ".........nnn....", "........nnn.....",
        ".......nnn......", ".......nnn......", ".......nnn......", "................",
        ".......nnn......", ".......nnn......", ".......nnn......", "................"};
    paintGrid(p, rows);
}
} // namespace

QPixmap DrawToolbarBitmap() {
    const std::function<void(QPainter&)> images[] = {
        drawNew, drawOpen, drawSave,  drawStart, drawOptions, drawPurge,
        drawCut, drawCopy, drawPaste, drawPrint, drawAbout,
    };
    QPixmap strip(16 * int(std::size(images)), 16);
    strip.fill(Qt::transparent);
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    for (std::size_t i = 0; i < std::size(images); ++i) {
        p.save();
        p.translate(int(i) * 16, 0);
        p.setClipRect(0, 0, 16, 16);
        images[i](p);
        p.restore();
    }
    return strip;
}

namespace {
// A page with a water line: waves in the lower part, the high-water mark drawn across it.
QImage drawTideIcon(int size, bool document) {
    QImage pm(size, size, QImage::Format_ARGB32_Premultiplied);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    // The 16- and 32-pixel pictures keep hard pixel edges; larger ones are smoothed.
    p.setRenderHint(QPainter::Antialiasing, size > 32);
    const qreal s = size / 32.0;
    p.scale(s, s);
    const QRect page = document ? QRect(5, 1, 22, 29) : QRect(1, 1, 29, 29);
    p.fillRect(page, document ? kWhite : kSilver);
    // Water: navy below, aqua crests.
    QPainterPath water;
    water.moveTo(page.left(), 18);
    for (int x = page.left(); x <= page.right() + 1; x += 6) {
        water.quadTo(x + 1.5, 15, x + 3, 18);
        water.quadTo(x + 4.5, 21, x + 6, 18);
    }
    water.lineTo(page.right() + 1, page.bottom() + 1);
    water.lineTo(page.left(), page.bottom() + 1);
    water.closeSubpath();
    p.setClipRect(page);
    p.fillPath(water, document ? kTeal : kNavy);
    p.setPen(QPen(kAqua, 2));
    p.drawLine(page.left(), 22, page.right(), 22);
    // The tide mark: a red line with a tick, above the water.
    p.setPen(QPen(kRed, 2));
    p.drawLine(page.left() + 2, 10, page.right() - 2, 10);
    p.drawLine(page.left() + 4, 7, page.left() + 4, 13);
    p.setClipping(false);
    // The frame covers the page's outermost pixels: a hard-edged pen fills the pixel to the
    // right of and below its line, a smoothed one is centred on it. Below 32 pixels the frame
    // stays one whole pixel wide (a cosmetic pen), so that it is not drawn half transparent.
    if (size > 32) {
        p.setPen(QPen(kBlack, 1));
        p.drawRect(QRectF(page).adjusted(0.5, 0.5, -0.5, -0.5));
    } else {
        p.setPen(QPen(kBlack, size < 32 ? 0 : 1));
        p.drawRect(page.adjusted(0, 0, -1, -1));
    }
    if (!document) {
        p.setPen(QPen(kYellow, 2));
        p.drawLine(page.right() - 7, 4, page.right() - 4, 4);
    }
    return pm;
}
} // namespace

namespace {
constexpr int kIconSizes[] = {TIDEMARK_ICON_SIZES};
} // namespace
const std::span<const int> kMainIconSizes(kIconSizes);

QImage DrawMainIconImage(int size) {
    return drawTideIcon(size, false);
}

QIcon DrawMainIcon() {
    QIcon icon;
    for (const int size : kMainIconSizes)
        icon.addPixmap(QPixmap::fromImage(DrawMainIconImage(size)));
    return icon;
}

QIcon DrawDocumentIcon() {
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(drawTideIcon(32, true)));
    icon.addPixmap(QPixmap::fromImage(drawTideIcon(16, true)));
    return icon;
}
