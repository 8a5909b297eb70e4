#include "platform/system/rpc.h"

#include "platform/system/osrandom.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The 36 characters of the text form plus the terminator.
void FormatUuid(const UUID &u, char (&out)[37]) {
  std::snprintf(out, sizeof out, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", static_cast<unsigned>(u.Data1),
                u.Data2, u.Data3, u.Data4[0], u.Data4[1], u.Data4[2], u.Data4[3], u.Data4[4], u.Data4[5], u.Data4[6],
                u.Data4[7]);
}

// The text form in a malloc'ed block of the caller's character type.
template <class Char>
RPC_STATUS CopyUuidText(const UUID *uuid, Char **text) noexcept {
  if (!uuid || !text) return RPC_S_OUT_OF_MEMORY;
  char buf[37];
  FormatUuid(*uuid, buf);
  auto *out = static_cast<Char *>(std::malloc(sizeof buf * sizeof(Char)));
  if (!out) return RPC_S_OUT_OF_MEMORY;
  for (size_t i = 0; i < sizeof buf; ++i) out[i] = static_cast<Char>(static_cast<unsigned char>(buf[i]));
  *text = out;
  return RPC_S_OK;
}

}  // namespace

RPC_STATUS UuidCreate(UUID *uuid) noexcept {
  if (!uuid) return RPC_S_OUT_OF_MEMORY;
  unsigned char bytes[16];
  if (!platform::FillRandomBytes(bytes, sizeof bytes)) {
    std::memset(uuid, 0, sizeof *uuid);
    return RPC_S_UUID_NO_ADDRESS;
  }
  std::memcpy(&uuid->Data1, bytes, 4);
  std::memcpy(&uuid->Data2, bytes + 4, 2);
  std::memcpy(&uuid->Data3, bytes + 6, 2);
  std::memcpy(uuid->Data4, bytes + 8, 8);
  uuid->Data3 = static_cast<WORD>((uuid->Data3 & 0x0FFF) | 0x4000);    // version 4
  uuid->Data4[0] = static_cast<BYTE>((uuid->Data4[0] & 0x3F) | 0x80);  // RFC 4122 variant
  return RPC_S_OK;
}

RPC_STATUS UuidToStringA(const UUID *uuid, RPC_CSTR *text) noexcept { return CopyUuidText(uuid, text); }

RPC_STATUS UuidToStringW(const UUID *uuid, RPC_WSTR *text) noexcept { return CopyUuidText(uuid, text); }

RPC_STATUS RpcStringFreeA(RPC_CSTR *text) noexcept {
  if (text) {
    std::free(*text);
    *text = nullptr;
  }
  return RPC_S_OK;
}

RPC_STATUS RpcStringFreeW(RPC_WSTR *text) noexcept {
  if (text) {
    std::free(*text);
    *text = nullptr;
  }
  return RPC_S_OK;
}
