// The system's proxy settings as the internet layer's per-connection options.
//
// The settings come from the environment variables that Linux programs share:
// http_proxy, https_proxy, ftp_proxy (each also in capitals) with all_proxy
// as the fallback, and no_proxy. A proxy URL "[scheme://][user[:password]@]
// host[:port][/...]" contributes its "host:port". When every scheme set uses
// the same proxy the server text is that one entry ("host:port"); otherwise
// it lists them as "http=host:port;https=host:port;ftp=host:port". The
// bypass list is no_proxy with ';' between its entries. There is no proxy
// auto-configuration here.
#pragma once

#include <string>

#include "platform/text/windef.h"

#define INTERNET_OPTION_PER_CONNECTION_OPTION 75

#define INTERNET_PER_CONN_FLAGS 1
#define INTERNET_PER_CONN_PROXY_SERVER 2
#define INTERNET_PER_CONN_PROXY_BYPASS 3
#define INTERNET_PER_CONN_AUTOCONFIG_URL 4
#define INTERNET_PER_CONN_AUTODISCOVERY_FLAGS 5

#define PROXY_TYPE_DIRECT 0x00000001u
#define PROXY_TYPE_PROXY 0x00000002u
#define PROXY_TYPE_AUTO_PROXY_URL 0x00000004u
#define PROXY_TYPE_AUTO_DETECT 0x00000008u

struct INTERNET_PER_CONN_OPTIONW {
  DWORD dwOption;
  union {
    DWORD dwValue;
    LPWSTR pszValue;
  } Value;
};
typedef INTERNET_PER_CONN_OPTIONW *LPINTERNET_PER_CONN_OPTIONW;

struct INTERNET_PER_CONN_OPTION_LISTW {
  DWORD dwSize;
  LPWSTR pszConnection;
  DWORD dwOptionCount;
  DWORD dwOptionError;
  LPINTERNET_PER_CONN_OPTIONW pOptions;
};
typedef INTERNET_PER_CONN_OPTION_LISTW *LPINTERNET_PER_CONN_OPTION_LISTW;

namespace platform {

// Answers a query of INTERNET_OPTION_PER_CONNECTION_OPTION without a handle
// (lengths in bytes, as InternetQueryOptionW): fills the list (only the
// default connection, a null pszConnection, exists): FLAGS is DIRECT, plus
// PROXY when a proxy is set; the text options get blocks to be freed with
// GlobalFree, null when the setting is absent; AUTODISCOVERY_FLAGS is 0; an
// unknown option fails with ERROR_INVALID_PARAMETER and its index in
// dwOptionError.
BOOL QuerySystemProxyList(LPVOID buffer, LPDWORD bufferLength);

// The user name (`user` true) or the password of the first proxy URL that
// has user information, percent-decoded; false when none has.
bool SystemProxyCredential(bool user, std::wstring &text);

}  // namespace platform
