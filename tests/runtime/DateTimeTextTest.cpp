#include "DateTimeText.h"

#include <clocale>
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

} // namespace
