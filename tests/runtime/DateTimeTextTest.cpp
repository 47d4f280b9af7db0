#include "DateTimeText.h"

#include <clocale>
#include <ctime>
#include <gtest/gtest.h>

namespace {

class DateTimeText : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::setlocale(LC_TIME, "de_DE.UTF-8") == nullptr)
      GTEST_SKIP() << "German locale not installed (scripts/install-deps generates it)";
  }
  void TearDown() override { std::setlocale(LC_TIME, "C"); }

  static std::tm At(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
  }
};

TEST_F(DateTimeText, ShortDateBlankLongTime) {
  EXPECT_EQ(DateTimeToStr(At(2026, 12, 7, 14, 5, 9)), "07.12.2026 14:05:09");
  EXPECT_EQ(DateTimeToStr(At(2027, 1, 5, 9, 3, 0)), "05.01.2027 09:03:00");
}

TEST_F(DateTimeText, MidnightShowsTheDateOnly) {
  EXPECT_EQ(DateTimeToStr(At(2026, 12, 7, 0, 0, 0)), "07.12.2026");
  EXPECT_EQ(DateTimeToStr(At(2026, 12, 7, 0, 0, 1)), "07.12.2026 00:00:01");
}

// The text of the current second is kept, but a change of locale within that second
// shows at once: the trace and the log follow a locale set while the program runs.
TEST_F(DateTimeText, NowFollowsTheLocaleWithinTheSameSecond) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    const std::time_t second = std::time(nullptr);
    const std::string german = NowText();
    std::setlocale(LC_TIME, "C");
    const std::string plain = NowText();
    std::setlocale(LC_TIME, "de_DE.UTF-8");
    const std::string againGerman = NowText();
    if (std::time(nullptr) != second) continue; // the clock ticked in between: once more
    std::tm local{};
    localtime_r(&second, &local);
    EXPECT_EQ(german, DateTimeToStr(local));
    EXPECT_EQ(againGerman, german);
    std::setlocale(LC_TIME, "C");
    EXPECT_EQ(plain, DateTimeToStr(local));
    EXPECT_NE(plain, german);
    return;
  }
  GTEST_SKIP() << "the clock ticked during every attempt";
}

} // namespace
