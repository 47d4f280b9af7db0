#include "ActivityLog.h"
#include "PureFtpd.h"
#include "WindowFixture.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <ctime>
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
  void StartAt(int port) { StartWindow(port, FixedTime); }
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
  QStringList Memo() {
    return Find<QPlainTextEdit>(*form, "dirmemo")->toPlainText().split('\n', Qt::SkipEmptyParts);
  }
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
  std::string Message() const {
    return "Upload der Fotos durchgeführt! Bitte " + std::string(BuildSettings::ContactEmail) +
           " informieren.";
  }
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

TEST_F(Publishing, AnEmptyFolderGivesAnEmptyDatedFolder) {
  TPureFtpd daemon;
  StartAt(daemon.Port());
  Publish(MakeLocal("leer"));
  EXPECT_TRUE(fs::is_directory(fs::path(daemon.Root()) / Dated));
  EXPECT_TRUE(fs::is_empty(fs::path(daemon.Root()) / Dated));
  EXPECT_TRUE(UploadRecords().empty());
  EXPECT_EQ(dialogs->Messages.size(), 1);
  EXPECT_FALSE(form->isVisible());
}

TEST_F(Publishing, WhileConnectedTheRunStaysInTheOpenFolder) {
  TPureFtpd daemon;
  daemon.CreateFolder("Kunde");
  const fs::path photos = MakeLocal("Fotos");
  WriteFileBytes((photos / "a.jpg").string(), "a");
  StartAt(daemon.Port());
  Connect();
  Select("Kunde");
  Trigger("DateiDownload1");
  Publish(photos);
  EXPECT_TRUE(dialogs->Errors.isEmpty()) << dialogs->Errors.join('\n').toStdString();
  EXPECT_EQ(ReadFileBytes(daemon.Root() + "/Kunde/" + Dated + "/a.jpg"), "a");
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
  const int traced = Trace().count();
  Trigger("VerzeichnisUpload1");
  EXPECT_EQ(dialogs->Errors.size(), 1);
  EXPECT_EQ(Trace().count(), traced) << "nothing was sent";
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
  };
  const Case cases[] = {
      {"refused store", {{"replies_once.STOR", R"(["", "553 Could not create file"])"}}, {}},
      // Moved away: appending does not create the log, so the record fails.
      {"unwritable log", {}, [this] { fs::rename(dir / "lichtfracht.log", dir / "alt.log"); }},
      {"dropped connection", {}, [this] { server->Stop(); }},
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
    EXPECT_EQ(dialogs->Errors.size(), 1) << dialogs->Errors.join('\n').toStdString();
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

} // namespace
