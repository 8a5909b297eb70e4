// Starting a command line without waiting for it.
#pragma once

#include "platform/text/windef.h"

#ifndef ERROR_BAD_FORMAT
#define ERROR_BAD_FORMAT 11u
#endif

// `cmdLine` is narrow text in the ANSI code page, split into words by the
// shell's quoting rules; the first word is looked up on PATH. The show
// command is accepted and ignored (the started program places its own
// windows). Returns 33 once the program runs, 0 for an empty or unparsable
// command line or when no process can be made, ERROR_FILE_NOT_FOUND when the
// program is missing, ERROR_PATH_NOT_FOUND for a missing folder in its path
// and ERROR_BAD_FORMAT when it cannot be executed. The child is reaped in
// the background, so none is left behind as a zombie.
UINT WinExec(LPCSTR cmdLine, UINT cmdShow);
