#include "platform/system/fileapi.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include <glib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

#include "platform/text/codepage.h"
#include "platform/text/winerror.h"

namespace {

std::string Native(LPCWSTR path) { return WideToMultiByte(CP_UTF8, std::wstring(path)); }

int Fd(HANDLE h) { return static_cast<int>(reinterpret_cast<intptr_t>(h)); }

BOOL FailWith(DWORD code) {
  SetLastError(code);
  return FALSE;
}

BOOL FailErrno() { return FailWith(Win32ErrorFromErrno(errno)); }

bool BadHandle(HANDLE h) { return h == INVALID_HANDLE_VALUE || Fd(h) < 0; }

// Copies `text` with its terminator when it fits in `size` characters and
// returns its length; otherwise returns the size needed and writes nothing.
DWORD CopyOut(const std::wstring &text, LPWSTR buffer, DWORD size) {
  if (buffer == nullptr || text.size() + 1 > size) return static_cast<DWORD>(text.size() + 1);
  wmemcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

// Share modes between openers that use this function, as advisory locks of
// the open file description (flock, released with it): an exclusive opener
// (share mode 0, read and write) holds the lock alone, every other opener for
// reading or for writing holds it shared, so either fails while the other
// kind is held. flock, unlike byte-range locks, needs no read access, so
// writers take part too. Where a file system offers no locks the open goes
// ahead.
bool LockForShareMode(int fd, DWORD shareMode, bool read, bool write) {
  if (!read && !write) return true;
  const int kind = shareMode == 0 && read && write ? LOCK_EX : LOCK_SH;
  while (::flock(fd, kind | LOCK_NB) != 0) {
    if (errno != EINTR) return errno != EWOULDBLOCK;
  }
  return true;
}

}  // namespace

HANDLE CreateFileW(LPCWSTR path, DWORD desiredAccess, DWORD shareMode, void * /*securityAttributes*/,
                   DWORD creationDisposition, DWORD /*flagsAndAttributes*/, HANDLE /*templateFile*/) {
  if (path == nullptr || *path == L'\0') {
    FailWith(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  const bool read = desiredAccess & (FILE_READ_DATA | GENERIC_READ);
  const bool write = desiredAccess & (FILE_WRITE_DATA | GENERIC_WRITE);
  int flags = O_CLOEXEC | (read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY);
  switch (creationDisposition) {
    case CREATE_NEW:
      flags |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS:
      flags |= O_CREAT | O_TRUNC;
      break;
    case OPEN_EXISTING:
      break;
    case OPEN_ALWAYS:
      flags |= O_CREAT;
      break;
    case TRUNCATE_EXISTING:
      flags |= O_TRUNC;
      break;
    default:
      FailWith(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  // A writer truncates only once its share mode is granted, so a refused
  // open leaves the file as its holder has it.
  const bool truncateAfterLock = write && (flags & O_TRUNC);
  if (truncateAfterLock) flags &= ~O_TRUNC;
  const int fd = ::open(Native(path).c_str(), flags, 0666);
  if (fd < 0) {
    // With O_CREAT a missing entry can only be a missing folder on the way.
    FailWith(errno == ENOENT && (flags & O_CREAT) ? ERROR_PATH_NOT_FOUND
             : errno == EEXIST                    ? ERROR_FILE_EXISTS
                                                  : Win32ErrorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    FailWith(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (!LockForShareMode(fd, shareMode, read, write)) {
    ::close(fd);
    FailWith(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }
  if (truncateAfterLock && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) {
    FailErrno();
    ::close(fd);
    return INVALID_HANDLE_VALUE;
  }
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd));
}

namespace {

// Runs read(2) or write(2) until `size` bytes are moved (a read also stops
// at the end of the file); `done` tells how many were.
template <typename Buffer, typename Op>
BOOL MoveBytes(HANDLE file, Buffer buffer, DWORD size, LPDWORD done, Op op) {
  if (done) *done = 0;
  if (BadHandle(file)) return FailWith(ERROR_INVALID_HANDLE);
  if (buffer == nullptr && size != 0) return FailWith(ERROR_INVALID_PARAMETER);
  DWORD moved = 0;
  while (moved < size) {
    const ssize_t n = op(Fd(file), buffer + moved, size - moved);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (done) *done = moved;
      return FailErrno();
    }
    if (n == 0) break;
    moved += static_cast<DWORD>(n);
  }
  if (done) *done = moved;
  return TRUE;
}

}  // namespace

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, void * /*overlapped*/) {
  return MoveBytes(file, static_cast<char *>(buffer), toRead, read, ::read);
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, void * /*overlapped*/) {
  return MoveBytes(file, static_cast<const char *>(buffer), toWrite, written, ::write);
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG *distanceHigh, DWORD moveMethod) {
  if (BadHandle(file)) {
    FailWith(ERROR_INVALID_HANDLE);
    return INVALID_SET_FILE_POINTER;
  }
  // Without a high part the distance is a signed 32-bit value.
  const uint64_t high = distanceHigh ? static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32 : 0;
  const int64_t offset = distanceHigh ? static_cast<int64_t>(high | static_cast<uint32_t>(distance)) : distance;
  const int whence = moveMethod == FILE_BEGIN     ? SEEK_SET
                     : moveMethod == FILE_CURRENT ? SEEK_CUR
                     : moveMethod == FILE_END     ? SEEK_END
                                                  : -1;
  if (whence < 0) {
    FailWith(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  const off_t pos = ::lseek(Fd(file), offset, whence);
  if (pos < 0) {
    FailErrno();
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(pos) >> 32);
  return static_cast<DWORD>(pos);
}

BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER *size) {
  if (BadHandle(file)) return FailWith(ERROR_INVALID_HANDLE);
  if (size == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
  struct stat st;
  if (::fstat(Fd(file), &st) != 0) return FailErrno();
  size->QuadPart = static_cast<LONGLONG>(st.st_size);
  return TRUE;
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size)) return INVALID_FILE_SIZE;
  if (sizeHigh) *sizeHigh = static_cast<DWORD>(size.HighPart);
  return size.LowPart;
}

BOOL CloseHandle(HANDLE handle) {
  if (BadHandle(handle)) return FailWith(ERROR_INVALID_HANDLE);
  if (::close(Fd(handle)) != 0 && errno != EINTR) return FailErrno();
  return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
  if (BadHandle(file)) return FailWith(ERROR_INVALID_HANDLE);
  while (::fsync(Fd(file)) != 0) {
    if (errno != EINTR) return FailErrno();
  }
  return TRUE;
}

BOOL SetEndOfFile(HANDLE file) {
  if (BadHandle(file)) return FailWith(ERROR_INVALID_HANDLE);
  const off_t pos = ::lseek(Fd(file), 0, SEEK_CUR);
  if (pos < 0 || ::ftruncate(Fd(file), pos) != 0) return FailErrno();
  return TRUE;
}

BOOL CreateDirectoryW(LPCWSTR path, void * /*securityAttributes*/) {
  if (path == nullptr || *path == L'\0') return FailWith(ERROR_PATH_NOT_FOUND);
  if (::mkdir(Native(path).c_str(), 0777) != 0) {
    return FailWith(errno == ENOENT ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(errno));
  }
  return TRUE;
}

BOOL PathIsDirectoryW(LPCWSTR path) {
  const DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

DWORD GetFileAttributesW(LPCWSTR path) {
  if (path == nullptr || *path == L'\0') {
    FailWith(ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  const std::string native = Native(path);
  struct stat st;
  if (::stat(native.c_str(), &st) != 0) {
    FailErrno();
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD attributes = S_ISDIR(st.st_mode)   ? FILE_ATTRIBUTE_DIRECTORY
                     : S_ISREG(st.st_mode) ? FILE_ATTRIBUTE_NORMAL
                                           : FILE_ATTRIBUTE_DEVICE;
  if (::access(native.c_str(), W_OK) != 0 || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    attributes = (attributes == FILE_ATTRIBUTE_NORMAL ? 0 : attributes) | FILE_ATTRIBUTE_READONLY;
  }
  return attributes;
}

DWORD GetTempPathW(DWORD size, LPWSTR buffer) {
  const char *tmp = std::getenv("TMPDIR");
  std::wstring dir = MultiByteToWide(CP_UTF8, std::string(tmp && *tmp ? tmp : "/tmp"));
  if (dir.empty() || dir.back() != L'/') dir += L'/';
  return CopyOut(dir, buffer, size);
}

UINT GetTempFileNameW(LPCWSTR folder, LPCWSTR prefix, UINT unique, LPWSTR buffer) {
  if (folder == nullptr || buffer == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
  std::wstring base(folder);
  if (!base.empty() && base.back() != L'/') base += L'/';
  base.append(prefix ? prefix : L"", 0, 3);
  // Numbers have at most four hex digits; a free one is searched from a
  // varying start so concurrent callers rarely collide.
  const UINT start = unique ? unique : static_cast<UINT>(g_random_int_range(1, 0x10000));
  for (UINT i = 0; i < 0x10000; ++i) {
    const UINT number = unique ? unique : (start + i - 1) % 0xFFFF + 1;
    wchar_t hex[8];
    swprintf(hex, 8, L"%X", number & 0xFFFF);
    const std::wstring name = base + hex + L".tmp";
    if (name.size() + 1 > MAX_PATH) return FailWith(ERROR_FILENAME_EXCED_RANGE);
    if (unique == 0) {
      const int fd = ::open(Native(name.c_str()).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd < 0) {
        if (errno == EEXIST) continue;
        return FailWith(errno == ENOENT ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(errno));
      }
      ::close(fd);
    }
    wmemcpy(buffer, name.c_str(), name.size() + 1);
    return number;
  }
  return FailWith(ERROR_FILE_EXISTS);
}

UINT GetWindowsDirectoryW(LPWSTR buffer, UINT size) { return CopyOut(L"/usr", buffer, size); }

HRESULT SHGetFolderPathW(void * /*owner*/, int csidl, HANDLE /*token*/, DWORD /*flags*/, LPWSTR buffer) {
  if (buffer == nullptr) return E_INVALIDARG;
  const std::string home = g_get_home_dir();
  std::string dir;
  if (csidl == CSIDL_APPDATA) {
    // Read at each call (glib caches its answer for the process).
    const char *data = std::getenv("XDG_DATA_HOME");
    dir = data && *data == '/' ? std::string(data) : home + "/.local/share";
  } else if (csidl == CSIDL_DESKTOPDIRECTORY) {
    const char *desktop = g_get_user_special_dir(G_USER_DIRECTORY_DESKTOP);
    dir = desktop ? std::string(desktop) : home + "/Desktop";
  } else {
    return E_INVALIDARG;
  }
  const std::wstring path = MultiByteToWide(CP_UTF8, dir);
  return CopyOut(path, buffer, MAX_PATH) == path.size() ? S_OK : E_FAIL;
}

BOOL DeleteFileW(LPCWSTR path) {
  if (path == nullptr || *path == L'\0') return FailWith(ERROR_PATH_NOT_FOUND);
  if (::unlink(Native(path).c_str()) != 0) return FailErrno();
  return TRUE;
}

namespace {

BOOL FailRename(int err) { return FailWith(err == EXDEV ? ERROR_NOT_SAME_DEVICE : Win32ErrorFromErrno(err)); }

}  // namespace

BOOL MoveFileExW(LPCWSTR existingName, LPCWSTR newName, DWORD flags) {
  if (!existingName || !*existingName || !newName || !*newName) return FailWith(ERROR_PATH_NOT_FOUND);
  if (flags & ~MOVEFILE_REPLACE_EXISTING) return FailWith(ERROR_INVALID_PARAMETER);
  const std::string from = Native(existingName), to = Native(newName);
  const int rc = (flags & MOVEFILE_REPLACE_EXISTING)
                     ? ::rename(from.c_str(), to.c_str())
                     : ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
  return rc == 0 ? TRUE : FailRename(errno);
}

BOOL ReplaceFileW(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD /*flags*/, void * /*exclude*/,
                  void * /*reserved*/) {
  if (!replaced || !*replaced || !replacement || !*replacement) return FailWith(ERROR_INVALID_PARAMETER);
  if (backup && *backup) return FailWith(ERROR_NOT_SUPPORTED);
  char *real = ::realpath(Native(replaced).c_str(), nullptr);
  if (!real) return FailErrno();
  const std::string target(real);
  std::free(real);
  struct stat old;
  if (::stat(target.c_str(), &old) != 0) return FailErrno();
  if (!S_ISREG(old.st_mode)) return FailWith(ERROR_ACCESS_DENIED);
  const std::string source = Native(replacement);
  // The owner first: changing it clears the set-id bits that chmod sets.
  if (::chown(source.c_str(), old.st_uid, old.st_gid) != 0) (void)::chown(source.c_str(), -1, old.st_gid);
  if (::chmod(source.c_str(), old.st_mode & 07777) != 0) return FailErrno();
  if (::rename(source.c_str(), target.c_str()) != 0) return FailWith(ERROR_UNABLE_TO_MOVE_REPLACEMENT);
  return TRUE;
}

BOOL CopyFileW(LPCWSTR source, LPCWSTR target, BOOL failIfExists) {
  if (source == nullptr || target == nullptr || *source == L'\0' || *target == L'\0') {
    return FailWith(ERROR_PATH_NOT_FOUND);
  }
  const std::filesystem::path from(Native(source));
  const std::filesystem::path to(Native(target));
  std::error_code ec;
  const auto status = std::filesystem::status(from, ec);
  if (ec) return FailWith(Win32ErrorFromErrno(ec.value()));
  if (!std::filesystem::is_regular_file(status)) return FailWith(ERROR_ACCESS_DENIED);
  const auto options =
      failIfExists ? std::filesystem::copy_options::none : std::filesystem::copy_options::overwrite_existing;
  if (!std::filesystem::copy_file(from, to, options, ec)) {
    return FailWith(ec == std::errc::file_exists ? ERROR_FILE_EXISTS : Win32ErrorFromErrno(ec.value()));
  }
  std::filesystem::last_write_time(to, std::filesystem::last_write_time(from, ec), ec);
  return TRUE;
}

BOOL SHGetSpecialFolderPathW(void *owner, LPWSTR buffer, int csidl, BOOL /*create*/) {
  return SUCCEEDED(SHGetFolderPathW(owner, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer));
}

namespace {

// Decodes the octal escapes (\040 for a blank, ...) of a mount table field.
std::string Unescaped(const std::string &field) {
  std::string text;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string digits = field.substr(i + 1, 3);
      if (digits.find_first_not_of("01234567") == std::string::npos) {
        text += static_cast<char>(std::stoi(digits, nullptr, 8));
        i += 3;
        continue;
      }
    }
    text += field[i];
  }
  return text;
}

struct Mount {
  std::string point;
  std::string type;
};

// True when `point` is `path` or a folder above it.
bool Holds(const std::string &point, const std::string &path) {
  if (point == "/") return true;
  return path.compare(0, point.size(), point) == 0 && (path.size() == point.size() || path[point.size()] == '/');
}

// The mount of this process's mount table that holds the absolute path: the
// longest mount point that is the path or a folder above it; of several
// mounts on one point the last, which covers the others.
bool MountHolding(const std::string &path, Mount &found) {
  std::ifstream table("/proc/self/mountinfo");
  std::string line;
  bool any = false;
  while (std::getline(table, line)) {
    // Fields: id parent major:minor root mount-point options... - type source
    std::istringstream fields(line);
    std::string id, parent, device, root, point, field;
    fields >> id >> parent >> device >> root >> point;
    point = Unescaped(point);
    if (!Holds(point, path) || (any && point.size() < found.point.size())) continue;
    while (fields >> field && field != "-") {
    }
    if (!(fields >> field)) continue;
    found = {point, Unescaped(field)};
    any = true;
  }
  return any;
}

// The absolute path with its existing part's links resolved; a drive path
// ("C:\\...", any letter) stands for the root.
std::string VolumeQueryPath(const std::wstring &path) {
  if (path.size() >= 2 && path[1] == L':' && iswalpha(path[0]) && (path.size() == 2 || path[2] == L'\\')) return "/";
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(Native(path.c_str()), ec);
  if (ec) return std::string();
  const std::filesystem::path real = std::filesystem::weakly_canonical(absolute, ec);
  std::string text = (ec ? absolute : real).lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

}  // namespace

BOOL GetVolumePathNameW(LPCWSTR fileName, LPWSTR volumePathName, DWORD bufferLength) {
  if (fileName == nullptr || *fileName == L'\0' || volumePathName == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
  const std::string path = VolumeQueryPath(fileName);
  Mount mount;
  if (path.empty() || !MountHolding(path, mount)) return FailWith(ERROR_NOT_READY);
  std::wstring point = MultiByteToWide(CP_UTF8, mount.point);
  if (point.back() != L'/') point += L'/';
  if (CopyOut(point, volumePathName, bufferLength) != point.size()) return FailWith(ERROR_FILENAME_EXCED_RANGE);
  return TRUE;
}

BOOL GetVolumeInformationW(LPCWSTR root, LPWSTR volumeName, DWORD volumeNameSize, LPDWORD serialNumber,
                           LPDWORD maxComponentLength, LPDWORD fileSystemFlags, LPWSTR fileSystemName,
                           DWORD fileSystemNameSize) {
  const std::wstring r(root ? root : L"");
  // A root ends in its separator, as "C:\\" and "/proc/" do.
  if (r.empty() || (r.back() != L'/' && r.back() != L'\\')) return FailWith(ERROR_INVALID_NAME);
  const std::string path = VolumeQueryPath(r);
  Mount mount;
  if (path.empty() || !MountHolding(path, mount) || mount.type.empty()) return FailWith(ERROR_NOT_READY);
  const std::wstring type = MultiByteToWide(CP_UTF8, mount.type);
  if (volumeName && volumeNameSize > 0) *volumeName = L'\0';
  if (fileSystemName && CopyOut(type, fileSystemName, fileSystemNameSize) != type.size()) {
    return FailWith(ERROR_INSUFFICIENT_BUFFER);
  }
  if (serialNumber) *serialNumber = 0;
  if (maxComponentLength) *maxComponentLength = 255;
  if (fileSystemFlags) *fileSystemFlags = 0;
  return TRUE;
}
