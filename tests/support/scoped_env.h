// Sets or removes environment variables for an object's life and restores
// what was there before (a value or its absence) afterwards.
#pragma once

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// One variable: set to `value`, or removed when it is nullopt.
class ScopedEnv {
 public:
  ScopedEnv(const char *name, const std::optional<std::string> &value) : name_(name) {
    if (const char *old = std::getenv(name)) old_ = old;
    if (value)
      setenv(name, value->c_str(), 1);
    else
      unsetenv(name);
  }
  ScopedEnv(const char *name, const std::string &value) : ScopedEnv(name, std::optional<std::string>(value)) {}
  ScopedEnv(const char *name, const char *value)
      : ScopedEnv(name, value ? std::optional<std::string>(value) : std::nullopt) {}
  ~ScopedEnv() {
    if (old_) {
      setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }
  ScopedEnv(const ScopedEnv &) = delete;
  ScopedEnv &operator=(const ScopedEnv &) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Several changes, undone in reverse order, so a variable changed twice gets
// its first value back.
class ScopedEnvSet {
 public:
  ScopedEnvSet() = default;
  ~ScopedEnvSet() {
    while (!changes_.empty()) changes_.pop_back();
  }
  ScopedEnvSet(const ScopedEnvSet &) = delete;
  ScopedEnvSet &operator=(const ScopedEnvSet &) = delete;
  // Sets `name` to `value`; a null value removes it.
  void Set(const char *name, const char *value) { changes_.push_back(std::make_unique<ScopedEnv>(name, value)); }

 private:
  std::vector<std::unique_ptr<ScopedEnv>> changes_;
};

}  // namespace testsupport
