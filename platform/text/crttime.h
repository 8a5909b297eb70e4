// The runtime's calendar clock and local-time conversion: time(), the local
// broken-down time and strftime-style formatting into wide text. The clock
// can be replaced, so callers that stamp dates can be run at a chosen time.
#pragma once

#include <ctime>

#include "platform/text/cstring.h"

// Seconds since 1970-01-01 UTC: the system clock, or the replacement set by
// crt_set_time_source.
time_t crt_time() noexcept;

// Replaces the clock for the whole process (null restores the system clock).
using crt_time_source = time_t (*)();
void crt_set_time_source(crt_time_source source) noexcept;

// The local wall-clock time of `t` (time zone from TZ / the system); false
// when it cannot be converted.
bool crt_localtime(time_t t, struct tm *out) noexcept;

// `t` in local time formatted by `format` (strftime conversions, ASCII
// format text), at most 127 characters as the framework's time class
// formats; empty when the time cannot be converted or the result is longer.
CString crt_format_local_time(time_t t, const char *format);
