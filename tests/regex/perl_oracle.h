// Asks the system's perl (tests/regex/perl_oracle.pl) what s/// and split
// give, for ASCII cases. All requests of a test go to one perl run.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "regex_run.h"

namespace regex_test {

inline std::string narrow(const std::wstring &w) {
  std::string s;
  for (wchar_t c : w) {
    if (c < 0x20 || c > 0x7e) throw std::invalid_argument("perl oracle: printable ASCII only");
    s += char(c);
  }
  return s;
}

inline std::wstring widen(const std::string &s) { return std::wstring(s.begin(), s.end()); }

// Runs perl over the request lines and returns one answer line per request.
inline std::vector<std::string> ask_perl(const std::vector<std::string> &requests) {
  char dir_template[] = "/tmp/tickora-perl-XXXXXX";
  const char *dir = mkdtemp(dir_template);
  if (!dir) throw std::runtime_error("perl oracle: no temporary folder");
  const std::string in = std::string(dir) + "/in", out = std::string(dir) + "/out";
  {
    std::ofstream f(in);
    for (const std::string &r : requests) f << r << '\n';
  }
  const std::string cmd = "perl " + std::string(TICKORA_SOURCE_DIR) + "/tests/regex/perl_oracle.pl <" + in + " >" + out;
  const int rc = std::system(cmd.c_str());
  std::vector<std::string> answers;
  std::ifstream f(out);
  for (std::string line; std::getline(f, line);) answers.push_back(line);
  std::remove(in.c_str());
  std::remove(out.c_str());
  rmdir(dir);
  if (rc != 0 || answers.size() != requests.size()) throw std::runtime_error("perl oracle failed");
  return answers;
}

// Request for s/pattern/tmpl/flags over subject; flags of "g" and "i".
inline std::string subst_request(const std::wstring &pattern, const std::wstring &tmpl, const std::wstring &subject,
                                 const std::string &flags) {
  return "s\t" + flags + "\t" + narrow(pattern) + "\t" + narrow(tmpl) + "\t" + narrow(subject);
}

inline std::string split_request(const std::wstring &pattern, const std::wstring &subject, int limit) {
  return "split\t" + std::to_string(limit) + "\t" + narrow(pattern) + "\t" + narrow(subject);
}

// Any text, as code points in hex joined by dots.
inline std::string hex_text(const std::wstring &w) {
  std::string out;
  char buf[16];
  for (wchar_t c : w) {
    std::snprintf(buf, sizeof buf, "%s%x", out.empty() ? "" : ".", unsigned(c));
    out += buf;
  }
  return out;
}

// Requests for Perl's first match (m) and every match (g) of a pattern;
// flags are inline letters of i, m, s, x.
inline std::string match_request(const std::wstring &pattern, const std::wstring &subject, const std::string &flags) {
  return "m\t" + flags + "\t" + hex_text(pattern) + "\t" + hex_text(subject);
}
inline std::string global_request(const std::wstring &pattern, const std::wstring &subject, const std::string &flags) {
  return "g\t" + flags + "\t" + hex_text(pattern) + "\t" + hex_text(subject);
}

// Perl refused the pattern.
inline bool perl_refused(const std::string &answer) { return answer == "E"; }

// The groups of Perl's first match (empty: no match).
inline match_spans perl_spans(const std::string &answer) {
  match_spans out;
  std::stringstream ss(answer);
  std::string item;
  ss >> item;
  if (item != "1") return out;
  while (ss >> item) {
    span s;
    if (item != "x") std::sscanf(item.c_str(), "%ld,%ld", &s.begin, &s.end);
    out.push_back(s);
  }
  return out;
}

// The whole matches of Perl's global match.
inline std::vector<span> perl_all_matches(const std::string &answer) {
  std::vector<span> out;
  std::stringstream ss(answer);
  std::size_t count = 0;
  ss >> count;
  std::string item;
  while (ss >> item) {
    span s;
    std::sscanf(item.c_str(), "%ld,%ld", &s.begin, &s.end);
    out.push_back(s);
  }
  return out;
}

// Perl's split answer as its fields ("<undef>" for an undefined one).
inline std::vector<std::wstring> split_fields(const std::string &answer) {
  std::vector<std::wstring> fields;
  std::stringstream ss(answer);
  std::string field;
  std::getline(ss, field, '\x1f');  // the count
  const std::size_t count = std::stoul(field);
  while (fields.size() < count) {
    field.clear();
    std::getline(ss, field, '\x1f');
    fields.push_back(widen(field));
  }
  return fields;
}

}  // namespace regex_test
