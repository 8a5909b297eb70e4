// Single blocking GET downloads over the platform's internet functions: into
// a file (with optional progress outputs and a log of each failed step) or
// into a text. Each call opens its own internet session and closes every
// handle it opened before returning. No cookies, no POST, no proxy settings
// of their own, no character-set detection: see pcutil::CHttpClientSession
// for those.
//
// A download is accepted only with a status of 200 or lower (206 and every
// redirect left unfollowed are failures). The body is written to a new file
// beside the target (pcutil::CReplacementFile, utils/files/replacefile.h),
// which takes the target's place (and an existing target's permissions) only
// once the body is whole and on the disk; a download that fails
// at any step (a refused status, a read or write failure, a body shorter
// than announced) removes that file and leaves the target as it was, so a
// file at the target is always a whole body. A device named as the target
// is written directly.
//
// Log lines go through WriteLog (utils/files/logwriter.h), only when a log file is
// named: "InternetOpenA:%ld", "InternetOpenUrl:%ld", "file.Open:%ld",
// "HttpQueryInfo:%ld", "InternetReadFile:%ld" and "file.Write:%ld" (also
// when the whole body cannot take the target's place), each with the error
// code of the failed call taken right after it failed (for a refused status,
// the status code itself), and "删除缓存文件" when an old target cannot be
// deleted. "file.Open:%ld" names a target that cannot be written or a
// folder that cannot take the new file.
//
// All calls block the calling thread for the whole transfer and share no
// state.
#pragma once

#include "platform/text/cstring.h"
#include "platform/text/windef.h"

// Deletes an existing `file` first (logging "删除缓存文件" when that fails;
// the download goes ahead), then downloads as DownloadFileEx without outputs,
// so a failure leaves no old file. 1 when the whole body is in `file`, -1 on
// failure.
int DownloadFile(CString url, CString file, CString logFile, BOOL setTimeout);

// Downloads `url` into `file` (created, or replaced when it exists) with
// the line "Accept: */*". `contentLength` receives the announced body length
// (0 when none is announced); `received` (bytes so far) and `rate` (KB/s)
// are updated after every 16384-byte piece, so a thread watching them sees
// the progress, possibly one piece late. Null outputs are skipped. With
// `setTimeout` the connect time-out is 100000 ms. An empty `logFile` means
// no logging. 1 or -1.
int DownloadFileEx(CString url, CString file, DWORD *contentLength, DWORD *received, DWORD *rate, CString logFile,
                   BOOL setTimeout);

// As DownloadFileEx with the caller's request header text (CR LF separated
// lines) instead of the Accept line; no outputs, no log, no time-out.
int DownloadFileWithHeaders(CString url, CString file, CString headers);

// The body of `url` converted from the ANSI code page, ending at its first
// NUL byte; "Error" when the session or the URL cannot be opened, the status
// is above 200 or a read fails. The whole body is converted at once, so a
// multibyte character is never split.
CString GetUrlText(CString url);
