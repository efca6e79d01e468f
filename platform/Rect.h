#pragma once

// The platform rectangle and its helper functions. Where a rectangle is a set of pixels, left and
// top are inclusive and right and bottom exclusive; a rectangle with right <= left or
// bottom <= top is empty.
#include "module/Export.h"
#include "platform/WinTypes.h"

struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
using RECT = tagRECT;
using LPRECT = RECT*;
using LPCRECT = const RECT*;

// Sets all four sides; returns TRUE (FALSE only for a null rectangle).
IMGDESK_API BOOL SetRect(LPRECT rect, int left, int top, int right, int bottom);
// Sets all four sides to 0.
IMGDESK_API BOOL SetRectEmpty(LPRECT rect);
// TRUE when the rectangle has no area (or is null).
IMGDESK_API BOOL IsRectEmpty(LPCRECT rect);
// Moves the rectangle by dx, dy.
IMGDESK_API BOOL OffsetRect(LPRECT rect, int dx, int dy);
// Grows each side outwards by dx, dy (negative values shrink).
IMGDESK_API BOOL InflateRect(LPRECT rect, int dx, int dy);
// The common part of two rectangles. When they do not overlap, or either is empty, the result is
// the all-zero rectangle and the function returns FALSE.
IMGDESK_API BOOL IntersectRect(LPRECT result, LPCRECT a, LPCRECT b);
// TRUE when the point lies inside (left and top inclusive, right and bottom exclusive).
IMGDESK_API BOOL PtInRect(LPCRECT rect, POINT point);
// TRUE when all four sides are equal.
IMGDESK_API BOOL EqualRect(LPCRECT a, LPCRECT b);

class CRect : public tagRECT {
public:
    CRect() : tagRECT{0, 0, 0, 0} {}
    CRect(int l, int t, int r, int b) : tagRECT{l, t, r, b} {}
    CRect(const RECT& rect) : tagRECT(rect) {}  // NOLINT: implicit, as on the platform

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    BOOL IsRectEmpty() const { return ::IsRectEmpty(this); }
    BOOL IsRectNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
    BOOL PtInRect(POINT point) const { return ::PtInRect(this, point); }

    void SetRect(int l, int t, int r, int b) { ::SetRect(this, l, t, r, b); }
    void SetRectEmpty() { ::SetRectEmpty(this); }
    void OffsetRect(int dx, int dy) { ::OffsetRect(this, dx, dy); }
    void InflateRect(int dx, int dy) { ::InflateRect(this, dx, dy); }
    void DeflateRect(int dx, int dy) { ::InflateRect(this, -dx, -dy); }
    BOOL IntersectRect(LPCRECT a, LPCRECT b) { return ::IntersectRect(this, a, b); }

    bool operator==(const RECT& other) const { return ::EqualRect(this, &other) != FALSE; }
    bool operator!=(const RECT& other) const { return !(*this == other); }
    operator LPRECT() { return this; }
    operator LPCRECT() const { return this; }
};
