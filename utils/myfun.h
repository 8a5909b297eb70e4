// Helpers the application calls: a path next to the program's own file, the
// log-on autostart value, and the text between two markers.
#pragma once

#include "platform/text/cstring.h"
// The unit's file and folder, text and list, path text, process and random
// helpers, declared by topic.
#include "utils/filehelper.h"
#include "utils/pathhelper.h"
#include "utils/processhelper.h"
#include "utils/randomhelper.h"
#include "utils/shellhelper.h"
#include "utils/texthelper.h"
// Dates, times and the log writer; downloads and FTP transfers; the update
// description parser.
#include "utils/datetimehelper.h"
#include "utils/downloadhelper.h"
#include "utils/ftphelper.h"
#include "utils/logwriter.h"
#include "utils/updateinfo.h"

// The folder of the program's own file joined with `strFileName` by one '/'
// (none is added when the name starts with one). The program's file is the
// running executable as installed, so the result names what is really there.
// Empty when that path has no '/'.
CString GetAppFilePath(CString strFileName);

// Writes the autostart value: `strCommand` under the value name
// "Software\Microsoft\Windows\CurrentVersion\Run" of that key of the local
// machine, replacing what an earlier call wrote. TRUE when it was written.
BOOL SetAutoRun(const CString &strCommand);

// Cuts the text between the first `strBegin` in `strText` and the first
// `strEnd` after it into `strOut` and returns TRUE. An empty marker matches at
// once. FALSE with `strOut` untouched when a marker is missing; FALSE with the
// whole text in `strOut` when both markers are empty.
BOOL GetStringBetween(const CString &strText, const CString &strBegin, const CString &strEnd, CString &strOut);
