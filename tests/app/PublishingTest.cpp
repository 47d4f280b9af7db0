#include "ActivityLog.h"
#include "FileLimits.h"
#include "PureFtpd.h"
#include "TestCertificate.h"
#include "TransferRun.h"
#include "WindowFixture.h"

#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <ctime>
#include <functional>
#include <map>
#include <set>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

// 09:03 local time on 5 January 2027.
std::chrono::system_clock::time_point FixedTime() {
  std::tm local{};
  local.tm_year = 2027 - 1900;
  local.tm_mon = 0;
  local.tm_mday = 5;
  local.tm_hour = 9;
  local.tm_min = 3;
  local.tm_sec = 30;
  local.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&local));
}

constexpr const char* Dated = "20270105-0903";

class Publishing : public WindowTest {
 protected:
  // The clock stands at FixedTime() + later.
  void StartAt(int port) {
    StartWindow(port, [this] { return FixedTime() + later; });
  }
  // The command lines the server received, without the PORT lines.
  Lines Commands() const {
    Lines commands;
    for (const std::string& line : server->Transcript())
      if (line.rfind("PORT ", 0) != 0) commands.push_back(line);
    return commands;
  }
  void Publish(const fs::path& folder) {
    dialogs->FolderAnswers.push_back(QString::fromStdString(folder.string()));
    Find<QPushButton>(*form, "dirwahl")->click();
  }
  // The command lines the trace shows as sent.
  Lines SentByTrace() {
    Lines sent;
    for (const QString& item : Items(Trace())) {
      const int at = item.indexOf(QStringLiteral("Gesendet: "));
      if (at >= 0) sent.push_back(item.mid(at + 10).chopped(5).toStdString()); // "<EOL>"
    }
    return sent;
  }
  QStringList Memo() { return Items(*Find<QListView>(*form, "dirmemo")); }
  // The log's upload records as "name size".
  Lines UploadRecords() { return UploadRecords(dir / "lichtfracht.log"); }
  Lines UploadRecords(const fs::path& file) {
    Lines records;
    std::istringstream log(ReadFile(file));
    for (std::string line; std::getline(log, line);) {
      const size_t at = line.find("\tUpload\t");
      if (at == std::string::npos) continue;
      std::string rest = line.substr(at + 8);
      EXPECT_EQ(rest.substr(rest.size() - 7), "\tFALSE\r");
      rest.resize(rest.size() - 7);
      rest[rest.find('\t')] = ' ';
      records.push_back(rest);
    }
    return records;
  }
  fs::path MakeLocal(const std::string& name) {
    const fs::path folder = dir / name;
    fs::create_directories(folder);
    return folder;
  }
  std::string LogPath() const { return (dir / "lichtfracht.log").string(); }
  std::string Message() const {
    return "Upload der Fotos durchgeführt! Bitte " + std::string(BuildSettings::ContactEmail) +
           " informieren.";
  }
  std::chrono::minutes later{0};
};

TEST_F(Publishing, AFolderOfPhotosInOneClick) {
  TPureFtpd daemon;
  const fs::path photos = MakeLocal("Fotos");
  const std::string big(5 << 20, 'x');
  const std::pair<const char*, std::string> files[] = {
      {"a.jpg", "aaaa"},    {"Thumbs.db", "cache"},  {"b.JPG.send", "marked"},
      {"c.send.jpg", "cc"}, {".versteckt.jpg", "h"}, {"Übung 1.jpg", "ü"},
      {"leer.jpg", ""},     {"gross.jpg", big},
  };
  for (const auto& [name, content] : files)
    WriteFileBytes((photos / name).string(), content);
  fs::create_directories(photos / "Unterordner");
  WriteFileBytes((photos / "Unterordner" / "tief.jpg").string(), "no");
  ASSERT_EQ(::mkfifo((photos / "pipe.jpg").c_str(), 0600), 0);
  const std::set<std::string> sent = {"a.jpg",       "c.send.jpg", ".versteckt.jpg",
                                      "Übung 1.jpg", "leer.jpg",   "gross.jpg"};

  StartAt(daemon.Port());
  Publish(photos);

  EXPECT_EQ(dialogs->Calls.at(0), "BrowseForFolder: Upload-Verzeichnis wählen |  | ");
  EXPECT_TRUE(dialogs->Errors.isEmpty()) << dialogs->Errors.join('\n').toStdString();
  EXPECT_EQ(dialogs->Messages, QStringList{QString::fromStdString(Message())});
  EXPECT_EQ(Find<QWidget>(*form, "Uploaddiredit")->property("text").toString(),
            QString::fromStdString(photos.string() + "/"));

  // Exactly the photos, byte for byte, in the dated folder.
  const fs::path remote = fs::path(daemon.Root()) / Dated;
  std::set<std::string> arrived;
  for (const auto& entry : fs::directory_iterator(remote))
    arrived.insert(entry.path().filename().string());
  EXPECT_EQ(arrived, sent);
  for (const auto& [name, content] : files)
    if (sent.count(name)) {
      EXPECT_EQ(ReadFileBytes((remote / name).string()), content) << name;
    }

  // The conversation, as the trace shows it.
  Lines commands;
  for (const std::string& line : SentByTrace())
    if (line.rfind("PORT ", 0) != 0 && line != "Passwort gesendet") commands.push_back(line);
  Lines expected = {"user Lichtfracht",
                    "type I",
                    "syst",
                    "type A",
                    "PWD",
                    "list",
                    std::string("MKD ") + Dated,
                    std::string("CWD ") + Dated,
                    "PWD",
                    "list",
                    "type I"};
  Lines stored;
  for (const std::string& line : commands)
    if (line.rfind("STOR ", 0) == 0) stored.push_back(line.substr(5));
  for (const std::string& name : stored)
    expected.push_back("STOR " + name);
  for (const std::string& line :
       Lines{"PWD", "CWD /" + std::string(Dated), "type A", "PWD", "list"})
    expected.push_back(line);
  EXPECT_EQ(commands, expected);
  EXPECT_EQ(std::set<std::string>(stored.begin(), stored.end()), sent);
  EXPECT_TRUE(std::is_sorted(stored.begin(), stored.end())) << "sent by name";

  // One memo line and one log record per file, in the order they were sent.
  QStringList memo;
  Lines records;
  for (const std::string& name : stored) {
    memo << QString::fromStdString((photos / name).string());
    const auto it = std::find_if(std::begin(files), std::end(files),
                                 [&](const auto& f) { return name == f.first; });
    records.push_back(name + " " + std::to_string(it->second.size()));
  }
  EXPECT_EQ(Memo(), memo);
  EXPECT_TRUE(Find<QWidget>(*form, "dirmemo")->isHidden());
  EXPECT_EQ(UploadRecords(), records);

  // The program closes, the close record last.
  EXPECT_FALSE(form->isVisible());
  const std::string log = ReadFile(dir / "lichtfracht.log");
  EXPECT_EQ(log.rfind("\tClose\r\n"), log.size() - 8);
  EXPECT_TRUE(form->UploadFileName.empty());
}

// Whatever can be known before connecting is checked before connecting: a run that
// could send nothing leaves no empty folder on the server and says why.
TEST_F(Publishing, AFolderWithNothingToSendLeavesTheServerAlone) {
  struct Case {
    const char* folder;
    std::function<void(const fs::path&)> make;
    const char* error; // after "Im Verzeichnis <folder>/" or "Das Verzeichnis <folder>/"
  };
  const Case cases[] = {
      {"leer", [](const fs::path& f) { fs::create_directories(f); },
       "Im Verzeichnis %1/ ist keine Datei zum Hochladen; auf dem Server wurde nichts angelegt."},
      {"übersprungen",
       [](const fs::path& f) {
         fs::create_directories(f / "Unterordner");
         WriteFileBytes((f / "Thumbs.db").string(), "cache");
         WriteFileBytes((f / "b.JPG.send").string(), "marked");
       },
       "Im Verzeichnis %1/ ist keine Datei zum Hochladen; auf dem Server wurde nichts angelegt."},
      // Chosen, then gone before the run reads it; a file where a folder should be.
      {"verschwunden", [](const fs::path&) {}, "Das Verzeichnis %1/ kann nicht gelesen werden."},
      {"datei.jpg", [](const fs::path& f) { WriteFileBytes(f.string(), "x"); },
       "Das Verzeichnis %1/ kann nicht gelesen werden."},
  };
  Serve();
  StartAt(server->Port());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    const fs::path folder = dir / c.folder;
    c.make(folder);
    dialogs->Errors.clear();
    Publish(folder);
    EXPECT_EQ(dialogs->Errors, QStringList{QString(c.error).arg(folder.c_str())});
  }
  EXPECT_TRUE(server->Transcript().empty()) << "not even connected";
  EXPECT_TRUE(dialogs->Messages.isEmpty());
  EXPECT_TRUE(UploadRecords().empty());
  EXPECT_TRUE(form->isVisible());
}

TEST_F(Publishing, AnUnwritableLogStopsTheRunBeforeItConnects) {
  Serve();
  const fs::path photos = MakeLocal("Fotos");
  WriteFileBytes((photos / "a.jpg").string(), "a");
  TUnwritableFile readOnly(LogPath());
  if (!readOnly.Works()) GTEST_SKIP() << "no way here to make a file unwritable for this user";
  Publish(photos);
  EXPECT_EQ(dialogs->Errors, QStringList{QString::fromStdString(
                                 "Das Aktivitätsprotokoll " + LogPath() +
                                 " kann nicht geschrieben werden; die Veröffentlichung wurde "
                                 "nicht begonnen.\nDateizugriff verweigert.")});
  EXPECT_TRUE(server->Transcript().empty());
}

// The dated folders belong in the folder the server opens after the login, wherever the
// browser was left; the browser itself still returns to its last folder on a reconnect.
TEST_F(Publishing, TheDatedFolderGoesIntoTheLoginFolder) {
  const fs::path photos = MakeLocal("Fotos");
  WriteFileBytes((photos / "a.jpg").string(), "a");
  const std::string mkd = std::string("MKD ") + Dated;
  const Lines login = {"user Lichtfracht", "pass 58Kovarenisobume", "type I", "syst"};
  struct Case {
    const char* what;
    bool reconnect;
    Lines beforeMkd; // after the first connect and the change into Kunde
  };
  const Case cases[] = {
      {"browsed into a subfolder", false, {"NOOP", "CWD /", "PWD", "list"}},
      {"after a reconnect",
       true,
       {"Quit", "user Lichtfracht", "pass 58Kovarenisobume", "type A", "syst", "CWD /Kunde", "PWD",
        "list", "CWD /", "PWD", "list"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Serve();
    fs::create_directories(fs::path(server->Root()) / "Kunde");
    StartAt(server->Port());
    Connect();
    Select("Kunde");
    Trigger("DateiDownload1");
    if (c.reconnect) Trigger("trennen1");
    Publish(photos);
    EXPECT_TRUE(dialogs->Errors.isEmpty()) << dialogs->Errors.join('\n').toStdString();
    EXPECT_EQ(ReadFileBytes(server->Root() + "/" + Dated + "/a.jpg"), "a");
    Lines expected = login;
    for (const char* line : {"type A", "PWD", "list", "CWD Kunde", "PWD", "list"})
      expected.push_back(line);
    expected.insert(expected.end(), c.beforeMkd.begin(), c.beforeMkd.end());
    expected.push_back(mkd);
    const Lines commands = Commands();
    const auto at = std::find(commands.begin(), commands.end(), mkd);
    EXPECT_EQ(Lines(commands.begin(), at == commands.end() ? at : at + 1), expected);
  }
}

// vsftpd ends a session after 5 idle minutes with "421 Timeout." and a close: connecting,
// looking around and publishing later still takes one click.
TEST_F(Publishing, ASessionTheServerDroppedTakesOneClick) {
  const fs::path photos = MakeLocal("Fotos");
  WriteFileBytes((photos / "a.jpg").string(), "a");
  Serve("default", {{"idle_timeout", "3"}, {"idle_reply", "421 Timeout."}});
  StartAt(server->Port());
  Connect();
  ASSERT_TRUE(WaitForServerHangUp());
  Publish(photos);
  EXPECT_TRUE(dialogs->Errors.isEmpty()) << dialogs->Errors.join('\n').toStdString();
  EXPECT_EQ(dialogs->Messages, QStringList{QString::fromStdString(Message())});
  EXPECT_EQ(ReadFileBytes(server->Root() + "/" + Dated + "/a.jpg"), "a");
  const Lines commands = Commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "user Lichtfracht"), 2);
  EXPECT_EQ(UploadRecords(), Lines{"a.jpg 1"});
  EXPECT_FALSE(form->isVisible());
}

TEST_F(Publishing, TheMenusFolderUploadSendsTheFolderEveryTime) {
  TPureFtpd daemon;
  const fs::path photos = MakeLocal("Fotos");
  WriteFileBytes((photos / "a.jpg").string(), "a");
  WriteFileBytes((photos / "b.jpg").string(), "b");
  StartAt(daemon.Port());
  Connect();
  auto* folder = Find<QLineEdit>(*form, "Uploaddiredit");
  folder->setText(QString::fromStdString(photos.string())); // typed, without the "/"
  Trigger("VerzeichnisUpload1");
  fs::remove(daemon.Root() + "/a.jpg");
  fs::remove(daemon.Root() + "/b.jpg");
  Trigger("VerzeichnisUpload1");
  EXPECT_EQ(ReadFileBytes(daemon.Root() + "/a.jpg"), "a");
  EXPECT_EQ(ReadFileBytes(daemon.Root() + "/b.jpg"), "b");
  EXPECT_EQ(UploadRecords().size(), 4u);
  EXPECT_EQ(Memo().size(), 4);
  EXPECT_TRUE(dialogs->Errors.isEmpty()) << dialogs->Errors.join('\n').toStdString();

  // An empty field would mean the program's working folder: refused, nothing sent.
  folder->clear();
  const int traced = Trace().model()->rowCount();
  Trigger("VerzeichnisUpload1");
  EXPECT_EQ(dialogs->Errors.size(), 1);
  EXPECT_EQ(Trace().model()->rowCount(), traced) << "nothing was sent";
}

// The memo keeps the newest path in view, unless the user has scrolled back to read.
TEST_F(Publishing, TheMemoFollowsThePathsUnlessScrolledBack) {
  TPureFtpd daemon;
  const fs::path photos = MakeLocal("Fotos");
  for (int i = 10; i < 50; ++i)
    WriteFileBytes((photos / ("foto" + std::to_string(i) + ".jpg")).string(), "x");
  StartAt(daemon.Port());
  Connect();
  Find<QLineEdit>(*form, "Uploaddiredit")->setText(QString::fromStdString(photos.string()));
  auto* memo = Find<QListView>(*form, "dirmemo");
  QScrollBar& bar = *memo->verticalScrollBar();
  Trigger("VerzeichnisUpload1");
  ASSERT_EQ(Memo().size(), 40);
  EXPECT_GT(bar.maximum(), 0) << "the paths must not fit, or nothing is shown of following";
  EXPECT_EQ(bar.value(), bar.maximum());
  bar.setValue(0);
  Trigger("VerzeichnisUpload1");
  ASSERT_EQ(Memo().size(), 80);
  EXPECT_EQ(bar.value(), 0);
}

// A build that requires TLS publishes over it; a server whose certificate does not hold
// gets no password and no photo.
TEST_F(Publishing, EncryptedWhenTheBuildRequiresTLS) {
  const TTestCertificate certificate("127.0.0.1");
  const TTestCertificate stranger("127.0.0.1");
  TPureFtpd daemon(certificate.ServerPem());
  const fs::path photos = MakeLocal("Fotos");
  const std::string big(3 << 20, 'x');
  WriteFileBytes((photos / "a.jpg").string(), "aaaa");
  WriteFileBytes((photos / "gross.jpg").string(), big);
  tls = true;

  tlsTrusted = stranger.CertificatePem;
  StartAt(daemon.Port());
  Publish(photos);
  EXPECT_EQ(dialogs->Errors,
            QStringList{"Keine verschlüsselte Verbindung zu 127.0.0.1: Das Zertifikat des Servers "
                        "ist selbst ausgestellt und nicht als vertrauenswürdig hinterlegt."});
  EXPECT_EQ(SentByTrace(), Lines{"AUTH TLS"});
  EXPECT_FALSE(fs::exists(fs::path(daemon.Root()) / Dated));

  tlsTrusted = certificate.CertificatePem;
  StartAt(daemon.Port());
  Publish(photos);
  EXPECT_TRUE(dialogs->Errors.isEmpty()) << dialogs->Errors.join('\n').toStdString();
  EXPECT_EQ(dialogs->Messages, QStringList{QString::fromStdString(Message())});
  EXPECT_EQ(ReadFileBytes(daemon.Root() + "/" + Dated + "/a.jpg"), "aaaa");
  EXPECT_TRUE(ReadFileBytes(daemon.Root() + "/" + Dated + "/gross.jpg") == big);
  const Lines sent = SentByTrace();
  ASSERT_GE(sent.size(), 6u);
  EXPECT_EQ(Lines(sent.begin(), sent.begin() + 6),
            (Lines{"AUTH TLS", "user Lichtfracht", "PBSZ 0", "PROT P", "type I", "syst"}));
  // The trace tells when the connection became encrypted, and how.
  EXPECT_TRUE(
      Items(Trace()).filter(QStringLiteral("TLS-Verbindung hergestellt (TLSv1.3, TLS_")).size() ==
      1)
      << Items(Trace()).join('\n').toStdString();
}

// Each step of the run can fail; the run then ends there, with the error box.
class PublishingFailures : public Publishing {
 protected:
  void SetUp() override {
    photos = MakeLocal("Fotos");
    for (const char* name : {"1.jpg", "2.jpg", "3.jpg"})
      WriteFileBytes((photos / name).string(), name);
  }
  fs::path photos;
};

TEST_F(PublishingFailures, BeforeAnythingIsSent) {
  Serve();
  dialogs->FolderAnswers.push_back(std::nullopt);
  Find<QPushButton>(*form, "dirwahl")->click();
  EXPECT_TRUE(server->Transcript().empty()) << "a cancelled dialog does nothing";
  EXPECT_TRUE(form->isVisible());

  Serve("login_refused");
  StartWindow(server->Port(), FixedTime);
  Publish(photos);
  EXPECT_EQ(dialogs->Errors, QStringList{"530 Login incorrect."});
  EXPECT_TRUE(Find<QWidget>(*form, "Uploaddiredit")->property("text").toString().isEmpty());
  // The first dialog of a run preselects nothing; the next one offers the folder again.
  dialogs->FolderAnswers.push_back(std::nullopt);
  Find<QPushButton>(*form, "dirwahl")->click();
  EXPECT_EQ(dialogs->Calls,
            QStringList({"BrowseForFolder: Upload-Verzeichnis wählen |  | ",
                         "ShowError: 530 Login incorrect.",
                         QString::fromStdString("BrowseForFolder: Upload-Verzeichnis wählen |  | " +
                                                photos.string())}));

  Serve("mkd_refused");
  StartWindow(server->Port(), FixedTime);
  Publish(photos);
  EXPECT_EQ(dialogs->Errors, QStringList{"550 Permission denied."});
  const Lines sent = server->Transcript();
  EXPECT_EQ(sent.back(), std::string("MKD ") + Dated);
  EXPECT_TRUE(dialogs->Messages.isEmpty());
  EXPECT_TRUE(form->isVisible());
}

TEST_F(PublishingFailures, AtTheSecondFile) {
  struct Case {
    const char* what;
    TScriptedFtpServer::TSettings settings;
    // Runs when the second file's transfer begins.
    std::function<void()> atSecond;
    std::string error; // what the box says after the second file's name
  };
  const std::string failed =
      " konnte nicht hochgeladen werden; 1 von 3 Dateien ist auf dem Server.";
  const Case cases[] = {
      {"refused store",
       {{"replies_once.STOR", R"(["", "553 Could not create file"])"}},
       {},
       failed + "\n553 Could not create file."},
      // Moved away: appending does not create the log, so the record fails.
      {"unwritable log",
       {},
       [this] { fs::rename(dir / "lichtfracht.log", dir / "alt.log"); },
       " ist auf dem Server, aber nicht im Aktivitätsprotokoll; 2 von 3 Dateien sind auf dem "
       "Server.\nDas Aktivitätsprotokoll " +
           LogPath() + " kann nicht geschrieben werden: Datei nicht gefunden."},
      {"dropped connection", {}, [this] { server->Stop(); }, failed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(dir / "lichtfracht.log");
    Serve("default", c.settings);
    StartWindow(server->Port(), FixedTime);
    int begun = 0;
    OnWorkBegin([&](TWorkMode mode, int32_t) {
      if (mode == wkWrite && ++begun == 2 && c.atSecond) c.atSecond();
    });
    Publish(photos);
    ASSERT_EQ(dialogs->Errors.size(), 1) << dialogs->Errors.join('\n').toStdString();
    EXPECT_TRUE(dialogs->Errors.front().contains(QString::fromStdString(c.error)))
        << dialogs->Errors.front().toStdString();
    EXPECT_TRUE(dialogs->Messages.isEmpty());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(Memo().size(), 2) << "the second file's line is shown";
    EXPECT_FALSE(Find<QWidget>(*form, "dirmemo")->isHidden());
    const fs::path log = fs::exists(dir / "alt.log") ? dir / "alt.log" : dir / "lichtfracht.log";
    EXPECT_EQ(UploadRecords(log), Lines{"1.jpg 5"}) << "only the first file is logged";
    fs::remove(dir / "alt.log");
    EXPECT_TRUE(form->UploadFileName.empty());
  }
}

// Runs over eight photos that break somewhere: afterwards the log tells exactly which
// photos are complete on the server, the box says which photo failed and how many got
// there, and the next click can go on where the run stopped.
class BrokenRuns : public Publishing {
 protected:
  void SetUp() override {
    photos = MakeLocal("Fotos");
    order.clear();
    for (int i = 1; i <= 8; ++i)
      WriteFileBytes((photos / (std::to_string(i) + ".jpg")).string(),
                     std::string(1000, static_cast<char>('0' + i)));
    for (const TFolderEntry& file : FilesToUpload(photos.string()))
      order.push_back(file.Name);
  }
  // The photo sent in place index is made bigger than the servers' cut (5000 bytes).
  void MakeBig(int index) {
    WriteFileBytes((photos / order[index]).string(), std::string(20000, 'B'));
  }
  std::map<std::string, std::string> Originals() const {
    std::map<std::string, std::string> contents;
    for (const std::string& name : order)
      contents[name] = ReadFileBytes((photos / name).string());
    return contents;
  }
  // "name size" of the photos complete in the remote folder, in sending order.
  Lines CompleteOnServer(const std::string& folder,
                         const std::map<std::string, std::string>& originals) const {
    Lines complete;
    for (const std::string& name : order) {
      const std::string path = server->Root() + "/" + folder + "/" + name;
      if (fs::exists(path) && ReadFileBytes(path) == originals.at(name))
        complete.push_back(name + " " + std::to_string(originals.at(name).size()));
    }
    return complete;
  }
  // The names the server was asked to store, in order.
  Lines Stored() const {
    Lines stored;
    for (const std::string& line : Commands())
      if (line.rfind("STOR ", 0) == 0) stored.push_back(line.substr(5));
    return stored;
  }
  // Whether the one error box begins with text.
  ::testing::AssertionResult ErrorBegins(const std::string& text) const {
    if (dialogs->Errors.size() == 1 &&
        dialogs->Errors.front().startsWith(QString::fromStdString(text)))
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "error boxes: " << dialogs->Errors.join(" | ").toStdString();
  }
  std::string Failed(int index) const {
    return order[index] + " konnte nicht hochgeladen werden; " + std::to_string(index) +
           " von 8 Dateien sind auf dem Server.";
  }

  fs::path photos;
  Lines order; // the photos in the order the run sends them
};

TEST_F(BrokenRuns, TheLogListsExactlyThePhotosCompleteOnTheServer) {
  enum class TFault { CutShort, Shrinks, LogFull };
  struct Case {
    const char* what;
    TScriptedFtpServer::TSettings settings;
    TFault fault;
    int index;         // the photo hit, in sending order
    std::string error; // how the error box begins
  };
  const TScriptedFtpServer::TSettings early226 = {
      {"data_cut_after", "5000"}, {"transfer_failed_reply", "226 Transfer complete"}};
  const Case cases[] = {
      {"early close with 226 at the first photo", early226, TFault::CutShort, 0, Failed(0)},
      {"early close with 226 at a middle photo", early226, TFault::CutShort, 3, Failed(3)},
      {"early close with 226 at the last photo", early226, TFault::CutShort, 7, Failed(7)},
      {"451 with the data connection reset",
       {{"data_cut_after", "5000"},
        {"transfer_failed_reply",
         "451-Error during write to file\\r\\n451 Transfer aborted\\r\\n"}},
       TFault::CutShort,
       4,
       Failed(4) + "\n451 Transfer aborted."},
      {"a photo that shrinks while it is read", {}, TFault::Shrinks, 2, Failed(2)},
      {"the log full after three records",
       {},
       TFault::LogFull,
       3,
       "Das Aktivitätsprotokoll " + LogPath() + " kann nicht geschrieben werden; " + order[3] +
           " wurde nicht hochgeladen, 3 von 8 Dateien sind auf dem Server.\nZu wenig "
           "Speicherplatz."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    if (c.fault == TFault::CutShort) MakeBig(c.index);
    const std::map<std::string, std::string> originals = Originals();
    fs::remove(LogPath());
    Serve("default", c.settings);
    StartAt(server->Port());
    int begun = 0;
    OnWorkBegin([&](TWorkMode mode, int32_t) {
      if (mode == wkWrite && begun++ == c.index && c.fault == TFault::Shrinks)
        fs::resize_file(photos / order[c.index], 300);
    });
    std::optional<TFileSizeLimit> full;
    if (c.fault == TFault::LogFull) {
      auto size = static_cast<off_t>(fs::file_size(LogPath()));
      for (int i = 0; i < c.index; ++i)
        size += static_cast<off_t>(ActivityRecord::Upload(NowText(), order[i], 1000).size());
      ASSERT_TRUE(full.emplace(size).Set());
    }
    Publish(photos);
    full.reset();
    EXPECT_TRUE(ErrorBegins(c.error));
    EXPECT_TRUE(dialogs->Messages.isEmpty());
    const Lines complete = CompleteOnServer(Dated, originals);
    EXPECT_EQ(UploadRecords(), complete);
    EXPECT_EQ(complete.size(), static_cast<size_t>(c.index));
  }
}

TEST_F(BrokenRuns, ARunCutAtTheFourthPhotoGoesOnInItsFolder) {
  struct Case {
    const char* what;
    TScriptedFtpServer::TSettings settings;
    bool big;    // the fourth photo is bigger than the cut
    bool answer; // to the question whether to go on
  };
  const TScriptedFtpServer::TSettings refused = {
      {"replies_once.STOR", R"(["", "", "", "421 Timeout."])"}, {"once_across_sessions", "true"}};
  const Case cases[] = {
      {"421 at the fourth STOR", refused, false, true},
      {"the fourth photo reset and the session closed",
       {{"data_cut_after", "5000"}, {"cut_closes_session", "true"}, {"cut_times", "1"}},
       true,
       true},
      {"continuing declined", refused, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    if (c.big) MakeBig(3);
    const std::map<std::string, std::string> originals = Originals();
    fs::remove(LogPath());
    later = std::chrono::minutes(0);
    Serve("default", c.settings);
    StartAt(server->Port());
    Publish(photos);
    EXPECT_TRUE(ErrorBegins(Failed(3)));
    EXPECT_EQ(UploadRecords(), CompleteOnServer(Dated, originals));
    const size_t storedBefore = Stored().size();

    later = std::chrono::minutes(1);
    dialogs->QuestionAnswers.push_back(c.answer);
    Publish(photos);
    EXPECT_TRUE(dialogs->Calls.contains(QString::fromStdString(
        "Question: Die letzte Veröffentlichung aus " + photos.string() +
        "/ wurde abgebrochen; 3 von 8 Dateien sind im Ordner /" + Dated +
        " auf dem Server.\n\nSoll sie dort fortgesetzt werden? Dateien, die schon vollständig "
        "auf dem Server sind, werden nicht noch einmal gesendet.\n\"Nein\" beginnt eine neue "
        "Veröffentlichung in einem neuen Ordner.")));
    EXPECT_EQ(dialogs->Errors.size(), 1) << dialogs->Errors.join(" | ").toStdString();
    EXPECT_EQ(dialogs->Messages, QStringList{QString::fromStdString(Message())});
    Lines all;
    for (const std::string& name : order)
      all.push_back(name + " " + std::to_string(originals.at(name).size()));
    const Lines stored = Stored();
    const Lines sentAgain(stored.begin() + static_cast<long>(storedBefore), stored.end());
    // Each photo once in the dated folder and once in the log; declined, all of them
    // once more in a new folder.
    EXPECT_EQ(CompleteOnServer(c.answer ? Dated : "20270105-0904", originals), all);
    EXPECT_EQ(sentAgain, Lines(order.begin() + (c.answer ? 3 : 0), order.end()));
    Lines records(all.begin(), all.begin() + 3);
    records.insert(records.end(), all.begin() + (c.answer ? 3 : 0), all.end());
    EXPECT_EQ(UploadRecords(), records);
    EXPECT_EQ(fs::exists(fs::path(server->Root()) / "20270105-0904"), !c.answer);
  }
}

// The log refuses writes from the fourth photo on, with records still held in memory: the
// box names every photo on the server whose record is missing, and going on in the folder
// records those photos without sending them again.
TEST_F(BrokenRuns, RecordsThatCouldNotBeWrittenAreNamedAndWrittenWhenTheRunGoesOn) {
  const std::map<std::string, std::string> originals = Originals();
  fs::remove(LogPath());
  Serve("default", {});
  StartAt(server->Port());
  std::optional<TFileSizeLimit> full;
  int begun = 0;
  OnWorkBegin([&](TWorkMode mode, int32_t) {
    if (mode == wkWrite && begun++ == 3) full.emplace(static_cast<off_t>(fs::file_size(LogPath())));
  });
  Publish(photos);
  full.reset();
  Lines all, unlogged;
  for (const std::string& name : order)
    all.push_back(name + " " + std::to_string(originals.at(name).size()));
  EXPECT_EQ(CompleteOnServer(Dated, originals), all);
  const Lines records = UploadRecords();
  ASSERT_LT(records.size(), 4u) << "the fourth photo's record cannot have been written";
  EXPECT_EQ(records, Lines(all.begin(), all.begin() + static_cast<long>(records.size())));
  std::string names;
  for (size_t i = records.size(); i < order.size(); ++i)
    names += (i == records.size() ? "" : i + 1 == order.size() ? " und " : ", ") + order[i];
  EXPECT_TRUE(ErrorBegins(names +
                          " sind auf dem Server, aber nicht im Aktivitätsprotokoll; 8 von 8 "
                          "Dateien sind auf dem Server.\nDas Aktivitätsprotokoll " +
                          LogPath() + " kann nicht geschrieben werden: "));
  const size_t storedBefore = Stored().size();

  later = std::chrono::minutes(1);
  dialogs->QuestionAnswers.push_back(true);
  Publish(photos);
  EXPECT_EQ(dialogs->Errors.size(), 1) << dialogs->Errors.join(" | ").toStdString();
  EXPECT_EQ(dialogs->Messages, QStringList{QString::fromStdString(Message())});
  EXPECT_EQ(Stored().size(), storedBefore) << "nothing is sent again";
  EXPECT_EQ(UploadRecords(), all);
}

} // namespace
