#pragma once

namespace ger {

// Sets a flag for the lifetime of a scope and gives it back its earlier value, so that a handler
// can tell the steps it causes itself from the user's (nested scopes stay set until the outermost
// one ends).
class ScopedFlag {
 public:
  explicit ScopedFlag(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
  ~ScopedFlag() { flag_ = old_; }
  ScopedFlag(const ScopedFlag&) = delete;
  ScopedFlag& operator=(const ScopedFlag&) = delete;

 private:
  bool& flag_;
  bool old_;
};

}  // namespace ger
