#include "ScopeGuard.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace {

TEST(ScopeGuard, RunsOnEveryWayOutAndKeepsTheFirstFailure) {
  int runs = 0;
  { TScopeGuard count([&] { ++runs; }); }
  EXPECT_EQ(runs, 1);

  // A failing step on the normal way out is reported like any statement.
  EXPECT_THROW({ TScopeGuard fail([] { throw std::runtime_error("step"); }); },
               std::runtime_error);

  // While a failure unwinds, the step's own is dropped and the first one arrives.
  try {
    TScopeGuard fail([&] {
      ++runs;
      throw std::logic_error("step");
    });
    throw std::runtime_error("first");
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "first");
  }
  EXPECT_EQ(runs, 2);
}

} // namespace
