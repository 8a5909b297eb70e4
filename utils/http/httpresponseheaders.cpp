#include "utils/http/httpresponseheaders.h"

#include "platform/text/codepage.h"
#include "platform/text/numeric.h"
#include "utils/base/autobuffer.h"

namespace pcutil {

namespace {

constexpr DWORD kQueryBufferSize = 0x4000;
constexpr int kMaxCookiePairs = 16;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

void TrimTrailingBlanks(std::string &s) {
  while (!s.empty() && IsBlank(s.back())) s.pop_back();
}

// A value from `pos`: a quoted one runs through its closing quote (a
// backslash takes the next character along) and on to the next ';', kept as
// it is; any other runs to the next ';' without trailing blanks.
std::string ReadValue(const std::string &s, size_t &pos) {
  size_t end;
  std::string value;
  if (pos < s.size() && s[pos] == '"') {
    size_t j = pos + 1;
    while (j < s.size() && s[j] != '"') j += s[j] == '\\' ? 2 : 1;
    if (j < s.size()) ++j;
    end = s.find(';', j < s.size() ? j : s.size());
    if (end == std::string::npos) end = s.size();
    value = s.substr(pos, end - pos);
  } else {
    end = s.find(';', pos);
    if (end == std::string::npos) end = s.size();
    value = s.substr(pos, end - pos);
    TrimTrailingBlanks(value);
  }
  pos = end;
  return value;
}

CString FromAnsi(const std::string &s) { return CString(MultiByteToWide(CP_THREAD_ACP, s)); }

}  // namespace

void CHttpResponseHeaders::Parse(HINTERNET hRequest, const CString &rawHeaders) {
  m_rawHeaders = rawHeaders;
  DWORD index = 0;
  DWORD status = 0;
  DWORD length = sizeof status;
  if (HttpQueryInfoW(hRequest, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, &index))
    m_nStatusCode = static_cast<int>(status);
  index = 0;

  CAutoBuffer buffer(kQueryBufferSize);
  if (!buffer.GetData()) return;
  wchar_t *text = reinterpret_cast<wchar_t *>(buffer.GetData());
  length = kQueryBufferSize - 1;
  if (HttpQueryInfoW(hRequest, HTTP_QUERY_CONTENT_LENGTH, text, &length, &index))
    m_contentLength = _wcstoi64(text, nullptr, 10);
  index = 0;
  buffer.Alloc(kQueryBufferSize);
  text = reinterpret_cast<wchar_t *>(buffer.GetData());
  length = kQueryBufferSize - 1;
  if (HttpQueryInfoW(hRequest, HTTP_QUERY_CONTENT_ENCODING, text, &length, &index)) {
    m_strContentEncoding = text;
    m_strContentEncoding.MakeLower();
  }
  index = 0;
  // One buffer for every value: each query writes its own terminator, and
  // only the length it gives is read, so the buffer is not cleared between
  // values (clearing 16 KiB per cookie made many cookies slow).
  buffer.Alloc(kQueryBufferSize);
  text = reinterpret_cast<wchar_t *>(buffer.GetData());
  for (;;) {
    length = kQueryBufferSize - 1;
    if (!HttpQueryInfoW(hRequest, HTTP_QUERY_SET_COOKIE, text, &length, &index)) break;
    THttpResponseCookie cookie;
    if (ParseSetCookie(WideToMultiByte(CP_THREAD_ACP, text, length / sizeof(wchar_t)), cookie))
      m_vecCookies.push_back(std::move(cookie));
  }
}

optional<THttpResponseCookie> CHttpResponseHeaders::GetCookie(const CString &name) const {
  optional<THttpResponseCookie> found;
  for (const THttpResponseCookie &c : m_vecCookies) {
    if (c.strName.CompareNoCase(name) == 0) {
      found = c;
      break;
    }
  }
  return found;
}

bool CHttpResponseHeaders::ParseSetCookie(const std::string &header, THttpResponseCookie &cookie) {
  const std::string s = header.substr(0, header.find_first_of(std::string("\r\n\0", 3)));
  std::vector<std::pair<std::string, std::string>> pairs;
  size_t pos = 0;
  while (static_cast<int>(pairs.size()) < kMaxCookiePairs) {
    while (pos < s.size() && IsBlank(s[pos])) ++pos;
    if (pos >= s.size()) break;
    const size_t tokenStart = pos;
    size_t nameEnd = s.find_first_of(";=", pos);
    if (nameEnd == std::string::npos) nameEnd = s.size();
    std::string name = s.substr(pos, nameEnd - pos);
    TrimTrailingBlanks(name);
    pos = nameEnd;
    std::string value;
    if (pos < s.size() && s[pos] == '=') {
      ++pos;
      while (pos < s.size() && IsBlank(s[pos])) ++pos;
      value = ReadValue(s, pos);
    } else if (pairs.empty()) {
      // A lone first token is a value without a name.
      name.clear();
      pos = tokenStart;
      value = ReadValue(s, pos);
    }
    if (!pairs.empty()) {
      for (char &c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      }
    }
    pairs.emplace_back(std::move(name), std::move(value));
    if (pos < s.size()) ++pos;  // the ';'
  }
  if (pairs.empty()) return false;
  cookie.strName = FromAnsi(pairs[0].first);
  cookie.strValue = FromAnsi(pairs[0].second);
  for (size_t i = 1; i < pairs.size(); ++i) {
    const std::string &n = pairs[i].first;
    CString v = FromAnsi(pairs[i].second);
    if (n == "path")
      cookie.strPath = v;
    else if (n == "domain")
      cookie.strDomain = v;
    else if (n == "expires")
      cookie.strExpires = v;
    else if (n == "max-age")
      cookie.strMaxAge = v;
    else if (n == "secure")
      cookie.strSecure = v;
    else if (n == "httponly")
      cookie.strHttpOnly = v;
  }
  return true;
}

}  // namespace pcutil
