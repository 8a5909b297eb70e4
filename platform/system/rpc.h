// GUIDs: random (version 4) identifiers and their text form.
#pragma once

#include "platform/text/windef.h"

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
typedef GUID UUID;

typedef LONG RPC_STATUS;
typedef unsigned char *RPC_CSTR;
typedef wchar_t *RPC_WSTR;

#define RPC_S_OK 0
#define RPC_S_OUT_OF_MEMORY 14
#define RPC_S_UUID_LOCAL_ONLY 1824
#define RPC_S_UUID_NO_ADDRESS 1739

// A random version-4 GUID from the kernel's random source; RPC_S_UUID_NO_ADDRESS
// (and an all-zero GUID) when no random bytes can be had.
RPC_STATUS UuidCreate(UUID *uuid) noexcept;
// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" in lower case without braces, in a
// text the caller frees with RpcStringFreeA/W.
RPC_STATUS UuidToStringA(const UUID *uuid, RPC_CSTR *text) noexcept;
RPC_STATUS UuidToStringW(const UUID *uuid, RPC_WSTR *text) noexcept;
// Frees the text and sets the pointer to null.
RPC_STATUS RpcStringFreeA(RPC_CSTR *text) noexcept;
RPC_STATUS RpcStringFreeW(RPC_WSTR *text) noexcept;
