#include "utils/desktop/shellhelper.h"

#include "platform/system/module.h"
#include "platform/system/process.h"
#include "platform/window/msgbox.h"
#include "platform/window/window.h"

void ShowNumberBox(int n) {
  CString text;
  text.Format(L"%d", n);
  AfxMessageBox(text, MB_OK, 0);
}

BOOL ShowMessageBox(CString text, UINT type, HWND owner) {
  return MessageBoxW(owner, text, L"提示", type) == IDOK ? TRUE : FALSE;
}

BOOL OpenWithShell(const CString &target) {
  const HINSTANCE result = ShellExecuteW(nullptr, nullptr, target, nullptr, nullptr, SW_SHOW);
  return reinterpret_cast<intptr_t>(result) > 32 ? TRUE : FALSE;
}

BOOL StartProcess(CString path) {
  if (path.IsEmpty()) {
    // The program's own file (a path on Linux cannot be longer than 4096 bytes).
    wchar_t self[4096];
    const DWORD n = GetModuleFileNameW(nullptr, self, sizeof self / sizeof self[0]);
    if (n == 0 || n >= sizeof self / sizeof self[0]) return FALSE;
    path = CString(self, static_cast<int>(n));
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  const BOOL started =
      CreateProcessW(path, nullptr, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &info);
  if (started) {
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
  }
  return started;
}

BOOL FlashIfInactive(HWND wnd) {
  if (GetForegroundWindow() == wnd) return FALSE;
  return FlashWindow(wnd, TRUE);
}
