// Points, sizes and rectangles, as plain records and as the framework's
// classes, with the rectangle helpers. A rectangle holds its left and top
// edges and excludes its right and bottom ones.
#pragma once

#include "platform/text/windef.h"

#define GET_X_LPARAM(lp) ((int)(short)LOWORD(lp))
#define GET_Y_LPARAM(lp) ((int)(short)HIWORD(lp))

struct POINT {
  LONG x;
  LONG y;
};
typedef POINT *LPPOINT;
struct SIZE {
  LONG cx;
  LONG cy;
};
typedef SIZE *LPSIZE;
struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};
typedef RECT *LPRECT;
typedef const RECT *LPCRECT;

BOOL SetRect(LPRECT rc, int left, int top, int right, int bottom);
BOOL SetRectEmpty(LPRECT rc);
BOOL IsRectEmpty(const RECT *rc);
BOOL PtInRect(const RECT *rc, POINT pt);
BOOL OffsetRect(LPRECT rc, int dx, int dy);
BOOL IntersectRect(LPRECT dst, const RECT *a, const RECT *b);
BOOL EqualRect(const RECT *a, const RECT *b);

class CPoint : public POINT {
 public:
  CPoint() { x = 0, y = 0; }
  CPoint(int ix, int iy) { x = ix, y = iy; }
  CPoint(POINT p) { x = p.x, y = p.y; }
  // A point packed into an LPARAM as the mouse messages carry it.
  explicit CPoint(LPARAM lp) { x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp); }
  void Offset(int dx, int dy) { x += dx, y += dy; }
  bool operator==(const POINT &p) const { return x == p.x && y == p.y; }
  bool operator!=(const POINT &p) const { return !(*this == p); }
  operator LPPOINT() { return this; }
};

class CSize : public SIZE {
 public:
  CSize() { cx = 0, cy = 0; }
  CSize(int w, int h) { cx = w, cy = h; }
  CSize(SIZE s) { cx = s.cx, cy = s.cy; }
  bool operator==(const SIZE &s) const { return cx == s.cx && cy == s.cy; }
};

class CRect : public RECT {
 public:
  CRect() { left = top = right = bottom = 0; }
  CRect(int l, int t, int r, int b) { left = l, top = t, right = r, bottom = b; }
  CRect(const RECT &r) { left = r.left, top = r.top, right = r.right, bottom = r.bottom; }
  CRect(LPCRECT r) { *this = CRect(*r); }
  CRect(POINT p, SIZE s) { left = p.x, top = p.y, right = p.x + s.cx, bottom = p.y + s.cy; }
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  CSize Size() const { return CSize(Width(), Height()); }
  CPoint TopLeft() const { return CPoint(left, top); }
  CPoint BottomRight() const { return CPoint(right, bottom); }
  CPoint CenterPoint() const { return CPoint((left + right) / 2, (top + bottom) / 2); }
  BOOL IsRectEmpty() const { return ::IsRectEmpty(this); }
  BOOL IsRectNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
  BOOL PtInRect(POINT p) const { return ::PtInRect(this, p); }
  void SetRect(int l, int t, int r, int b) { left = l, top = t, right = r, bottom = b; }
  void SetRectEmpty() { left = top = right = bottom = 0; }
  void OffsetRect(int dx, int dy) { left += dx, right += dx, top += dy, bottom += dy; }
  void OffsetRect(POINT p) { OffsetRect(p.x, p.y); }
  void MoveToXY(int x, int y) { OffsetRect(x - left, y - top); }
  void DeflateRect(int dx, int dy) { left += dx, right -= dx, top += dy, bottom -= dy; }
  void InflateRect(int dx, int dy) { DeflateRect(-dx, -dy); }
  bool operator==(const RECT &r) const { return ::EqualRect(this, &r) != 0; }
  bool operator!=(const RECT &r) const { return !(*this == r); }
  operator LPRECT() { return this; }
  operator LPCRECT() const { return this; }
};
