// Date and time texts of the local wall clock and of a file's modification
// time. The current time comes from the runtime clock (platform/text/crttime.h).
#pragma once

#include <ctime>

#include "platform/text/cstring.h"

// "2016-05-07": year unpadded, month and day with two digits.
CString GetDateString();
// "2016-05-07 09:05:03": the date text, then hour (0 to 23), minute and
// second with two digits each.
CString GetDateTimeString();
// The last-modification time of the file or folder at `path` as
// "%Y-%m-%d %H:%M:%S" in local time; empty when its status cannot be read or
// the time cannot be converted.
CString GetFileModifyTime(const CString &path);

// The date and date-time texts of a given calendar time (empty when it has
// no local time), for callers that stamp several texts with one reading.
CString FormatDateString(time_t t);
CString FormatDateTimeString(time_t t);
