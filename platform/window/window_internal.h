// Internals of the window layer shared by its units and its two backends: the
// records behind the handles, the posted-message queue, and the interface a
// backend implements. Not for application code.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/system/threads.h"
#include "platform/text/codepage.h"
#include "platform/window/gdi.h"
#include "platform/window/window.h"
#include "platform/window/window_resources.h"
#include "platform/window/window_types.h"

class CDHtmlDialog;
typedef struct _GdkPixbuf GdkPixbuf;

namespace wl {

// A 24-bit image as COLORREF values (0x00BBGGRR), row by row.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<COLORREF> pixels;
  void Resize(int w, int h, COLORREF fill);
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
  COLORREF At(int x, int y) const { return pixels[(size_t)y * width + x]; }
  COLORREF &At(int x, int y) { return pixels[(size_t)y * width + x]; }
};

// Reads an image file through GdkPixbuf; false when it cannot be read.
bool LoadImageFile(const std::wstring &path, Image &out);

struct Timer {
  UINT_PTR id = 0;
  UINT period = 0;
  TIMERPROC proc = nullptr;
  uint64_t due = 0;     // headless clock
  uint64_t order = 0;   // start order, to break ties between equal due times
  unsigned source = 0;  // GTK timeout source
};

}  // namespace wl

struct HWND__ {
  CWnd *wnd = nullptr;                // attached object
  std::unique_ptr<CWnd> ownedObject;  // object the layer made (template controls, wrappers)
  bool alive = true;
  HWND parent = nullptr;  // child windows (controls)
  HWND owner = nullptr;   // top-level windows
  // Modal dialogs: the window the window manager keeps this one above
  // (TransientParent at creation); nullptr when none was shown.
  HWND transientFor = nullptr;
  std::vector<HWND> children;
  RECT rect{};  // top-level: screen; child: parent's client coordinates
  DWORD style = 0;
  DWORD exStyle = 0;
  bool visible = false;
  bool topmost = false;
  bool enabled = true;
  std::wstring text;
  int ctrlId = 0;
  bool isControl = false;
  DLGITEM_CLASS ctrlKind = DLGITEM_STATIC;
  HICON ctrlIcon = nullptr;
  bool isDialog = false;
  int fontPointSize = 9;
  HRGN region = nullptr;
  HICON bigIcon = nullptr;
  HICON smallIcon = nullptr;
  std::map<UINT_PTR, wl::Timer> timers;
  HMENU sysMenu = nullptr;
  int ncPaints = 0;
  bool invalid = false;
  bool erase = false;
  wl::Image backBuffer;
  CDHtmlDialog *browser = nullptr;
  void *backend = nullptr;  // the backend's own record
};

struct HICON__ {
  std::wstring path;      // image file
  std::string themeName;  // icon-theme or cursor name
  wl::Image image;
  bool loaded = false;
  bool isCursor = false;
  GdkPixbuf *pixbuf = nullptr;  // made on demand by the GTK backend (and the tray)
};

struct HMENU__ {
  struct Item {
    UINT flags = 0;  // MF_SEPARATOR, MF_POPUP, MF_CHECKED, MF_GRAYED, MF_DISABLED
    UINT_PTR id = 0;
    std::wstring text;
    HMENU sub = nullptr;
  };
  std::vector<Item> items;
  bool popup = false;
  int defaultItem = -1;
  bool isSystemMenu = false;
  std::unique_ptr<CMenu> wrapper;
};

namespace wl {

// GDI object records.
struct GdiObject {
  enum Kind { BITMAP_OBJ, REGION_OBJ, BRUSH_OBJ, FONT_OBJ };
  explicit GdiObject(Kind k) : kind(k) {}
  virtual ~GdiObject() = default;
  Kind kind;
  bool stock = false;
  std::unique_ptr<CGdiObject> wrapper;
};
struct Bitmap : GdiObject {
  Bitmap() : GdiObject(BITMAP_OBJ) {}
  Image image;
};
struct Region : GdiObject {
  Region() : GdiObject(REGION_OBJ) {}
  ~Region() override;
  cairo_region_t *region = nullptr;
};
struct Brush : GdiObject {
  Brush() : GdiObject(BRUSH_OBJ) {}
  COLORREF color = 0;
  bool null = false;
};
struct Font : GdiObject {
  Font() : GdiObject(FONT_OBJ) {}
  int pointSize = 9;
};

inline GdiObject *Gdi(HGDIOBJ h) { return reinterpret_cast<GdiObject *>(h); }
inline HGDIOBJ Handle(GdiObject *o) { return reinterpret_cast<HGDIOBJ>(o); }
Region *RegionOf(HRGN h);  // nullptr for a handle that is no live region
Bitmap *BitmapOf(HBITMAP h);
Brush *BrushOf(HBRUSH h);
bool IsNullBrush(HBRUSH h);

}  // namespace wl

struct HDC__ {
  wl::Image *target = nullptr;  // selected bitmap's image or a window's back buffer
  wl::Image placeholder;        // 1x1 image of a fresh memory context
  HBITMAP selectedBitmap = nullptr;
  HGDIOBJ selectedBrush = nullptr;
  HGDIOBJ selectedFont = nullptr;
  HWND wnd = nullptr;
  COLORREF textColor = 0;
  COLORREF bkColor = 0xFFFFFF;
  int bkMode = OPAQUE;
  CDC *object = nullptr;         // the CDC that owns the handle
  std::unique_ptr<CDC> wrapper;  // FromHandle's wrapper otherwise
};

namespace wl {

class Backend;

// A modal loop in progress.
struct ModalLoop {
  HWND hwnd = nullptr;
  CDialog *dialog = nullptr;
  bool *ended = nullptr;
  bool showOnIdle = false;
  void *backend = nullptr;
};

// What a backend realises. Every call is made on the UI thread unless noted.
class Backend {
 public:
  virtual ~Backend() = default;
  virtual AFX_BACKEND Kind() const = 0;

  // Window record changes, after the layer updated the record.
  virtual void Created(HWND) {}
  virtual void Destroyed(HWND) {}
  virtual void VisibilityChanged(HWND) {}
  virtual void RectChanged(HWND) {}
  virtual void TextChanged(HWND) {}
  virtual void TopMostChanged(HWND) {}
  virtual void StylesChanged(HWND) {}
  virtual void RegionChanged(HWND) {}
  virtual void IconChanged(HWND) {}
  virtual void EnabledChanged(HWND) {}
  virtual void Invalidated(HWND) {}
  virtual void CursorChanged(HCURSOR) {}

  virtual void TimerStarted(HWND, Timer &) = 0;
  virtual void TimerStopped(HWND, Timer &) = 0;

  // Runs until *loop.ended; calls ModalIdle at its first idle moment.
  virtual void RunModalLoop(ModalLoop &loop) = 0;
  // Runs the application loop until PostQuitMessage; the exit code.
  virtual int RunMessageLoop() = 0;
  virtual void QuitMessageLoop(int code) = 0;
  // A message or function was queued; may be called from any thread.
  virtual void Wake() = 0;

  // `owner` as the caller gave it; `above` the window the box stands above
  // (TransientParent of the owner).
  virtual int MessageBox(HWND owner, HWND above, const std::wstring &text, const std::wstring &caption, UINT type) = 0;
  // The chosen command of the popup; 0 when dismissed.
  virtual UINT TrackPopup(HMENU menu, int x, int y, HWND owner) = 0;

  virtual POINT CursorPos() = 0;
  virtual RECT WorkArea() = 0;
  virtual SIZE ScreenSize() = 0;
  virtual void BeginMoveDrag(HWND, POINT screenPt) = 0;
  virtual BOOL SetForeground(HWND) = 0;
  virtual HWND Foreground() = 0;
  virtual BOOL Flash(HWND) = 0;

  // Browser of a CDHtmlDialog window.
  virtual void BrowserCreate(HWND, CDHtmlDialog *) = 0;
  virtual void BrowserLoadFile(HWND, const std::wstring &path) = 0;
  virtual void BrowserNavigate(HWND, const std::wstring &url) = 0;
  virtual void BrowserSetElementText(HWND, const std::wstring &id, const std::wstring &text) = 0;
  virtual void BrowserSetHostFlags(HWND, DWORD flags) = 0;
};

Backend *CurrentBackend();  // never null once a backend is chosen (headless when none was)
std::unique_ptr<Backend> MakeHeadlessBackend();
std::unique_ptr<Backend> MakeGtkBackend();  // nullptr when no display opens
void InstallBackend(std::unique_ptr<Backend> backend);

// Records (window_records.cpp).
bool IsLive(HWND h);
HWND NewWindowRecord();
// Takes a destroyed window off the live list; its record stays.
void UnlistWindow(HWND h);
std::vector<HWND> LiveWindows();  // controls too, in creation order
std::vector<HWND> LiveTopLevelWindows();
void ForgetAllWindows();  // headless reset: destroys every window
// The live record of a window object; nullptr when it has none.
HWND RecordOf(const CWnd *w);
// Screen rectangle of any window (controls: converted through their parent).
RECT ScreenRect(HWND h);
int ClientWidth(HWND h);
int ClientHeight(HWND h);
HWND TopLevelOf(HWND h);
// The shown window that a modal dialog, message box or file chooser of
// `owner` stands above: the owner's top-level window when it is shown; else,
// as the original's owner rule gives, the application's main window when it
// is shown, else the active window. Never `self`; nullptr when none is shown.
HWND TransientParent(HWND owner, HWND self = nullptr);

// Message delivery (window_messages.cpp).
LRESULT Send(HWND h, UINT msg, WPARAM w, LPARAM l);
// The message the calling thread is handling (innermost Send); nullptr when
// none is. CWnd::Default runs the default processing of it.
struct SentMessage {
  HWND hwnd;
  UINT msg;
  WPARAM w;
  LPARAM l;
};
const SentMessage *CurrentMessage();
// The default processing of the messages the layer knows; 0 for the others.
LRESULT DefaultProc(HWND h, UINT msg, WPARAM w, LPARAM l);
// Queues a message for a live window; false for a handle that is not one.
bool PostRecord(HWND h, UINT msg, WPARAM w, LPARAM l);
// Input from a backend: builds the MSG, runs PreTranslateMessage from the
// target up its parents, then delivers. TRUE when a PreTranslateMessage
// swallowed it.
BOOL DeliverInput(HWND h, UINT msg, WPARAM w, LPARAM l, POINT screenPt);
// A mouse press/release/move from the backend at a screen point on a
// top-level window: hit test and client or non-client message.
void MouseInput(HWND h, UINT clientMsg, POINT screenPt, UINT keyFlags);
// A key press: dialog keys, the system menu on Alt+Space, Shift+F10 and the
// Menu key, Alt+F4 close. TRUE when the layer used the key (swallowed, dialog
// key, system key).
BOOL KeyInput(HWND h, UINT vk, bool alt, bool shift = false);
// Posted messages and queued functions. Delivers one; false when none.
bool DeliverOnePosted();
bool HasPosted();
void PostFunction(std::function<void()> fn);
void ClearPosted();
// Repaint of an invalid window: WM_PAINT into its back buffer.
void PaintWindow(HWND h);
bool PaintOneInvalid();
void FireTimer(HWND h, UINT_PTR id);
void ModalIdle(ModalLoop &loop);
void ShowSystemMenu(HWND h, POINT screenPt);

// Control appearance from the parent's WM_CTLCOLOR (window_controls.cpp).
struct ControlLook {
  COLORREF textColor = 0;
  bool transparentText = false;
  bool nullBrush = false;
  bool hasBrush = false;
  COLORREF brushColor = 0;
};
ControlLook QueryControlLook(HWND control);
bool IsDigitsOnly(const std::wstring &s);

// Icons and cursors.
HICON IconFromFile(const std::wstring &path);
HICON StockIcon(int id);
HCURSOR StockCursor(int id);
HCURSOR CurrentCursor();
const Image *IconImage(HICON icon);  // nullptr when it has no image

// The HTML page of the browser dialog, headless: element ids and texts.
struct PageElements {
  std::vector<std::pair<std::wstring, std::wstring>> elements;  // id, text content
};
PageElements ParsePageElements(const std::string &html);

// UTF-8 for the toolkit's texts and file names.
inline std::string ToUtf8(const std::wstring &s) { return WideToMultiByte(CP_UTF8, s); }
inline std::wstring FromUtf8(const std::string &s) { return MultiByteToWide(CP_UTF8, s); }

}  // namespace wl

typedef struct _GtkWindow GtkWindow;
// Makes a toolkit dialog of the GTK backend stand above the window `above`
// (TransientParent): transient for it, or kept above all when it is nullptr.
void AfxGtkStandAbove(GtkWindow *window, HWND above);

// The pixbuf of an icon (made on first use, owned by the icon); nullptr when
// the icon has no image. For the tray icon and the GTK backend.
GdkPixbuf *AfxIconPixbuf(HICON icon);
