// The headless backend: no display, a fake clock, scripted answers, and the
// test interface of platform/window/headless.h.
#include <algorithm>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/text/wctype_win.h"
#include "platform/window/dhtml.h"
#include "platform/window/headless.h"
#include "platform/window/window_internal.h"

using namespace wl;

namespace wl {
int ModalDepth();
}

namespace {

struct Page {
  std::wstring file;
  std::vector<std::pair<std::wstring, std::wstring>> elements;
  std::vector<std::wstring> navigations;
  DWORD hostFlags = 0;
};

struct State {
  uint64_t now = 0;
  SIZE screen{1280, 1024};
  RECT workArea{0, 0, 1280, 984};
  POINT cursor{0, 0};
  std::deque<std::function<void(CWnd *)>> modalActions;
  int stalled = 0;
  std::mutex boxMutex;
  std::deque<int> boxAnswers;
  std::function<int(const HeadlessMessageBox &)> boxHandler;
  std::vector<HeadlessMessageBox> boxes;
  std::deque<UINT> popupChoices;
  std::vector<HeadlessPopup> popups;
  std::vector<HWND> drags;
  HWND foreground = nullptr;
  std::map<HWND, int> flashes;
  std::map<HWND, Page> pages;
};

State &S() {
  static State *s = new State;
  return *s;
}

int FirstButton(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_ABORTRETRYIGNORE:
      return IDABORT;
    case MB_YESNOCANCEL:
    case MB_YESNO:
      return IDYES;
    case MB_RETRYCANCEL:
      return IDRETRY;
    default:
      return IDOK;
  }
}

std::vector<HeadlessMenuItem> ItemsOf(HMENU m) {
  std::vector<HeadlessMenuItem> out;
  if (!IsMenu(m)) return out;
  for (size_t i = 0; i < m->items.size(); ++i) {
    const auto &it = m->items[i];
    out.push_back({it.text, (UINT)it.id, (it.flags & MF_SEPARATOR) != 0, (it.flags & MF_CHECKED) != 0,
                   (it.flags & (MF_GRAYED | MF_DISABLED)) != 0, m->defaultItem == (int)i, (it.flags & MF_POPUP) != 0});
  }
  return out;
}

class HeadlessBackend : public Backend {
 public:
  AFX_BACKEND Kind() const override { return BACKEND_HEADLESS; }

  void Destroyed(HWND h) override {
    S().pages.erase(h);
    if (S().foreground == h) S().foreground = nullptr;
  }

  void TimerStarted(HWND, Timer &t) override { t.due = S().now + t.period; }
  void TimerStopped(HWND, Timer &) override {}

  void RunModalLoop(ModalLoop &loop) override {
    while (!*loop.ended) {
      HeadlessPumpMessages();
      if (*loop.ended) break;
      if (loop.showOnIdle) {
        ModalIdle(loop);
        continue;
      }
      if (!S().modalActions.empty()) {
        auto action = std::move(S().modalActions.front());
        S().modalActions.pop_front();
        action(loop.dialog);
        continue;
      }
      ++S().stalled;
      loop.dialog->EndDialog(-1);
    }
  }

  int RunMessageLoop() override {
    quit_ = false;
    while (!quit_ && HeadlessPumpMessages() > 0) {
    }
    return quitCode_;
  }
  void QuitMessageLoop(int code) override {
    quit_ = true;
    quitCode_ = code;
  }
  void Wake() override {}

  int MessageBox(HWND owner, HWND above, const std::wstring &text, const std::wstring &caption, UINT type) override {
    HeadlessMessageBox box{owner, text, caption, type, (DWORD)S().now, above};
    std::function<int(const HeadlessMessageBox &)> handler;
    int answer = FirstButton(type);
    {
      std::lock_guard<std::mutex> lock(S().boxMutex);
      S().boxes.push_back(box);
      handler = S().boxHandler;
      if (!handler && !S().boxAnswers.empty()) {
        answer = S().boxAnswers.front();
        S().boxAnswers.pop_front();
      }
    }
    return handler ? handler(box) : answer;
  }

  UINT TrackPopup(HMENU menu, int x, int y, HWND owner) override {
    S().popups.push_back({owner, POINT{x, y}, ItemsOf(menu)});
    if (S().popupChoices.empty()) return 0;
    UINT id = S().popupChoices.front();
    S().popupChoices.pop_front();
    return id;
  }

  POINT CursorPos() override { return S().cursor; }
  RECT WorkArea() override { return S().workArea; }
  SIZE ScreenSize() override { return S().screen; }
  void BeginMoveDrag(HWND h, POINT) override { S().drags.push_back(h); }
  BOOL SetForeground(HWND h) override {
    S().foreground = h;
    return TRUE;
  }
  HWND Foreground() override { return IsLive(S().foreground) ? S().foreground : nullptr; }
  BOOL Flash(HWND h) override {
    ++S().flashes[h];
    return S().foreground == h;
  }

  void BrowserCreate(HWND h, CDHtmlDialog *) override { S().pages[h] = Page(); }
  void BrowserLoadFile(HWND h, const std::wstring &path) override {
    Page &p = S().pages[h];
    p.file = path;
    std::ifstream in(ToUtf8(path), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    p.elements = ParsePageElements(ss.str()).elements;
  }
  void BrowserNavigate(HWND h, const std::wstring &url) override { S().pages[h].navigations.push_back(url); }
  void BrowserSetElementText(HWND h, const std::wstring &id, const std::wstring &text) override {
    for (auto &[eid, etext] : S().pages[h].elements)
      if (eid == id) {
        etext = text;
        return;
      }
  }
  void BrowserSetHostFlags(HWND h, DWORD flags) override { S().pages[h].hostFlags = flags; }

 private:
  bool quit_ = false;
  int quitCode_ = 0;
};

HWND TopLevelAt(HWND h) { return TopLevelOf(h); }

}  // namespace

namespace wl {
std::unique_ptr<Backend> MakeHeadlessBackend() { return std::make_unique<HeadlessBackend>(); }
}  // namespace wl

void HeadlessReset() {
  if (AfxGetBackend() != BACKEND_HEADLESS) {
    ForgetAllWindows();
    AfxSetBackend(BACKEND_HEADLESS);
  }
  ForgetAllWindows();
  State &s = S();
  s.now = 0;
  s.screen = SIZE{1280, 1024};
  s.workArea = RECT{0, 0, 1280, 984};
  s.cursor = POINT{0, 0};
  s.modalActions.clear();
  s.stalled = 0;
  {
    std::lock_guard<std::mutex> lock(s.boxMutex);
    s.boxAnswers.clear();
    s.boxHandler = nullptr;
    s.boxes.clear();
  }
  s.popupChoices.clear();
  s.popups.clear();
  s.drags.clear();
  s.foreground = nullptr;
  s.flashes.clear();
  s.pages.clear();
  ::SetCursor(nullptr);
}

int HeadlessPumpMessages() {
  int n = 0;
  for (;;) {
    if (DeliverOnePosted() || PaintOneInvalid()) {
      ++n;
      continue;
    }
    break;
  }
  return n;
}

DWORD HeadlessNow() { return (DWORD)S().now; }

void HeadlessAdvanceClock(DWORD ms) {
  uint64_t target = S().now + ms;
  for (;;) {
    HeadlessPumpMessages();
    HWND dueWnd = nullptr;
    const Timer *next = nullptr;
    for (HWND h : LiveTopLevelWindows())
      for (auto &[id, t] : h->timers)
        if (t.due <= target && (!next || t.due < next->due || (t.due == next->due && t.order < next->order)))
          next = &t, dueWnd = h;
    if (!next) break;
    S().now = std::max(S().now, next->due);
    UINT_PTR id = next->id;
    const_cast<Timer *>(next)->due = S().now + next->period;
    FireTimer(dueWnd, id);
    target = std::max(target, S().now);
  }
  S().now = std::max(S().now, target);
  HeadlessPumpMessages();
}

std::optional<UINT> HeadlessTimerPeriod(HWND h, UINT_PTR id) {
  if (!IsLive(h)) return std::nullopt;
  auto it = h->timers.find(id);
  if (it == h->timers.end()) return std::nullopt;
  return it->second.period;
}

void HeadlessSetScreen(int width, int height, RECT workArea) {
  S().screen = SIZE{width, height};
  S().workArea = workArea;
}

void HeadlessSetCursorPos(int x, int y) { S().cursor = POINT{x, y}; }
HCURSOR HeadlessCurrentCursor() { return CurrentCursor(); }

void HeadlessMouse(HWND h, enum HeadlessMouse kind, POINT pt) {
  static const UINT msgs[] = {WM_LBUTTONDOWN, WM_LBUTTONUP,     WM_LBUTTONDBLCLK, WM_RBUTTONDOWN,
                              WM_RBUTTONUP,   WM_RBUTTONDBLCLK, WM_MOUSEMOVE};
  static const UINT keys[] = {MK_LBUTTON, 0, MK_LBUTTON, MK_RBUTTON, 0, MK_RBUTTON, 0};
  S().cursor = pt;
  MouseInput(TopLevelAt(h), msgs[kind], pt, keys[kind]);
}

void HeadlessKey(HWND h, UINT vk, bool alt, bool shift) { KeyInput(h, vk, alt, shift); }

void HeadlessTypeText(HWND hEdit, const wchar_t *text) {
  if (!IsLive(hEdit)) return;
  std::wstring t = text ? text : L"";
  if ((hEdit->style & ES_NUMBER) && !IsDigitsOnly(t)) return;
  CWnd::FromHandle(hEdit)->SetWindowText(t.c_str());
}

void HeadlessPasteText(HWND hEdit, const wchar_t *text) {
  if (IsLive(hEdit)) CWnd::FromHandle(hEdit)->SetWindowText(text);
}

void HeadlessRequestClose(HWND h) {
  if (IsLive(h)) Send(h, WM_SYSCOMMAND, SC_CLOSE, 0);
}

HeadlessWindowInfo HeadlessGetWindow(HWND h) {
  HeadlessWindowInfo info{};
  if (!IsLive(h)) return info;
  info.rect = h->rect;
  info.visible = h->visible;
  info.topmost = h->topmost;
  info.enabled = h->enabled;
  info.style = h->style | (h->visible ? WS_VISIBLE : 0);
  info.exStyle = h->exStyle;
  info.owner = h->owner;
  info.transientFor = IsLive(h->transientFor) ? h->transientFor : nullptr;
  info.parent = h->parent;
  info.text = h->text;
  info.hasRegion = h->region != nullptr;
  info.bigIcon = h->bigIcon;
  info.smallIcon = h->smallIcon;
  info.ctrlId = h->ctrlId;
  info.ncPaints = h->ncPaints;
  return info;
}

std::vector<HWND> HeadlessTopLevelWindows() { return LiveTopLevelWindows(); }
std::vector<HWND> HeadlessDragsStarted() { return S().drags; }

COLORREF HeadlessWindowPixel(HWND h, int x, int y) {
  if (!IsLive(h) || !h->backBuffer.Contains(x, y)) return CLR_INVALID;
  return h->backBuffer.At(x, y);
}

HeadlessControlLook HeadlessGetControlLook(HWND c) {
  ControlLook l = QueryControlLook(c);
  return {l.textColor, l.transparentText, l.nullBrush};
}

void HeadlessOnModal(std::function<void(CWnd *)> action) { S().modalActions.push_back(std::move(action)); }
int HeadlessStalledModalLoops() { return S().stalled; }
int HeadlessModalDepth() { return ModalDepth(); }

void HeadlessQueueMessageBoxAnswer(int answer) {
  std::lock_guard<std::mutex> lock(S().boxMutex);
  S().boxAnswers.push_back(answer);
}

void HeadlessSetMessageBoxHandler(std::function<int(const HeadlessMessageBox &)> handler) {
  std::lock_guard<std::mutex> lock(S().boxMutex);
  S().boxHandler = std::move(handler);
}

std::vector<HeadlessMessageBox> HeadlessMessageBoxes() {
  std::lock_guard<std::mutex> lock(S().boxMutex);
  return S().boxes;
}

void HeadlessQueuePopupChoice(UINT id) { S().popupChoices.push_back(id); }
std::vector<HeadlessPopup> HeadlessPopups() { return S().popups; }
std::vector<HeadlessMenuItem> HeadlessMenuItems(HMENU m) { return ItemsOf(m); }

HWND HeadlessForegroundWindow() { return IsLive(S().foreground) ? S().foreground : nullptr; }
void HeadlessSetForegroundWindow(HWND h) { S().foreground = h; }
int HeadlessFlashCount(HWND h) { return S().flashes.count(h) ? S().flashes[h] : 0; }

static Page *PageOf(HWND h) {
  auto it = S().pages.find(h);
  return IsLive(h) && it != S().pages.end() ? &it->second : nullptr;
}

std::optional<std::wstring> HeadlessElementText(HWND h, const wchar_t *id) {
  if (Page *p = PageOf(h))
    for (auto &[eid, text] : p->elements)
      if (eid == id) return text;
  return std::nullopt;
}

std::vector<std::wstring> HeadlessElementIds(HWND h) {
  std::vector<std::wstring> ids;
  if (Page *p = PageOf(h))
    for (auto &e : p->elements) ids.push_back(e.first);
  return ids;
}

std::vector<std::wstring> HeadlessNavigations(HWND h) {
  Page *p = PageOf(h);
  return p ? p->navigations : std::vector<std::wstring>{};
}

std::wstring HeadlessLoadedHtmlFile(HWND h) {
  Page *p = PageOf(h);
  return p ? p->file : L"";
}

HRESULT HeadlessClickElement(HWND h, const wchar_t *id) {
  if (!HeadlessElementText(h, id) || !h->browser) return E_INVALIDARG;
  return h->browser->DispatchElementEvent(DISPID_HTMLELEMENTEVENTS_ONCLICK, id);
}

bool HeadlessBrowserMouse(HWND h, UINT message, POINT pt) {
  if (!IsLive(h) || !h->browser) return false;
  S().cursor = pt;
  return h->browser->FilterBrowserMouseMessage(message, pt) != FALSE;
}

void HeadlessDocumentComplete(HWND h, const wchar_t *url) {
  if (IsLive(h) && h->browser) h->browser->DispatchDocumentComplete(url);
}

namespace wl {

// Elements with an id attribute and their text up to the next tag; entities
// &amp; &lt; &gt; &quot; &#39; &nbsp; decoded.
PageElements ParsePageElements(const std::string &html) {
  PageElements out;
  std::wstring page = FromUtf8(html);
  auto decode = [](std::wstring s) {
    static const std::pair<const wchar_t *, const wchar_t *> entities[] = {{L"&lt;", L"<"},        {L"&gt;", L">"},
                                                                           {L"&quot;", L"\""},     {L"&#39;", L"'"},
                                                                           {L"&nbsp;", L"\u00a0"}, {L"&amp;", L"&"}};
    for (auto &[from, to] : entities)
      for (size_t p; (p = s.find(from)) != std::wstring::npos;) s.replace(p, wcslen(from), to);
    return s;
  };
  size_t pos = 0;
  while ((pos = page.find(L'<', pos)) != std::wstring::npos) {
    size_t end = page.find(L'>', pos);
    if (end == std::wstring::npos) break;
    std::wstring tag = page.substr(pos + 1, end - pos - 1);
    pos = end + 1;
    if (tag.empty() || tag[0] == L'/' || tag[0] == L'!') continue;
    for (size_t a = tag.find(L"id="); a != std::wstring::npos; a = tag.find(L"id=", a + 3)) {
      if (a > 0 && !win_iswspace(tag[a - 1])) continue;
      size_t v = a + 3;
      if (v >= tag.size()) break;
      wchar_t quote = tag[v];
      std::wstring id;
      if (quote == L'"' || quote == L'\'') {
        size_t close = tag.find(quote, v + 1);
        if (close == std::wstring::npos) break;
        id = tag.substr(v + 1, close - v - 1);
      } else {
        size_t close = v;
        while (close < tag.size() && !win_iswspace(tag[close]) && tag[close] != L'/') ++close;
        id = tag.substr(v, close - v);
      }
      size_t next = page.find(L'<', pos);
      out.elements.emplace_back(decode(id),
                                decode(page.substr(pos, next == std::wstring::npos ? std::wstring::npos : next - pos)));
      break;
    }
  }
  return out;
}

}  // namespace wl
