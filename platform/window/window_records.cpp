// The records behind window handles, and the backend that realises them.
#include <algorithm>
#include <mutex>
#include <thread>

#include "platform/window/window_internal.h"

namespace wl {
namespace {

Backend *g_backend = nullptr;  // never destroyed at exit (see Records)
std::thread::id g_uiThread;
bool g_uiThreadSet = false;

// Window records are never freed (stale handles stay safe to test) and the
// tables are never destroyed: exit(0) from a menu ends the process with windows
// alive, and objects destroyed at exit may still ask whether their window lives.
struct Records {
  std::mutex mutex;
  std::vector<std::unique_ptr<HWND__>> all;
  std::vector<HWND> live;  // creation order
};
Records &Recs() {
  static Records *r = new Records;
  return *r;
}
#define g_recordsMutex (Recs().mutex)
#define g_records (Recs().all)
#define g_live (Recs().live)

}  // namespace

Backend *CurrentBackend() {
  if (!g_backend) InstallBackend(MakeHeadlessBackend());
  return g_backend;
}

void InstallBackend(std::unique_ptr<Backend> backend) {
  delete g_backend;
  g_backend = backend.release();
  g_uiThread = std::this_thread::get_id();
  g_uiThreadSet = true;
}

bool IsLive(HWND h) {
  if (!h) return false;
  std::lock_guard<std::mutex> lock(g_recordsMutex);
  return std::find(g_live.begin(), g_live.end(), h) != g_live.end() && h->alive;
}

HWND NewWindowRecord() {
  std::lock_guard<std::mutex> lock(g_recordsMutex);
  g_records.push_back(std::make_unique<HWND__>());
  HWND h = g_records.back().get();
  g_live.push_back(h);
  return h;
}

void UnlistWindow(HWND h) {
  std::lock_guard<std::mutex> lock(g_recordsMutex);
  h->alive = false;
  g_live.erase(std::remove(g_live.begin(), g_live.end(), h), g_live.end());
}

std::vector<HWND> LiveWindows() {
  std::lock_guard<std::mutex> lock(g_recordsMutex);
  return g_live;
}

std::vector<HWND> LiveTopLevelWindows() {
  std::lock_guard<std::mutex> lock(g_recordsMutex);
  std::vector<HWND> out;
  for (HWND h : g_live)
    if (!h->parent) out.push_back(h);
  return out;
}

void ForgetAllWindows() {
  for (HWND h : LiveTopLevelWindows())
    if (IsLive(h)) ::DestroyWindow(h);
  ClearPosted();
  std::lock_guard<std::mutex> lock(g_recordsMutex);
  g_live.clear();
}

HWND TopLevelOf(HWND h) {
  while (h && h->parent) h = h->parent;
  return h;
}

HWND TransientParent(HWND owner, HWND self) {
  auto shown = [self](HWND h) { return IsLive(h) && h != self && !h->isControl && h->visible ? h : nullptr; };
  if (HWND h = shown(IsLive(owner) ? TopLevelOf(owner) : nullptr)) return h;
  CWnd *main = AfxGetMainWnd();
  if (HWND h = shown(main ? RecordOf(main) : nullptr)) return h;
  return shown(TopLevelOf(CurrentBackend()->Foreground()));
}

RECT ScreenRect(HWND h) {
  RECT r = h->rect;
  for (HWND p = h->parent; p; p = p->parent) OffsetRect(&r, p->rect.left, p->rect.top);
  return r;
}

int ClientWidth(HWND h) { return std::max<LONG>(0, h->rect.right - h->rect.left); }
int ClientHeight(HWND h) { return std::max<LONG>(0, h->rect.bottom - h->rect.top); }

}  // namespace wl

using namespace wl;

BOOL AfxSetBackend(AFX_BACKEND backend) {
  if (!LiveTopLevelWindows().empty()) return g_backend && g_backend->Kind() == backend;
  if (backend == BACKEND_HEADLESS) {
    InstallBackend(MakeHeadlessBackend());
    return TRUE;
  }
  if (backend == BACKEND_GTK) {
    auto gtk = MakeGtkBackend();
    if (!gtk) return FALSE;
    InstallBackend(std::move(gtk));
    return TRUE;
  }
  return FALSE;
}

AFX_BACKEND AfxGetBackend() { return g_backend ? g_backend->Kind() : BACKEND_NONE; }

BOOL AfxIsUiThread() { return !g_uiThreadSet || std::this_thread::get_id() == g_uiThread; }

void AfxRunOnUiThread(std::function<void()> fn) {
  if (AfxIsUiThread())
    fn();
  else
    PostFunction(std::move(fn));
}
