#include "ActivityLog.h"

#include "FileLimits.h"
#include "InOutError.h"
#include "TestSupport.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// --- Record texts with a fixed date-time ------------------------------------------------

const std::string When = "07.12.2026 14:05:09";

TEST(ActivityRecord, StartAndCloseArePrecededByAnEmptyLine) {
  EXPECT_EQ(ActivityRecord::Start(When), "\r\n07.12.2026 14:05:09\tExecute\r\n");
  EXPECT_EQ(ActivityRecord::Close(When), "\r\n07.12.2026 14:05:09\tClose\r\n");
  EXPECT_EQ(ActivityRecord::Start("07.12.2026"), "\r\n07.12.2026\tExecute\r\n");
}

TEST(ActivityRecord, UploadSizeIsSigned) {
  struct Case {
    std::int32_t size;
    const char* text;
  };
  const Case cases[] = {
      {1536, "1536"},
      {0, "0"},
      {-1, "-1"},
      {std::numeric_limits<std::int32_t>::max(), "2147483647"},
      {std::numeric_limits<std::int32_t>::min(), "-2147483648"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    EXPECT_EQ(ActivityRecord::Upload(When, "bild01.jpg", c.size),
              When + "\tUpload\tbild01.jpg\t" + c.text + "\tFALSE\r\n");
  }
}

TEST(ActivityRecord, DownloadSizeIsUnsigned) {
  struct Case {
    std::uint32_t size;
    const char* text;
  };
  const Case cases[] = {
      {2048, "2048"},
      {0, "0"},
      {static_cast<std::uint32_t>(-1), "4294967295"}, // the size query's "unknown"
      {2147483648u, "2147483648"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    EXPECT_EQ(ActivityRecord::Download(When, "liste.txt", c.size),
              When + "\tDownload\tliste.txt\t" + c.text + "\tFALSE\r\n");
  }
}

TEST(ActivityRecord, NamesAreWrittenAsTheyAre) {
  EXPECT_EQ(ActivityRecord::Upload(When, "Urlaub 2026 Ü.jpg", 1),
            When + "\tUpload\tUrlaub 2026 Ü.jpg\t1\tFALSE\r\n");
}

// --- The file -----------------------------------------------------------------------------

// One upload record written on its own.
bool WriteUpload(TActivityLog& log, const std::string& name, std::int32_t size,
                 std::size_t roomAfter = 0) {
  log.HoldUpload(name, size);
  return log.WriteHeld(roomAfter);
}

// The names of the upload records in text, in order, separated by blanks.
std::string UploadNames(const std::string& text) {
  std::istringstream lines(text);
  std::string names;
  for (std::string line; std::getline(lines, line);) {
    const size_t kind = line.find("\tUpload\t");
    if (kind == std::string::npos) continue;
    const size_t name = kind + 8;
    names += (names.empty() ? "" : " ") + line.substr(name, line.find('\t', name) - name);
  }
  return names;
}

class ActivityLogFile : public ::testing::Test {
 protected:
  TTempDir temp{"lf-activity"};
  const fs::path dir = temp.Path();
  TGermanTime time;
};

TEST_F(ActivityLogFile, StartCreatesTheFileAndAppendsToAnExistingOne) {
  const fs::path file = dir / "lichtfracht.log";
  const TActivityLog log(file.string());
  ExpectAppends(
      file, time, [&] { log.WriteStart(); }, ActivityRecord::Start);
  ExpectAppends(
      file, time, [&] { log.WriteStart(); }, ActivityRecord::Start);
  EXPECT_EQ(ReadFile(file).substr(0, 2), "\r\n");
}

TEST_F(ActivityLogFile, ARunLeavesStartTransfersAndClose) {
  const fs::path file = dir / "lichtfracht.log";
  TActivityLog log(file.string());
  ExpectAppends(
      file, time, [&] { log.WriteStart(); }, ActivityRecord::Start);
  for (const char* name : {"a.jpg", "c.send.jpg", "d.png"})
    ExpectAppends(
        file, time, [&] { WriteUpload(log, name, 1536); },
        [&](const std::string& t) { return ActivityRecord::Upload(t, name, 1536); });
  ExpectAppends(
      file, time, [&] { log.WriteDownload("liste.txt", static_cast<std::uint32_t>(-1)); },
      [](const std::string& t) { return t + "\tDownload\tliste.txt\t4294967295\tFALSE\r\n"; });
  ExpectAppends(
      file, time, [&] { log.WriteClose(); }, ActivityRecord::Close);

  // Empty lines only in front of start and close.
  std::istringstream lines(ReadFile(file));
  std::vector<std::string> kinds;
  for (std::string line; std::getline(lines, line);) {
    ASSERT_FALSE(line.empty()) << "line without CR";
    ASSERT_EQ(line.back(), '\r');
    line.pop_back();
    kinds.push_back(line.empty() ? "" : line.substr(line.find('\t') + 1, 5));
  }
  const std::vector<std::string> expected = {"",      "Execu", "Uploa", "Uploa",
                                             "Uploa", "Downl", "",      "Close"};
  EXPECT_EQ(kinds, expected);
}

TEST_F(ActivityLogFile, AppendingNeverCreatesTheFile) {
  const fs::path file = dir / "geloescht.log";
  TActivityLog log(file.string());
  const std::function<void()> appends[] = {
      [&] { log.WriteClose(); },
      [&] { WriteUpload(log, "a.jpg", 1); },
      [&] { log.WriteDownload("a.jpg", 1); },
  };
  for (const auto& append : appends) {
    try {
      append();
      ADD_FAILURE() << "no failure";
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.Message, "Datei nicht gefunden");
    }
    EXPECT_FALSE(fs::exists(file));
  }
}

// The record of one file and the room for the next one's in a single cycle: the record
// is whole either way, the answer says whether the next one fits, and no blanks are left.
TEST_F(ActivityLogFile, AnUploadRecordTellsWhetherTheNextOneFits) {
  const fs::path file = dir / "lichtfracht.log";
  TActivityLog(file.string()).WriteStart();
  const size_t start = fs::file_size(file);
  const size_t record = TActivityLog(file.string()).UploadRecordLength("a.jpg", 1536);
  struct Case {
    size_t limit; // beyond the start record; 0: none
    size_t roomAfter;
    bool fits;
  };
  // Room within the file's last block and beyond it; a limit wins over room the file has.
  const Case cases[] = {{0, 0, true},
                        {0, 100, true},
                        {0, 5000, true},
                        {2 * record, record, true},
                        {2 * record - 1, record, false}};
  for (const auto opening : {TActivityLog::TOpening::PerRecord, TActivityLog::TOpening::KeptOpen})
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message()
                   << c.limit << " " << c.roomAfter << " " << static_cast<int>(opening));
      TActivityLog log(file.string(), opening);
      fs::resize_file(file, start);
      std::optional<TFileSizeLimit> limit;
      if (c.limit > 0) {
        ASSERT_TRUE(limit.emplace(static_cast<off_t>(start + c.limit)).Set());
      }
      EXPECT_EQ(WriteUpload(log, "a.jpg", 1536, c.roomAfter), c.fits);
      limit.reset();
      const std::string text = ReadFile(file).substr(start);
      EXPECT_EQ(text.size(), record);
      EXPECT_EQ(text.substr(text.find('\t')), "\tUpload\ta.jpg\t1536\tFALSE\r\n");
      log.Close();
    }
}

// A handle kept over the records of a folder upload: each record is in the file once
// written, and goes where a cycle of its own would put it when the log was deleted, moved
// away or replaced meanwhile, after the first record or after the second (when the handle
// has come to know its file). Close lets go of the file.
TEST_F(ActivityLogFile, AKeptHandleWritesWhereACycleWould) {
  const fs::path file = dir / "lichtfracht.log";
  const fs::path moved = dir / "alt.log";
  const auto handlesOnLogs = [&] {
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
      std::error_code error;
      count += fs::read_symlink(entry.path(), error).parent_path() == dir && !error;
    }
    return count;
  };
  struct Case {
    const char* meanwhile;
    std::function<void()> change;
    const char* failure; // nullptr: the next record is in the file under the name
  };
  const Case cases[] = {
      {"nothing", [] {}, nullptr},
      {"deleted", [&] { fs::remove(file); }, "Datei nicht gefunden"},
      {"moved away", [&] { fs::rename(file, moved); }, "Datei nicht gefunden"},
      {"replaced",
       [&] {
         fs::rename(file, moved);
         TActivityLog(file.string()).WriteStart();
       },
       nullptr},
      {"replaced by a file moved onto its name",
       [&] {
         const fs::path other = dir / "neu.log";
         TActivityLog(other.string()).WriteStart();
         fs::rename(other, file);
       },
       nullptr},
      {"made read-only", [&] { fs::permissions(file, fs::perms::owner_read); }, nullptr},
  };
  for (const Case& c : cases)
    for (const int before : {1, 2}) {
      SCOPED_TRACE(testing::Message() << c.meanwhile << " after record " << before);
      fs::remove(file);
      fs::remove(moved);
      TActivityLog(file.string()).WriteStart();
      TActivityLog log(file.string(), TActivityLog::TOpening::KeptOpen);
      for (int i = 1; i <= before; ++i)
        WriteUpload(log, "foto" + std::to_string(i) + ".jpg", i);
      EXPECT_NE(ReadFile(file).find("\tfoto1.jpg\t1\t"), std::string::npos);
      c.change();
      try {
        WriteUpload(log, "neu.jpg", 3);
        EXPECT_EQ(c.failure, nullptr);
        EXPECT_NE(ReadFile(file).find("\tneu.jpg\t3\t"), std::string::npos);
      } catch (const EInOutError& e) {
        EXPECT_STREQ(e.Message.c_str(), c.failure);
      }
      if (fs::exists(moved)) {
        EXPECT_EQ(ReadFile(moved).find("neu.jpg"), std::string::npos);
      }
      EXPECT_EQ(handlesOnLogs(), c.failure ? 0 : 1);
      log.Close();
      EXPECT_EQ(handlesOnLogs(), 0);
      std::error_code missing;
      fs::permissions(file, fs::perms::owner_write, fs::perm_options::add, missing);
    }
}

// Records held over several files reach the file together, in order. Before another file
// moves, Covers tells whether they and its record fit the room checked with the last write
// and still have the log to go to. A write that fails keeps them held and fails again on
// every later write, also one tried quietly while the window is served, so that none is
// written after records that came later.
TEST_F(ActivityLogFile, HeldRecordsGoTogetherOrNotAtAll) {
  const fs::path file = dir / "lichtfracht.log";
  TActivityLog(file.string()).WriteStart();
  const size_t start = fs::file_size(file);
  TActivityLog log(file.string(), TActivityLog::TOpening::KeptOpen);
  EXPECT_FALSE(log.Covers(1)) << "no room known before the first write";
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
    log.HoldUpload(name, 1);
  EXPECT_EQ(fs::file_size(file), start);
  EXPECT_EQ(log.HeldNames(), (std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg"}));
  EXPECT_TRUE(log.WriteHeld(100));
  EXPECT_EQ(UploadNames(ReadFile(file)), "a.jpg b.jpg c.jpg");
  EXPECT_TRUE(log.HeldNames().empty());

  const size_t record = log.UploadRecordLength("d.jpg", 1);
  log.HoldUpload("d.jpg", 1);
  EXPECT_TRUE(log.Covers(100 - record));
  EXPECT_FALSE(log.Covers(101 - record));
  fs::rename(file, dir / "alt.log");
  EXPECT_FALSE(log.Covers(1)) << "the log was moved away";

  log.WriteHeldQuietly();
  EXPECT_EQ(log.HeldNames(), std::vector<std::string>{"d.jpg"});
  TActivityLog(file.string()).WriteStart();
  log.HoldUpload("e.jpg", 1);
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      log.WriteHeld();
      ADD_FAILURE() << "no failure";
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.Message, "Datei nicht gefunden");
    }
  }
  EXPECT_EQ(log.HeldNames(), (std::vector<std::string>{"d.jpg", "e.jpg"}));
  EXPECT_EQ(UploadNames(ReadFile(file)), "");
  EXPECT_EQ(UploadNames(ReadFile(dir / "alt.log")), "a.jpg b.jpg c.jpg");
}

TEST_F(ActivityLogFile, StartInAMissingFolderFails) {
  const TActivityLog log((dir / "fehlt" / "lichtfracht.log").string());
  try {
    log.WriteStart();
    FAIL() << "no failure";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message, "Datei nicht gefunden");
  }
}

// --- Where the log goes ---------------------------------------------------------------------

TEST(LogFileNameFor, ReplacesOrAddsTheExtensionOfTheFileNameOnly) {
  struct Case {
    const char* program;
    const char* log;
  };
  const Case cases[] = {
      {"/opt/x/lichtfracht", "/opt/x/lichtfracht.log"},
      {"/opt/x/tool.bin", "/opt/x/tool.log"},
      {"/opt/lichtfracht-1.0/lichtfracht", "/opt/lichtfracht-1.0/lichtfracht.log"},
      {"/opt/x/archiv.tar.gz", "/opt/x/archiv.tar.log"},
      {"/opt/x/prog.", "/opt/x/prog.log"},
      {"/opt/x/.versteckt", "/opt/x/.versteckt.log"}, // a leading dot starts the name
      {"/home/anna/Fotos Programm/Lichtfracht", "/home/anna/Fotos Programm/Lichtfracht.log"},
      {"prog.exe", "prog.log"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    EXPECT_EQ(LogFileNameFor(c.program), c.log);
  }
}

} // namespace
