// Development checks. A failed ASSERT/VERIFY/ATLASSERT reports the file, line
// and condition text to a replaceable handler; the default handler writes to
// stderr and the program goes on (never aborts). VERIFY evaluates its
// argument in every build. TRACE formats with the wide printf rules and
// hands the text to the trace handler (default: stderr).
#pragma once

#include <string>

namespace platform {

using AssertHandler = void (*)(const char *file, int line, const char *condition);
using TraceHandler = void (*)(const std::wstring &text);

// Install a handler; null restores the default. Return the previous one.
AssertHandler SetAssertHandler(AssertHandler handler) noexcept;
TraceHandler SetTraceHandler(TraceHandler handler) noexcept;

void ReportAssertFailure(const char *file, int line, const char *condition);
void Trace(const wchar_t *format, ...);

}  // namespace platform

#define ASSERT(cond) ((cond) ? (void)0 : ::platform::ReportAssertFailure(__FILE__, __LINE__, #cond))
#define ATLASSERT(cond) ASSERT(cond)
#define VERIFY(cond) ASSERT(cond)
#define TRACE(...) ::platform::Trace(__VA_ARGS__)
#define ATLTRACE(...) ::platform::Trace(__VA_ARGS__)
