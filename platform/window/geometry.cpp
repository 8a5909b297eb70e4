// Rectangle helpers.
#include "platform/window/geometry.h"

#include <algorithm>

BOOL SetRect(LPRECT rc, int l, int t, int r, int b) {
  if (!rc) return FALSE;
  *rc = RECT{l, t, r, b};
  return TRUE;
}
BOOL SetRectEmpty(LPRECT rc) { return SetRect(rc, 0, 0, 0, 0); }
BOOL IsRectEmpty(const RECT *rc) { return !rc || rc->right <= rc->left || rc->bottom <= rc->top; }
BOOL PtInRect(const RECT *rc, POINT p) {
  return rc && p.x >= rc->left && p.x < rc->right && p.y >= rc->top && p.y < rc->bottom;
}
BOOL OffsetRect(LPRECT rc, int dx, int dy) {
  if (!rc) return FALSE;
  rc->left += dx, rc->right += dx, rc->top += dy, rc->bottom += dy;
  return TRUE;
}
BOOL IntersectRect(LPRECT dst, const RECT *a, const RECT *b) {
  RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
         std::min(a->bottom, b->bottom)};
  if (IsRectEmpty(&r)) {
    SetRectEmpty(dst);
    return FALSE;
  }
  *dst = r;
  return TRUE;
}
BOOL EqualRect(const RECT *a, const RECT *b) {
  return a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}
