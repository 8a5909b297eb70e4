// Search time over about 1 MB of English-like text with dates, numbers, links
// and addresses: this engine (recursive and iterative mode) beside PCRE2's
// 32-bit interpreter, PCRE2's JIT (for reference) and std::wregex, every
// pattern over all matches, in one run; and compile time beside PCRE2's
// compile. After the runs a table gives each contender's median time as a
// ratio to PCRE2's interpreter (below 1: faster than it). Hostile/ and
// Detect/ time the searches that bounded work keeps short.
//
// Run: bench_regex_text --benchmark_repetitions=5 [--benchmark_filter=Search]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "platform/text/cstring.h"
#include "utils/http/detail/charsetdetect.h"
#include "utils/regex/regex.h"

#include "bench/pcre2_support.h"

namespace {

struct pattern_case {
  const char *name;
  std::wstring text;
  bool caseless;
  bool multiline = false;  // ^ and $ also at line breaks
};

// The two character-set detection patterns as the HTTP client runs them,
// then common searches.
const std::vector<pattern_case> &cases() {
  static const std::vector<pattern_case> c = {
      {"detect_header", L"charset=(.+)", true},
      {"detect_meta", L"<meta.+?charset=[\"']?([-\\w]+)", true},
      {"date", L"(\\d{4})-(\\d{2})-(\\d{2})", false},
      {"decimal", L"\\d+\\.\\d+", false},
      {"href", L"href=\"([^\"]+)\"", false},
      {"ing_word", L"[a-z]+ing\\b", false},
      {"ten_words", L"price|market|trade|coin|exchange|volume|order|report|value|chain", false},
      {"doubled_word", L"\\b(\\w+)\\s+\\1\\b", false},
      {"address", L"[\\w.+-]+@[\\w-]+\\.[\\w.]+", false},
      {"nocase_literal", L"bitcoin", true},
      {"nocase_alternation", L"bitcoin|dollar|yuan|euro", true},
      // Whole lines that hold a word: a common one, one of few lines, none.
      {"line_common_word", L"^.*market.*$", false, true},
      {"line_rare_word", L"^.*href.*$", false, true},
      {"line_absent_word", L"^.*zebra.*$", false, true},
  };
  return c;
}

// Sentences of common words with dates, prices, links, addresses, the odd
// doubled word and a meta tag near the top, in lines of about 80 characters.
std::wstring make_text(std::size_t size) {
  static const wchar_t *const words[] = {
      L"the",         L"market",  L"price",    L"of",       L"Bitcoin", L"was",      L"rising", L"and",     L"traders",
      L"were",        L"buying",  L"coins",    L"on",       L"every",   L"exchange", L"while",  L"volume",  L"kept",
      L"growing",     L"in",      L"the",      L"morning",  L"report",  L"said",     L"that",   L"orders",  L"for",
      L"dollar",      L"and",     L"yuan",     L"pairs",    L"are",     L"moving",   L"fast",   L"a",       L"chain",
      L"of",          L"blocks",  L"is",       L"being",    L"mined",   L"with",     L"value",  L"to",      L"trade",
      L"euro",        L"holders", L"watching", L"closely",  L"today",   L"it",       L"has",    L"been",    L"an",
      L"interesting", L"day",     L"for",      L"everyone", L"looking", L"at",       L"charts", L"BITCOIN", L"Dollar"};
  std::mt19937 rng(1234567u);
  auto pick = [&](std::size_t n) { return std::size_t(rng() % n); };
  std::wstring t = L"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\"></head>\n";
  std::size_t line = 0;
  while (t.size() < size) {
    std::wstring w;
    switch (pick(40)) {
      case 0:
        w = std::to_wstring(2010 + pick(10)) + L"-0" + std::to_wstring(1 + pick(9)) + L"-" +
            std::to_wstring(10 + pick(18));
        break;
      case 1:
        w = std::to_wstring(100 + pick(9000)) + L"." + std::to_wstring(pick(100));
        break;
      case 2:
        w = std::to_wstring(pick(500));
        break;
      case 3:
        w = L"<a href=\"https://example.com/news/" + std::to_wstring(pick(100000)) + L"\">news</a>";
        break;
      case 4:
        w = L"john.smith" + std::to_wstring(pick(100)) + L"@mail-" + std::to_wstring(pick(10)) + L".example.org";
        break;
      case 5: {
        const std::wstring d = words[pick(sizeof words / sizeof words[0])];
        w = d + L" " + d;
        break;
      }
      default:
        w = words[pick(sizeof words / sizeof words[0])];
        break;
    }
    t += w;
    line += w.size() + 1;
    if (line > 80) {
      t += pick(4) == 0 ? L".\n" : L",\n";
      line = 0;
    } else {
      t += pick(12) == 0 ? L", " : L" ";
    }
  }
  return t;
}

const std::wstring &text() {
  static const std::wstring t = make_text(1u << 20);
  return t;
}

// ---------------------------------------------------------------------------
// This engine: every match, as the HTTP client's detection runs it.

regex::pattern_flags engine_flags(const pattern_case &c) {
  regex::pattern_flags f = regex::ALLMATCHES | regex::KEEPALLGROUPS;
  if (c.caseless) f |= regex::IGNORECASE;
  if (c.multiline) f |= regex::LINEANCHORS;
  return f;
}

void BM_Engine_Search(benchmark::State &state, const pattern_case *c, regex::match_mode mode) {
  const regex::rpattern pat(c->text, engine_flags(*c), mode);
  const std::wstring &subject = text();
  std::size_t records = 0;
  for (auto _ : state) {
    regex::match_results results;
    pat.match(subject, results);
    records = results.m_records.size();
    benchmark::DoNotOptimize(records);
  }
  state.counters["matches"] = double(records) / double(pat.visible_group_count());
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(subject.size() * sizeof(wchar_t)));
}

void BM_Engine_Compile(benchmark::State &state, const pattern_case *c) {
  for (auto _ : state) {
    regex::rpattern pat(c->text, engine_flags(*c), regex::MODE_RECURSIVE);
    benchmark::DoNotOptimize(pat.visible_group_count());
  }
}

// ---------------------------------------------------------------------------
// PCRE2, 32-bit, no UTF: one code unit per character, as wchar_t here.

#ifdef BENCH_HAVE_PCRE2

void BM_Pcre2_Search(benchmark::State &state, const pattern_case *c, bool jit) {
  const pcre2_pattern pat(c->text, c->caseless, jit, c->multiline);
  const std::u32string subject(text().begin(), text().end());
  std::size_t count = 0;
  for (auto _ : state) {
    count = pcre2_all(pat, subject);
    benchmark::DoNotOptimize(count);
  }
  state.counters["matches"] = double(count);
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(subject.size() * sizeof(char32_t)));
}

void BM_Pcre2_Compile(benchmark::State &state, const pattern_case *c) {
  const std::u32string p(c->text.begin(), c->text.end());
  for (auto _ : state) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code *code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(p.data()), p.size(),
                                     (c->caseless ? PCRE2_CASELESS : 0) | (c->multiline ? PCRE2_MULTILINE : 0), &error,
                                     &offset, nullptr);
    benchmark::DoNotOptimize(code);
    pcre2_code_free(code);
  }
}

#endif

// ---------------------------------------------------------------------------
// std::wregex, ECMAScript grammar.

void BM_Wregex_Search(benchmark::State &state, const pattern_case *c) {
  std::regex::flag_type flags = std::regex::ECMAScript;
  if (c->caseless) flags |= std::regex::icase;
  if (c->multiline) flags |= std::regex::multiline;
  const std::wregex re(c->text, flags);
  const std::wstring &subject = text();
  std::size_t count = 0;
  for (auto _ : state) {
    count = 0;
    for (std::wsregex_iterator it(subject.begin(), subject.end(), re), end; it != end; ++it) ++count;
    benchmark::DoNotOptimize(count);
  }
  state.counters["matches"] = double(count);
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(subject.size() * sizeof(wchar_t)));
}

// ---------------------------------------------------------------------------
// The ratio table: median times of each contender over PCRE2's interpreter.

class ratio_reporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &r : runs) {
      if (r.run_type != Run::RT_Aggregate || r.aggregate_name != "median") continue;
      // Names: Search/<case>/<contender>
      const std::string name = r.run_name.function_name;
      const std::size_t a = name.find('/'), b = name.rfind('/');
      if (a == std::string::npos || a == b) continue;
      m_medians[name.substr(0, a)][name.substr(a + 1, b - a - 1)][name.substr(b + 1)] = r.GetAdjustedCPUTime();
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const auto &[kind, rows] : m_medians) {
      std::printf("\n%s: median CPU time / PCRE2 interpreter (medians of the repetitions)\n", kind.c_str());
      std::vector<std::string> columns;
      for (const auto &[row, cols] : rows)
        for (const auto &[col, t] : cols)
          if (std::find(columns.begin(), columns.end(), col) == columns.end()) columns.push_back(col);
      std::printf("%-20s", "pattern");
      for (const std::string &col : columns) std::printf(" %14s", col.c_str());
      std::printf("\n");
      for (const auto &[row, cols] : rows) {
        const auto base = cols.find("pcre2_interp");
        std::printf("%-20s", row.c_str());
        for (const std::string &col : columns) {
          const auto it = cols.find(col);
          if (it == cols.end() || base == cols.end() || base->second <= 0)
            std::printf(" %14s", "-");
          else
            std::printf(" %14.3f", it->second / base->second);
        }
        std::printf("\n");
      }
    }
  }

 private:
  std::map<std::string, std::map<std::string, std::map<std::string, double>>> m_medians;
};

// ---------------------------------------------------------------------------
// Hostile inputs: nested quantifiers over 100 characters they cannot match
// (the failure memo and the required literal answer them), and the charset
// detection over a 1 MiB page of "<meta" without "charset=".

void BM_Hostile(benchmark::State &state, std::wstring pattern, std::wstring subject, regex::match_mode mode) {
  const regex::rpattern pat(pattern, regex::NOFLAGS, mode);
  for (auto _ : state) {
    regex::match_results results;
    benchmark::DoNotOptimize(pat.match(subject, results).matched);
  }
}

void BM_DetectHostile(benchmark::State &state, std::string body) {
  const CString headers(L"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n");
  for (auto _ : state) benchmark::DoNotOptimize(pcutil::DetectCharsetName(headers, body).GetLength());
}

void register_hostile() {
  const std::wstring as(100, L'a');
  const struct {
    const char *name;
    const wchar_t *pattern;
    std::wstring subject;
  } forms[] = {
      {"a_plus_star_b", L"(a+)*b", as},
      {"a_or_empty_digit", L"(a|)*\\d", as},
      {"a_or_empty_digit_nocap", L"(?:a|)*\\d", as},
      {"dot_x_plus_plus_x", L".X(.+)+X", L"bX" + std::wstring(98, L'x')},
      {"a_star_star_baa", L"(?:a*)*-baa", as},
  };
  for (const auto &f : forms) {
    benchmark::RegisterBenchmark((std::string("Hostile/") + f.name + "/recursive").c_str(), BM_Hostile, f.pattern,
                                 f.subject, regex::MODE_RECURSIVE)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((std::string("Hostile/") + f.name + "/iterative").c_str(), BM_Hostile, f.pattern,
                                 f.subject, regex::MODE_ITERATIVE)
        ->Unit(benchmark::kMicrosecond);
  }
  std::string meta;
  while (meta.size() < (1u << 20)) meta += "<meta";
  benchmark::RegisterBenchmark("Detect/meta_1MiB_no_charset", BM_DetectHostile, meta)->Unit(benchmark::kMillisecond);
}

void register_all() {
  register_hostile();
  for (const pattern_case &c : cases()) {
    const std::string s = std::string("Search/") + c.name + "/";
    benchmark::RegisterBenchmark((s + "engine_recursive").c_str(), BM_Engine_Search, &c, regex::MODE_RECURSIVE)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((s + "engine_iterative").c_str(), BM_Engine_Search, &c, regex::MODE_ITERATIVE)
        ->Unit(benchmark::kMicrosecond);
#ifdef BENCH_HAVE_PCRE2
    benchmark::RegisterBenchmark((s + "pcre2_interp").c_str(), BM_Pcre2_Search, &c, false)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((s + "pcre2_jit").c_str(), BM_Pcre2_Search, &c, true)->Unit(benchmark::kMicrosecond);
#endif
    benchmark::RegisterBenchmark((s + "std_wregex").c_str(), BM_Wregex_Search, &c)->Unit(benchmark::kMicrosecond);
  }
  for (const pattern_case &c : cases()) {
    const std::string s = std::string("Compile/") + c.name + "/";
    benchmark::RegisterBenchmark((s + "engine").c_str(), BM_Engine_Compile, &c);
#ifdef BENCH_HAVE_PCRE2
    benchmark::RegisterBenchmark((s + "pcre2_interp").c_str(), BM_Pcre2_Compile, &c);
#endif
  }
}

}  // namespace

int main(int argc, char **argv) {
  register_all();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  ratio_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
