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

TEST(DownloadTarget, PutInPlaceOnlyWhenCommitted) {
  struct Case {
    const char* what;
    bool existing;
    bool commit;
    std::string content; // of foto.jpg afterwards; empty: none there
  };
  const Case cases[] = {
      {"new, committed", false, true, "neu"},
      {"new, dropped", false, false, ""},
      {"existing, committed", true, true, "neu"},
      {"existing, dropped", true, false, "alt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TTempDir temp("lf-target");
    const fs::path file = temp.Path() / "foto.jpg";
    if (c.existing) WriteFileBytes(file.string(), "alt");
    {
      TDownloadTarget target(file.string());
      EXPECT_EQ(Entries(temp.Path()).front(), ".foto.jpg.lichtfracht-teil");
      target.Stream().Write("neu", 3);
      EXPECT_EQ(target.TargetExisted(), c.existing);
      if (c.commit) target.Commit();
    }
    if (c.content.empty())
      EXPECT_TRUE(Entries(temp.Path()).empty());
    else
      EXPECT_EQ(ReadFileBytes(file.string()), c.content);
    EXPECT_EQ(Entries(temp.Path()).size(), c.content.empty() ? 0u : 1u) << "no temporary file";
  }
}

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
