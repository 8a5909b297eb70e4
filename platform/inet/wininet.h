// HTTP and HTTPS client functions with the handle model the utility library
// was written against: a session handle (InternetOpen) owns settings, a
// connection handle (InternetConnect) names a server, a request handle
// (HttpOpenRequest, InternetOpenUrl) carries one exchange. Every function
// reports failure by its result and sets the thread's last error to one of
// the ERROR_* / ERROR_INTERNET_* codes below.
//
// Behaviour callers rely on:
// - HttpSendRequestW / HttpEndRequestW return once the headers of the final
//   response are in; redirects are followed first (https never falls back to
//   http), so HttpQueryInfoW sees the last response only.
// - InternetReadFile hands out the body in pieces: TRUE with 0 bytes at its
//   end, FALSE when the transfer fails (reset, short body, time-out).
// - Certificates are always verified (name, date and authority). The
//   INTERNET_FLAG_IGNORE_CERT_* flags and SECURITY_FLAG_IGNORE_* options are
//   accepted and stored but never relax the check.
// - Default time-outs apply to every request: a connect time-out and a
//   receive time-out. The receive time-out fails a call when no byte came for
//   that long, and also when the transfer's rate stayed below 1024 bytes a
//   second for that long (a server that drips its answer ends like a silent
//   one). Time the caller spends between its reads does not count.
// - INTERNET_OPTION_EXCHANGE_TIMEOUT (this layer's own) bounds one whole
//   exchange, from the send to the last body byte.
// - A request with a body goes out on a connection of its own, so it is
//   never sent twice; a GET may be sent again on a fresh connection when a
//   kept connection turns out to be closed before any answer.
// - The certificate authorities are loaded on the first TLS connection
//   (https, or a redirect to it), never for plain http.
// - Failures name their cause (ERROR_INTERNET_TIMEOUT, _CANNOT_CONNECT,
//   _NAME_NOT_RESOLVED, _CONNECTION_RESET when the connection was reset,
//   _CONNECTION_ABORTED when it was closed without any answer,
//   ERROR_HTTP_INVALID_SERVER_RESPONSE for an answer that is no HTTP, ends
//   inside its header or is one HTTP forbids (below), ERROR_HTTP_INVALID_HEADER
//   for a response header beyond the limits (below), the ERROR_INTERNET_SEC_*
//   / _INVALID_CA codes for each certificate failure).
// - Limits of response headers: a line of at most 100 KiB, and at most
//   300 KiB (307,200 bytes, status lines and line ends included) for the
//   headers of all the responses of one exchange, redirects and interim
//   responses included.
// - Responses HTTP forbids fail the call that waits for them, and no byte of
//   their body is handed out: Content-Length lines that differ or are no
//   number, and a 101 (switching protocols) to a request without an Upgrade
//   line.
// - Indexed header queries take the same time however many lines a response
//   has, so reading every line of a response is linear in its size.
// - Texts that stand for one header value (the agent, the referrer) and the
//   verb must be one line: a CR, LF or NUL in them fails the call with
//   ERROR_INVALID_PARAMETER. Header text given as lines must be a block of
//   "name: value" lines with token names and nothing after an empty line;
//   other text fails with ERROR_HTTP_INVALID_HEADER. So no caller's text can
//   add lines of its own or a second request.
// - No cache, no cookie engine and no automatic Accept-Encoding: bodies arrive
//   exactly as the server sent them.
// - Header text crosses the wire in the ANSI code page, as on the original
//   platform; lengths of HttpQueryInfoW buffers are in bytes.
//
// Handles are thread-compatible: one thread uses a handle at a time. Closing
// a parent handle while a child is still open leaves the child usable.
#pragma once

#include <string>

#include "platform/text/windef.h"

typedef void *HINTERNET;
typedef WORD INTERNET_PORT;

// Open types.
#define INTERNET_OPEN_TYPE_PRECONFIG 0
#define INTERNET_OPEN_TYPE_DIRECT 1
#define INTERNET_OPEN_TYPE_PROXY 3
#define INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY 4

#define INTERNET_DEFAULT_HTTP_PORT 80
#define INTERNET_DEFAULT_HTTPS_PORT 443
#define INTERNET_INVALID_PORT_NUMBER 0

#define INTERNET_SERVICE_FTP 1
#define INTERNET_SERVICE_GOPHER 2
#define INTERNET_SERVICE_HTTP 3

// Request and URL flags.
#define INTERNET_FLAG_RELOAD 0x80000000u
#define INTERNET_FLAG_RAW_DATA 0x40000000u
#define INTERNET_FLAG_EXISTING_CONNECT 0x20000000u
#define INTERNET_FLAG_ASYNC 0x10000000u
#define INTERNET_FLAG_PASSIVE 0x08000000u
#define INTERNET_FLAG_NO_CACHE_WRITE 0x04000000u
#define INTERNET_FLAG_DONT_CACHE INTERNET_FLAG_NO_CACHE_WRITE
#define INTERNET_FLAG_MAKE_PERSISTENT 0x02000000u
#define INTERNET_FLAG_FROM_CACHE 0x01000000u
#define INTERNET_FLAG_OFFLINE INTERNET_FLAG_FROM_CACHE
#define INTERNET_FLAG_SECURE 0x00800000u
#define INTERNET_FLAG_KEEP_CONNECTION 0x00400000u
#define INTERNET_FLAG_NO_AUTO_REDIRECT 0x00200000u
#define INTERNET_FLAG_READ_PREFETCH 0x00100000u
#define INTERNET_FLAG_NO_COOKIES 0x00080000u
#define INTERNET_FLAG_NO_AUTH 0x00040000u
#define INTERNET_FLAG_CACHE_IF_NET_FAIL 0x00010000u
#define INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP 0x00008000u
#define INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS 0x00004000u
#define INTERNET_FLAG_IGNORE_CERT_DATE_INVALID 0x00002000u
#define INTERNET_FLAG_IGNORE_CERT_CN_INVALID 0x00001000u
#define INTERNET_FLAG_RESYNCHRONIZE 0x00000800u
#define INTERNET_FLAG_HYPERLINK 0x00000400u
#define INTERNET_FLAG_NO_UI 0x00000200u
#define INTERNET_FLAG_PRAGMA_NOCACHE 0x00000100u
#define INTERNET_FLAG_CACHE_ASYNC 0x00000080u
#define INTERNET_FLAG_FORMS_SUBMIT 0x00000040u
#define INTERNET_FLAG_NEED_FILE 0x00000010u

// HttpAddRequestHeadersW modifiers.
#define HTTP_ADDREQ_INDEX_MASK 0x0000FFFFu
#define HTTP_ADDREQ_FLAGS_MASK 0xFFFF0000u
#define HTTP_ADDREQ_FLAG_ADD_IF_NEW 0x10000000u
#define HTTP_ADDREQ_FLAG_ADD 0x20000000u
#define HTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA 0x40000000u
#define HTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON 0x01000000u
#define HTTP_ADDREQ_FLAG_COALESCE HTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA
#define HTTP_ADDREQ_FLAG_REPLACE 0x80000000u

// HttpSendRequestExW / HttpEndRequestW flags.
#define HSR_ASYNC 0x00000001u
#define HSR_SYNC 0x00000004u
#define HSR_USE_CONTEXT 0x00000008u
#define HSR_INITIATE 0x00000008u
#define HSR_DOWNLOAD 0x00000010u
#define HSR_CHUNKED 0x00000020u

// HttpQueryInfoW levels and modifiers.
#define HTTP_QUERY_MIME_VERSION 0
#define HTTP_QUERY_CONTENT_TYPE 1
#define HTTP_QUERY_CONTENT_TRANSFER_ENCODING 2
#define HTTP_QUERY_CONTENT_ID 3
#define HTTP_QUERY_CONTENT_DESCRIPTION 4
#define HTTP_QUERY_CONTENT_LENGTH 5
#define HTTP_QUERY_CONTENT_LANGUAGE 6
#define HTTP_QUERY_ALLOW 7
#define HTTP_QUERY_PUBLIC 8
#define HTTP_QUERY_DATE 9
#define HTTP_QUERY_EXPIRES 10
#define HTTP_QUERY_LAST_MODIFIED 11
#define HTTP_QUERY_MESSAGE_ID 12
#define HTTP_QUERY_URI 13
#define HTTP_QUERY_DERIVED_FROM 14
#define HTTP_QUERY_COST 15
#define HTTP_QUERY_LINK 16
#define HTTP_QUERY_PRAGMA 17
#define HTTP_QUERY_VERSION 18
#define HTTP_QUERY_STATUS_CODE 19
#define HTTP_QUERY_STATUS_TEXT 20
#define HTTP_QUERY_RAW_HEADERS 21
#define HTTP_QUERY_RAW_HEADERS_CRLF 22
#define HTTP_QUERY_CONNECTION 23
#define HTTP_QUERY_ACCEPT 24
#define HTTP_QUERY_ACCEPT_CHARSET 25
#define HTTP_QUERY_ACCEPT_ENCODING 26
#define HTTP_QUERY_ACCEPT_LANGUAGE 27
#define HTTP_QUERY_AUTHORIZATION 28
#define HTTP_QUERY_CONTENT_ENCODING 29
#define HTTP_QUERY_FORWARDED 30
#define HTTP_QUERY_FROM 31
#define HTTP_QUERY_IF_MODIFIED_SINCE 32
#define HTTP_QUERY_LOCATION 33
#define HTTP_QUERY_ORIG_URI 34
#define HTTP_QUERY_REFERER 35
#define HTTP_QUERY_RETRY_AFTER 36
#define HTTP_QUERY_SERVER 37
#define HTTP_QUERY_TITLE 38
#define HTTP_QUERY_USER_AGENT 39
#define HTTP_QUERY_WWW_AUTHENTICATE 40
#define HTTP_QUERY_PROXY_AUTHENTICATE 41
#define HTTP_QUERY_ACCEPT_RANGES 42
#define HTTP_QUERY_SET_COOKIE 43
#define HTTP_QUERY_COOKIE 44
#define HTTP_QUERY_REQUEST_METHOD 45
#define HTTP_QUERY_TRANSFER_ENCODING 63
#define HTTP_QUERY_HOST 55
#define HTTP_QUERY_CUSTOM 65535
#define HTTP_QUERY_MODIFIER_FLAGS_MASK 0xF0000000u
#define HTTP_QUERY_HEADER_MASK 0x0000FFFFu
#define HTTP_QUERY_FLAG_REQUEST_HEADERS 0x80000000u
#define HTTP_QUERY_FLAG_SYSTEMTIME 0x40000000u
#define HTTP_QUERY_FLAG_NUMBER 0x20000000u
#define HTTP_QUERY_FLAG_COALESCE 0x10000000u

// Options.
#define INTERNET_OPTION_CONNECT_TIMEOUT 2
#define INTERNET_OPTION_CONNECT_RETRIES 3
#define INTERNET_OPTION_SEND_TIMEOUT 5
#define INTERNET_OPTION_RECEIVE_TIMEOUT 6
#define INTERNET_OPTION_HANDLE_TYPE 9
#define INTERNET_OPTION_USERNAME 28
#define INTERNET_OPTION_PASSWORD 29
#define INTERNET_OPTION_SECURITY_FLAGS 31
#define INTERNET_OPTION_URL 34
#define INTERNET_OPTION_USER_AGENT 41
#define INTERNET_OPTION_PROXY_USERNAME 43
#define INTERNET_OPTION_PROXY_PASSWORD 44
#define INTERNET_OPTION_CONNECTED_STATE 50
// This layer's own: the longest time in ms one exchange may take, from
// HttpSendRequest(Ex)W / HttpEndRequestW or InternetOpenUrlW to the last
// byte of the body; when it runs out the running call fails with
// ERROR_INTERNET_TIMEOUT. Inherited from the parent handles like the
// time-outs above; 0 (the default) sets no such limit.
#define INTERNET_OPTION_EXCHANGE_TIMEOUT 0x10000

#define INTERNET_STATE_CONNECTED 0x00000001u
#define INTERNET_STATE_DISCONNECTED 0x00000002u
#define INTERNET_STATE_DISCONNECTED_BY_USER 0x00000010u
#define INTERNET_STATE_IDLE 0x00000100u
#define INTERNET_STATE_BUSY 0x00000200u

#define SECURITY_FLAG_SECURE 0x00000001u
#define SECURITY_FLAG_IGNORE_REVOCATION 0x00000080u
#define SECURITY_FLAG_IGNORE_UNKNOWN_CA 0x00000100u
#define SECURITY_FLAG_IGNORE_WRONG_USAGE 0x00000200u
#define SECURITY_FLAG_IGNORE_CERT_CN_INVALID INTERNET_FLAG_IGNORE_CERT_CN_INVALID
#define SECURITY_FLAG_IGNORE_CERT_DATE_INVALID INTERNET_FLAG_IGNORE_CERT_DATE_INVALID

// InternetGetConnectedState flags.
#define INTERNET_CONNECTION_MODEM 0x01u
#define INTERNET_CONNECTION_LAN 0x02u
#define INTERNET_CONNECTION_PROXY 0x04u
#define INTERNET_CONNECTION_OFFLINE 0x20u
#define INTERNET_CONNECTION_CONFIGURED 0x40u

// Error codes of this layer (the general ERROR_* codes used beside them live
// in platform/text/winerror.h).
#define INTERNET_ERROR_BASE 12000
#define ERROR_INTERNET_OUT_OF_HANDLES 12001
#define ERROR_INTERNET_TIMEOUT 12002
#define ERROR_INTERNET_EXTENDED_ERROR 12003
#define ERROR_INTERNET_LOGIN_FAILURE 12015
#define ERROR_INTERNET_INTERNAL_ERROR 12004
#define ERROR_INTERNET_INVALID_URL 12005
#define ERROR_INTERNET_UNRECOGNIZED_SCHEME 12006
#define ERROR_INTERNET_NAME_NOT_RESOLVED 12007
#define ERROR_INTERNET_PROTOCOL_NOT_FOUND 12008
#define ERROR_INTERNET_INVALID_OPTION 12009
#define ERROR_INTERNET_BAD_OPTION_LENGTH 12010
#define ERROR_INTERNET_OPTION_NOT_SETTABLE 12011
#define ERROR_INTERNET_SHUTDOWN 12012
#define ERROR_INTERNET_INCORRECT_HANDLE_TYPE 12018
#define ERROR_INTERNET_INCORRECT_HANDLE_STATE 12019
#define ERROR_INTERNET_CANNOT_CONNECT 12029
#define ERROR_INTERNET_CONNECTION_ABORTED 12030
#define ERROR_INTERNET_CONNECTION_RESET 12031
#define ERROR_INTERNET_SEC_CERT_DATE_INVALID 12037
#define ERROR_INTERNET_SEC_CERT_CN_INVALID 12038
#define ERROR_INTERNET_INVALID_CA 12045
#define ERROR_HTTP_HEADER_NOT_FOUND 12150
#define ERROR_HTTP_DOWNLEVEL_SERVER 12151
#define ERROR_HTTP_INVALID_SERVER_RESPONSE 12152
#define ERROR_HTTP_INVALID_HEADER 12153
#define ERROR_HTTP_INVALID_QUERY_REQUEST 12154
#define ERROR_HTTP_HEADER_ALREADY_EXISTS 12155
#define ERROR_HTTP_REDIRECT_FAILED 12156
#define ERROR_INTERNET_SECURITY_CHANNEL_ERROR 12157
#define ERROR_INTERNET_SEC_CERT_ERRORS 12055
#define ERROR_INTERNET_SEC_CERT_REV_FAILED 12057
#define ERROR_INTERNET_SEC_INVALID_CERT 12169
#define ERROR_INTERNET_SEC_CERT_REVOKED 12170
#define ERROR_INTERNET_DECODING_FAILED 12175

struct INTERNET_CONNECTED_INFO {
  DWORD dwConnectedState;
  DWORD dwFlags;
};

struct INTERNET_BUFFERSW {
  DWORD dwStructSize;
  INTERNET_BUFFERSW *Next;
  LPCWSTR lpcszHeader;
  DWORD dwHeadersLength;
  DWORD dwHeadersTotal;
  LPVOID lpvBuffer;
  DWORD dwBufferLength;
  DWORD dwBufferTotal;
  DWORD dwOffsetLow;
  DWORD dwOffsetHigh;
};
typedef INTERNET_BUFFERSW *LPINTERNET_BUFFERSW;

HINTERNET InternetOpenW(LPCWSTR agent, DWORD accessType, LPCWSTR proxy, LPCWSTR proxyBypass, DWORD flags);
HINTERNET InternetOpenA(LPCSTR agent, DWORD accessType, LPCSTR proxy, LPCSTR proxyBypass, DWORD flags);
HINTERNET InternetConnectW(HINTERNET session, LPCWSTR serverName, INTERNET_PORT port, LPCWSTR userName,
                           LPCWSTR password, DWORD service, DWORD flags, DWORD_PTR context);
// Dial-up is unknown here: always ERROR_SUCCESS.
DWORD InternetAttemptConnect(DWORD reserved);
// TRUE when an interface other than loopback is up; flags LAN, plus PROXY when
// the environment names a proxy.
BOOL InternetGetConnectedState(LPDWORD flags, DWORD reserved);
BOOL InternetCloseHandle(HINTERNET handle);

// Lengths in bytes. Options: CONNECTED_STATE (always connected; setting it is
// accepted), SECURITY_FLAGS (stored, never relaxes verification),
// CONNECT_TIMEOUT / RECEIVE_TIMEOUT / SEND_TIMEOUT / EXCHANGE_TIMEOUT in ms
// (0 keeps the default), PROXY_USERNAME / PROXY_PASSWORD (text; length in characters or 0),
// USER_AGENT, URL (query only), HANDLE_TYPE (query only).
BOOL InternetQueryOptionW(HINTERNET handle, DWORD option, LPVOID buffer, LPDWORD bufferLength);
BOOL InternetSetOptionW(HINTERNET handle, DWORD option, LPVOID buffer, DWORD bufferLength);

// The scheme follows INTERNET_FLAG_SECURE (https) or not (http). acceptTypes
// is a NULL-terminated list whose entries form the Accept line.
HINTERNET HttpOpenRequestW(HINTERNET connect, LPCWSTR verb, LPCWSTR objectName, LPCWSTR version, LPCWSTR referrer,
                           LPCWSTR *acceptTypes, DWORD flags, DWORD_PTR context);
// headersLength in characters, (DWORD)-1 for a terminated text; several lines
// separated by CR LF may be given. ADD_IF_NEW on a header already present
// succeeds and keeps the old value; REPLACE swaps the value (an empty value
// removes the header) and fails for a missing header unless ADD is given.
BOOL HttpAddRequestHeadersW(HINTERNET request, LPCWSTR headers, DWORD headersLength, DWORD modifiers);
// headers (length in characters, (DWORD)-1 for terminated) are added for this
// send only and win over stored lines of the same name.
BOOL HttpSendRequestW(HINTERNET request, LPCWSTR headers, DWORD headersLength, LPVOID optional, DWORD optionalLength);
// Starts a request whose body follows through InternetWriteFile; the exchange
// itself runs in HttpEndRequestW, so network errors surface there.
BOOL HttpSendRequestExW(HINTERNET request, LPINTERNET_BUFFERSW buffersIn, LPINTERNET_BUFFERSW buffersOut, DWORD flags,
                        DWORD_PTR context);
BOOL InternetWriteFile(HINTERNET request, LPCVOID buffer, DWORD numberOfBytesToWrite, LPDWORD numberOfBytesWritten);
BOOL HttpEndRequestW(HINTERNET request, LPINTERNET_BUFFERSW buffersOut, DWORD flags, DWORD_PTR context);
BOOL InternetReadFile(HINTERNET request, LPVOID buffer, DWORD numberOfBytesToRead, LPDWORD numberOfBytesRead);
// bufferLength in bytes: on success the bytes written without the terminator;
// when too small FALSE, ERROR_INSUFFICIENT_BUFFER and the bytes needed. index
// (may be NULL) picks the n-th occurrence of a repeated header and advances on
// success. HTTP_QUERY_CUSTOM takes the header name from the buffer.
BOOL HttpQueryInfoW(HINTERNET request, DWORD infoLevel, LPVOID buffer, LPDWORD bufferLength, LPDWORD index);
// One GET (http or https) that returns once the response headers are in.
HINTERNET InternetOpenUrlW(HINTERNET session, LPCWSTR url, LPCWSTR headers, DWORD headersLength, DWORD flags,
                           DWORD_PTR context);

// Process-wide settings of this layer.
// A PEM file of certificate authorities trusted in addition to the system's
// (an empty path trusts the system's alone). Without a call, the environment
// variable TICKORA_EXTRA_CA_FILE names the file. Affects requests started
// afterwards.
void InternetSetExtraTrustedCaFile(const std::string &pemPath);
// The default connect and receive time-outs in milliseconds (0 restores the
// built-in 60000 each). Handles take the values current when they send.
void InternetSetDefaultTimeouts(DWORD connectMs, DWORD receiveMs);
