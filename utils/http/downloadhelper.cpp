#include "utils/http/downloadhelper.h"

#include <new>
#include <string>
#include <vector>

#include "platform/inet/wininet.h"
#include "platform/system/afxfile.h"
#include "platform/system/fileapi.h"
#include "platform/system/threads.h"
#include "platform/text/codepage.h"
#include "platform/text/winerror.h"
#include "utils/files/filehelper.h"
#include "utils/files/logwriter.h"
#include "utils/files/replacefile.h"

namespace {

const char kFileAgent[] =
    "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1; Trident/4.0; QQDownload 665; .NET CLR 2.0.50727; "
    ".NET CLR 3.0.04506.30; .NET CLR 3.0.04506.648; .NET CLR 3.5.21022; InfoPath.2)";
const wchar_t kAcceptLine[] = L"Accept: */*\r\n\r\n";
const DWORD kAcceptLineLength = 15;
// Always from the network, never into a cache.
const DWORD kOpenUrlFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
const DWORD kConnectTimeoutMs = 100000;
const DWORD kFilePiece = 16384;
const DWORD kFileBuffer = 65536;
const DWORD kTextPiece = 102400;

// Closes an internet handle when it goes out of scope.
class InternetHandle {
 public:
  explicit InternetHandle(HINTERNET h) : h_(h) {}
  InternetHandle(const InternetHandle &) = delete;  // one owner per handle
  InternetHandle &operator=(const InternetHandle &) = delete;
  ~InternetHandle() {
    if (h_) InternetCloseHandle(h_);
  }
  explicit operator bool() const { return h_ != nullptr; }
  HINTERNET get() const { return h_; }

 private:
  HINTERNET h_;
};

// The preconfigured access type; without a proxy on the connection, the
// variant that skips automatic proxy discovery.
DWORD AccessType() {
  DWORD flags = 0;
  InternetGetConnectedState(&flags, 0);
  return (flags & INTERNET_CONNECTION_PROXY) ? INTERNET_OPEN_TYPE_PRECONFIG
                                             : INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY;
}

// Writes one "<step>:<code>" line when a log file is named.
class StepLog {
 public:
  explicit StepLog(CString logFile) : file_(std::move(logFile)) {}
  void Failed(LPCWSTR format, DWORD code) const {
    if (file_.IsEmpty()) return;
    CString line;
    line.Format(format, static_cast<LONG>(code));
    WriteLog(line, file_);
  }
  void Text(LPCWSTR text) const {
    if (!file_.IsEmpty()) WriteLog(text, file_);
  }

 private:
  CString file_;
};

// Opens `file` in binary mode; FALSE with the error code in GetLastError.
BOOL OpenBinary(CFile &file, const CString &path, UINT mode) {
  CFileException error(CFileException::none, 0);
  if (file.Open(path, mode | CFile::typeBinary, &error)) return TRUE;
  SetLastError(static_cast<DWORD>(error.m_lOsError));
  return FALSE;
}

// Where a download's bytes go while they arrive: a new file beside the
// target, which takes the target's place only once the body is whole, so a
// failed download leaves an existing target as it was (the destructor drops
// a body not committed). A device (or pipe) named as the target cannot be
// replaced by a rename and is written itself. Failures are FALSE with the
// error code in GetLastError.
class DownloadTarget {
 public:
  explicit DownloadTarget(const CString &target) : target_(target), replacement_(target) {}

  // Opens the file the bytes go to. An existing target must be writable
  // now, so that a download it could not take fails before the transfer.
  BOOL Open() {
    const DWORD attributes = GetFileAttributesW(target_);
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_DEVICE)) {
      direct_ = true;
      return OpenBinary(device_, target_, CFile::modeCreate | CFile::modeWrite);
    }
    CFile probe;
    if (exists && !OpenBinary(probe, target_, CFile::modeWrite)) return FALSE;
    probe.Close();
    return replacement_.Create();
  }
  BOOL Write(const void *data, UINT size) {
    if (!direct_) return replacement_.Write(data, size);
    try {
      device_.Write(data, size);
      return TRUE;
    } catch (const CFileException &e) {
      SetLastError(static_cast<DWORD>(e.m_lOsError));
      return FALSE;
    }
  }
  // The body is whole: it takes the target's place, or the target stays as
  // it was.
  BOOL Commit() {
    if (!direct_) return replacement_.Commit();
    device_.Close();
    return TRUE;
  }

 private:
  CString target_;
  bool direct_ = false;  // the target is a device, written itself
  CFile device_;
  pcutil::CReplacementFile replacement_;
};

// The numeric status of the response, or FALSE when it cannot be read.
BOOL QueryNumber(HINTERNET request, DWORD level, DWORD &value) {
  DWORD length = sizeof value;
  return HttpQueryInfoW(request, level | HTTP_QUERY_FLAG_NUMBER, &value, &length, nullptr);
}

struct FileDownload {
  CString url;
  CString file;
  LPCWSTR headers;
  DWORD headersLength;
  BOOL setTimeout;
  DWORD *contentLength;
  DWORD *received;
  DWORD *rate;
  StepLog log;
};

void Put(DWORD *out, DWORD value) {
  if (out) *out = value;
}

int Download(const FileDownload &d) {
  InternetHandle session(InternetOpenA(kFileAgent, AccessType(), nullptr, nullptr, 0));
  if (!session) {
    d.log.Failed(L"InternetOpenA:%ld", GetLastError());
    return -1;
  }
  InternetHandle request(InternetOpenUrlW(session.get(), d.url, d.headers, d.headersLength, kOpenUrlFlags, 0));
  if (!request) {
    d.log.Failed(L"InternetOpenUrl:%ld", GetLastError());
    return -1;
  }
  if (d.setTimeout) {
    DWORD timeout = kConnectTimeoutMs;
    InternetSetOptionW(request.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
  }

  DWORD length = 0;
  if (!QueryNumber(request.get(), HTTP_QUERY_CONTENT_LENGTH, length)) length = 0;
  Put(d.contentLength, length);
  Put(d.received, 0);
  // The status is checked before the target is touched, so a refused answer
  // neither creates nor truncates it. A refused status logs the status.
  DWORD status = 0;
  if (!QueryNumber(request.get(), HTTP_QUERY_STATUS_CODE, status)) {
    d.log.Failed(L"HttpQueryInfo:%ld", GetLastError());
    return -1;
  }
  if (status > 200) {
    d.log.Failed(L"HttpQueryInfo:%ld", status);
    return -1;
  }

  DownloadTarget target(d.file);
  if (!target.Open()) {
    d.log.Failed(L"file.Open:%ld", GetLastError());
    return -1;
  }

  std::vector<char> buffer(kFileBuffer, 0);
  DWORD received = 0;
  const DWORD start = timeGetTime();
  DWORD elapsed = 10;
  for (;;) {
    DWORD read = 0;
    if (!InternetReadFile(request.get(), buffer.data(), kFilePiece, &read)) {
      d.log.Failed(L"InternetReadFile:%ld", GetLastError());
      return -1;
    }
    if (read == 0) break;
    if (!target.Write(buffer.data(), read)) {
      d.log.Failed(L"file.Write:%ld", GetLastError());
      return -1;
    }
    received += read;
    Put(d.received, received);
    // Kilobytes per second over the time measured after the previous piece.
    Put(d.rate, static_cast<DWORD>(static_cast<double>(received) * 1000.0 / elapsed / 1024.0));
    elapsed = timeGetTime() - start;
    if (elapsed == 0) elapsed = 10;
  }
  if (!target.Commit()) {
    d.log.Failed(L"file.Write:%ld", GetLastError());
    return -1;
  }
  return 1;
}

}  // namespace

int DownloadFile(CString url, CString file, CString logFile, BOOL setTimeout) {
  if (IsFileExist(file) && !DeleteFileSafe(file)) StepLog(logFile).Text(L"删除缓存文件");
  DWORD contentLength = 0, received = 0, rate = 0;
  return DownloadFileEx(url, file, &contentLength, &received, &rate, logFile, setTimeout);
}

int DownloadFileEx(CString url, CString file, DWORD *contentLength, DWORD *received, DWORD *rate, CString logFile,
                   BOOL setTimeout) {
  return Download(
      {url, file, kAcceptLine, kAcceptLineLength, setTimeout, contentLength, received, rate, StepLog(logFile)});
}

int DownloadFileWithHeaders(CString url, CString file, CString headers) {
  return Download({url, file, headers.GetString(), static_cast<DWORD>(headers.GetLength()), FALSE, nullptr, nullptr,
                   nullptr, StepLog(CString())});
}

CString GetUrlText(CString url) {
  const CString failed(L"Error");
  CString agent;
  agent.Format(L"Agent%ld", static_cast<LONG>(timeGetTime()));
  InternetHandle session(InternetOpenW(agent, AccessType(), nullptr, nullptr, 0));
  if (!session) return failed;
  InternetHandle request(InternetOpenUrlW(session.get(), url, kAcceptLine, kAcceptLineLength, kOpenUrlFlags, 0));
  if (!request) return failed;
  DWORD status = 0;
  if (!QueryNumber(request.get(), HTTP_QUERY_STATUS_CODE, status) || status > 200) return failed;
  try {
    std::vector<char> piece(kTextPiece);
    std::string body;
    for (;;) {
      DWORD read = 0;
      if (!InternetReadFile(request.get(), piece.data(), kTextPiece, &read)) return failed;
      if (read == 0) break;
      body.append(piece.data(), read);
    }
    const size_t nul = body.find('\0');
    if (nul != std::string::npos) body.resize(nul);
    return CString(MultiByteToWide(CP_ACP, body));
  } catch (const std::bad_alloc &) {
    return failed;  // a body cut short is no answer
  }
}
