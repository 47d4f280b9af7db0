#pragma once

#include <utility>

// Runs a clean-up step on every way out of a scope, as the window's actions need after
// their guarded sections. The step must not fail; if it throws anyway, that is dropped
// rather than allowed to end the program while another exception unwinds.
template <class Step> class TScopeExit {
 public:
  explicit TScopeExit(Step step) : FStep(std::move(step)) {}
  ~TScopeExit() {
    try {
      FStep();
    } catch (...) {
    }
  }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  Step FStep;
};
