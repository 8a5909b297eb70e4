#include "platform/text/debug.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "platform/text/codepage.h"
#include "platform/text/format.h"

namespace platform {
namespace {

void DefaultAssert(const char *file, int line, const char *condition) {
  std::fprintf(stderr, "%s(%d): assertion failed: %s\n", file, line, condition);
}

void DefaultTrace(const std::wstring &text) { std::fputs(WideToMultiByte(CP_UTF8, text).c_str(), stderr); }

std::atomic<AssertHandler> g_assert{DefaultAssert};
std::atomic<TraceHandler> g_trace{DefaultTrace};

}  // namespace

AssertHandler SetAssertHandler(AssertHandler handler) noexcept {
  return g_assert.exchange(handler ? handler : DefaultAssert);
}

TraceHandler SetTraceHandler(TraceHandler handler) noexcept {
  return g_trace.exchange(handler ? handler : DefaultTrace);
}

void ReportAssertFailure(const char *file, int line, const char *condition) { g_assert.load()(file, line, condition); }

void Trace(const wchar_t *format, ...) {
  va_list ap;
  va_start(ap, format);
  std::wstring text = FormatWideV(format, ap);
  va_end(ap);
  g_trace.load()(text);
}

}  // namespace platform
