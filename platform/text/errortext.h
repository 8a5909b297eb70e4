// System error messages: the English text of the error codes this platform
// layer produces, each ending in CR LF as the system's texts do.
#pragma once

#include "platform/text/windef.h"

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_STRING 0x00000400u
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000u

#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))

// Only FORMAT_MESSAGE_FROM_SYSTEM is supported, with or without
// IGNORE_INSERTS (the texts have no inserts) and ALLOCATE_BUFFER. With
// ALLOCATE_BUFFER, `buffer` is really an LPWSTR* that receives a block to be
// freed with LocalFree and `size` is ignored; otherwise `size` is the
// buffer's length in characters. Returns the characters written without the
// terminator, or 0 with the last error ERROR_MR_MID_NOT_FOUND (unknown
// code), ERROR_INSUFFICIENT_BUFFER or ERROR_INVALID_PARAMETER. The language
// is not checked: the texts exist in one language.
DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer, DWORD size,
                     void *arguments) noexcept;

#ifndef ERROR_MR_MID_NOT_FOUND
#define ERROR_MR_MID_NOT_FOUND 317u
#endif
