// The last error of each thread and the mapping of system error numbers to
// the original platform's error codes.
#include "platform/text/winerror.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

namespace {

TEST(WinError, LastErrorIsPerThread) {
  SetLastError(ERROR_ACCESS_DENIED);
  DWORD seen = 1;
  std::thread([&] {
    seen = GetLastError();
    SetLastError(ERROR_FILE_NOT_FOUND);
  }).join();
  EXPECT_EQ(seen, ERROR_SUCCESS);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(WinError, ErrnoMapping) {
  struct {
    int err;
    DWORD code;
  } cases[] = {{0, 0},
               {ENOENT, 2},
               {ENOTDIR, 3},
               {EACCES, 5},
               {EPERM, 5},
               {EISDIR, 5},
               {EEXIST, 183},
               {EBUSY, 32},
               {ENOSPC, 112},
               {ENAMETOOLONG, 206},
               {EINVAL, 87},
               {ENOMEM, 8},
               {EIO, ERROR_GEN_FAILURE}};
  for (const auto &c : cases) EXPECT_EQ(Win32ErrorFromErrno(c.err), c.code) << c.err;
}

}  // namespace
