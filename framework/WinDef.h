#pragma once
// The platform's small value types that controls and dialogs pass around: colours as 0x00BBGGRR
// words and the show commands of a started program.
#include "AfxTypes.h"

#include <QColor>

using COLORREF = unsigned int;

constexpr COLORREF RGB(int r, int g, int b) {
    return COLORREF(r & 0xFF) | (COLORREF(g & 0xFF) << 8) | (COLORREF(b & 0xFF) << 16);
}
constexpr int GetRValue(COLORREF c) {
    return int(c & 0xFF);
}
constexpr int GetGValue(COLORREF c) {
    return int((c >> 8) & 0xFF);
}
constexpr int GetBValue(COLORREF c) {
    return int((c >> 16) & 0xFF);
}

inline QColor ColorFromRef(COLORREF c) {
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}
inline COLORREF RefFromColor(const QColor& c) {
    return RGB(c.red(), c.green(), c.blue());
}

enum : int {
    SW_HIDE = 0,
    SW_SHOWNORMAL = 1,
    SW_SHOW = 5,
};
