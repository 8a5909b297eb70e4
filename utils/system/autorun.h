// The log-on autostart value of the program.
#pragma once

#include "platform/text/cstring.h"
#include "platform/text/windef.h"

// Writes the autostart value: `strCommand` under the value name
// "Software\Microsoft\Windows\CurrentVersion\Run" of that key of the local
// machine, replacing what an earlier call wrote. TRUE when it was written.
BOOL SetAutoRun(const CString &strCommand);
