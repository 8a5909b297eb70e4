// The runtime's wide text-mode file output (_wfopen, fputws, fclose) and the
// file-status query for a modification time.
//
// Text mode converts each wide line to bytes when it is written: in the
// runtime's Chinese ctype state (crt_set_chinese_locale) with code page 936,
// an unmappable character becoming '?'; in the "C" state characters up to
// U+00FF are written as one byte each and any other character as '?'. Every
// '\n' is written as CR LF. Paths are native paths in wide text (UTF-8 on
// disk).
#pragma once

#include <ctime>

#include "platform/text/windef.h"

// One open text-mode file; owned by the caller until crt_fclose.
struct crt_file;

// Opens `path` in text mode. Modes: "w" / "w+" (create or truncate), "a" /
// "a+" (append, created when missing); a trailing 't' is accepted. Any
// other mode fails with ERROR_INVALID_PARAMETER. Null on failure with the
// last error set from the system error.
crt_file *crt_wfopen(LPCWSTR path, LPCWSTR mode);

// Converts `text` (up to its NUL) as described above and writes it with a
// single system write, so lines appended by several writers never mix.
// Returns 0, or -1 with the last error set when the write fails.
int crt_fputws(LPCWSTR text, crt_file *file);

// Closes the file and frees it; 0, or -1 when the system reports an error
// (data may be lost). Null is refused with -1.
int crt_fclose(crt_file *file);

// The last-modification time of the file or folder at `path`; FALSE with
// the last error set when its status cannot be read.
BOOL crt_wstat_mtime(LPCWSTR path, time_t *mtime);
