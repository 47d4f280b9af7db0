#include "ActivityLog.h"
#include "FileLimits.h"
#include "WindowFixture.h"

#include <QLineEdit>
#include <iostream>
#include <optional>

namespace {

namespace fs = std::filesystem;

class DownloadList : public WindowTest {
 protected:
  void Start(const TScriptedFtpServer::TSettings& settings = {}) {
    fs::remove(dir / "lichtfracht.log");
    Serve("default", settings);
    const fs::path root = server->Root();
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "foto-2025.jpg", "foto-2026.jpg"})
      WriteFileBytes((root / name).string(), std::string("Inhalt von ") + name);
    fs::create_directories(root / "Ordner");
    Connect();
    local = dir / "lokal";
    fs::create_directories(local);
    Find<QLineEdit>(*form, "Uploaddiredit")->setText(QString::fromStdString(local.string()));
  }
  void WriteList(const std::string& content) { WriteFileBytes(ListFile(), content); }
  std::string ListFile() const { return (dir / "liste.txt").string(); }
  void Run() {
    dialogs->FileAnswers.push_back(QString::fromStdString(ListFile()));
    Trigger("DownloadnachListe1");
  }
  // The log's download records as "name size".
  Lines Records() {
    Lines records;
    std::istringstream log(ReadFile(dir / "lichtfracht.log"));
    for (std::string line; std::getline(log, line);) {
      const size_t at = line.find("\tDownload\t");
      if (at == std::string::npos) continue;
      std::string rest = line.substr(at + 10, line.size() - at - 10 - 7); // "\tFALSE\r"
      rest[rest.find('\t')] = ' ';
      records.push_back(rest);
    }
    return records;
  }
  Lines Fetched() const {
    Lines fetched;
    for (const std::string& line : server->Transcript())
      if (line.rfind("retr ", 0) == 0) fetched.push_back(line.substr(5));
    return fetched;
  }

  fs::path local;
};

TEST_F(DownloadList, FetchesTheListedFilesOfTheListing) {
  Start();
  // Exact whole lines only; a folder is never fetched; CR, LF and CR LF all end lines.
  WriteList("b.jpg\r\nx.jpg\rB.JPG\nc.jpg \r\nOrdner\r\n\r\nfoto-2026.jpg\nfoto-2025.jpg\nb.jpg");
  WriteFileBytes((local / "b.jpg").string(), "alt");
  Run();
  EXPECT_TRUE(dialogs->Errors.isEmpty()) << dialogs->Errors.join('\n').toStdString();
  EXPECT_EQ(dialogs->Calls.at(0),
            "OpenFile: Liste der Dateinamen für den Download | Textdateien (*.txt);;Alle Dateien "
            "(*) | ");
  EXPECT_EQ(Fetched(), (Lines{"b.jpg", "foto-2025.jpg", "foto-2026.jpg"}));
  EXPECT_EQ(ReadFileBytes((local / "b.jpg").string()), "Inhalt von b.jpg") << "replaced";
  EXPECT_EQ(Records(), (Lines{"b.jpg 16", "foto-2025.jpg 24", "foto-2026.jpg 24"}));
  EXPECT_FALSE(fs::exists(local / "Ordner"));
  EXPECT_EQ(RowCount(Listing()), 6) << "the listing stays as it was";

  // With a filter, only the names that contain it; the last list is offered again.
  form->DownloadFilter = "2026";
  Run();
  EXPECT_EQ(dialogs->Calls.at(1).section(" | ", 2), QString::fromStdString(ListFile()));
  EXPECT_EQ(Fetched().back(), "foto-2026.jpg");
  EXPECT_EQ(Fetched().size(), 4u);
}

TEST_F(DownloadList, StopsAtTheFirstFailure) {
  Start({{"replies_once.RETR", R"(["", "550 Permission denied"])"}});
  const size_t before = server->Transcript().size();
  dialogs->FileAnswers.push_back(std::nullopt);
  Trigger("DownloadnachListe1"); // cancelled: nothing happens
  dialogs->FileAnswers.push_back(QString::fromStdString((dir / "fehlt.txt").string()));
  Trigger("DownloadnachListe1");
  EXPECT_EQ(server->Transcript().size(), before);

  WriteList("a.jpg\nb.jpg\nc.jpg\n");
  Run();
  EXPECT_EQ(Fetched(), (Lines{"a.jpg", "b.jpg"}));
  EXPECT_EQ(Records(), Lines{"a.jpg 16"});
  EXPECT_TRUE(fs::exists(local / "a.jpg"));

  auto* folder = Find<QLineEdit>(*form, "Uploaddiredit");
  folder->clear();
  Run();
  EXPECT_EQ(Fetched().size(), 2u) << "no local folder: nothing is fetched";
  EXPECT_EQ(dialogs->Errors.size(), 3);
  EXPECT_EQ(dialogs->Errors.at(0), QString::fromStdString("Datei " + (dir / "fehlt.txt").string() +
                                                          " kann nicht geöffnet werden."));
  EXPECT_EQ(dialogs->Errors.at(1), "b.jpg konnte nicht heruntergeladen werden; 1 von 3 Dateien ist "
                                   "heruntergeladen.\n550 Permission denied.");
}

// The log is checked before anything is fetched, and before each file for room for its
// record: a file never arrives without the record that tells of it.
TEST_F(DownloadList, NoFileArrivesThatTheLogCannotTell) {
  Start();
  WriteList("a.jpg\nb.jpg\nc.jpg\n");
  const std::string log = (dir / "lichtfracht.log").string();
  {
    TUnwritableFile readOnly(log);
    if (readOnly.Works()) {
      Run();
      EXPECT_EQ(dialogs->Errors, QStringList{QString::fromStdString(
                                     "Das Aktivitätsprotokoll " + log +
                                     " kann nicht geschrieben werden; der Download nach Liste "
                                     "wurde nicht begonnen.\nDateizugriff verweigert.")});
      EXPECT_TRUE(Fetched().empty());
    } else {
      std::cout << "[ SKIPPED  ] read-only log: this machine cannot make a file unwritable for "
                   "this user\n";
    }
  }
  dialogs->Errors.clear();
  TFileSizeLimit full(static_cast<off_t>(fs::file_size(log) +
                                         ActivityRecord::Download(NowText(), "a.jpg", 16).size()));
  ASSERT_TRUE(full.Set());
  Run();
  EXPECT_EQ(dialogs->Errors,
            QStringList{QString::fromStdString(
                "Das Aktivitätsprotokoll " + log +
                " kann nicht geschrieben werden; b.jpg wurde nicht heruntergeladen, 1 von 3 "
                "Dateien ist heruntergeladen.\nZu wenig Speicherplatz.")});
  EXPECT_EQ(Fetched(), Lines{"a.jpg"});
  EXPECT_EQ(Records(), Lines{"a.jpg 16"});
  EXPECT_FALSE(fs::exists(local / "b.jpg"));
}

TEST_F(DownloadList, NeverWritesANameThatLeavesTheFolder) {
  Start({{"listing", "-rw-r--r-- 1 ftp ftp 16 Dec 08 01:30 a.jpg\\r\\n"
                     "-rw-r--r-- 1 ftp ftp 5 Dec 08 01:30 ../x\\r\\n"
                     "-rw-r--r-- 1 ftp ftp 16 Dec 08 01:30 b.jpg\\r\\n"}});
  WriteList("a.jpg\n../x\nb.jpg\n");
  Run();
  EXPECT_EQ(dialogs->Errors,
            QStringList{"Der Name \"../x\" aus der Liste des Servers ist kein einfacher Dateiname; "
                        "der Download nach Liste wurde abgebrochen."});
  EXPECT_EQ(Fetched(), Lines{"a.jpg"});
  EXPECT_EQ(server->Transcript().back(), "retr a.jpg") << "nothing is sent for the bad name";
  EXPECT_EQ(Records(), Lines{"a.jpg 16"});
  EXPECT_FALSE(fs::exists(dir / "x"));
}

// A file that fails or is aborted half-way replaces nothing and is not logged; the run
// ends there.
TEST_F(DownloadList, AnIncompleteFileLeavesTheLocalOneAsItWas) {
  const std::pair<const char*, TScriptedFtpServer::TSettings> ways[] = {
      {"failed", {{"replies_once.RETR", R"(["", "550 Permission denied"])"}}},
      {"aborted", {{"data_chunk_size", "4"}, {"data_chunk_delay", "0.05"}}},
  };
  for (const auto& [way, settings] : ways) {
    SCOPED_TRACE(way);
    Start(settings);
    WriteFileBytes((local / "b.jpg").string(), "alt");
    WriteList("a.jpg\nb.jpg\nc.jpg\n");
    std::optional<TOnceDuring> abort;
    if (std::string(way) == "aborted")
      abort.emplace([&] { return form->TransferActive && Fetched().size() == 2; },
                    [&] { form->AbortButtonClick(); });
    Run();
    EXPECT_EQ(Fetched(), (Lines{"a.jpg", "b.jpg"}));
    EXPECT_EQ(Records(), Lines{"a.jpg 16"});
    EXPECT_EQ(ReadFileBytes((local / "b.jpg").string()), "alt");
    EXPECT_EQ(std::distance(fs::directory_iterator(local), fs::directory_iterator()), 2)
        << "a.jpg and the old b.jpg, no temporary file";
  }
}

} // namespace
