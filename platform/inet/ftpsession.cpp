#include "platform/inet/ftpsession.h"

#include <curl/curl.h>

#include <algorithm>
#include <new>
#include <string>

#include "platform/inet/wininet_internal.h"
#include "platform/system/fileapi.h"
#include "platform/text/codepage.h"
#include "platform/text/winerror.h"

namespace {

constexpr long kConnectTimeoutMs = 60000;
// A transfer that moves less than one byte per second for this long has stalled.
constexpr long kStallSeconds = 60;

// `name` from the root: as given when it starts with '/', else below `cwd`.
std::string Absolute(const std::string &cwd, const std::string &name) {
  if (!name.empty() && name[0] == '/') return name;
  if (cwd.empty() || cwd.back() != '/') return cwd + "/" + name;
  return cwd + name;
}

std::string Remote(LPCWSTR text) { return text ? WideToMultiByte(CP_ACP, std::wstring(text)) : std::string(); }

// The remote path of `name` from `cwd` in the bytes sent to the server. FALSE
// with ERROR_INVALID_NAME for a name with a line break, which would end the
// command early and let the rest pass as a command of its own.
BOOL RemotePath(const std::string &cwd, LPCWSTR name, std::string &path) {
  const std::string bytes = Remote(name);
  if (bytes.find_first_of("\r\n") != std::string::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  path = Absolute(cwd, bytes);
  return TRUE;
}

// Percent-encodes a path for a URL, keeping its '/' separators.
std::string EncodePath(const std::string &path) {
  std::string out;
  size_t start = 0;
  while (true) {
    const size_t slash = std::min(path.find('/', start), path.size());
    char *piece = curl_easy_escape(nullptr, path.data() + start, static_cast<int>(slash - start));
    if (!piece) throw std::bad_alloc();  // curl fails only when out of memory
    out += piece;
    curl_free(piece);
    if (slash == path.size()) return out;
    out += '/';
    start = slash + 1;
  }
}

// The folder named in a "257 "..."" reply, with doubled quotes undone; empty
// when `line` is no such reply.
std::string FolderOfReply(const std::string &line) {
  if (line.compare(0, 4, "257 ") != 0) return {};
  size_t i = line.find('"');
  if (i == std::string::npos) return {};
  std::string folder;
  for (++i; i < line.size(); ++i) {
    if (line[i] == '"') {
      if (i + 1 < line.size() && line[i + 1] == '"') {
        folder += '"';
        ++i;
      } else {
        return folder;
      }
    } else {
      folder += line[i];
    }
  }
  return {};
}

size_t CollectReply(char *data, size_t size, size_t count, void *user) {
  std::string line(data, size * count);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  std::string folder = FolderOfReply(line);
  if (!folder.empty()) *static_cast<std::string *>(user) = folder;
  return size * count;
}

struct FileSink {
  HANDLE file;
  bool failed = false;
};

size_t WriteToFile(char *data, size_t size, size_t count, void *user) {
  auto *sink = static_cast<FileSink *>(user);
  DWORD written = 0;
  if (!WriteFile(sink->file, data, static_cast<DWORD>(size * count), &written, nullptr) || written != size * count) {
    sink->failed = true;
    return 0;
  }
  return written;
}

size_t ReadFromFile(char *buffer, size_t size, size_t count, void *user) {
  DWORD read = 0;
  if (!ReadFile(static_cast<HANDLE>(user), buffer, static_cast<DWORD>(size * count), &read, nullptr)) {
    return CURL_READFUNC_ABORT;
  }
  return read;
}

}  // namespace

struct CFtpConnection::State {
  ~State() {
    if (easy) curl_easy_cleanup(easy);
  }
  CURL *easy = nullptr;
  std::string base;  // "ftp://host:port"
  std::string user, password;
  bool passive = false;
  std::string cwd = "/";
  std::string lastFolderReply;  // folder of the last "257" reply

  // Prepares the handle for a request on `path` (from the root) that reuses
  // the logged-in control connection.
  void Prepare(const std::string &path) {
    curl_easy_reset(easy);
    // "/%2F" keeps the path absolute on the server; NOCWD sends it whole.
    std::string url = base + "/" + (path.size() > 1 ? "%2F" + EncodePath(path.substr(1)) : std::string());
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, password.c_str());
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    if (!passive) curl_easy_setopt(easy, CURLOPT_FTPPORT, "-");
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_ACCEPTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, kStallSeconds);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    lastFolderReply.clear();
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CollectReply);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &lastFolderReply);
  }

  // Runs the prepared request; FALSE with the last error set on failure.
  BOOL Perform() {
    CURLcode rc = curl_easy_perform(easy);
    if (rc != CURLE_OK) {
      SetLastError(wininet::ErrorFromCurl(rc));
      return FALSE;
    }
    return TRUE;
  }

  // Sends `commands` (no transfer) and reports whether the server accepted all.
  BOOL Command(const std::vector<std::string> &commands) {
    Prepare("/");
    curl_slist *list = nullptr;
    for (const std::string &c : commands) list = curl_slist_append(list, c.c_str());
    curl_easy_setopt(easy, CURLOPT_QUOTE, list);
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    BOOL ok = Perform();
    curl_easy_setopt(easy, CURLOPT_QUOTE, nullptr);
    curl_slist_free_all(list);
    return ok;
  }
};

namespace {

BOOL Closed() {
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

}  // namespace

CFtpConnection::CFtpConnection(CInternetSession *session, std::unique_ptr<State> state)
    : session_(session), state_(std::move(state)) {}

CFtpConnection::~CFtpConnection() {
  Close();
  if (session_) {
    auto &list = session_->connections_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
}

void CFtpConnection::Close() { state_.reset(); }

BOOL CFtpConnection::SetCurrentDirectory(LPCWSTR dir) {
  if (!state_) return Closed();
  std::string target;
  if (!RemotePath(state_->cwd, dir, target)) return FALSE;
  if (!state_->Command({"CWD " + target, "PWD"})) return FALSE;
  state_->cwd = state_->lastFolderReply.empty() ? target : state_->lastFolderReply;
  return TRUE;
}

BOOL CFtpConnection::GetCurrentDirectory(CString &dir) const {
  if (!state_) return Closed();
  dir = MultiByteToWide(CP_ACP, state_->cwd).c_str();
  return TRUE;
}

BOOL CFtpConnection::CreateDirectory(LPCWSTR name) {
  if (!state_) return Closed();
  std::string path;
  if (!RemotePath(state_->cwd, name, path)) return FALSE;
  return state_->Command({"MKD " + path});
}

BOOL CFtpConnection::GetFile(LPCWSTR remoteFile, LPCWSTR localFile, BOOL failIfExists, DWORD attributes, DWORD flags,
                             DWORD_PTR) {
  if (!state_) return Closed();
  std::string path;
  if (!RemotePath(state_->cwd, remoteFile, path)) return FALSE;
  HANDLE file =
      CreateFileW(localFile, GENERIC_WRITE, 0, nullptr, failIfExists ? CREATE_NEW : CREATE_ALWAYS, attributes, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  FileSink sink{file};
  state_->Prepare(path);
  curl_easy_setopt(state_->easy, CURLOPT_TRANSFERTEXT, (flags & FTP_TRANSFER_TYPE_ASCII) ? 1L : 0L);
  curl_easy_setopt(state_->easy, CURLOPT_WRITEFUNCTION, &WriteToFile);
  curl_easy_setopt(state_->easy, CURLOPT_WRITEDATA, &sink);
  BOOL ok = state_->Perform();
  if (!ok && sink.failed) SetLastError(ERROR_WRITE_FAULT);
  if (!CloseHandle(file)) ok = FALSE;
  if (!ok) {
    // The file was made by this call: a failed copy leaves nothing half-done.
    const DWORD error = GetLastError();
    DeleteFileW(localFile);
    SetLastError(error);
  }
  return ok;
}

BOOL CFtpConnection::PutFile(LPCWSTR localFile, LPCWSTR remoteFile, DWORD flags, DWORD_PTR) {
  if (!state_) return Closed();
  std::string path;
  if (!RemotePath(state_->cwd, remoteFile, path)) return FALSE;
  HANDLE file = CreateFileW(localFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) {
    CloseHandle(file);
    return FALSE;
  }
  state_->Prepare(path);
  curl_easy_setopt(state_->easy, CURLOPT_TRANSFERTEXT, (flags & FTP_TRANSFER_TYPE_ASCII) ? 1L : 0L);
  curl_easy_setopt(state_->easy, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(state_->easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size.QuadPart));
  curl_easy_setopt(state_->easy, CURLOPT_READFUNCTION, &ReadFromFile);
  curl_easy_setopt(state_->easy, CURLOPT_READDATA, file);
  BOOL ok = state_->Perform();
  CloseHandle(file);
  return ok;
}

CInternetSession::CInternetSession(LPCWSTR, DWORD_PTR context, DWORD, LPCWSTR, LPCWSTR, DWORD) : context_(context) {}

CInternetSession::~CInternetSession() { Close(); }

void CInternetSession::Close() {
  while (!connections_.empty()) delete connections_.back();  // each removes itself
}

CFtpConnection *CInternetSession::GetFtpConnection(LPCWSTR server, LPCWSTR userName, LPCWSTR password,
                                                   INTERNET_PORT port, BOOL passive) {
  wininet::GlobalInit();
  auto state = std::make_unique<CFtpConnection::State>();
  state->easy = curl_easy_init();
  if (!state->easy) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    throw CInternetException(ERROR_NOT_ENOUGH_MEMORY, context_);
  }
  std::string host = Remote(server);
  const size_t colon = host.rfind(':');
  const bool hasPort = colon != std::string::npos && colon + 1 < host.size() && host.find(':') == colon &&
                       host.find_first_not_of("0123456789", colon + 1) == std::string::npos;
  if (host.empty() || host.find_first_of("/@?# \r\n") != std::string::npos) {
    SetLastError(ERROR_INTERNET_INVALID_URL);
    throw CInternetException(ERROR_INTERNET_INVALID_URL, context_);
  }
  if (!hasPort) host += ":" + std::to_string(port ? port : INTERNET_DEFAULT_FTP_PORT);
  state->base = "ftp://" + host;
  state->user = userName && *userName ? Remote(userName) : "anonymous";
  state->password = Remote(password);
  // A line break in the credentials would end the login command early.
  if ((state->user + state->password).find_first_of("\r\n") != std::string::npos) {
    SetLastError(ERROR_INVALID_PARAMETER);
    throw CInternetException(ERROR_INVALID_PARAMETER, context_);
  }
  state->passive = passive != FALSE;
  // Logging in reads the folder the server starts in.
  state->Prepare("/");
  curl_easy_setopt(state->easy, CURLOPT_NOBODY, 1L);
  if (!state->Perform()) {
    const DWORD error = GetLastError();
    throw CInternetException(error, context_);
  }
  const char *entry = nullptr;
  if (curl_easy_getinfo(state->easy, CURLINFO_FTP_ENTRY_PATH, &entry) == CURLE_OK && entry && *entry) {
    state->cwd = entry;
  }
  std::unique_ptr<CFtpConnection> connection(new CFtpConnection(this, std::move(state)));
  connections_.push_back(connection.get());
  return connection.release();
}
