#include "platform/text/bstr.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

// Layout: a UINT byte count, then the characters and a terminator. The
// BSTR points at the first character.
namespace {
UINT *Header(BSTR text) { return reinterpret_cast<UINT *>(reinterpret_cast<char *>(text) - sizeof(UINT) * 2); }
}  // namespace

BSTR SysAllocStringLen(const OLECHAR *text, UINT length) {
  size_t bytes = (static_cast<size_t>(length) + 1) * sizeof(OLECHAR) + sizeof(UINT) * 2;
  char *block = static_cast<char *>(std::malloc(bytes));
  if (!block) return nullptr;
  UINT *header = reinterpret_cast<UINT *>(block);
  header[1] = length * static_cast<UINT>(sizeof(OLECHAR));
  BSTR s = reinterpret_cast<BSTR>(block + sizeof(UINT) * 2);
  if (text)
    std::wmemcpy(s, text, length);
  else
    std::wmemset(s, 0, length);
  s[length] = 0;
  return s;
}

BSTR SysAllocString(const OLECHAR *text) {
  if (!text) return nullptr;
  return SysAllocStringLen(text, static_cast<UINT>(std::wcslen(text)));
}

void SysFreeString(BSTR text) noexcept {
  if (text) std::free(Header(text));
}

UINT SysStringLen(BSTR text) noexcept { return text ? Header(text)[1] / sizeof(OLECHAR) : 0; }
