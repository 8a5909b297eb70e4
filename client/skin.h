// The bitmap skin of the frameless windows: a window takes its bitmap's size and a
// region cut from the bitmap's non-transparent pixels, and paints the bitmap
// stretched over itself.
#pragma once

#include "platform/window/afxwin.h"

// Moves pWnd to (0, 0) with the size of bitmap nBitmapID and sets its window region to
// the bitmap's pixels that differ from crTransparent. pDC is the window's own device
// context. Each failed step shows its message in the window's message box and the
// routine carries on; when the bitmap cannot be loaded or selected, the window keeps
// its size and region.
void SetWindowSkin(CWnd *pWnd, CDC *pDC, UINT nBitmapID, COLORREF crTransparent);

// Paints bitmap nBitmapID stretched over the whole of pWnd; for WM_PAINT handlers.
// The bitmap is loaded for this paint and released after it.
void PaintWindowSkin(CWnd *pWnd, UINT nBitmapID);
