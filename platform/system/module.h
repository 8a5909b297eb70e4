// The running program's file and its argument vector.
#pragma once

#include "platform/text/windef.h"

// The full path of the program file (/proc/self/exe) for a null module;
// any other module fails (0, ERROR_MOD_NOT_FOUND). Returns the length
// written without the terminator; when `size` is too small writes size-1
// characters and the terminator, returns `size` and sets
// ERROR_INSUFFICIENT_BUFFER.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);

// Keeps the program's arguments (UTF-8) for __wargv/__argc; main calls it
// first. Until then __argc is 0 and __wargv holds only a null entry.
void SetProgramArguments(int argc, char **argv);

// The wide argument vector, first element as the program was started,
// null-terminated.
extern int __argc;
extern wchar_t **__wargv;
