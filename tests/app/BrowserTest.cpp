#include "WindowFixture.h"

#include <QPushButton>

namespace {

namespace fs = std::filesystem;

class Browser : public WindowTest {
 protected:
  void SetUp() override {
    Serve();
    const fs::path root = server->Root();
    fs::create_directories(root / "Urlaub 2026" / "Strand");
    WriteFileBytes((root / "Urlaub 2026" / "meer.jpg").string(), "meer");
    WriteFileBytes((root / "bild01.jpg").string(), "bild");
    Connect();
    ASSERT_EQ(Listing().count(), 2);
  }
  // What the server received since the last call.
  Lines Sent() {
    const Lines all = server->Transcript();
    Lines fresh(all.begin() + static_cast<long>(seen), all.end());
    seen = all.size();
    return fresh;
  }
  QString CurrentDir() const {
    return Find<QWidget>(*form, "CurrentDirEdit")->property("text").toString();
  }
  // The commands of a folder opening after its first one: type (already A), PWD, PORT, list.
  static void ExpectOpened(const Lines& sent, const std::string& first) {
    ASSERT_EQ(sent.size(), 4u) << testing::PrintToString(sent);
    EXPECT_EQ(sent[0], first);
    EXPECT_EQ(sent[1], "PWD");
    EXPECT_EQ(sent[3], "list");
  }

  size_t seen = 0;
};

TEST_F(Browser, EnterAFolderAndGoUp) {
  Sent();
  Select("Urlaub 2026");
  Listing().itemClicked(Listing().currentItem());
  EXPECT_EQ(Find<QPushButton>(*form, "DownloadButton")->text(), "Change dir");
  Trigger("DateiDownload1");
  ExpectOpened(Sent(), "CWD Urlaub 2026");
  EXPECT_EQ(CurrentDir(), "/Urlaub 2026");
  EXPECT_EQ(Listing().count(), 2);
  Select("meer.jpg");
  Listing().itemClicked(Listing().currentItem());
  EXPECT_EQ(Find<QPushButton>(*form, "DownloadButton")->text(), "Download");

  Trigger("Verzeichnisebenehher1");
  ExpectOpened(Sent(), "CWD ..");
  EXPECT_EQ(CurrentDir(), "/");
  EXPECT_EQ(form->IdFTP1->TransferType(), ftASCII);
  EXPECT_TRUE(dialogs->Errors.isEmpty()) << dialogs->Errors.join('\n').toStdString();
}

TEST_F(Browser, MakeAFolder) {
  Sent();
  dialogs->InputAnswers = {std::nullopt, QStringLiteral("Neuer Ordner")};
  Trigger("Verzeichniserstellen1"); // cancelled: nothing is sent
  EXPECT_TRUE(Sent().empty());
  Trigger("Verzeichniserstellen1");
  const Lines sent = Sent();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent[0], "MKD Neuer Ordner");
  ExpectOpened(Lines(sent.begin() + 1, sent.end()), "CWD /");
  EXPECT_TRUE(fs::is_directory(fs::path(server->Root()) / "Neuer Ordner"));
  EXPECT_EQ(Listing().count(), 3);
  EXPECT_EQ(dialogs->Calls.at(0), "InputBox: Make new directory | Name | ");
}

TEST_F(Browser, DeleteFilesAndFolders) {
  Sent();
  // Nothing selected: the list's index error, and nothing goes to the server.
  Listing().setCurrentRow(-1);
  Trigger("Dateilschen1");
  EXPECT_EQ(dialogs->Errors, QStringList{"Listenindex überschreitet das Maximum (-1)"});
  Trigger("DateiDownload1"); // a double click with nothing selected does nothing
  EXPECT_TRUE(Sent().empty());

  // A folder that is not empty is refused; the listing stays as it was.
  Select("Urlaub 2026");
  Trigger("Dateilschen1");
  const Lines refused = Sent();
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0], "RMD Urlaub 2026");
  EXPECT_EQ(dialogs->Errors.size(), 2);
  EXPECT_EQ(Listing().count(), 2);

  Select("bild01.jpg");
  Trigger("Dateilschen1");
  const Lines sent = Sent();
  ASSERT_EQ(sent.size(), 6u) << testing::PrintToString(sent);
  EXPECT_EQ(sent[0], "DELE bild01.jpg");
  EXPECT_EQ(sent[1], "PWD");
  ExpectOpened(Lines(sent.begin() + 2, sent.end()), "CWD /");
  EXPECT_FALSE(fs::exists(fs::path(server->Root()) / "bild01.jpg"));
  EXPECT_EQ(Listing().count(), 1);

  Select("Urlaub 2026");
  Trigger("DateiDownload1");
  Select("Strand");
  Trigger("Dateilschen1");
  EXPECT_FALSE(fs::exists(fs::path(server->Root()) / "Urlaub 2026" / "Strand"));
  EXPECT_EQ(dialogs->Errors.size(), 2);
}

} // namespace
