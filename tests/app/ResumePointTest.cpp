#include "ResumePoint.h"

#include <gtest/gtest.h>

namespace {

TEST(ResumePoint, AFileIsSentUnlessCompleteAndRecordedOnce) {
  struct Case {
    const char* what;
    uint64_t local;
    int64_t remote;
    bool logged;
    TResumeStep step;
  };
  const Case cases[] = {
      {"complete and logged", 1000, 1000, true, {false, false}},
      {"complete, its record failed", 1000, 1000, false, {false, true}},
      {"cut short on the server", 1000, 500, false, {true, true}},
      {"missing on the server", 1000, -1, false, {true, true}},
      {"logged, but gone from the server", 1000, -1, true, {true, false}},
      {"an empty file", 0, 0, false, {false, true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ResumeStepFor(c.local, c.remote, c.logged), c.step);
  }
}

} // namespace
