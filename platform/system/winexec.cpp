#include "platform/system/winexec.h"

#include <glib.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/system/spawn.h"
#include "platform/text/codepage.h"
#include "platform/text/winerror.h"

UINT WinExec(LPCSTR cmdLine, UINT) {
  if (!cmdLine) return 0;
  std::string utf8 = WideToMultiByte(CP_UTF8, MultiByteToWide(CP_ACP, std::string(cmdLine)));
  gchar **argv = nullptr;
  gint argc = 0;
  if (!g_shell_parse_argv(utf8.c_str(), &argc, &argv, nullptr)) return 0;
  std::vector<std::string> args(argv, argv + argc);
  g_strfreev(argv);
  pid_t pid = 0;
  int rc = args.empty() ? ENOENT : platform::Spawn(args, true, std::string(), &pid);
  switch (rc) {
    case 0:
      break;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case ENOEXEC:
      return ERROR_BAD_FORMAT;
    default:
      return 0;
  }
  platform::ReapWhenEnded(pid);
  return 33;
}
