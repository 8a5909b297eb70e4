// PCRE2 beside the engine in the regex benchmarks: 32-bit code units without
// UTF (one unit per character, as wchar_t here), a compiled pattern with its
// match data, and the all-matches loop with the engine's empty-match rule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#if __has_include(<pcre2.h>)
#define PCRE2_CODE_UNIT_WIDTH 32
#include <pcre2.h>
#define BENCH_HAVE_PCRE2 1
#endif

#ifdef BENCH_HAVE_PCRE2

struct pcre2_pattern {
  pcre2_code *code = nullptr;
  pcre2_match_data *data = nullptr;
  pcre2_pattern(const std::wstring &pattern, bool caseless, bool jit = false, bool multiline = false) {
    const std::u32string text(pattern.begin(), pattern.end());
    int error = 0;
    PCRE2_SIZE offset = 0;
    code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(),
                         (caseless ? PCRE2_CASELESS : 0) | (multiline ? PCRE2_MULTILINE : 0), &error, &offset, nullptr);
    if (jit) pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
    data = pcre2_match_data_create_from_pattern(code, nullptr);
  }
  ~pcre2_pattern() {
    pcre2_match_data_free(data);
    pcre2_code_free(code);
  }
  pcre2_pattern(const pcre2_pattern &) = delete;
  pcre2_pattern &operator=(const pcre2_pattern &) = delete;
};

// Every match, as the engine's ALLMATCHES loop finds them.
inline std::size_t pcre2_all(const pcre2_pattern &pat, const std::u32string &subject) {
  std::size_t count = 0;
  PCRE2_SIZE start = 0;
  std::uint32_t options = 0;
  while (start <= subject.size()) {
    const int rc = pcre2_match(pat.code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), start, options,
                               pat.data, nullptr);
    if (rc < 0) {
      // After an empty match the retry at the same place failed: move on.
      if (!options) break;
      options = 0;
      ++start;
      continue;
    }
    ++count;
    const PCRE2_SIZE *ov = pcre2_get_ovector_pointer(pat.data);
    options = ov[0] == ov[1] ? PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED : 0;
    start = ov[1];
  }
  return count;
}

#endif
