#include "FileStream.h"
#include "InOutError.h"
#include "MemoryStream.h"
#include "StringList.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

TEST(MemoryStream, ReadWritePositionAndSize) {
  TMemoryStream s;
  s.Write("abcdef", 6);
  EXPECT_EQ(s.Position(), 6);
  s.SetPosition(2);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, 8), 4);
  EXPECT_EQ(std::string(buf, 4), "cdef");
  s.SetPosition(4);
  s.Write("XYZ", 3); // extends past the end
  EXPECT_EQ(s.Data(), "abcdXYZ");
  s.SetSize(3);
  EXPECT_EQ(s.Position(), 3);
  EXPECT_EQ(s.Read(buf, 1), 0);
}

TEST(FileStream, CreateEmptiesAndOpenFailuresNameTheFile) {
  const fs::path dir = fs::temp_directory_path() / ("lf-fs-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string path = dir / "f.bin";
  {
    TFileStream f(path, TFileMode::Create);
    f.Write("hello world", 11);
    f.SetSize(5);
    EXPECT_EQ(f.Size(), 5);
    EXPECT_EQ(f.Position(), 5);
  }
  {
    TFileStream f(path, TFileMode::OpenRead);
    char buf[16];
    EXPECT_EQ(f.Read(buf, 16), 5);
    EXPECT_EQ(std::string(buf, 5), "hello");
  }
  { TFileStream f(path, TFileMode::Create); }
  EXPECT_EQ(fs::file_size(path), 0u);

  const std::string missing = dir / "none";
  try {
    TFileStream f(missing, TFileMode::OpenRead);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message, "Datei " + missing + " kann nicht geöffnet werden");
  }
  try {
    TFileStream f(dir / "no" / "x", TFileMode::Create);
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message, "Datei " + (dir / "no" / "x").string() + " kann nicht erstellt werden");
  }
  // A folder is no file.
  EXPECT_THROW(TFileStream(dir.string(), TFileMode::OpenRead), EFOpenError);
  fs::remove_all(dir);
}

TEST(StringList, IndexErrorNamesTheIndex) {
  TStringList list;
  list.Add("a");
  list.Add("b");
  EXPECT_EQ(list.Strings(1), "b");
  EXPECT_EQ(list.Text(), "a\r\nb\r\n");
  EXPECT_EQ(list.IndexOf("b"), 1);
  EXPECT_EQ(list.IndexOf("B"), -1);
  try {
    (void)list.Strings(-1);
    FAIL();
  } catch (const EStringListError& e) {
    EXPECT_EQ(e.Message, "Listenindex überschreitet das Maximum (-1)");
  }
}

} // namespace
