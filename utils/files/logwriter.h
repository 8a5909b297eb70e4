// The library's log writer: one line per call, appended to a file the
// caller names or to a daily file in the folder "log" next to the program.
// Lines are written in text mode in the runtime's Chinese ctype state, so a
// log is narrow text in code page 936 with CR LF line ends. There is no
// lock: each line is appended with one write, so lines of several threads
// never mix within a line.
#pragma once

#include "platform/text/cstring.h"

// The program's folder, "/log/", today's date text and ".log"; creates the
// log folder (and its parents) when needed, ignoring a failure, which the
// following open then reports.
CString GetDefaultLogFile();

// Appends "<date-time>:<text>" and a line end to `logFile`, or to the
// default log file when it is empty. Switches the runtime's ctype state to
// the Chinese locale for the rest of the process. 0 when the line was
// written; -1 when the file cannot be opened or the write fails.
int WriteLog(CString text, CString logFile);

// The same without the time stamp: TRUE when written, FALSE otherwise.
BOOL WriteLogText(CString text, CString logFile);
