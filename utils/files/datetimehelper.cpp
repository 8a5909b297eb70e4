#include "utils/files/datetimehelper.h"

#include "platform/text/crtstdio.h"
#include "platform/text/crttime.h"

CString FormatDateString(time_t t) {
  struct tm local {};
  if (!crt_localtime(t, &local)) return CString();
  CString text;
  text.Format(L"%d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  return text;
}

CString FormatDateTimeString(time_t t) {
  struct tm local {};
  if (!crt_localtime(t, &local)) return CString();
  CString text;
  text.Format(L"%d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
              local.tm_min, local.tm_sec);
  return text;
}

CString GetDateString() { return FormatDateString(crt_time()); }

CString GetDateTimeString() { return FormatDateTimeString(crt_time()); }

CString GetFileModifyTime(const CString &path) {
  time_t mtime = 0;
  if (path.IsEmpty() || !crt_wstat_mtime(path.GetString(), &mtime)) return CString();
  return crt_format_local_time(mtime, "%Y-%m-%d %H:%M:%S");
}
