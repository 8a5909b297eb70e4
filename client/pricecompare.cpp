#include "client/pricecompare.h"

#include <string>

namespace {

// A decimal number taken apart: sign, integer digits without leading zeros,
// fraction digits without trailing zeros. Zero is always non-negative.
struct Decimal {
  bool negative = false;
  std::wstring whole;
  std::wstring fraction;
};

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

bool ParseDecimal(const wchar_t *text, Decimal &out) {
  if (!text) return false;
  const wchar_t *p = text;
  while (IsBlank(*p)) ++p;
  out = Decimal();
  if (*p == L'+' || *p == L'-') out.negative = *p++ == L'-';
  size_t digits = 0;
  for (; IsDigit(*p); ++p, ++digits) out.whole += *p;
  if (*p == L'.') {
    for (++p; IsDigit(*p); ++p, ++digits) out.fraction += *p;
  }
  while (IsBlank(*p)) ++p;
  if (*p != L'\0' || digits == 0) return false;

  size_t first = out.whole.find_first_not_of(L'0');
  out.whole.erase(0, first == std::wstring::npos ? out.whole.size() : first);
  size_t last = out.fraction.find_last_not_of(L'0');
  out.fraction.erase(last == std::wstring::npos ? 0 : last + 1);
  if (out.whole.empty() && out.fraction.empty()) out.negative = false;
  return true;
}

// Compares magnitudes: negative, zero or positive as |a| is below, equal to or above |b|.
int CompareMagnitude(const Decimal &a, const Decimal &b) {
  if (a.whole.size() != b.whole.size()) return a.whole.size() < b.whole.size() ? -1 : 1;
  if (int c = a.whole.compare(b.whole)) return c;
  // Equal integer parts: the fractions compare as texts, a proper prefix being smaller,
  // since neither ends in a zero.
  return a.fraction.compare(b.fraction);
}

}  // namespace

bool PriceAboveThreshold(const wchar_t *price, const wchar_t *threshold) {
  Decimal p, t;
  if (!ParseDecimal(price, p) || !ParseDecimal(threshold, t)) return false;
  if (p.negative != t.negative) return t.negative;
  int c = CompareMagnitude(p, t);
  return p.negative ? c < 0 : c > 0;
}
