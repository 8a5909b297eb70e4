#include "platform/winexec.h"

#include <glib.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <thread>

#include "platform/codepage.h"
#include "platform/winerror.h"

extern char **environ;

UINT WinExec(LPCSTR cmdLine, UINT) {
  if (!cmdLine) return 0;
  std::string utf8 = WideToMultiByte(CP_UTF8, MultiByteToWide(CP_ACP, std::string(cmdLine)));
  gchar **argv = nullptr;
  gint argc = 0;
  if (!g_shell_parse_argv(utf8.c_str(), &argc, &argv, nullptr)) return 0;
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv, environ);
  g_strfreev(argv);
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
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return 33;
}
