// Substitution and split over subjects of growing size: every match
// replaced (with and without kept group records) and every separator cut.
// The time per character should stay flat as the subject grows, since the
// new subject is built in one pass.
// Run: bench_regex_subst
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "utils/regex/regex.h"

namespace {

// Rows of "name=value;" pairs.
std::wstring make_subject(std::size_t rows) {
  std::wstring s;
  for (std::size_t i = 0; i < rows; ++i) s += L"key" + std::to_wstring(i) + L"=" + std::to_wstring(i * 7) + L";";
  return s;
}

void Substitute(benchmark::State &state, const std::wstring &tmpl, regex::pattern_flags extra) {
  const std::wstring subject = make_subject(std::size_t(state.range(0)));
  const regex::rpattern pat(L"(\\w+)=(\\d+)", tmpl, regex::ALLMATCHES | extra, regex::MODE_RECURSIVE);
  for (auto _ : state) {
    std::wstring s = subject;
    regex::subst_results results;
    benchmark::DoNotOptimize(pat.substitute(s, results));
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(subject.size()));
}

// Group references keep the records and match over a copy of the subject.
void SubstituteKeepingRecords(benchmark::State &state) { Substitute(state, L"$2:\\U$1", regex::NOFLAGS); }
// No group reference and DISCARDGROUPS: no copy, no records.
void SubstituteDiscardingGroups(benchmark::State &state) { Substitute(state, L"-", regex::DISCARDGROUPS); }

void Split(benchmark::State &state) {
  const std::wstring subject = make_subject(std::size_t(state.range(0)));
  const regex::rpattern pat(L"[=;]", regex::NOFLAGS, regex::MODE_RECURSIVE);
  std::vector<std::wstring> pieces;
  for (auto _ : state) benchmark::DoNotOptimize(pat.split(subject, pieces, 0));
  state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(subject.size()));
}

BENCHMARK(SubstituteKeepingRecords)->Range(16, 16384);
BENCHMARK(SubstituteDiscardingGroups)->Range(16, 16384);
BENCHMARK(Split)->Range(16, 16384);

}  // namespace

BENCHMARK_MAIN();
