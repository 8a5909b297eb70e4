// Message boxes, handing a file or URL to the desktop, starting a program and
// drawing the user's attention to a window.
#pragma once

#include "platform/text/cstring.h"
#include "platform/window/window_types.h"

// Shows the decimal text of n in the framework's message box with an OK
// button; returns when the box is closed.
void ShowNumberBox(int n);

// Shows text in a box captioned "提示" with the buttons and icon of `type`,
// owned by `owner`; returns when it is closed. TRUE only when the answer is
// IDOK (the close button counts as Cancel when the box has one).
BOOL ShowMessageBox(CString text, UINT type, HWND owner);

// Opens target (a file or URL) with the desktop's default program. TRUE only
// when the desktop's opener accepted the target; FALSE when there is no
// opener, the file is missing or no program opens it.
BOOL OpenWithShell(const CString &target);

// Starts the program file at path with no arguments, or a new copy of this
// program when path is empty, and does not wait for it. FALSE when it could
// not be started (missing or not executable).
BOOL StartProcess(CString path);

// FALSE without doing anything when wnd is the foreground window; otherwise
// flashes wnd once and returns the result of that flash.
BOOL FlashIfInactive(HWND wnd);
