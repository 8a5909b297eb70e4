// Drawing objects over in-memory images; regions over cairo regions; images
// read through GdkPixbuf (no display needed).
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <set>

#include "platform/window/window_internal.h"

using namespace wl;

namespace {

std::mutex g_gdiMutex;
std::set<GdiObject *> &g_objects = *new std::set<GdiObject *>;  // live objects, stock ones included

template <class T>
T *NewObject() {
  T *o = new T;
  std::lock_guard<std::mutex> lock(g_gdiMutex);
  g_objects.insert(o);
  return o;
}

GdiObject *Live(HGDIOBJ h) {
  std::lock_guard<std::mutex> lock(g_gdiMutex);
  return g_objects.count(Gdi(h)) ? Gdi(h) : nullptr;
}

COLORREF FromRgb(const guchar *p) { return RGB(p[0], p[1], p[2]); }

}  // namespace

namespace wl {

void Image::Resize(int w, int h, COLORREF fill) {
  if (w == width && h == height) {
    std::fill(pixels.begin(), pixels.end(), fill);
    return;
  }
  width = std::max(0, w);
  height = std::max(0, h);
  pixels.assign((size_t)width * height, fill);
}

bool LoadImageFile(const std::wstring &path, Image &out) {
  if (path.empty()) return false;
  GError *err = nullptr;
  GdkPixbuf *pb = gdk_pixbuf_new_from_file(ToUtf8(path).c_str(), &err);
  if (!pb) {
    if (err) g_error_free(err);
    return false;
  }
  int w = gdk_pixbuf_get_width(pb), h = gdk_pixbuf_get_height(pb);
  int stride = gdk_pixbuf_get_rowstride(pb), channels = gdk_pixbuf_get_n_channels(pb);
  const guchar *data = gdk_pixbuf_read_pixels(pb);
  out.width = w, out.height = h;
  out.pixels.resize((size_t)w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) out.At(x, y) = FromRgb(data + (size_t)y * stride + (size_t)x * channels);
  g_object_unref(pb);
  return true;
}

Region::~Region() {
  if (region) cairo_region_destroy(region);
}

Region *RegionOf(HRGN h) {
  GdiObject *o = Live((HGDIOBJ)h);
  return o && o->kind == GdiObject::REGION_OBJ ? static_cast<Region *>(o) : nullptr;
}

Bitmap *BitmapOf(HBITMAP h) {
  GdiObject *o = Live((HGDIOBJ)h);
  return o && o->kind == GdiObject::BITMAP_OBJ ? static_cast<Bitmap *>(o) : nullptr;
}

Brush *BrushOf(HBRUSH h) {
  GdiObject *o = Live((HGDIOBJ)h);
  return o && o->kind == GdiObject::BRUSH_OBJ ? static_cast<Brush *>(o) : nullptr;
}

bool IsNullBrush(HBRUSH h) {
  Brush *b = BrushOf(h);
  return b && b->null;
}

}  // namespace wl

// ------------------------------------------------------------ free functions

HGDIOBJ GetStockObject(int i) {
  // Stock objects live as long as the process.
  static std::map<int, HGDIOBJ> &stock = *new std::map<int, HGDIOBJ>;
  static std::mutex m;
  std::lock_guard<std::mutex> lock(m);
  auto it = stock.find(i);
  if (it != stock.end()) return it->second;
  static const COLORREF colors[] = {RGB(255, 255, 255), RGB(192, 192, 192), RGB(128, 128, 128), RGB(64, 64, 64),
                                    RGB(0, 0, 0)};
  if (i < WHITE_BRUSH || i > NULL_BRUSH) return nullptr;
  Brush *b = NewObject<Brush>();
  b->stock = true;
  b->null = i == NULL_BRUSH;
  b->color = b->null ? 0 : colors[i];
  return stock[i] = Handle(b);
}

DWORD GetSysColor(int index) { return index == COLOR_WINDOW ? RGB(255, 255, 255) : RGB(240, 240, 240); }

HBRUSH GetSysColorBrush(int index) {
  static std::map<int, HBRUSH> &brushes = *new std::map<int, HBRUSH>;
  static std::mutex m;
  std::lock_guard<std::mutex> lock(m);
  auto &b = brushes[index];
  if (!b) {
    Brush *o = NewObject<Brush>();
    o->stock = true;
    o->color = GetSysColor(index);
    b = (HBRUSH)Handle(o);
  }
  return b;
}

BOOL DeleteObject(HGDIOBJ h) {
  GdiObject *o = Live(h);
  if (!o || o->stock) return FALSE;
  {
    std::lock_guard<std::mutex> lock(g_gdiMutex);
    g_objects.erase(o);
  }
  if (o->wrapper) o->wrapper->m_hObject = nullptr;
  delete o;
  return TRUE;
}

HRGN CreateRectRgn(int l, int t, int r, int b) {
  Region *o = NewObject<Region>();
  cairo_rectangle_int_t rc{std::min(l, r), std::min(t, b), std::abs(r - l), std::abs(b - t)};
  o->region = cairo_region_create_rectangle(&rc);
  return (HRGN)Handle(o);
}

static int RegionKind(cairo_region_t *r) {
  int n = cairo_region_num_rectangles(r);
  return n == 0 ? NULLREGION : n == 1 ? SIMPLEREGION : COMPLEXREGION;
}

int CombineRgn(HRGN dst, HRGN src1, HRGN src2, int mode) {
  Region *d = RegionOf(dst), *a = RegionOf(src1), *b = RegionOf(src2);
  if (!d || !a || (mode != RGN_COPY && !b)) return ERROR;
  cairo_region_t *result = cairo_region_copy(a->region);
  cairo_status_t st = CAIRO_STATUS_SUCCESS;
  switch (mode) {
    case RGN_AND:
      st = cairo_region_intersect(result, b->region);
      break;
    case RGN_OR:
      st = cairo_region_union(result, b->region);
      break;
    case RGN_XOR:
      st = cairo_region_xor(result, b->region);
      break;
    case RGN_DIFF:
      st = cairo_region_subtract(result, b->region);
      break;
    case RGN_COPY:
      break;
    default:
      st = CAIRO_STATUS_INVALID_FORMAT;
  }
  if (st != CAIRO_STATUS_SUCCESS) {
    cairo_region_destroy(result);
    return ERROR;
  }
  cairo_region_destroy(d->region);
  d->region = result;
  return RegionKind(result);
}

BOOL PtInRegion(HRGN h, int x, int y) {
  Region *r = RegionOf(h);
  return r && cairo_region_contains_point(r->region, x, y);
}

int GetRgnBox(HRGN h, LPRECT rc) {
  Region *r = RegionOf(h);
  if (!r || !rc) return ERROR;
  cairo_rectangle_int_t e;
  cairo_region_get_extents(r->region, &e);
  SetRect(rc, e.x, e.y, e.x + e.width, e.y + e.height);
  return RegionKind(r->region);
}

BOOL EqualRgn(HRGN a, HRGN b) {
  Region *ra = RegionOf(a), *rb = RegionOf(b);
  return ra && rb && cairo_region_equal(ra->region, rb->region);
}

HBRUSH CreateSolidBrush(COLORREF color) {
  Brush *b = NewObject<Brush>();
  b->color = color & 0xFFFFFF;
  return (HBRUSH)Handle(b);
}

// ------------------------------------------------------------ icons and cursors

namespace {
std::mutex g_iconMutex;
// Loaded icons are shared and live as long as the process.
std::map<std::wstring, HICON> &g_iconsByPath = *new std::map<std::wstring, HICON>;
std::map<int, HICON> &g_stockIcons = *new std::map<int, HICON>;
std::map<int, HICON> &g_stockCursors = *new std::map<int, HICON>;
HCURSOR g_cursor = nullptr;
}  // namespace

namespace wl {

HICON IconFromFile(const std::wstring &path) {
  std::lock_guard<std::mutex> lock(g_iconMutex);
  auto it = g_iconsByPath.find(path);
  if (it != g_iconsByPath.end()) return it->second;
  Image img;
  if (!LoadImageFile(path, img)) return nullptr;
  HICON icon = new HICON__;
  icon->path = path;
  icon->image = std::move(img);
  icon->loaded = true;
  return g_iconsByPath[path] = icon;
}

HICON StockIcon(int id) {
  static const std::map<int, const char *> names = {{32512, "application-x-executable"},
                                                    {32513, "dialog-error"},
                                                    {32514, "dialog-question"},
                                                    {32515, "dialog-warning"},
                                                    {32516, "dialog-information"},
                                                    {32517, "start-here"},
                                                    {32518, "security-high"}};
  auto n = names.find(id);
  if (n == names.end()) return nullptr;
  std::lock_guard<std::mutex> lock(g_iconMutex);
  HICON &icon = g_stockIcons[id];
  if (!icon) {
    icon = new HICON__;
    icon->themeName = n->second;
  }
  return icon;
}

HCURSOR StockCursor(int id) {
  static const std::map<int, const char *> names = {{32512, "default"},   {32513, "text"}, {32514, "wait"},
                                                    {32515, "crosshair"}, {32646, "move"}, {32649, "pointer"}};
  auto n = names.find(id);
  if (n == names.end()) return nullptr;
  std::lock_guard<std::mutex> lock(g_iconMutex);
  HICON &c = g_stockCursors[id];
  if (!c) {
    c = new HICON__;
    c->themeName = n->second;
    c->isCursor = true;
  }
  return c;
}

HCURSOR CurrentCursor() { return g_cursor; }

const Image *IconImage(HICON icon) { return icon && icon->loaded ? &icon->image : nullptr; }

}  // namespace wl

HCURSOR LoadCursorW(HINSTANCE, LPCWSTR name) {
  return IS_INTRESOURCE(name) ? StockCursor((int)(ULONG_PTR)name) : nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) {
  HCURSOR old = g_cursor;
  g_cursor = cursor;
  CurrentBackend()->CursorChanged(cursor);
  return old;
}

HCURSOR GetCursor() { return g_cursor; }

HICON LoadIconW(HINSTANCE inst, LPCWSTR name) {
  if (!IS_INTRESOURCE(name)) return nullptr;
  UINT id = (UINT)(ULONG_PTR)name;
  if (!inst) return StockIcon((int)id);
  std::wstring path = FindIconResourcePath(id);
  return path.empty() ? nullptr : IconFromFile(path);
}

// Icons are shared (as the original system's loaded icons are); destroying one
// is accepted and keeps it.
BOOL DestroyIcon(HICON icon) { return icon != nullptr; }

// ------------------------------------------------------------ CGdiObject family

struct GdiObjectAccess {
  template <class W>
  static W *Wrapper(HGDIOBJ h) {
    GdiObject *o = Live(h);
    if (!o) return nullptr;
    if (!o->wrapper) {
      o->wrapper = std::make_unique<W>();
      o->wrapper->m_hObject = h;
      o->wrapper->m_bTemporary = true;
    }
    return static_cast<W *>(o->wrapper.get());
  }
  static CDC *DcWrapper(HDC h) {
    if (!h) return nullptr;
    if (h->object) return h->object;
    if (!h->wrapper) {
      h->wrapper = std::make_unique<CDC>();
      h->wrapper->m_hDC = h;
      h->wrapper->m_bTemporary = true;
    }
    return h->wrapper.get();
  }
};

CGdiObject::~CGdiObject() {
  if (!m_bTemporary) DeleteObject();
}

BOOL CGdiObject::Attach(HGDIOBJ obj) {
  if (m_hObject || !obj) return FALSE;
  m_hObject = obj;
  return TRUE;
}

HGDIOBJ CGdiObject::Detach() {
  HGDIOBJ h = m_hObject;
  m_hObject = nullptr;
  return h;
}

BOOL CGdiObject::DeleteObject() {
  HGDIOBJ h = Detach();
  return h ? ::DeleteObject(h) : FALSE;
}

CGdiObject *CGdiObject::FromHandle(HGDIOBJ h) {
  GdiObject *o = Live(h);
  if (!o) return nullptr;
  switch (o->kind) {
    case GdiObject::BITMAP_OBJ:
      return GdiObjectAccess::Wrapper<CBitmap>(h);
    case GdiObject::REGION_OBJ:
      return GdiObjectAccess::Wrapper<CRgn>(h);
    case GdiObject::BRUSH_OBJ:
      return GdiObjectAccess::Wrapper<CBrush>(h);
    default:
      return GdiObjectAccess::Wrapper<CFont>(h);
  }
}

BOOL CBitmap::LoadBitmap(UINT id) {
  if (m_hObject) return FALSE;
  Image img;
  if (!LoadImageFile(FindBitmapResourcePath(id), img)) return FALSE;
  Bitmap *b = NewObject<Bitmap>();
  b->image = std::move(img);
  return Attach(Handle(b));
}

BOOL CBitmap::LoadBitmap(LPCTSTR name) { return IS_INTRESOURCE(name) && LoadBitmap((UINT)(ULONG_PTR)name); }

BOOL CBitmap::CreateCompatibleBitmap(CDC *, int w, int h) { return CreateBitmap(w, h, 1, 24, nullptr); }

BOOL CBitmap::CreateBitmap(int w, int h, UINT, UINT, const void *) {
  if (m_hObject || w < 0 || h < 0) return FALSE;
  Bitmap *b = NewObject<Bitmap>();
  b->image.Resize(w, h, 0);
  return Attach(Handle(b));
}

int CBitmap::GetBitmap(BITMAP *bm) {
  Bitmap *b = BitmapOf((HBITMAP)m_hObject);
  if (!b || !bm) return 0;
  *bm = BITMAP{0, b->image.width, b->image.height, ((b->image.width * 3 + 3) / 4) * 4, 1, 24, nullptr};
  return (int)sizeof(BITMAP);
}

CBitmap *CBitmap::FromHandle(HBITMAP h) { return GdiObjectAccess::Wrapper<CBitmap>((HGDIOBJ)h); }

BOOL CRgn::CreateRectRgn(int x1, int y1, int x2, int y2) { return Attach((HGDIOBJ)::CreateRectRgn(x1, y1, x2, y2)); }
BOOL CRgn::CreateRectRgnIndirect(LPCRECT r) { return CreateRectRgn(r->left, r->top, r->right, r->bottom); }

int CRgn::CombineRgn(CRgn *a, CRgn *b, int mode) {
  return ::CombineRgn((HRGN)m_hObject, a ? (HRGN)a->m_hObject : nullptr, b ? (HRGN)b->m_hObject : nullptr, mode);
}

int CRgn::CopyRgn(CRgn *src) { return CombineRgn(src, nullptr, RGN_COPY); }
BOOL CRgn::PtInRegion(int x, int y) const { return ::PtInRegion((HRGN)m_hObject, x, y); }
int CRgn::GetRgnBox(LPRECT rc) const { return ::GetRgnBox((HRGN)m_hObject, rc); }
BOOL CRgn::EqualRgn(CRgn *other) const { return other && ::EqualRgn((HRGN)m_hObject, (HRGN)other->m_hObject); }
CRgn *CRgn::FromHandle(HRGN h) { return GdiObjectAccess::Wrapper<CRgn>((HGDIOBJ)h); }

BOOL CBrush::CreateSolidBrush(COLORREF color) { return Attach((HGDIOBJ)::CreateSolidBrush(color)); }

BOOL CBrush::CreateStockObject(int nIndex) {
  HGDIOBJ h = GetStockObject(nIndex);
  if (!h || m_hObject) return FALSE;
  m_hObject = h;
  m_bTemporary = true;  // stock objects are never deleted
  return TRUE;
}

CBrush *CBrush::FromHandle(HBRUSH h) { return GdiObjectAccess::Wrapper<CBrush>((HGDIOBJ)h); }

BOOL CFont::CreatePointFont(int nPointSize, LPCTSTR, CDC *) {
  if (m_hObject) return FALSE;
  Font *f = NewObject<Font>();
  f->pointSize = nPointSize / 10;
  return Attach(Handle(f));
}

// ------------------------------------------------------------ CDC

CDC::~CDC() {
  if (!m_bTemporary) DeleteDC();
}

BOOL CDC::Attach(HDC hdc) {
  if (m_hDC || !hdc) return FALSE;
  m_hDC = hdc;
  hdc->object = this;
  return TRUE;
}

HDC CDC::Detach() {
  HDC h = m_hDC;
  if (h && h->object == this) h->object = nullptr;
  m_hDC = nullptr;
  return h;
}

CDC *CDC::FromHandle(HDC h) { return GdiObjectAccess::DcWrapper(h); }

BOOL CDC::CreateCompatibleDC(CDC *) {
  if (m_hDC) return FALSE;
  HDC h = new HDC__;
  h->placeholder.Resize(1, 1, RGB(0, 0, 0));
  h->target = &h->placeholder;
  return Attach(h);
}

BOOL CDC::DeleteDC() {
  HDC h = Detach();
  if (!h) return FALSE;
  delete h;
  return TRUE;
}

CBitmap *CDC::SelectObject(CBitmap *pBitmap) {
  if (!m_hDC || !pBitmap) return nullptr;
  Bitmap *b = BitmapOf((HBITMAP)pBitmap->m_hObject);
  if (!b || m_hDC->wnd) return nullptr;  // window contexts draw into the window
  HBITMAP old = m_hDC->selectedBitmap;
  m_hDC->selectedBitmap = (HBITMAP)pBitmap->m_hObject;
  m_hDC->target = &b->image;
  if (!old) {
    // The original 1x1 bitmap: restoring it gives the context its placeholder back.
    static CBitmap *placeholderMarker = nullptr;
    if (!placeholderMarker) {
      placeholderMarker = new CBitmap;
      placeholderMarker->CreateBitmap(1, 1, 1, 24, nullptr);
    }
    return placeholderMarker;
  }
  return CBitmap::FromHandle(old) ? CBitmap::FromHandle(old) : nullptr;
}

HGDIOBJ CDC::SelectObject(HGDIOBJ obj) {
  GdiObject *o = Live(obj);
  if (!m_hDC || !o) return nullptr;
  if (o->kind == GdiObject::BITMAP_OBJ) {
    CBitmap *old = SelectObject(static_cast<CBitmap *>(CGdiObject::FromHandle(obj)));
    return old ? old->m_hObject : nullptr;
  }
  HGDIOBJ &slot = o->kind == GdiObject::FONT_OBJ ? m_hDC->selectedFont : m_hDC->selectedBrush;
  HGDIOBJ old = slot;
  slot = obj;
  return old ? old : GetStockObject(WHITE_BRUSH);
}

CBrush *CDC::SelectObject(CBrush *pBrush) {
  if (!pBrush) return nullptr;
  return CBrush::FromHandle((HBRUSH)SelectObject(pBrush->m_hObject));
}

CFont *CDC::SelectObject(CFont *pFont) {
  if (!pFont || !m_hDC) return nullptr;
  HGDIOBJ old = m_hDC->selectedFont;
  m_hDC->selectedFont = pFont->m_hObject;
  return old ? static_cast<CFont *>(CGdiObject::FromHandle(old)) : nullptr;
}

CGdiObject *CDC::SelectStockObject(int nIndex) { return CGdiObject::FromHandle(SelectObject(GetStockObject(nIndex))); }

static const Image *SourceOf(CDC *dc) { return dc && dc->m_hDC ? dc->m_hDC->target : nullptr; }

BOOL CDC::BitBlt(int x, int y, int w, int h, CDC *src, int xs, int ys, DWORD rop) {
  return StretchBlt(x, y, w, h, src, xs, ys, w, h, rop);
}

BOOL CDC::StretchBlt(int x, int y, int w, int h, CDC *pSrcDC, int xs, int ys, int ws, int hs, DWORD) {
  const Image *src = SourceOf(pSrcDC);
  if (!m_hDC || !m_hDC->target || !src || w == 0 || h == 0 || ws == 0 || hs == 0) return FALSE;
  Image copy;
  if (src == m_hDC->target) copy = *src, src = &copy;
  Image &dst = *m_hDC->target;
  // Nearest source pixel for each destination pixel.
  for (int dy = 0; dy < std::abs(h); ++dy) {
    int ty = h > 0 ? y + dy : y - dy - 1;
    if (ty < 0 || ty >= dst.height) continue;
    int sy = ys + (int)((long long)dy * hs / h);
    for (int dx = 0; dx < std::abs(w); ++dx) {
      int tx = w > 0 ? x + dx : x - dx - 1;
      if (tx < 0 || tx >= dst.width) continue;
      int sx = xs + (int)((long long)dx * ws / w);
      if (src->Contains(sx, sy)) dst.At(tx, ty) = src->At(sx, sy);
    }
  }
  return TRUE;
}

COLORREF CDC::GetPixel(int x, int y) const {
  if (!m_hDC || !m_hDC->target || !m_hDC->target->Contains(x, y)) return CLR_INVALID;
  return m_hDC->target->At(x, y);
}

COLORREF CDC::SetPixel(int x, int y, COLORREF color) {
  if (!m_hDC || !m_hDC->target || !m_hDC->target->Contains(x, y)) return (COLORREF)-1;
  m_hDC->target->At(x, y) = color & 0xFFFFFF;
  return color & 0xFFFFFF;
}

void CDC::FillSolidRect(LPCRECT rc, COLORREF color) {
  if (!m_hDC || !m_hDC->target || !rc) return;
  Image &img = *m_hDC->target;
  for (int y = std::max<LONG>(0, rc->top); y < std::min<LONG>(img.height, rc->bottom); ++y)
    for (int x = std::max<LONG>(0, rc->left); x < std::min<LONG>(img.width, rc->right); ++x)
      img.At(x, y) = color & 0xFFFFFF;
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF color) {
  RECT r{x, y, x + cx, y + cy};
  FillSolidRect(&r, color);
}

void CDC::FillRect(LPCRECT rc, CBrush *pBrush) {
  Brush *b = pBrush ? BrushOf((HBRUSH)pBrush->m_hObject) : nullptr;
  if (b && !b->null) FillSolidRect(rc, b->color);
}

COLORREF CDC::SetTextColor(COLORREF c) {
  if (!m_hDC) return CLR_INVALID;
  COLORREF old = m_hDC->textColor;
  m_hDC->textColor = c;
  return old;
}
COLORREF CDC::GetTextColor() const { return m_hDC ? m_hDC->textColor : CLR_INVALID; }
COLORREF CDC::SetBkColor(COLORREF c) {
  if (!m_hDC) return CLR_INVALID;
  COLORREF old = m_hDC->bkColor;
  m_hDC->bkColor = c;
  return old;
}
COLORREF CDC::GetBkColor() const { return m_hDC ? m_hDC->bkColor : CLR_INVALID; }
int CDC::SetBkMode(int mode) {
  if (!m_hDC || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  int old = m_hDC->bkMode;
  m_hDC->bkMode = mode;
  return old;
}
int CDC::GetBkMode() const { return m_hDC ? m_hDC->bkMode : 0; }

// ------------------------------------------------------------ window contexts

static HDC WindowDc(HWND h) {
  if (!IsLive(h)) return nullptr;
  HWND top = TopLevelOf(h);
  if (top->backBuffer.width != ClientWidth(top) || top->backBuffer.height != ClientHeight(top))
    top->backBuffer.Resize(ClientWidth(top), ClientHeight(top), GetSysColor(COLOR_BTNFACE));
  HDC dc = new HDC__;
  dc->wnd = h;
  dc->target = &top->backBuffer;
  return dc;
}

CPaintDC::CPaintDC(CWnd *pWnd) : m_hWnd(pWnd ? pWnd->m_hWnd : nullptr) {
  HDC dc = WindowDc(m_hWnd);
  if (!dc) {
    CreateCompatibleDC(nullptr);  // a context that draws nowhere visible
    return;
  }
  Attach(dc);
  m_ps.hdc = dc;
  m_ps.fErase = TRUE;
  ::GetClientRect(m_hWnd, &m_ps.rcPaint);
  if (IsLive(m_hWnd)) m_hWnd->invalid = false;
}

CPaintDC::~CPaintDC() = default;

CClientDC::CClientDC(CWnd *pWnd) : m_hWnd(pWnd ? pWnd->m_hWnd : nullptr) {
  HDC dc = WindowDc(m_hWnd);
  if (dc)
    Attach(dc);
  else
    CreateCompatibleDC(nullptr);
}

CClientDC::~CClientDC() = default;

CDC *CWnd::GetDC() {
  HDC dc = WindowDc(m_hWnd);
  if (!dc) return nullptr;
  CDC *cdc = new CDC;
  cdc->Attach(dc);
  return cdc;
}

int CWnd::ReleaseDC(CDC *pDC) {
  if (!pDC) return 0;
  delete pDC;
  return 1;
}
