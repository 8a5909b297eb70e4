#include "client/skin.h"

void SetWindowSkin(CWnd *pWnd, CDC *pDC, UINT nBitmapID, COLORREF crTransparent) {
  CDC memDC;
  if (!memDC.CreateCompatibleDC(pDC)) pWnd->MessageBox(L"创建兼容DC失败！", nullptr, MB_OK);
  CBitmap bitmap;
  if (!bitmap.LoadBitmap(nBitmapID)) pWnd->MessageBox(L"加载位图失败！", nullptr, MB_OK);
  CBitmap *pOldBitmap = memDC.SelectObject(&bitmap);
  if (!pOldBitmap) pWnd->MessageBox(L"选进设备描述表失败！", nullptr, MB_OK);

  // Without a selected bitmap there is no size to read and no pixel to cut: the
  // window keeps the size and shape it has.
  BITMAP bm{};
  if (pOldBitmap && bitmap.GetBitmap(&bm)) {
    const int w = bm.bmWidth, h = bm.bmHeight;
    pWnd->MoveWindow(0, 0, w, h, TRUE);
    CRgn region;
    region.CreateRectRgn(0, 0, w, h);
    for (int x = 0; x < w; ++x) {
      for (int y = 0; y < h; ++y) {
        if (memDC.GetPixel(x, y) != crTransparent) continue;
        CRgn pixel;
        pixel.CreateRectRgn(x, y, x + 1, y + 1);
        region.CombineRgn(&region, &pixel, RGN_XOR);
      }
    }
    // The window owns the region from here on.
    pWnd->SetWindowRgn((HRGN)region.Detach(), TRUE);
  }

  if (pOldBitmap) memDC.SelectObject(pOldBitmap);
  bitmap.DeleteObject();
  memDC.DeleteDC();
}

void PaintWindowSkin(CWnd *pWnd, UINT nBitmapID) {
  CPaintDC dc(pWnd);
  CRect rcWindow;
  pWnd->GetWindowRect(&rcWindow);

  CDC memDC;
  memDC.CreateCompatibleDC(&dc);
  CBitmap bitmap;
  bitmap.LoadBitmap(nBitmapID);
  CBitmap *pOldBitmap = memDC.SelectObject(&bitmap);
  BITMAP bm{};
  if (pOldBitmap && bitmap.GetBitmap(&bm))
    dc.StretchBlt(0, 0, rcWindow.Width(), rcWindow.Height(), &memDC, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);

  // Released after every paint, so repainting does not accumulate bitmaps.
  if (pOldBitmap) memDC.SelectObject(pOldBitmap);
  bitmap.DeleteObject();
  memDC.DeleteDC();
}
