// What the HTTP client session learns from the headers of one response:
// status code, content length, content encoding, cookies and the raw header
// text. Filled by Parse after each response; held by the session through
// pcutil::shared_ptr and shared with whoever copies that pointer.
#pragma once

#include <string>
#include <vector>

#include "platform/inet/wininet.h"
#include "platform/text/cstring.h"

namespace pcutil {

// A value that may be missing. get() returns the value whether set or not
// (default-constructed when not); m_bHasValue says which.
template <class T>
class optional {
 public:
  optional() : m_value(), m_bHasValue(FALSE) {}
  optional(const optional &other) = default;
  ~optional() = default;
  optional &operator=(const T &value) {
    m_value = value;
    m_bHasValue = TRUE;
    return *this;
  }
  optional &operator=(const optional &other) {
    if (this != &other) {
      m_bHasValue = other.m_bHasValue;
      m_value = other.m_value;
    }
    return *this;
  }
  const T &get() const { return m_value; }

  T m_value;
  BOOL m_bHasValue;
};

struct THttpResponseCookie {
  CString strName;
  CString strValue;
  CString strPath;
  CString strDomain;
  CString strExpires;
  CString strMaxAge;
  CString strSecure;
  CString strHttpOnly;
};

class CHttpResponseHeaders {
 public:
  CHttpResponseHeaders() = default;
  virtual ~CHttpResponseHeaders() = default;

  // Queries status, Content-Length, Content-Encoding and every Set-Cookie of
  // the request's response. Fields whose query fails keep their values;
  // cookies are appended to those of earlier calls.
  void Parse(HINTERNET hRequest, const CString &rawHeaders);

  int GetStatusCode() const { return m_nStatusCode; }
  optional<__int64> GetContentLength() const { return m_contentLength; }
  CString GetContentEncoding() const { return m_strContentEncoding; }
  optional<CString> GetRawHeaders() const { return m_rawHeaders; }
  // The first cookie whose name equals `name` without regard to case.
  optional<THttpResponseCookie> GetCookie(const CString &name) const;

  // Splits one Set-Cookie value (up to its first CR, LF or NUL) into at most
  // 16 name/value pairs: the first gives name and value, later ones the
  // known attributes. False when there is no pair at all.
  static bool ParseSetCookie(const std::string &header, THttpResponseCookie &cookie);

 private:
  int m_nStatusCode = 404;
  optional<__int64> m_contentLength;
  CString m_strContentEncoding;
  std::vector<THttpResponseCookie> m_vecCookies;
  optional<CString> m_rawHeaders;
};

}  // namespace pcutil
