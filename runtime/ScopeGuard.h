#pragma once

#include <exception>
#include <utility>

// Runs a clean-up step on every way out of a scope: the program's one scope guard.
//
// On the normal way out a step that fails reports its failure like any other statement
// (a work-end handler may refuse, and the caller must hear of it). While another failure
// is unwinding, the step's own is dropped: two at once would end the program, and the
// first is the one that tells what went wrong.
template <class Step> class TScopeGuard {
 public:
  explicit TScopeGuard(Step step) : FStep(std::move(step)) {}
  ~TScopeGuard() noexcept(false) {
    if (std::uncaught_exceptions() > FUncaught) {
      try {
        FStep();
      } catch (...) {
      }
    } else {
      FStep();
    }
  }
  TScopeGuard(const TScopeGuard&) = delete;
  TScopeGuard& operator=(const TScopeGuard&) = delete;

 private:
  Step FStep;
  int FUncaught = std::uncaught_exceptions();
};
