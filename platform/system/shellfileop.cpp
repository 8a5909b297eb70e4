#include "platform/system/shellfileop.h"

#include <glob.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/text/codepage.h"
#include "platform/text/winerror.h"

namespace fs = std::filesystem;

namespace {

// The paths of a double-NUL-terminated list.
std::vector<fs::path> SplitList(LPCWSTR list) {
  std::vector<fs::path> paths;
  if (list == nullptr) return paths;
  for (LPCWSTR p = list; *p != L'\0'; p += std::wcslen(p) + 1) {
    paths.emplace_back(WideToMultiByte(CP_UTF8, std::wstring(p)));
  }
  return paths;
}

int ErrorOf(const std::error_code &ec) {
  const DWORD code = Win32ErrorFromErrno(ec.value());
  return code != 0 ? static_cast<int>(code) : static_cast<int>(ERROR_GEN_FAILURE);
}

// Expands a wildcard last component; a plain path must exist.
int ExpandSources(const std::vector<fs::path> &patterns, std::vector<fs::path> &sources) {
  for (const fs::path &pattern : patterns) {
    // A path that exists names itself, even when its name holds '*' or '?'.
    std::error_code ec;
    if (fs::exists(fs::symlink_status(pattern, ec))) {
      sources.push_back(pattern);
      continue;
    }
    if (pattern.filename().string().find_first_of("*?") == std::string::npos) {
      return static_cast<int>(ERROR_FILE_NOT_FOUND);
    }
    glob_t found{};
    const int rc = ::glob(pattern.c_str(), GLOB_NOSORT, nullptr, &found);
    if (rc == 0) {
      for (size_t i = 0; i < found.gl_pathc; ++i) sources.emplace_back(found.gl_pathv[i]);
    }
    ::globfree(&found);
    if (rc != 0) return static_cast<int>(ERROR_FILE_NOT_FOUND);
  }
  return sources.empty() ? static_cast<int>(ERROR_FILE_NOT_FOUND) : 0;
}

// True when `inner` is `outer` or lies inside it.
bool IsWithin(const fs::path &inner, const fs::path &outer) {
  std::error_code ec;
  const fs::path a = fs::weakly_canonical(fs::absolute(inner, ec), ec);
  const fs::path b = fs::weakly_canonical(fs::absolute(outer, ec), ec);
  auto ia = a.begin();
  for (auto ib = b.begin(); ib != b.end(); ++ib, ++ia) {
    if (ia == a.end() || *ia != *ib) return false;
  }
  return true;
}

int CopyOne(const fs::path &source, const fs::path &target) {
  std::error_code ec;
  if (IsWithin(target, source)) return static_cast<int>(ERROR_INVALID_PARAMETER);
  if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
  if (fs::is_directory(source, ec)) {
    fs::copy(source, target, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
  } else {
    fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec);
  }
  return ec ? ErrorOf(ec) : 0;
}

int MoveOne(const fs::path &source, const fs::path &target) {
  std::error_code ec;
  if (IsWithin(target, source)) return static_cast<int>(ERROR_INVALID_PARAMETER);
  if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
  fs::rename(source, target, ec);
  if (ec == std::errc::cross_device_link) {
    // Another file system: copy, then remove the source.
    if (const int rc = CopyOne(source, target)) return rc;
    fs::remove_all(source, ec);
  }
  return ec ? ErrorOf(ec) : 0;
}

int Transfer(const SHFILEOPSTRUCTW &op, int (*transferOne)(const fs::path &, const fs::path &)) {
  std::vector<fs::path> sources;
  if (const int rc = ExpandSources(SplitList(op.pFrom), sources)) return rc;
  const std::vector<fs::path> targets = SplitList(op.pTo);
  const bool multi = op.fFlags & FOF_MULTIDESTFILES;
  if (targets.empty() || (multi && targets.size() != sources.size() && targets.size() != 1)) {
    return static_cast<int>(ERROR_INVALID_PARAMETER);
  }
  for (size_t i = 0; i < sources.size(); ++i) {
    const fs::path &dest = multi && targets.size() == sources.size() ? targets[i] : targets.front();
    std::error_code ec;
    // Into an existing folder, or into a new one when several sources share it.
    const bool intoFolder = fs::is_directory(dest, ec) || (!multi && sources.size() > 1);
    const fs::path target = intoFolder ? dest / sources[i].filename() : dest;
    if (const int rc = transferOne(sources[i], target)) return rc;
  }
  return 0;
}

int Delete(const SHFILEOPSTRUCTW &op) {
  std::vector<fs::path> sources;
  if (const int rc = ExpandSources(SplitList(op.pFrom), sources)) return rc;
  for (const fs::path &source : sources) {
    std::error_code ec;
    fs::remove_all(source, ec);
    if (ec) return ErrorOf(ec);
  }
  return 0;
}

int Rename(const SHFILEOPSTRUCTW &op) {
  const std::vector<fs::path> sources = SplitList(op.pFrom);
  const std::vector<fs::path> targets = SplitList(op.pTo);
  if (sources.size() != 1 || targets.size() != 1) return static_cast<int>(ERROR_INVALID_PARAMETER);
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(sources[0], ec))) return static_cast<int>(ERROR_FILE_NOT_FOUND);
  if (fs::exists(fs::symlink_status(targets[0], ec))) return static_cast<int>(ERROR_ALREADY_EXISTS);
  fs::rename(sources[0], targets[0], ec);
  return ec ? ErrorOf(ec) : 0;
}

}  // namespace

int SHFileOperationW(SHFILEOPSTRUCTW *operation) {
  if (operation == nullptr) return static_cast<int>(ERROR_INVALID_PARAMETER);
  operation->fAnyOperationsAborted = FALSE;
  switch (operation->wFunc) {
    case FO_COPY:
      return Transfer(*operation, CopyOne);
    case FO_MOVE:
      return Transfer(*operation, MoveOne);
    case FO_DELETE:
      return Delete(*operation);
    case FO_RENAME:
      return Rename(*operation);
    default:
      return static_cast<int>(ERROR_INVALID_PARAMETER);
  }
}
