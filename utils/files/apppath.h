// The path of a file next to the program's own file.
#pragma once

#include "platform/text/cstring.h"

// The folder of the program's own file joined with `strFileName` by one '/'
// (none is added when the name starts with one). The program's file is the
// running executable as installed, so the result names what is really there.
// Empty when that path has no '/'.
CString GetAppFilePath(CString strFileName);
