// Compile and search time of the regular-expression engine beside PCRE2's
// 32-bit interpreter (no JIT) and std::wregex, in the same run:
//   - the two character-set detection patterns, case-insensitive and over
//     all matches as the HTTP client runs them, over a header text and over
//     real-sized HTML pages (the meta tag near the top, and no tag at all so
//     the whole page is searched);
//   - a small set of common patterns over the same page.
// Run: bench_regex --benchmark_filter=Search  (or Compile)
#include <benchmark/benchmark.h>

#include <cstdint>
#include <regex>
#include <string>
#include <vector>

#include "utils/regex/regex.h"

#include "bench/pcre2_support.h"

namespace {

const std::wstring kDetectHeader = L"charset=(.+)";
const std::wstring kDetectMeta = L"<meta.+?charset=([-\\w]+)";

const std::wstring kCommon[] = {
    L"\\d+\\.\\d+",         L"href=\"([^\"]+)\"",    L"(\\w+)\\s*=\\s*\"([^\"]*)\"",
    L"[a-z]+@[a-z]+\\.com", L"<title>(.*?)</title>",
};

// A page of typical markup: head, navigation, a table of quotes, scripts.
std::wstring make_page(bool with_meta, std::size_t rows) {
  std::wstring p = L"<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n";
  p += L"<title>Market quotes</title>\n";
  if (with_meta) p += L"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">\n";
  p += L"<link rel=\"stylesheet\" href=\"/static/css/site.css?v=20140301\">\n";
  p += L"<script type=\"text/javascript\">var cfg = {api: \"/api/ticker\", interval: 5000};</script>\n";
  p += L"</head>\n<body>\n<div id=\"nav\"><ul>";
  for (int i = 0; i < 12; ++i)
    p += L"<li><a href=\"/market/" + std::to_wstring(i) + L"\" class=\"nav-item\">Market " + std::to_wstring(i) +
         L"</a></li>";
  p += L"</ul></div>\n<table class=\"quotes\">\n";
  for (std::size_t r = 0; r < rows; ++r) {
    p += L"<tr class=\"row\"><td class=\"name\">BTC/CNY</td><td class=\"last\">" + std::to_wstring(3000 + r % 997) +
         L"." + std::to_wstring(r % 100) + L"</td><td class=\"vol\">" + std::to_wstring(12345 + r * 7) +
         L"</td><td><a href=\"/trade?id=" + std::to_wstring(r) + L"\">trade</a></td></tr>\n";
  }
  p += L"</table>\n<p>Contact: support@example.com</p>\n</body>\n</html>\n";
  return p;
}

const std::wstring &page_with_meta() {
  static const std::wstring p = make_page(true, 600);
  return p;
}
const std::wstring &page_without_meta() {
  static const std::wstring p = make_page(false, 600);
  return p;
}
const std::wstring &header_text() {
  static const std::wstring h =
      L"HTTP/1.1 200 OK\nServer: nginx\nDate: Mon, 03 Mar 2014 08:00:00 GMT\n"
      L"Content-Type: text/html; charset=UTF-8\nTransfer-Encoding: chunked\nConnection: keep-alive\n"
      L"Vary: Accept-Encoding\nSet-Cookie: sid=abcdef0123456789; path=/; HttpOnly\nCache-Control: no-cache\n\n";
  return h;
}

const std::wstring &subject_of(int which) {
  switch (which) {
    case 0:
      return header_text();
    case 1:
      return page_with_meta();
    default:
      return page_without_meta();
  }
}

const regex::pattern_flags kDetectFlags = regex::IGNORECASE | regex::ALLMATCHES | regex::KEEPALLGROUPS;

// ---------------------------------------------------------------------------
// This engine.

std::size_t engine_all(const regex::rpattern &pat, const std::wstring &subject) {
  regex::match_results results;
  pat.match(subject, results, 0, std::wstring::npos);
  return results.m_records.size();
}

void BM_Engine_Compile(benchmark::State &state, std::wstring pattern, regex::pattern_flags flags) {
  for (auto _ : state) {
    regex::rpattern pat(pattern, flags, regex::MODE_RECURSIVE);
    benchmark::DoNotOptimize(pat);
  }
}

void BM_Engine_Search(benchmark::State &state, std::wstring pattern, regex::pattern_flags flags, int which) {
  const regex::rpattern pat(pattern, flags, regex::MODE_RECURSIVE);
  const std::wstring &subject = subject_of(which);
  for (auto _ : state) benchmark::DoNotOptimize(engine_all(pat, subject));
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(subject.size()));
}

// ---------------------------------------------------------------------------
// PCRE2's interpreter.

#ifdef BENCH_HAVE_PCRE2

void BM_Pcre2_Compile(benchmark::State &state, std::wstring pattern, bool caseless) {
  const std::u32string text(pattern.begin(), pattern.end());
  for (auto _ : state) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code *code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(),
                                     caseless ? PCRE2_CASELESS : 0, &error, &offset, nullptr);
    benchmark::DoNotOptimize(code);
    pcre2_code_free(code);
  }
}

void BM_Pcre2_Search(benchmark::State &state, std::wstring pattern, bool caseless, int which) {
  const pcre2_pattern pat(pattern, caseless);
  const std::wstring &w = subject_of(which);
  const std::u32string subject(w.begin(), w.end());
  for (auto _ : state) benchmark::DoNotOptimize(pcre2_all(pat, subject));
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(subject.size()));
}

#endif

// ---------------------------------------------------------------------------
// std::wregex (ECMAScript grammar).

void BM_Wregex_Compile(benchmark::State &state, std::wstring pattern, bool caseless) {
  for (auto _ : state) {
    std::wregex re(pattern, caseless ? std::regex::ECMAScript | std::regex::icase : std::regex::ECMAScript);
    benchmark::DoNotOptimize(re.mark_count());
  }
}

void BM_Wregex_Search(benchmark::State &state, std::wstring pattern, bool caseless, int which) {
  const std::wregex re(pattern, caseless ? std::regex::ECMAScript | std::regex::icase : std::regex::ECMAScript);
  const std::wstring &subject = subject_of(which);
  for (auto _ : state) {
    std::size_t count = 0;
    for (std::wsregex_iterator it(subject.begin(), subject.end(), re), end; it != end; ++it) ++count;
    benchmark::DoNotOptimize(count);
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(subject.size()));
}

// ---------------------------------------------------------------------------

const char *const kSubjectNames[] = {"headers", "page_meta", "page_nometa"};

void register_all() {
  struct detection {
    const char *name;
    const std::wstring *pattern;
    std::vector<int> subjects;
  } detections[] = {
      {"charset", &kDetectHeader, {0}},
      {"meta", &kDetectMeta, {1, 2}},
  };
  for (const auto &d : detections) {
    const std::string base = d.name;
    benchmark::RegisterBenchmark(("Compile/" + base + "/engine").c_str(), BM_Engine_Compile, *d.pattern, kDetectFlags);
#ifdef BENCH_HAVE_PCRE2
    benchmark::RegisterBenchmark(("Compile/" + base + "/pcre2").c_str(), BM_Pcre2_Compile, *d.pattern, true);
#endif
    benchmark::RegisterBenchmark(("Compile/" + base + "/wregex").c_str(), BM_Wregex_Compile, *d.pattern, true);
    for (int s : d.subjects) {
      const std::string name = "Search/" + base + "/" + kSubjectNames[s];
      benchmark::RegisterBenchmark((name + "/engine").c_str(), BM_Engine_Search, *d.pattern, kDetectFlags, s);
#ifdef BENCH_HAVE_PCRE2
      benchmark::RegisterBenchmark((name + "/pcre2").c_str(), BM_Pcre2_Search, *d.pattern, true, s);
#endif
      benchmark::RegisterBenchmark((name + "/wregex").c_str(), BM_Wregex_Search, *d.pattern, true, s);
    }
  }
  int i = 0;
  for (const std::wstring &p : kCommon) {
    const std::string base = "common" + std::to_string(i++);
    benchmark::RegisterBenchmark(("Compile/" + base + "/engine").c_str(), BM_Engine_Compile, p, regex::ALLMATCHES);
#ifdef BENCH_HAVE_PCRE2
    benchmark::RegisterBenchmark(("Compile/" + base + "/pcre2").c_str(), BM_Pcre2_Compile, p, false);
#endif
    benchmark::RegisterBenchmark(("Compile/" + base + "/wregex").c_str(), BM_Wregex_Compile, p, false);
    const std::string name = "Search/" + base + "/page_meta";
    benchmark::RegisterBenchmark((name + "/engine").c_str(), BM_Engine_Search, p, regex::ALLMATCHES, 1);
#ifdef BENCH_HAVE_PCRE2
    benchmark::RegisterBenchmark((name + "/pcre2").c_str(), BM_Pcre2_Search, p, false, 1);
#endif
    benchmark::RegisterBenchmark((name + "/wregex").c_str(), BM_Wregex_Search, p, false, 1);
  }
}

}  // namespace

int main(int argc, char **argv) {
  register_all();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
