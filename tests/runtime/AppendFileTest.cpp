#include "AppendFile.h"

#include "FileLimits.h"
#include "InOutError.h"
#include "NameWatch.h"
#include "TestFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class AppendFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("lf-append-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  static std::string Content(const fs::path& p) { return ReadFileBytes(p); }

  fs::path dir;
};

TEST_F(AppendFile, CreatesOnceThenAppendsBytesUnchanged) {
  const std::string path = dir / "a.log";
  CreateFileIfMissing(path);
  AppendToFile(path, "\r\neins\tzwei\r\n");
  CreateFileIfMissing(path); // leaves the content alone
  AppendToFile(path, std::string("drei\0vier", 9));
  EXPECT_EQ(Content(path), std::string("\r\neins\tzwei\r\ndrei\0vier", 22));
}

TEST_F(AppendFile, NeverCreatesAndReportsInGerman) {
  const std::string path = dir / "missing.log";
  try {
    AppendToFile(path, "x");
    FAIL() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode, 2);
    EXPECT_EQ(e.Message, "Datei nicht gefunden");
  }
  EXPECT_FALSE(fs::exists(path));
  // A missing folder is reported the same way.
  EXPECT_THROW(CreateFileIfMissing(dir / "no" / "such.log"), EInOutError);
}

// A full disk or a size limit in the middle of a record: the record is not there at all,
// and a check before writing tells the same without leaving a trace.
// The process's watches share one kernel instance: each tells only what happened to its own
// file, also when another watch of the same file has ended, and nothing from before it began.
TEST_F(AppendFile, EachWatchTellsOfItsOwnFileOnly) {
  const auto open = [&](const char* name) {
    std::ofstream(dir / name).put('x');
    return ::open((dir / name).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  };
  const int a = open("a.log"), b = open("b.log");
  TNameWatch watchA(a), watchB(b);
  EXPECT_FALSE(watchA.Told());
  EXPECT_FALSE(watchB.Told());
  fs::rename(dir / "a.log", dir / "a2.log");
  EXPECT_TRUE(watchA.Told());
  EXPECT_FALSE(watchB.Told());
  EXPECT_FALSE(watchA.Told()) << "told once";
  {
    const TNameWatch ended(b);
    fs::rename(dir / "a2.log", dir / "a3.log");
    TNameWatch later(a);
    EXPECT_FALSE(later.Told()) << "a change from before the watch began";
    fs::rename(dir / "a3.log", dir / "a4.log");
    EXPECT_TRUE(later.Told());
  }
  fs::remove(dir / "b.log");
  EXPECT_TRUE(watchB.Told()) << "after another watch of the same file ended";
  EXPECT_TRUE(watchA.Told());
  ::close(a);
  ::close(b);
}

TEST_F(AppendFile, ARecordIsWrittenWholeOrNotAtAll) {
  const std::string path = dir / "voll.log";
  CreateFileIfMissing(path);
  AppendToFile(path, "alt\r\n");
  CheckAppendable(path);
  EXPECT_THROW(CheckAppendable(dir / "fehlt.log"), EInOutError);
  TFileSizeLimit limit(static_cast<off_t>(Content(path).size()) + 10);
  ASSERT_TRUE(limit.Set());
  CheckRoomToAppend(path, 10);
  EXPECT_THROW(CheckRoomToAppend(path, 11), EInOutError);
  try {
    AppendToFile(path, "08.12.2026 11:29:00\tUpload\r\n");
    ADD_FAILURE() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message, "Zu wenig Speicherplatz");
  }
  EXPECT_EQ(Content(path), "alt\r\n");
}

TEST(IoErrorText, GermanTextsAndCodes) {
  EXPECT_EQ(IoErrorText(IoErrorCodeFromErrno(ENOENT)), "Datei nicht gefunden");
  EXPECT_EQ(IoErrorText(IoErrorCodeFromErrno(ENAMETOOLONG)), "Ungültiger Dateiname");
  EXPECT_EQ(IoErrorText(IoErrorCodeFromErrno(EMFILE)), "Zu viele geöffnete Dateien");
  EXPECT_EQ(IoErrorText(IoErrorCodeFromErrno(EACCES)), "Dateizugriff verweigert");
  EXPECT_EQ(IoErrorText(IoErrorCodeFromErrno(ENOSPC)), "Zu wenig Speicherplatz");
  // No errno may pose as one of the known codes by its number alone (EIO is 5).
  EXPECT_EQ(IoErrorText(IoErrorCodeFromErrno(EIO)), "E/A-Fehler 1117");
  EXPECT_EQ(IoErrorText(IoErrorCodeFromErrno(EBADF)), "E/A-Fehler 9");
}

} // namespace
