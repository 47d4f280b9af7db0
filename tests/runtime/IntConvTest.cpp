#include "IntConv.h"

#include "Exception.h"

#include <gtest/gtest.h>

namespace {

struct Good {
  const char* text;
  int32_t value;
};

TEST(IntConv, AcceptsTheRuntimeSyntax) {
  const Good cases[] = {
      {"0", 0},
      {"42", 42},
      {"   42", 42},
      {"+7", 7},
      {"-7", -7},
      {"010", 10},
      {"$1F", 31},
      {"0x1f", 31},
      {"0X10", 16},
      {"-$10", -16},
      {"$FFFFFFFF", -1},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"00000000000000000000255", 255},
  };
  for (const Good& c : cases) {
    int32_t value = 12345;
    EXPECT_TRUE(TryStrToInt(c.text, value)) << "input: '" << c.text << "'";
    EXPECT_EQ(value, c.value) << "input: '" << c.text << "'";
  }
}

TEST(IntConv, RefusesEverythingElse) {
  const char* cases[] = {"",           " ",   "-",    "$",   "0x",         "12 ",
                         "1 2",        "4.5", "abc",  "\t1", "2147483648", "-2147483649",
                         "$1FFFFFFFF", "1e3", "0x1g", "++1", "12x"};
  for (const char* text : cases) {
    int32_t value = 0;
    EXPECT_FALSE(TryStrToInt(text, value)) << "input: '" << text << "'";
  }
}

TEST(IntConv, StrToIntNamesTheTextInItsError) {
  try {
    StrToInt("12 x");
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "'12 x' ist kein gültiger Integerwert");
  }
  EXPECT_EQ(StrToInt(" -12"), -12);
}

} // namespace
