// Drawing objects: device contexts over in-memory 24-bit images, bitmaps loaded
// from the program's resources, regions, brushes. Every device context draws
// into an image the layer owns (a bitmap selected into a memory context, or a
// window's back buffer); the GTK backend copies a window's back buffer to the
// screen, the headless backend lets tests read it.
#pragma once

#include "platform/window/window_types.h"

class CWnd;

struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
};

struct PAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
};

// Free functions over the handles.
HGDIOBJ GetStockObject(int i);
BOOL DeleteObject(HGDIOBJ obj);
HRGN CreateRectRgn(int left, int top, int right, int bottom);
int CombineRgn(HRGN dst, HRGN src1, HRGN src2, int mode);
BOOL PtInRegion(HRGN rgn, int x, int y);
int GetRgnBox(HRGN rgn, LPRECT rc);
BOOL EqualRgn(HRGN a, HRGN b);
HBRUSH CreateSolidBrush(COLORREF color);
DWORD GetSysColor(int index);
HBRUSH GetSysColorBrush(int index);
HCURSOR LoadCursorW(HINSTANCE inst, LPCWSTR name);
inline HCURSOR LoadCursor(HINSTANCE inst, LPCWSTR name) { return LoadCursorW(inst, name); }
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();
HICON LoadIconW(HINSTANCE inst, LPCWSTR name);
inline HICON LoadIcon(HINSTANCE inst, LPCWSTR name) { return LoadIconW(inst, name); }
BOOL DestroyIcon(HICON icon);

class CGdiObject {
 public:
  CGdiObject() = default;
  virtual ~CGdiObject();
  CGdiObject(const CGdiObject &) = delete;
  CGdiObject &operator=(const CGdiObject &) = delete;

  HGDIOBJ m_hObject = nullptr;
  HGDIOBJ GetSafeHandle() const { return m_hObject; }
  operator HGDIOBJ() const { return m_hObject; }
  BOOL Attach(HGDIOBJ obj);
  HGDIOBJ Detach();
  BOOL DeleteObject();
  // A wrapper kept by the layer for a handle; it never deletes the handle.
  static CGdiObject *FromHandle(HGDIOBJ obj);

 protected:
  bool m_bTemporary = false;
  friend struct GdiObjectAccess;
};

class CBitmap : public CGdiObject {
 public:
  // Loads a bitmap resource (a 24-bit BMP file registered for the id).
  BOOL LoadBitmap(UINT nIDResource);
  BOOL LoadBitmap(LPCTSTR lpszResourceName);
  BOOL CreateCompatibleBitmap(class CDC *pDC, int nWidth, int nHeight);
  BOOL CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitcount, const void *lpBits);
  int GetBitmap(BITMAP *pBitMap);
  operator HBITMAP() const { return (HBITMAP)m_hObject; }
  static CBitmap *FromHandle(HBITMAP h);
};

class CRgn : public CGdiObject {
 public:
  BOOL CreateRectRgn(int x1, int y1, int x2, int y2);
  BOOL CreateRectRgnIndirect(LPCRECT rc);
  int CombineRgn(CRgn *pRgn1, CRgn *pRgn2, int nCombineMode);
  int CopyRgn(CRgn *pRgnSrc);
  BOOL PtInRegion(int x, int y) const;
  BOOL PtInRegion(POINT pt) const { return PtInRegion(pt.x, pt.y); }
  int GetRgnBox(LPRECT rc) const;
  BOOL EqualRgn(CRgn *pRgn) const;
  operator HRGN() const { return (HRGN)m_hObject; }
  static CRgn *FromHandle(HRGN h);
};

class CBrush : public CGdiObject {
 public:
  CBrush() = default;
  explicit CBrush(COLORREF color) { CreateSolidBrush(color); }
  BOOL CreateSolidBrush(COLORREF color);
  BOOL CreateStockObject(int nIndex);
  operator HBRUSH() const { return (HBRUSH)m_hObject; }
  static CBrush *FromHandle(HBRUSH h);
};

class CFont : public CGdiObject {
 public:
  BOOL CreatePointFont(int nPointSize, LPCTSTR lpszFaceName, class CDC *pDC = nullptr);
  operator HFONT() const { return (HFONT)m_hObject; }
};

class CDC {
 public:
  CDC() = default;
  virtual ~CDC();
  CDC(const CDC &) = delete;
  CDC &operator=(const CDC &) = delete;

  HDC m_hDC = nullptr;
  HDC GetSafeHdc() const { return m_hDC; }
  operator HDC() const { return m_hDC; }
  BOOL Attach(HDC hdc);
  HDC Detach();
  static CDC *FromHandle(HDC hdc);

  // A memory context with a 1x1 bitmap selected, like the original system's.
  BOOL CreateCompatibleDC(CDC *pDC);
  BOOL DeleteDC();

  // Selecting a bitmap draws into it; a bitmap without a handle cannot be
  // selected (result NULL). The previous object is returned for restoring.
  CBitmap *SelectObject(CBitmap *pBitmap);
  CBrush *SelectObject(CBrush *pBrush);
  CFont *SelectObject(CFont *pFont);
  CGdiObject *SelectStockObject(int nIndex);
  HGDIOBJ SelectObject(HGDIOBJ obj);

  BOOL BitBlt(int x, int y, int nWidth, int nHeight, CDC *pSrcDC, int xSrc, int ySrc, DWORD dwRop);
  BOOL StretchBlt(int x, int y, int nWidth, int nHeight, CDC *pSrcDC, int xSrc, int ySrc, int nSrcWidth, int nSrcHeight,
                  DWORD dwRop);
  COLORREF GetPixel(int x, int y) const;
  COLORREF GetPixel(POINT pt) const { return GetPixel(pt.x, pt.y); }
  COLORREF SetPixel(int x, int y, COLORREF color);
  void FillSolidRect(LPCRECT rc, COLORREF color);
  void FillSolidRect(int x, int y, int cx, int cy, COLORREF color);
  void FillRect(LPCRECT rc, CBrush *pBrush);

  COLORREF SetTextColor(COLORREF color);
  COLORREF GetTextColor() const;
  COLORREF SetBkColor(COLORREF color);
  COLORREF GetBkColor() const;
  int SetBkMode(int nBkMode);
  int GetBkMode() const;

 protected:
  bool m_bTemporary = false;
  friend struct GdiObjectAccess;
};

// The context of a WM_PAINT handler: BeginPaint in the constructor, EndPaint in
// the destructor. It draws into the window's back buffer.
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd *pWnd);
  ~CPaintDC() override;
  PAINTSTRUCT m_ps{};

 protected:
  HWND m_hWnd;
};

// A context over a window's back buffer outside painting (GetDC/ReleaseDC).
class CClientDC : public CDC {
 public:
  explicit CClientDC(CWnd *pWnd);
  ~CClientDC() override;

 protected:
  HWND m_hWnd;
};
typedef CClientDC CWindowDC;
