#pragma once

#include "DateTimeText.h"
#include "TestFiles.h"

#include <clocale>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <string>
#include <unistd.h>

// A fresh folder under the system's temp folder, removed with everything in it.
class TTempDir {
 public:
  explicit TTempDir(const std::string& prefix) {
    static int counter = 0;
    FPath = std::filesystem::temp_directory_path() /
            (prefix + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    std::filesystem::remove_all(FPath);
    std::filesystem::create_directories(FPath);
  }
  ~TTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
  }
  const std::filesystem::path& Path() const { return FPath; }

 private:
  std::filesystem::path FPath;
};

inline std::string ReadFile(const std::filesystem::path& path) {
  return ReadFileBytes(path);
}

// Pins the date and time texts to the German form for one test; tells whether the locale
// is there (scripts/install-deps generates it).
class TGermanTime {
 public:
  TGermanTime() : FPrevious(std::setlocale(LC_TIME, nullptr)) {
    FAvailable = std::setlocale(LC_TIME, "de_DE.UTF-8") != nullptr;
  }
  ~TGermanTime() { std::setlocale(LC_TIME, FPrevious.c_str()); }
  bool Available() const { return FAvailable; }

 private:
  std::string FPrevious;
  bool FAvailable = false;
};

// Runs write and checks that it appended exactly record(date-time) to file. The date-time
// is read from the clock during the call, which may tick meanwhile: the texts read just
// before and just after it are both accepted.
template <class Write, class Record>
void ExpectAppends(const std::filesystem::path& file, const TGermanTime& time, Write write,
                   Record record) {
  const std::string before = std::filesystem::exists(file) ? ReadFile(file) : std::string();
  const std::string earliest = NowText();
  write();
  const std::string latest = NowText();
  const std::string after = ReadFile(file);
  ASSERT_EQ(after.compare(0, before.size(), before), 0) << "earlier content changed";
  const std::string added = after.substr(before.size());
  EXPECT_TRUE(added == record(earliest) || added == record(latest))
      << "appended: " << testing::PrintToString(added)
      << "\nexpected: " << testing::PrintToString(record(latest));
  // Without the locale the records are still checked, but not their German form: the
  // test says so instead of passing as if it had been.
  if (!time.Available())
    GTEST_SKIP() << "no German locale (de_DE.UTF-8; scripts/install-deps generates it): "
                    "the German date-time is not checked";
  static const std::regex germanDateTime(R"(^(\r\n)?\d\d\.\d\d\.\d{4}( \d\d:\d\d:\d\d)?\t)");
  EXPECT_TRUE(std::regex_search(added, germanDateTime))
      << "no German date-time in front: " << testing::PrintToString(added);
}
