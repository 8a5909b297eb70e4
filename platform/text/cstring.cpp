#include "platform/text/cstring.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwchar>

#include "platform/text/codepage.h"
#include "platform/text/debug.h"
#include "platform/text/wctype_win.h"

namespace {

std::atomic<ResourceStringLookup> g_resource_lookup{nullptr};

bool InSet(wchar_t c, LPCWSTR chars) { return chars && c != 0 && std::wcschr(chars, c) != nullptr; }

template <class Pred>
void EraseLeading(std::wstring &s, Pred pred) {
  size_t i = 0;
  while (i < s.size() && pred(s[i])) ++i;
  s.erase(0, i);
}

template <class Pred>
void EraseTrailing(std::wstring &s, Pred pred) {
  size_t n = s.size();
  while (n > 0 && pred(s[n - 1])) --n;
  s.resize(n);
}

template <class A, class B>
CString Concat(const A &a, const B &b) {
  CString r(a);
  r += b;
  return r;
}

}  // namespace

namespace platform {
const wchar_t *FormatArgText(const CString &s) noexcept { return s.GetString(); }
}  // namespace platform

void SetResourceStringLookup(ResourceStringLookup lookup) noexcept { g_resource_lookup.store(lookup); }

std::wstring CString::FromNarrow(const char *text) {
  if (!text) return std::wstring();
  return MultiByteToWide(CP_THREAD_ACP, text, std::strlen(text));
}

CString::CString(LPCWSTR text, int length) {
  if (text && length > 0) s_.assign(text, length);
}

wchar_t CString::GetAt(int index) const {
  // The terminator may be read; beyond it is a caller error.
  ASSERT(index >= 0 && index <= GetLength());
  if (index < 0 || index >= GetLength()) return 0;
  return s_[index];
}

void CString::SetAt(int index, wchar_t ch) {
  ASSERT(index >= 0 && index < GetLength());
  if (index >= 0 && index < GetLength()) s_[index] = ch;
}

void CString::Append(LPCWSTR text, int length) {
  if (text && length > 0) s_.append(text, length);
}

int CString::Compare(LPCWSTR text) const noexcept {
  int r = s_.compare(text ? text : L"");
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

int CString::CompareNoCase(LPCWSTR text) const noexcept {
  const wchar_t *a = s_.c_str(), *b = text ? text : L"";
  for (;; ++a, ++b) {
    wchar_t x = static_cast<wchar_t>(win_tolower(*a)), y = static_cast<wchar_t>(win_tolower(*b));
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}

int CString::Find(LPCWSTR text, int start) const noexcept {
  if (start < 0 || start > GetLength() || !text) return -1;
  size_t pos = s_.find(text, static_cast<size_t>(start));
  return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(wchar_t ch, int start) const noexcept {
  if (start < 0 || start >= GetLength()) return -1;
  size_t pos = s_.find(ch, static_cast<size_t>(start));
  return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(wchar_t ch) const noexcept {
  size_t pos = s_.rfind(ch);
  return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::FindOneOf(LPCWSTR chars) const noexcept {
  if (!chars || !*chars) return -1;
  size_t pos = s_.find_first_of(chars);
  return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

CString CString::Left(int count) const {
  if (count < 0) count = 0;
  if (count >= GetLength()) return *this;
  return CString(s_.substr(0, count));
}

CString CString::Right(int count) const {
  if (count < 0) count = 0;
  if (count >= GetLength()) return *this;
  return CString(s_.substr(s_.size() - count));
}

CString CString::Mid(int start) const { return Mid(start, GetLength()); }

CString CString::Mid(int start, int count) const {
  if (start < 0) start = 0;
  if (count < 0) count = 0;
  if (start > GetLength()) start = GetLength();
  if (count > GetLength() - start) count = GetLength() - start;
  if (start == 0 && count == GetLength()) return *this;
  return CString(s_.substr(start, count));
}

CString CString::SpanIncluding(LPCWSTR chars) const {
  int n = 0;
  while (n < GetLength() && InSet(s_[n], chars)) ++n;
  return Left(n);
}

CString CString::SpanExcluding(LPCWSTR chars) const {
  int n = 0;
  while (n < GetLength() && !InSet(s_[n], chars)) ++n;
  return Left(n);
}

int CString::Delete(int index, int count) {
  if (index < 0) index = 0;
  if (count > 0 && index < GetLength()) s_.erase(index, std::min(count, GetLength() - index));
  return GetLength();
}

int CString::Insert(int index, LPCWSTR text) {
  if (index < 0) index = 0;
  if (index > GetLength()) index = GetLength();
  if (text) s_.insert(index, text);
  return GetLength();
}

int CString::Insert(int index, wchar_t ch) {
  if (index < 0) index = 0;
  if (index > GetLength()) index = GetLength();
  s_.insert(s_.begin() + index, ch);
  return GetLength();
}

void CString::Truncate(int length) {
  if (length >= 0 && length < GetLength()) s_.resize(length);
}

int CString::Replace(LPCWSTR old_text, LPCWSTR new_text) {
  if (!old_text || !*old_text) return 0;
  const std::wstring from(old_text), to(new_text ? new_text : L"");
  size_t pos = s_.find(from);
  if (pos == std::wstring::npos) return 0;
  std::wstring out;
  out.reserve(s_.size());
  size_t last = 0;
  int count = 0;
  for (; pos != std::wstring::npos; pos = s_.find(from, last)) {
    out.append(s_, last, pos - last);
    out += to;
    last = pos + from.size();
    ++count;
  }
  out.append(s_, last, std::wstring::npos);
  s_.swap(out);
  return count;
}

int CString::Replace(wchar_t old_ch, wchar_t new_ch) {
  int count = 0;
  if (old_ch == new_ch) return static_cast<int>(std::count(s_.begin(), s_.end(), old_ch));
  for (wchar_t &c : s_)
    if (c == old_ch) {
      c = new_ch;
      ++count;
    }
  return count;
}

int CString::Remove(wchar_t ch) {
  size_t before = s_.size();
  s_.erase(std::remove(s_.begin(), s_.end(), ch), s_.end());
  return static_cast<int>(before - s_.size());
}

CString &CString::TrimLeft() {
  EraseLeading(s_, [](wchar_t c) { return win_iswspace(c); });
  return *this;
}

CString &CString::TrimLeft(wchar_t ch) {
  EraseLeading(s_, [ch](wchar_t c) { return c == ch; });
  return *this;
}

CString &CString::TrimLeft(LPCWSTR chars) {
  EraseLeading(s_, [chars](wchar_t c) { return InSet(c, chars); });
  return *this;
}

CString &CString::TrimRight() {
  EraseTrailing(s_, [](wchar_t c) { return win_iswspace(c); });
  return *this;
}

CString &CString::TrimRight(wchar_t ch) {
  EraseTrailing(s_, [ch](wchar_t c) { return c == ch; });
  return *this;
}

CString &CString::TrimRight(LPCWSTR chars) {
  EraseTrailing(s_, [chars](wchar_t c) { return InSet(c, chars); });
  return *this;
}

CString &CString::Trim() { return TrimRight().TrimLeft(); }
CString &CString::Trim(wchar_t ch) { return TrimRight(ch).TrimLeft(ch); }
CString &CString::Trim(LPCWSTR chars) { return TrimRight(chars).TrimLeft(chars); }

CString &CString::MakeLower() {
  for (wchar_t &c : s_) c = crt_towlower(c);
  return *this;
}

CString &CString::MakeUpper() {
  for (wchar_t &c : s_) c = crt_towupper(c);
  return *this;
}

CString &CString::MakeReverse() {
  std::reverse(s_.begin(), s_.end());
  return *this;
}

void CString::FormatV(LPCWSTR format, va_list args) { s_ = platform::FormatWideV(format, args); }

void CString::AppendFormatV(LPCWSTR format, va_list args) { s_ += platform::FormatWideV(format, args); }

LPWSTR CString::GetBuffer() { return s_.data(); }

LPWSTR CString::GetBuffer(int min_length) {
  if (min_length > GetLength()) {
    // The caller may write up to min_length characters and a terminator;
    // the text's own length counts until ReleaseBuffer.
    size_t old = s_.size();
    s_.resize(min_length);
    std::fill(s_.begin() + old, s_.end(), L'\0');
  }
  return s_.data();
}

LPWSTR CString::GetBufferSetLength(int length) {
  if (length < 0) length = 0;
  s_.resize(length);
  return s_.data();
}

void CString::ReleaseBuffer(int new_length) {
  if (new_length < 0 || new_length > GetLength()) new_length = static_cast<int>(std::wcslen(s_.c_str()));
  s_.resize(new_length);
}

CString CString::Tokenize(LPCWSTR delimiters, int &start) const {
  if (start < 0 || start > GetLength()) {
    start = -1;
    return CString();
  }
  if (!delimiters || !*delimiters) {
    if (start < GetLength()) {
      CString rest = Mid(start);
      start = GetLength();
      return rest;
    }
    start = -1;
    return CString();
  }
  size_t from = s_.find_first_not_of(delimiters, start);
  if (from == std::wstring::npos) {
    start = -1;
    return CString();
  }
  size_t to = s_.find_first_of(delimiters, from);
  if (to == std::wstring::npos) to = s_.size();
  start = static_cast<int>(to == s_.size() ? to : to + 1);
  return CString(s_.substr(from, to - from));
}

BOOL CString::LoadString(UINT id) {
  ResourceStringLookup lookup = g_resource_lookup.load();
  std::wstring text;
  if (!lookup || !lookup(id, text)) return FALSE;
  s_.swap(text);
  return TRUE;
}

BOOL CString::LoadString(HINSTANCE module, UINT id) {
  if (module) return FALSE;
  return LoadString(id);
}

BSTR CString::AllocSysString() const { return SysAllocStringLen(s_.data(), static_cast<UINT>(s_.size())); }

CString operator+(const CString &a, const CString &b) { return CString(a.s_ + b.s_); }
CString operator+(const CString &a, LPCWSTR b) { return Concat(a, b); }
CString operator+(LPCWSTR a, const CString &b) { return Concat(a, b); }
CString operator+(const CString &a, wchar_t b) { return Concat(a, b); }
CString operator+(wchar_t a, const CString &b) { return Concat(a, b); }

void CStringArray::SetSize(INT_PTR size) {
  if (size < 0) throw CInvalidArgException();
  items_.resize(static_cast<size_t>(size));
}

const CString &CStringArray::GetAt(INT_PTR index) const {
  if (index < 0 || index >= GetSize()) throw CInvalidArgException();
  return items_[static_cast<size_t>(index)];
}

CString &CStringArray::ElementAt(INT_PTR index) {
  if (index < 0 || index >= GetSize()) throw CInvalidArgException();
  return items_[static_cast<size_t>(index)];
}

void CStringArray::RemoveAt(INT_PTR index, INT_PTR count) {
  if (index < 0 || count < 0 || index + count > GetSize()) throw CInvalidArgException();
  items_.erase(items_.begin() + index, items_.begin() + index + count);
}

void CStringArray::InsertAt(INT_PTR index, const CString &item, INT_PTR count) {
  if (index < 0 || count < 0) throw CInvalidArgException();
  if (index > GetSize()) items_.resize(static_cast<size_t>(index));
  items_.insert(items_.begin() + index, static_cast<size_t>(count), item);
}
