// The shell's file operation (copy, move, delete, rename of files and
// folders) over std::filesystem. It never shows a dialog or asks anything,
// whatever the flags; there is no recycle bin, so a deletion is final.
#pragma once

#include "platform/text/windef.h"

#define FO_MOVE 0x0001u
#define FO_COPY 0x0002u
#define FO_DELETE 0x0003u
#define FO_RENAME 0x0004u

#define FOF_MULTIDESTFILES 0x0001u
#define FOF_SILENT 0x0004u
#define FOF_NOCONFIRMATION 0x0010u
#define FOF_NOCONFIRMMKDIR 0x0200u
#define FOF_NOERRORUI 0x0400u

typedef WORD FILEOP_FLAGS;

struct SHFILEOPSTRUCTW {
  void *hwnd = nullptr;
  UINT wFunc = 0;
  LPCWSTR pFrom = nullptr;  // paths, each NUL-terminated, the list ending in a second NUL
  LPCWSTR pTo = nullptr;    // likewise; one destination unless FOF_MULTIDESTFILES
  FILEOP_FLAGS fFlags = 0;
  BOOL fAnyOperationsAborted = FALSE;
  LPVOID hNameMappings = nullptr;
  LPCWSTR lpszProgressTitle = nullptr;
};

// Runs the operation on every source path; a last path component may hold
// the wildcards '*' and '?' (a path that exists as written names itself).
// Copy and move into an existing folder put the source inside it; otherwise
// the destination is the new name (missing folders on the way are created). With FOF_MULTIDESTFILES the n-th source
// goes to the n-th destination. Copies replace existing files; folders are
// copied with their contents. Delete removes files and whole folders. Rename
// gives the single source the destination name and fails when that exists.
// Returns 0 when everything was done, otherwise a non-zero error code (the
// operation stops at the first failure).
int SHFileOperationW(SHFILEOPSTRUCTW *operation);
