#include "platform/text/crttime.h"

#include <atomic>

#include <locale.h>

namespace {

std::atomic<crt_time_source> g_source{nullptr};

}  // namespace

time_t crt_time() noexcept {
  const crt_time_source source = g_source.load();
  return source ? source() : ::time(nullptr);
}

void crt_set_time_source(crt_time_source source) noexcept { g_source.store(source); }

bool crt_localtime(time_t t, struct tm *out) noexcept { return out && ::localtime_r(&t, out) != nullptr; }

CString crt_format_local_time(time_t t, const char *format) {
  struct tm local {};
  if (!format || !crt_localtime(t, &local)) return CString();
  char buf[128];
  // Names of days and months in the "C" locale, whatever locale the process
  // has, so the result is plain ASCII and widens byte by byte.
  static const locale_t c_locale = ::newlocale(LC_ALL_MASK, "C", nullptr);
  const size_t n = ::strftime_l(buf, sizeof buf, format, &local, c_locale);
  if (n == 0) return CString();
  CString text;
  for (size_t i = 0; i < n; ++i) text += static_cast<wchar_t>(static_cast<unsigned char>(buf[i]));
  return text;
}
