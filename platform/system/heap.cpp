#include "platform/system/heap.h"

#include <cstdlib>

HLOCAL LocalFree(HLOCAL block) noexcept {
  std::free(block);
  return nullptr;
}

HGLOBAL GlobalFree(HGLOBAL block) noexcept {
  std::free(block);
  return nullptr;
}
