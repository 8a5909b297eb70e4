// CString: the framework's wide text class, one Unicode character per
// wchar_t, stored in a std::wstring (reads never copy). Indices and lengths
// count characters. Methods follow the framework's behaviour that callers
// rely on:
// - a null LPCWSTR gives an empty text; narrow LPCSTR text is converted with
//   the thread code page (936);
// - Left/Right/Mid clamp negative counts and starts to 0 and over-long ones
//   to the end of the text;
// - Find/ReverseFind return -1 when not found; an empty search text is
//   found at the start position; searches and comparisons cover the whole
//   length, embedded NULs included;
// - comparisons are ordinal on the character values; CompareNoCase folds
//   ASCII letters only;
// - Trim* remove white space as the wide classification defines it
//   (U+3000 counts); MakeLower/MakeUpper follow the runtime ctype state;
// - Format/FormatV/AppendFormat use the wide printf rules of
//   platform/text/format.h (%s wide, %S narrow, %ld 32 bits).
#pragma once

#include <concepts>
#include <cstdarg>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/text/bstr.h"
#include "platform/text/format.h"
#include "platform/text/windef.h"

class CString {
 public:
  CString() = default;
  CString(const CString &) = default;
  CString(CString &&) noexcept = default;
  CString(LPCWSTR text) : s_(text ? text : L"") {}
  CString(LPCWSTR text, int length);
  // Narrow text, converted with the thread code page (936).
  template <class P>
  requires std::same_as<P, const char *> || std::same_as<P, char *> CString(P text) : s_(FromNarrow(text)) {}
  template <class C>
  requires std::same_as<C, wchar_t>
  explicit CString(C ch, int repeat = 1) : s_(repeat > 0 ? repeat : 0, ch) {}
  explicit CString(const std::wstring &text) : s_(text) {}
  explicit CString(std::wstring &&text) noexcept : s_(std::move(text)) {}

  CString &operator=(const CString &) = default;
  CString &operator=(CString &&) noexcept = default;
  CString &operator=(LPCWSTR text) {
    s_.assign(text ? text : L"");
    return *this;
  }
  template <class P>
  requires std::same_as<P, const char *> || std::same_as<P, char *> CString &operator=(P text) {
    s_ = FromNarrow(text);
    return *this;
  }
  CString &operator=(wchar_t ch) {
    s_.assign(1, ch);
    return *this;
  }

  // Length and access.
  int GetLength() const noexcept { return static_cast<int>(s_.size()); }
  bool IsEmpty() const noexcept { return s_.empty(); }
  void Empty() noexcept { s_.clear(); }
  wchar_t GetAt(int index) const;
  void SetAt(int index, wchar_t ch);
  wchar_t operator[](int index) const { return GetAt(index); }
  operator LPCWSTR() const noexcept { return s_.c_str(); }
  LPCWSTR GetString() const noexcept { return s_.c_str(); }
  // The text as a std::wstring, for code that works with the standard library.
  const std::wstring &str() const noexcept { return s_; }

  // Concatenation.
  CString &operator+=(const CString &text) {
    s_ += text.s_;
    return *this;
  }
  CString &operator+=(LPCWSTR text) {
    if (text) s_ += text;
    return *this;
  }
  CString &operator+=(wchar_t ch) {
    s_ += ch;
    return *this;
  }
  void Append(LPCWSTR text) { *this += text; }
  void Append(LPCWSTR text, int length);
  void AppendChar(wchar_t ch) { s_ += ch; }

  // Comparison: <0, 0, >0.
  int Compare(LPCWSTR text) const noexcept;
  int CompareNoCase(LPCWSTR text) const noexcept;

  // Search. Positions are character indices; -1 when not found.
  int Find(LPCWSTR text, int start = 0) const noexcept;
  int Find(wchar_t ch, int start = 0) const noexcept;
  int ReverseFind(wchar_t ch) const noexcept;
  int FindOneOf(LPCWSTR chars) const noexcept;

  // Extraction with clamping.
  CString Left(int count) const;
  CString Right(int count) const;
  CString Mid(int start) const;
  CString Mid(int start, int count) const;
  CString SpanIncluding(LPCWSTR chars) const;
  CString SpanExcluding(LPCWSTR chars) const;

  // Editing. Each returns the new length.
  int Delete(int index, int count = 1);
  int Insert(int index, LPCWSTR text);
  int Insert(int index, wchar_t ch);
  void Truncate(int length);
  // Non-overlapping, left to right; returns the number of replacements.
  int Replace(LPCWSTR old_text, LPCWSTR new_text);
  int Replace(wchar_t old_ch, wchar_t new_ch);
  int Remove(wchar_t ch);

  CString &Trim();
  CString &Trim(wchar_t ch);
  CString &Trim(LPCWSTR chars);
  CString &TrimLeft();
  CString &TrimLeft(wchar_t ch);
  CString &TrimLeft(LPCWSTR chars);
  CString &TrimRight();
  CString &TrimRight(wchar_t ch);
  CString &TrimRight(LPCWSTR chars);

  CString &MakeLower();
  CString &MakeUpper();
  CString &MakeReverse();

  // Formatting.
  template <class... Args>
  void Format(LPCWSTR format, const Args &...args) {
    s_ = platform::FormatWide(format, args...);
  }
  template <class... Args>
  void AppendFormat(LPCWSTR format, const Args &...args) {
    s_ += platform::FormatWide(format, args...);
  }
  void FormatV(LPCWSTR format, va_list args);
  void AppendFormatV(LPCWSTR format, va_list args);

  // Direct buffer access: room for at least `min_length` characters plus the
  // terminator. ReleaseBuffer(-1) takes the text up to the first NUL.
  LPWSTR GetBuffer();
  LPWSTR GetBuffer(int min_length);
  LPWSTR GetBufferSetLength(int length);
  void ReleaseBuffer(int new_length = -1);
  void ReleaseBufferSetLength(int new_length) { ReleaseBuffer(new_length); }

  // Tokens separated by any of `delimiters`; runs of delimiters give no
  // empty tokens. Advances `start`; at the end returns an empty text and sets
  // `start` to -1.
  CString Tokenize(LPCWSTR delimiters, int &start) const;

  // The application's resource string `id`; FALSE (text unchanged) when the
  // string table has no such id or no table is registered.
  BOOL LoadString(UINT id);
  BOOL LoadString(HINSTANCE module, UINT id);

  // A new BSTR with this text; the caller frees it with SysFreeString.
  BSTR AllocSysString() const;

  friend CString operator+(const CString &a, const CString &b);
  friend CString operator+(const CString &a, LPCWSTR b);
  friend CString operator+(LPCWSTR a, const CString &b);
  friend CString operator+(const CString &a, wchar_t b);
  friend CString operator+(wchar_t a, const CString &b);

  friend bool operator==(const CString &a, const CString &b) noexcept { return a.s_ == b.s_; }
  friend bool operator==(const CString &a, LPCWSTR b) noexcept { return a.Compare(b) == 0; }
  friend auto operator<=>(const CString &a, const CString &b) noexcept { return a.s_.compare(b.s_) <=> 0; }
  friend auto operator<=>(const CString &a, LPCWSTR b) noexcept { return a.Compare(b) <=> 0; }

 private:
  static std::wstring FromNarrow(const char *text);
  std::wstring s_;
};

// Resource strings: the application registers a lookup that fills `out` and
// returns true when its string table has `id`.
using ResourceStringLookup = bool (*)(UINT id, std::wstring &out);
void SetResourceStringLookup(ResourceStringLookup lookup) noexcept;

template <>
struct std::hash<CString> {
  size_t operator()(const CString &s) const noexcept { return std::hash<std::wstring>()(s.str()); }
};

// Thrown by CStringArray::GetAt for an index out of range.
class CInvalidArgException : public std::invalid_argument {
 public:
  CInvalidArgException() : std::invalid_argument("invalid argument") {}
};

// The framework's growable array of texts.
class CStringArray {
 public:
  INT_PTR GetSize() const noexcept { return static_cast<INT_PTR>(items_.size()); }
  INT_PTR GetCount() const noexcept { return GetSize(); }
  INT_PTR GetUpperBound() const noexcept { return GetSize() - 1; }
  bool IsEmpty() const noexcept { return items_.empty(); }
  // Grows with empty texts or shrinks; a negative size is refused with
  // CInvalidArgException.
  void SetSize(INT_PTR size);
  void RemoveAll() noexcept { items_.clear(); }
  INT_PTR Add(const CString &item) {
    items_.push_back(item);
    return GetSize() - 1;
  }
  // Throws CInvalidArgException when index is outside 0..GetSize()-1.
  const CString &GetAt(INT_PTR index) const;
  CString &ElementAt(INT_PTR index);
  void SetAt(INT_PTR index, const CString &item) { ElementAt(index) = item; }
  void RemoveAt(INT_PTR index, INT_PTR count = 1);
  void InsertAt(INT_PTR index, const CString &item, INT_PTR count = 1);
  const CString &operator[](INT_PTR index) const { return GetAt(index); }
  CString &operator[](INT_PTR index) { return ElementAt(index); }

 private:
  std::vector<CString> items_;
};
