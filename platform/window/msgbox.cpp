// Message boxes: run by the backend on the UI thread.
#include "platform/window/msgbox.h"

#include <future>

#include "platform/window/window_internal.h"

using namespace wl;

int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  std::wstring text = lpText ? lpText : L"";
  std::wstring caption = lpCaption ? lpCaption : L"错误";
  HWND owner = IsLive(hWnd) ? TopLevelOf(hWnd) : nullptr;
  if (AfxIsUiThread() || AfxGetBackend() != BACKEND_GTK)
    return CurrentBackend()->MessageBox(owner, TransientParent(owner), text, caption, uType);
  // Windows belong to the UI thread: show the box there and wait for it.
  auto answer = std::make_shared<std::promise<int>>();
  std::future<int> result = answer->get_future();
  PostFunction([=] {
    const HWND live = IsLive(owner) ? owner : nullptr;
    answer->set_value(CurrentBackend()->MessageBox(live, TransientParent(live), text, caption, uType));
  });
  return result.get();
}

int AfxMessageBox(LPCTSTR lpszText, UINT nType, UINT) {
  CWnd *main = AfxGetMainWnd();
  HWND owner = main && IsLive(main->m_hWnd) ? main->m_hWnd : nullptr;
  return MessageBoxW(owner, lpszText, AfxGetAppName(), nType);
}

int AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp) {
  std::wstring text;
  FindStringResource(nIDPrompt, text);
  return AfxMessageBox(text.c_str(), nType, nIDHelp);
}
