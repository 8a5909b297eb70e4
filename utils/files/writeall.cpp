#include "utils/files/detail/writeall.h"

#include "platform/system/fileapi.h"
#include "platform/text/winerror.h"

namespace pcutil {

bool WriteAll(HANDLE file, const void *data, size_t size) {
  const BYTE *p = static_cast<const BYTE *>(data);
  while (size > 0) {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(file, p, chunk, &written, nullptr)) return false;
    if (written == 0) {
      SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    p += written;
    size -= written;
  }
  return true;
}

}  // namespace pcutil
