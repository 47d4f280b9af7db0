#include "PureFtpd.h"
#include "WindowFixture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

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
    ASSERT_EQ(RowCount(Listing()), 2);
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
  Listing().clicked(Listing().currentIndex());
  EXPECT_EQ(Find<QPushButton>(*form, "DownloadButton")->text(), "Change dir");
  Trigger("DateiDownload1");
  ExpectOpened(Sent(), "CWD Urlaub 2026");
  EXPECT_EQ(CurrentDir(), "/Urlaub 2026");
  EXPECT_EQ(RowCount(Listing()), 2);
  Select("meer.jpg");
  Listing().clicked(Listing().currentIndex());
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
  EXPECT_EQ(RowCount(Listing()), 3);
  EXPECT_EQ(dialogs->Calls.at(0), "InputBox: Make new directory | Name | ");
}

TEST_F(Browser, DeleteFilesAndFolders) {
  Sent();
  // Nothing selected: the list's index error, and nothing goes to the server.
  SetCurrentRow(Listing(), -1);
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
  EXPECT_EQ(RowCount(Listing()), 2);

  Select("bild01.jpg");
  Trigger("Dateilschen1");
  const Lines sent = Sent();
  ASSERT_EQ(sent.size(), 6u) << testing::PrintToString(sent);
  EXPECT_EQ(sent[0], "DELE bild01.jpg");
  EXPECT_EQ(sent[1], "PWD");
  ExpectOpened(Lines(sent.begin() + 2, sent.end()), "CWD /");
  EXPECT_FALSE(fs::exists(fs::path(server->Root()) / "bild01.jpg"));
  EXPECT_EQ(RowCount(Listing()), 1);

  Select("Urlaub 2026");
  Trigger("DateiDownload1");
  Select("Strand");
  Trigger("Dateilschen1");
  EXPECT_FALSE(fs::exists(fs::path(server->Root()) / "Urlaub 2026" / "Strand"));
  EXPECT_EQ(dialogs->Errors.size(), 2);
}

} // namespace

// Only a highlighted line is acted on. Qt makes the first line current (not highlighted)
// when the list gets the focus after a refresh; that line was chosen by nobody.
class Selection : public WindowTest {
 protected:
  void Start() {
    Serve();
    const fs::path root = server->Root();
    fs::create_directories(root / "Urlaub 2026");
    WriteFileBytes((root / "a.jpg").string(), "a");
    WriteFileBytes((root / "b.jpg").string(), "b");
    Connect();
  }
  // As the list's focus-in does it: current, not selected.
  void FocusAfterRefresh() {
    Listing().selectionModel()->setCurrentIndex(Listing().model()->index(0, 0),
                                                QItemSelectionModel::NoUpdate);
    ASSERT_EQ(Listing().currentIndex().row(), 0);
    ASSERT_TRUE(Listing().selectionModel()->selectedIndexes().isEmpty());
  }
  QPoint Centre(const QString& line) {
    const QStringList lines = Items(Listing());
    for (int i = 0; i < lines.size(); ++i)
      if (lines[i].endsWith(line))
        return Listing().visualRect(Listing().model()->index(i, 0)).center();
    ADD_FAILURE() << "no listing line ends with " << line.toStdString();
    return {};
  }
  // The commands sent by the action, without PORT (its port differs from run to run).
  Lines SentBy(const std::function<void()>& action) {
    const size_t before = server->Transcript().size();
    action();
    Lines sent;
    const Lines all = server->Transcript();
    for (size_t i = before; i < all.size(); ++i)
      if (all[i].rfind("PORT ", 0) != 0) sent.push_back(all[i]);
    return sent;
  }
};

TEST_F(Selection, OnlyAHighlightedLineIsActedOn) {
  const Lines downloadB = {"type I", "SIZE b.jpg", "retr b.jpg"};
  const Lines deleteB = {"DELE b.jpg", "PWD", "CWD /", "PWD", "list"};
  const QStringList indexError = {"Listenindex überschreitet das Maximum (-1)"};
  struct Case {
    const char* state;
    const char* action; // a menu item, or "double click" on b.jpg
    Lines sent;
    QStringList errors;
  };
  const Case cases[] = {
      {"none", "Dateilschen1", {}, indexError},
      {"none", "DateiDownload1", {}, {}},
      {"none", "double click", downloadB, {}},
      {"after refresh", "Dateilschen1", {}, indexError},
      {"after refresh", "DateiDownload1", {}, {}},
      {"after refresh", "double click", downloadB, {}},
      {"after a click", "Dateilschen1", deleteB, {}},
      {"after a click", "DateiDownload1", downloadB, {}},
      {"after a click", "double click", downloadB, {}},
      {"after a deletion", "Dateilschen1", {}, indexError},
      {"after a deletion", "DateiDownload1", {}, {}},
      {"after a deletion", "double click", downloadB, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.state << ", " << c.action);
    Start();
    const std::string state = c.state;
    if (state == "none") {
      SetCurrentRow(Listing(), -1);
    } else if (state == "after refresh") {
      Trigger("Verzeichnisebenehher1"); // at the top: the same folder again
      FocusAfterRefresh();
    } else if (state == "after a click") {
      QTest::mouseClick(Listing().viewport(), Qt::LeftButton, {}, Centre("b.jpg"));
      ASSERT_EQ(Listing().selectionModel()->selectedIndexes().size(), 1);
    } else {
      Select("a.jpg");
      Trigger("Dateilschen1");
      ASSERT_FALSE(fs::exists(fs::path(server->Root()) / "a.jpg"));
      FocusAfterRefresh();
    }
    const bool offered = std::find(c.sent.begin(), c.sent.end(), "retr b.jpg") != c.sent.end();
    if (offered) dialogs->FileAnswers.push_back(QString::fromStdString((dir / "b.jpg").string()));
    const Lines sent = SentBy([&] {
      if (std::string(c.action) == "double click") {
        // As the mouse sends it: press and release, then the second press as a double click.
        QTest::mouseClick(Listing().viewport(), Qt::LeftButton, {}, Centre("b.jpg"));
        QTest::mouseDClick(Listing().viewport(), Qt::LeftButton, {}, Centre("b.jpg"));
      } else
        Trigger(c.action);
    });
    EXPECT_EQ(sent, c.sent);
    EXPECT_EQ(dialogs->Errors, c.errors);
    EXPECT_TRUE(dialogs->FileAnswers.empty()) << "the save dialog was not asked";
    EXPECT_EQ(fs::exists(fs::path(server->Root()) / "b.jpg"), c.sent != deleteB);
    EXPECT_TRUE(fs::is_directory(fs::path(server->Root()) / "Urlaub 2026"));
  }
}

// A link is entered as a folder; when the server refuses that, it is fetched as a file.
TEST_F(Selection, LinksAreEnteredOrFetched) {
  const std::string listing = "drwxr-xr-x    2 ftp      ftp          4096 Dec 08 01:30 Serie\r\n"
                              "lrwxrwxrwx    1 ftp      ftp             5 Dec 08 01:30 Neueste -> "
                              "Serie\r\n"
                              "lrwxrwxrwx    1 ftp      ftp             8 Dec 08 01:30 Titel -> "
                              "bild.jpg\r\n";
  Serve("default", {{"listing", TScriptedFtpServer::EscapedValue(listing)}});
  const fs::path root = server->Root();
  fs::create_directories(root / "Serie");
  WriteFileBytes((root / "bild.jpg").string(), "Titelbild");
  fs::create_directory_symlink("Serie", root / "Neueste");
  fs::create_symlink("bild.jpg", root / "Titel");
  Connect();

  Select("Neueste -> Serie");
  EXPECT_EQ(SentBy([&] { Trigger("DateiDownload1"); }), (Lines{"CWD Neueste", "PWD", "list"}));
  EXPECT_EQ(Find<QLineEdit>(*form, "CurrentDirEdit")->text(), "/Neueste");
  Trigger("Verzeichnisebenehher1");

  Select("Titel -> bild.jpg");
  dialogs->FileAnswers.push_back(QString::fromStdString((dir / "titel.jpg").string()));
  EXPECT_EQ(SentBy([&] { Trigger("DateiDownload1"); }),
            (Lines{"CWD Titel", "type I", "SIZE Titel", "retr Titel"}));
  EXPECT_EQ(dialogs->Calls.last(), "SaveFile:  | Titel");
  EXPECT_EQ(ReadFileBytes((dir / "titel.jpg").string()), "Titelbild");
  EXPECT_EQ(Find<QLineEdit>(*form, "CurrentDirEdit")->text(), "/");
  EXPECT_TRUE(dialogs->Errors.isEmpty()) << dialogs->Errors.join('\n').toStdString();
}

// The same with the link lines of a real server.
TEST_F(Selection, LinksOnPureFtpd) {
  TPureFtpd pure;
  pure.CreateFolder("Serie");
  pure.CreateFile("Serie/x.jpg", "x");
  pure.CreateFile("bild.jpg", "Titelbild");
  fs::create_directory_symlink("Serie", fs::path(pure.Root()) / "Neueste");
  fs::create_symlink("bild.jpg", fs::path(pure.Root()) / "Titel");
  StartWindow(pure.Port());
  Connect();
  Select("Neueste -> Serie");
  Trigger("DateiDownload1");
  // pure-ftpd names the folder the link leads to.
  EXPECT_EQ(Find<QLineEdit>(*form, "CurrentDirEdit")->text(), "/Serie");
  ASSERT_EQ(RowCount(Listing()), 1);
  EXPECT_TRUE(Items(Listing()).at(0).endsWith(" x.jpg"));
  Trigger("Verzeichnisebenehher1");
  Select("Titel -> bild.jpg");
  dialogs->FileAnswers.push_back(QString::fromStdString((dir / "titel.jpg").string()));
  Trigger("DateiDownload1");
  EXPECT_EQ(ReadFileBytes((dir / "titel.jpg").string()), "Titelbild");
  EXPECT_EQ(dialogs->Errors, QStringList{}) << pure.Diagnostics();
}
