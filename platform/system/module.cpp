#include "platform/system/module.h"

#include <unistd.h>

#include <climits>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/text/codepage.h"
#include "platform/text/winerror.h"

namespace {

wchar_t *g_no_arguments[] = {nullptr};

std::vector<std::wstring> &ArgumentTexts() {
  static auto *texts = new std::vector<std::wstring>;  // lives until exit
  return *texts;
}

std::vector<wchar_t *> &ArgumentPointers() {
  static auto *pointers = new std::vector<wchar_t *>;
  return *pointers;
}

}  // namespace

int __argc = 0;
wchar_t **__wargv = g_no_arguments;

void SetProgramArguments(int argc, char **argv) {
  auto &texts = ArgumentTexts();
  auto &pointers = ArgumentPointers();
  texts.clear();
  for (int i = 0; i < argc && argv && argv[i]; ++i) texts.push_back(MultiByteToWide(CP_UTF8, std::string(argv[i])));
  pointers.clear();
  for (auto &t : texts) pointers.push_back(t.data());
  pointers.push_back(nullptr);
  __argc = static_cast<int>(texts.size());
  __wargv = pointers.data();
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
  if (module) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  std::string path(PATH_MAX, '\0');
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n < 0) {
      SetLastError(Win32ErrorFromErrno(errno));
      return 0;
    }
    if (static_cast<size_t>(n) < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  std::wstring wide = MultiByteToWide(CP_UTF8, path);
  if (!buffer || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (wide.size() >= size) {
    std::wmemcpy(buffer, wide.data(), size - 1);
    buffer[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::wmemcpy(buffer, wide.data(), wide.size());
  buffer[wide.size()] = 0;
  return static_cast<DWORD>(wide.size());
}
