#include "TransferRules.h"

#include "ProgressScale.h"
#include "ScopeGuard.h"
#include "TransferRun.h"
#include "TransferSpeed.h"

#include <clocale>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using std::chrono::milliseconds;

TEST(TransferRules, ZeroPad2AndTheDatedFolderName) {
  EXPECT_EQ(ZeroPad2(7), "07");
  EXPECT_EQ(ZeroPad2(0), "00");
  EXPECT_EQ(ZeroPad2(12), "12");
  EXPECT_EQ(ZeroPad2(123), "123");
  EXPECT_EQ(DatedFolderName(2026, 12, 7, 14, 5), "20261207-1405");
  EXPECT_EQ(DatedFolderName(2027, 1, 5, 9, 3), "20270105-0903");
}

TEST(TransferRules, WhatTheFolderUploadLeavesOut) {
  const std::pair<const char*, bool> cases[] = {
      {"a.jpg", false},     {"Thumbs.db", true},    {"THUMBS.DB", true},   {"thumbs.db.jpg", false},
      {"b.JPG.send", true}, {"c.send.jpg", false},  {"x.Send", true},      {".send", true},
      {"send", false},      {"Übung 1.jpg", false}, {"thumbs.db ", false},
  };
  for (const auto& [name, skipped] : cases)
    EXPECT_EQ(SkippedByFolderUpload(name), skipped) << name;
}

// What a folder upload sends, whatever order the files were written in: by name, byte by
// byte, with their sizes; skipped names, subfolders, FIFOs and dangling links left out, and
// a link to a file taken as that file.
TEST(TransferRules, TheFolderUploadSendsByName) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / ("lf-byname-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder / "unter");
  const TScopeGuard removeFolder([&] { fs::remove_all(folder); });
  for (const char* name : {"Übung 1.jpg", "b.jpg", "Thumbs.db", "a.jpg", "c.SEND", "B.jpg"})
    std::ofstream(folder / name) << name;
  fs::create_symlink("Übung 1.jpg", folder / "verweis.jpg");
  fs::create_symlink("fehlt.jpg", folder / "weg.jpg");
  ASSERT_EQ(::mkfifo((folder / "rohr.jpg").c_str(), 0600), 0);
  std::vector<std::pair<std::string, uint64_t>> sent;
  for (const TFolderEntry& file : FilesToUpload(folder.string() + "/"))
    sent.emplace_back(file.Name, file.Size);
  const std::vector<std::pair<std::string, uint64_t>> expected = {
      {"B.jpg", 5}, {"a.jpg", 5}, {"b.jpg", 5}, {"verweis.jpg", 12}, {"Übung 1.jpg", 12}};
  EXPECT_EQ(sent, expected);
}

// Records are written a few files at a time: one failure can leave several files unlogged,
// and the box names every one of them.
TEST(TransferRun, FilesMovedButNotLoggedAreAllNamed) {
  using TNames = std::vector<std::string>;
  const std::pair<TNames, const char*> cases[] = {
      {{"a.jpg"}, "a.jpg ist"},
      {{"a.jpg", "b.jpg"}, "a.jpg und b.jpg sind"},
      {{"a.jpg", "b.jpg", "c.jpg"}, "a.jpg, b.jpg und c.jpg sind"},
  };
  TTransferRun run(TTransferRun::TDirection::Upload, 10, 4);
  for (const auto& [names, start] : cases)
    EXPECT_EQ(run.LogFailedAfter(names, "/p/l.log", "Kein Platz"),
              std::string(start) +
                  " auf dem Server, aber nicht im Aktivitätsprotokoll; 4 von 10 Dateien sind auf "
                  "dem Server.\nDas Aktivitätsprotokoll /p/l.log kann nicht geschrieben werden: "
                  "Kein Platz");
}

TEST(TransferRules, SeparatorsAndPlainFileNames) {
  EXPECT_EQ(WithTrailingSeparator("/home/anna/Fotos"), "/home/anna/Fotos/");
  EXPECT_EQ(WithTrailingSeparator("/"), "/");
  EXPECT_EQ(WithTrailingSeparator(""), "");
  const std::pair<std::string, bool> cases[] = {
      {"b.jpg", true},   {"Übung 1.jpg", true}, {".hidden", true}, {"..x", true},
      {"", false},       {".", false},          {"..", false},     {"../x", false},
      {"/etc/x", false}, {"a/b", false},        {"a\tb", false},   {std::string("a\0b", 3), false},
      {"a\x7f", false},
  };
  for (const auto& [name, plain] : cases)
    EXPECT_EQ(IsPlainFileName(name), plain) << testing::PrintToString(name);
}

TEST(TransferSpeed, SecondsAsTheSpeedCountsThem) {
  const std::pair<milliseconds, double> cases[] = {
      {milliseconds(0), 0.0},
      {milliseconds(500), 0.5},
      {milliseconds(61250), 61.25},
      {milliseconds(65535000), 65535.0},
      {milliseconds(65536000), 0.0},        // 16-bit whole seconds wrap
      {milliseconds(86400000 + 2000), 2.0}, // whole days are dropped
      {milliseconds(-5000), 0.0},           // the clock was set back
  };
  for (const auto& [elapsed, seconds] : cases)
    EXPECT_DOUBLE_EQ(TransferSeconds(elapsed), seconds) << elapsed.count();
}

TEST(TransferSpeed, RateFromTheWholeCount) {
  struct Case {
    const char* what;
    double rate; // before
    uint64_t bytes;
    milliseconds elapsed;
    double expected;
  };
  const Case cases[] = {
      {"2048 bytes in half a second", 0, 2048, milliseconds(500), 4.0},
      {"the begin's millisecond keeps the rate", 7.5, 2048, milliseconds(0), 7.5},
      {"past 2 GiB, where the 32-bit count turns negative", 0, 3ull << 30, milliseconds(1000),
       3145728.0},
      {"past 4 GiB, where it wraps to small", 0, (4ull << 30) + 2048, milliseconds(2000),
       2097153.0},
      {"whole days are not counted", 0, 4096, milliseconds(86400000 + 2000), 2.0},
      {"wrapped 16-bit seconds keep the rate", 9.0, 1, milliseconds(65536000), 9.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_DOUBLE_EQ(UpdatedTransferRate(c.rate, c.bytes, c.elapsed), c.expected);
  }
}

TEST(TransferSpeed, TextFollowsTheLocalesDecimalSeparator) {
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  TScopeGuard restore([&] { std::setlocale(LC_NUMERIC, previous.c_str()); });
  ASSERT_NE(std::setlocale(LC_NUMERIC, "C"), nullptr);
  EXPECT_EQ(SpeedText(2048 / 1024.0 / 0.5), "4.00 KB/s");
  EXPECT_EQ(SpeedText(0), "0.00 KB/s");
  EXPECT_EQ(SpeedText(1234.567), "1234.57 KB/s");
  EXPECT_EQ(SpeedText(3145728), "3145728.00 KB/s");
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr)
    GTEST_SKIP() << "no German locale (de_DE.UTF-8; scripts/install-deps generates it): "
                    "the decimal comma is not checked";
  EXPECT_EQ(SpeedText(4), "4,00 KB/s");
}

TEST(ProgressScale, FollowsWrappingCountsAndEndsFull) {
  TProgressScale scale;
  scale.Begin(10000);
  EXPECT_EQ(scale.Maximum(), 10000);
  scale.Advance(4000);
  EXPECT_EQ(scale.Position(), 4000);
  scale.Advance(12000); // more than announced: a full bar
  EXPECT_EQ(scale.Position(), 10000);

  scale.Begin(0);
  EXPECT_EQ(scale.Maximum(), 0) << "unknown size: busy";

  // 5 GiB in 32 KiB blocks, as the wrapping 32-bit running totals report them.
  const uint64_t size = 5ull << 30;
  scale.Begin(size);
  ASSERT_GT(scale.Maximum(), 0);
  int32_t last = 0;
  uint64_t moved = 0;
  int32_t previousPosition = 0;
  for (int step = 0; moved < size; ++step) {
    moved += 32768;
    scale.Advance(static_cast<int32_t>(static_cast<uint32_t>(moved)));
    if (step % 4096 == 0) {
      EXPECT_GE(scale.Position(), previousPosition) << "at " << moved;
      previousPosition = scale.Position();
    }
    last = scale.Position();
  }
  EXPECT_EQ(scale.Total(), size);
  EXPECT_EQ(last, scale.Maximum());
}

} // namespace
