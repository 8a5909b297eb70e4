#include "utils/files/logwriter.h"

#include "platform/text/crtstdio.h"
#include "platform/text/crttime.h"
#include "platform/text/wctype_win.h"
#include "utils/files/apppath.h"
#include "utils/files/datetimehelper.h"
#include "utils/files/filesyshelper.h"

namespace {

CString DefaultLogFileAt(time_t t) {
  const CString folder = GetAppFilePath(L"log/");
  FileSysHelper::CreateDirectoryTree(folder);  // a failure shows in the open
  return folder + FormatDateString(t) + L".log";
}

// Opens the file for appending in text mode and writes `line` and a line
// end; true when all of it was written and the file closed cleanly.
bool AppendLine(const CString &line, const CString &logFile) {
  crt_set_chinese_locale(true);
  crt_file *file = crt_wfopen(logFile.GetString(), L"a+");
  if (file == nullptr) return false;
  const bool written = crt_fputws((line + L"\n").GetString(), file) == 0;
  const bool closed = crt_fclose(file) == 0;
  return written && closed;
}

}  // namespace

CString GetDefaultLogFile() { return DefaultLogFileAt(crt_time()); }

int WriteLog(CString text, CString logFile) {
  // One clock reading for the file name and the stamp, so a line written
  // at midnight lands in the file of the day it is stamped with.
  const time_t now = crt_time();
  if (logFile.IsEmpty()) logFile = DefaultLogFileAt(now);
  return AppendLine(FormatDateTimeString(now) + L":" + text, logFile) ? 0 : -1;
}

BOOL WriteLogText(CString text, CString logFile) {
  if (logFile.IsEmpty()) logFile = GetDefaultLogFile();
  return AppendLine(text, logFile) ? TRUE : FALSE;
}
