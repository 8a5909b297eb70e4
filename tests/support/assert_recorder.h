// Records the debug assertions (ASSERT, VERIFY, ATLASSERT) reported while it
// lives and keeps them off stderr; the handler that was installed before is
// put back when it ends. Recorders nest: the innermost one records.
#pragma once

#include <string>
#include <vector>

#include "platform/text/debug.h"

namespace testsupport {

class AssertRecorder {
 public:
  AssertRecorder() : outer_(active()), old_(platform::SetAssertHandler(&Record)) { active() = this; }
  ~AssertRecorder() {
    platform::SetAssertHandler(old_);
    active() = outer_;
  }
  AssertRecorder(const AssertRecorder &) = delete;
  AssertRecorder &operator=(const AssertRecorder &) = delete;

  // How many were reported, and the condition text of each, in order.
  int count() const { return static_cast<int>(conditions_.size()); }
  const std::vector<std::string> &conditions() const { return conditions_; }
  void Clear() { conditions_.clear(); }

 private:
  static AssertRecorder *&active() {
    static AssertRecorder *recorder = nullptr;
    return recorder;
  }
  static void Record(const char *, int, const char *condition) {
    if (active()) active()->conditions_.emplace_back(condition ? condition : "");
  }

  AssertRecorder *outer_;
  platform::AssertHandler old_;
  std::vector<std::string> conditions_;
};

}  // namespace testsupport
