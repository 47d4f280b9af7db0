#include "DownloadTarget.h"

#include "TestSupport.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

// Lists a folder as "name" lines, links as "name -> target".
std::vector<std::string> Entries(const fs::path& folder) {
  std::vector<std::string> entries;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder))
    entries.push_back(entry.path().filename().string() +
                      (entry.is_symlink() ? " -> " + fs::read_symlink(entry).string() : ""));
  std::sort(entries.begin(), entries.end());
  return entries;
}

// The window's download tests show the rest (put in place only when complete).
TEST(DownloadTarget, ALinkKeepsPointingWhereItDid) {
  TTempDir temp("lf-target");
  WriteFileBytes((temp.Path() / "echt.jpg").string(), "alt");
  fs::create_symlink("echt.jpg", temp.Path() / "foto.jpg");
  TDownloadTarget target((temp.Path() / "foto.jpg").string());
  target.Stream().Write("neu", 3);
  target.Commit();
  EXPECT_EQ(Entries(temp.Path()), (std::vector<std::string>{"echt.jpg", "foto.jpg -> echt.jpg"}));
  EXPECT_EQ(ReadFileBytes((temp.Path() / "echt.jpg").string()), "neu");
}

TEST(DownloadTarget, RefusedWhereNoFileCanBeWritten) {
  TTempDir temp("lf-target");
  fs::create_directory(temp.Path() / "Ordner");
  for (const fs::path& path : {temp.Path() / "Ordner", temp.Path() / "fehlt" / "foto.jpg"}) {
    SCOPED_TRACE(path.string());
    try {
      TDownloadTarget target(path.string());
      ADD_FAILURE() << "not refused";
    } catch (const EFCreateError& e) {
      EXPECT_EQ(e.Message, "Datei " + path.string() + " kann nicht erstellt werden");
    }
  }
  EXPECT_EQ(Entries(temp.Path()), std::vector<std::string>{"Ordner"});
}

} // namespace
