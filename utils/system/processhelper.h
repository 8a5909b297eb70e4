// Finding and ending a running process by its executable's file name, the
// debug privilege, and shutting the computer down after a delay.
#pragma once

#include "platform/text/cstring.h"
#include "platform/text/windef.h"

// The identifier of the first listed process whose executable's file name
// (the text after its path's last '/') equals exeName exactly, letter case
// included; 0 when there is none. Processes that cannot be inspected are
// skipped.
DWORD FindProcessId(const CString &exeName);

// Ends the process FindProcessId finds and waits, without a time limit,
// until it has ended. FALSE when there is none or it cannot be ended.
BOOL KillProcess(const CString &exeName);

// Enables the debug privilege of this process: the right to trace other
// processes of this user. TRUE when the system grants it; FALSE with
// ERROR_NOT_ALL_ASSIGNED as the last error when it does not.
BOOL EnableDebugPrivilege();

// Starts a power-off of this computer in `seconds`, showing `message` to the
// logged-in users; applications are closed without asking. FALSE when this
// account may not shut down (nothing is started then) or the shutdown
// cannot be scheduled; TRUE once it is scheduled.
BOOL ShutdownSystem(DWORD seconds, const CString &message);
