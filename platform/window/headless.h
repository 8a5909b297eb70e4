// Test interface of the headless window backend: no display, a fake clock,
// scripted answers for message boxes, popup menus and modal loops, and read
// access to what the windows hold. Select it with AfxSetBackend(BACKEND_HEADLESS)
// before creating windows (HeadlessReset does that and clears every record).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/window/afxwin.h"

// Selects the headless backend, destroys every window, clears the clock,
// scripts and records, sets the default screen (1280 x 1024, work area
// 1280 x 984). Call at the start of each test.
void HeadlessReset();

// Delivers posted messages (and pending repaints) until none remain, like the
// message loop's idle point. The number of messages delivered.
int HeadlessPumpMessages();

// The fake clock that drives timers, in ms from the reset.
DWORD HeadlessNow();
// Advances the clock by ms, delivering each timer that falls due in order of
// its due time (posted messages are delivered before each timer). A handler
// may advance the clock again (for example from inside a message box).
void HeadlessAdvanceClock(DWORD ms);
// The period of a running timer; empty when the window has no such timer.
std::optional<UINT> HeadlessTimerPeriod(HWND hWnd, UINT_PTR id);

// Screen and work area as GetSystemMetrics reports them.
void HeadlessSetScreen(int width, int height, RECT workArea);
void HeadlessSetCursorPos(int x, int y);
HCURSOR HeadlessCurrentCursor();

// Input: mouse messages as the backend would make them from a press at a
// screen point: WM_NCHITTEST, then the client message (or the non-client one
// for another hit-test result), through PreTranslateMessage. Also moves the
// cursor there.
enum HeadlessMouse { MOUSE_LDOWN, MOUSE_LUP, MOUSE_LDBLCLK, MOUSE_RDOWN, MOUSE_RUP, MOUSE_RDBLCLK, MOUSE_MOVE };
void HeadlessMouse(HWND hWnd, HeadlessMouse kind, POINT screenPt);
// Key press (VK_*) with Alt and Shift held or not, through PreTranslateMessage.
void HeadlessKey(HWND hWnd, UINT vk, bool alt = false, bool shift = false);
// Typing into an edit honours ES_NUMBER (non-digits are refused); pasting
// takes the text as it is. Both replace the edit's text.
void HeadlessTypeText(HWND hEdit, const wchar_t *text);
void HeadlessPasteText(HWND hEdit, const wchar_t *text);
// The window manager's close request (the close button, Alt+F4).
void HeadlessRequestClose(HWND hWnd);

// Window state.
struct HeadlessWindowInfo {
  RECT rect;  // screen coordinates (controls: their parent's client coordinates)
  bool visible;
  bool topmost;
  bool enabled;
  DWORD style;
  DWORD exStyle;
  HWND owner;
  HWND transientFor;  // modal dialogs: the window it stands above, nullptr for none
  HWND parent;
  std::wstring text;
  bool hasRegion;
  HICON bigIcon;
  HICON smallIcon;
  int ctrlId;
  // Times the window was shown by the layer and got WM_NCPAINT.
  int ncPaints;
};
HeadlessWindowInfo HeadlessGetWindow(HWND hWnd);
// Every live top-level window, in creation order.
std::vector<HWND> HeadlessTopLevelWindows();
// The windows that took part in a move drag (WM_NCLBUTTONDOWN with HTCAPTION
// reaching the default processing), in order.
std::vector<HWND> HeadlessDragsStarted();
// A pixel of the window's back buffer as its last WM_PAINT left it (the layer
// repaints invalid windows when messages are pumped).
COLORREF HeadlessWindowPixel(HWND hWnd, int x, int y);
// How a control is drawn, from its parent's WM_CTLCOLOR answer.
struct HeadlessControlLook {
  COLORREF textColor;
  bool transparentText;  // SetBkMode(TRANSPARENT)
  bool nullBrush;        // background shows what lies behind
};
HeadlessControlLook HeadlessGetControlLook(HWND hControl);

// Modal loops: when a modal loop (DoModal) is idle and not ended, the next
// scripted action runs with the dialog; with no action left the loop ends
// with -1 and is counted as stalled.
void HeadlessOnModal(std::function<void(CWnd *dialog)> action);
int HeadlessStalledModalLoops();
int HeadlessModalDepth();

// Message boxes: every box shown is recorded; the answer comes from the
// handler if one is set, else from the queue, else the box's first button.
struct HeadlessMessageBox {
  HWND owner;
  std::wstring text;
  std::wstring caption;
  UINT type;
  DWORD shownAt;      // clock
  HWND transientFor;  // the window it stands above (the owner, or the main or active window)
};
void HeadlessQueueMessageBoxAnswer(int answer);
void HeadlessSetMessageBoxHandler(std::function<int(const HeadlessMessageBox &)> handler);
std::vector<HeadlessMessageBox> HeadlessMessageBoxes();

// Popup menus: every popup shown is recorded; the choice comes from the queue
// (0 dismisses; with none queued the popup is dismissed).
struct HeadlessMenuItem {
  std::wstring text;  // empty for separators
  UINT id;
  bool separator;
  bool checked;
  bool grayed;
  bool isDefault;
  bool popup;
};
struct HeadlessPopup {
  HWND owner;
  POINT pt;
  std::vector<HeadlessMenuItem> items;  // top level of the popup as shown
};
void HeadlessQueuePopupChoice(UINT id);
std::vector<HeadlessPopup> HeadlessPopups();
std::vector<HeadlessMenuItem> HeadlessMenuItems(HMENU hMenu);

// Foreground window and flashes.
HWND HeadlessForegroundWindow();
void HeadlessSetForegroundWindow(HWND hWnd);
int HeadlessFlashCount(HWND hWnd);

// The browser of a CDHtmlDialog: the page's elements by id (parsed from the id
// attributes of the loaded HTML resource, with their text content), the
// navigations asked for, host flags.
std::optional<std::wstring> HeadlessElementText(HWND hDlg, const wchar_t *id);
std::vector<std::wstring> HeadlessElementIds(HWND hDlg);
std::vector<std::wstring> HeadlessNavigations(HWND hDlg);
std::wstring HeadlessLoadedHtmlFile(HWND hDlg);
// Fires the element's click event; the handler's result, S_FALSE when the
// event map has no handler for the id, E_INVALIDARG when the page lacks it.
HRESULT HeadlessClickElement(HWND hDlg, const wchar_t *id);
// A mouse message (WM_RBUTTONDOWN, ...) inside the page; true when the dialog
// swallowed it, false when the page got it.
bool HeadlessBrowserMouse(HWND hDlg, UINT message, POINT screenPt);
// The page finished loading url (OnDocumentComplete).
void HeadlessDocumentComplete(HWND hDlg, const wchar_t *url);
