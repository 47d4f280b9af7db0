#include "TransferSpeed.h"
#include "WindowFixture.h"

#include <QProgressBar>
#include <QPushButton>
#include <optional>
#include <regex>

namespace {

namespace fs = std::filesystem;

std::string Photo(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>(i * 31 + i / 7);
  return bytes;
}

class SingleTransfer : public WindowTest {
 protected:
  // A server that sends data in 1 KiB pieces every 50 ms: 20 KiB take about a second.
  void ServeSlowly() {
    Serve("default", {{"data_chunk_size", "1024"}, {"data_chunk_delay", "0.05"}});
  }
  void PutRemote(const std::string& name, const std::string& content) {
    WriteFileBytes(server->Root() + "/" + name, content);
  }
  // Double click on the listed file, saving to local.
  void Download(const char* name, const fs::path& local) {
    dialogs->FileAnswers.push_back(QString::fromStdString(local.string()));
    Select(name);
    Trigger("DateiDownload1");
  }
  QProgressBar& Progress() { return *Find<QProgressBar>(*form, "ProgressBar1"); }
  void ExpectIdleProgress() {
    EXPECT_EQ(Status(), "Transfer durchgeführt.");
    EXPECT_EQ(Progress().value(), 0);
    EXPECT_FALSE(form->TransferActive);
    EXPECT_EQ(form->ExpectedSize, 0u);
    EXPECT_TRUE(Find<QWidget>(*form, "AbortButton")->isHidden());
  }
};

TEST_F(SingleTransfer, UploadAndDownloadByteForByte) {
  Serve();
  const std::string content = Photo(100000);
  PutRemote("foto.jpg", content);
  Connect();
  ExpectIdleProgress();

  QList<int> maxima;
  OnWorkBegin([&](TWorkMode, int32_t) { maxima << Progress().maximum(); });
  const fs::path local = dir / "geladen.jpg";
  Download("foto.jpg", local);
  EXPECT_EQ(ReadFileBytes(local.string()), content);
  EXPECT_EQ(Progress().maximum(), 100000) << "the size query's answer stays after the end";
  ExpectIdleProgress();
  EXPECT_EQ(dialogs->Calls.last(), "SaveFile:  | foto.jpg");

  const fs::path upload = dir / "Übung 1.jpg";
  WriteFileBytes(upload.string(), content.substr(0, 10000));
  dialogs->FileAnswers.push_back(QString::fromStdString(upload.string()));
  Trigger("DateiUpload1");
  EXPECT_EQ(ReadFileBytes(server->Root() + "/Übung 1.jpg"), content.substr(0, 10000));
  // Download, upload and the listing after it: a listing announces no size (a busy bar).
  EXPECT_EQ(maxima, QList<int>({100000, 10000, 0}));
  ExpectIdleProgress();
  EXPECT_EQ(dialogs->Calls.last(), "OpenFile: Upload file.... | Alle Dateien (*) | ");
  EXPECT_EQ(RowCount(Listing()), 2) << "the listing shows the new file";

  Lines sent;
  for (const std::string& line : AfterLogin())
    if (line.rfind("PORT ", 0) != 0) sent.push_back(line);
  EXPECT_EQ(sent, (Lines{"type A", "PWD", "list", "type I", "SIZE foto.jpg", "retr foto.jpg",
                         "STOR Übung 1.jpg", "PWD", "CWD /", "type A", "PWD", "list"}));
  EXPECT_TRUE(dialogs->Errors.isEmpty()) << dialogs->Errors.join('\n').toStdString();
}

TEST_F(SingleTransfer, AnUnknownSizeShowsABusyBar) {
  Serve("size_refused");
  PutRemote("foto.jpg", Photo(5000));
  Connect();
  QList<int> maxima;
  OnWorkBegin([&](TWorkMode, int32_t) { maxima << Progress().maximum(); });
  Download("foto.jpg", dir / "foto.jpg");
  EXPECT_EQ(maxima, QList<int>{0}) << "neither the transfer nor the size query told the size";
  EXPECT_EQ(Progress().maximum(), 100) << "no longer busy after the end";
  ExpectIdleProgress();
}

TEST_F(SingleTransfer, ProgressAndSpeedWhileData) {
  ServeSlowly();
  PutRemote("foto.jpg", Photo(20000));
  Connect();
  QStringList seen;
  // The abort button, as the user could see and click it whenever the window was served.
  QList<bool> abortShown;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!form->TransferActive) return;
    seen << Status();
    abortShown << !Find<QWidget>(*form, "AbortButton")->isHidden();
  });
  watch.start(20);
  Download("foto.jpg", dir / "foto.jpg");
  ExpectIdleProgress();
  EXPECT_FALSE(abortShown.isEmpty());
  EXPECT_FALSE(abortShown.contains(false)) << "shown all through the transfer";
  const std::regex speed(R"(Download Geschwindigkeit \d+[.,]\d\d KB/s)");
  int speeds = 0;
  for (const QString& text : seen)
    if (std::regex_match(text.toStdString(), speed)) ++speeds;
  EXPECT_GT(speeds, 3) << seen.join('\n').toStdString();
}

// The begin of a transfer is shown at once, and the last state before a stall is drawn
// once the redraw interval is over: before, a stall within 100 ms of the previous
// transfer's end kept "Transfer durchgeführt." and an empty bar on display.
TEST_F(SingleTransfer, AStallAtTheStartShowsTheTransfersOwnState) {
  const std::regex speed(R"(Upload Geschwindigkeit \d+[.,]\d\d KB/s)");
  // The server stops reading after 5000 bytes or after 1 MiB; 16 MiB are more than it and
  // the buffers between take, so the upload waits in the middle of its blocks.
  const size_t size = 16u << 20;
  for (const char* scenario : {"stall", "stop_reading"}) {
    SCOPED_TRACE(scenario);
    Serve(scenario);
    Connect();
    form->IdFTP1->DataStallTimeOut = 20000; // a failure, not a hang, if the state never shows
    const fs::path upload = dir / "foto.jpg";
    WriteFileBytes(upload.string(), Photo(size));
    QString atBegin;
    OnWorkBegin([&](TWorkMode mode, int32_t) {
      if (mode == wkWrite) atBegin = Status();
    });
    QString whileStalled;
    int maximum = 0;
    {
      // The bar shows blocks sent before the stall: the state after them was drawn.
      TOnceDuring during([&] { return form->TransferActive && Progress().value() > 0; },
                         [&] {
                           whileStalled = Status();
                           maximum = Progress().maximum();
                           Trigger("trennen1");
                         });
      dialogs->FileAnswers.push_back(QString::fromStdString(upload.string()));
      Trigger("DateiUpload1");
    }
    EXPECT_EQ(atBegin.toStdString(), "Upload Geschwindigkeit " + SpeedText(0));
    EXPECT_TRUE(std::regex_match(whileStalled.toStdString(), speed)) << whileStalled.toStdString();
    EXPECT_EQ(maximum, static_cast<int>(size));
    // "&Trennen" ends the stalled upload and the connection.
    EXPECT_FALSE(form->TransferActive);
    EXPECT_FALSE(form->IdFTP1->Connected());
    EXPECT_EQ(Progress().value(), 0);
    ASSERT_TRUE(server->WaitForTranscriptLine("Quit"));
    const Lines sent = server->Transcript();
    EXPECT_EQ(Lines(sent.end() - 2, sent.end()), (Lines{"ABOR", "Quit"}));
    dialogs->Errors.clear();
  }
}

TEST_F(SingleTransfer, CancelledSaveDialogSendsNothing) {
  Serve();
  PutRemote("foto.jpg", "x");
  Connect();
  const size_t before = server->Transcript().size();
  dialogs->FileAnswers.push_back(std::nullopt);
  Select("foto.jpg");
  Trigger("DateiDownload1");
  EXPECT_EQ(server->Transcript().size(), before);
  EXPECT_TRUE(Find<QWidget>(*form, "DownloadButton")->isEnabled());
}

TEST_F(SingleTransfer, LocalFilesThatCannotBeUsed) {
  Serve();
  PutRemote("foto.jpg", "x");
  Connect();
  const std::string missing = (dir / "weg.jpg").string();
  dialogs->FileAnswers.push_back(QString::fromStdString(missing));
  Trigger("DateiUpload1");
  const std::string unwritable = (dir / "fehlt" / "foto.jpg").string();
  Download("foto.jpg", unwritable);
  EXPECT_EQ(dialogs->Errors,
            QStringList(
                {QString::fromStdString("Datei " + missing + " kann nicht geöffnet werden."),
                 QString::fromStdString("Datei " + unwritable + " kann nicht erstellt werden.")}));
  const Lines sent = server->Transcript();
  EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                          [](const std::string& l) {
                            return l.rfind("STOR", 0) == 0 || l.rfind("retr", 0) == 0;
                          }),
            0);
  EXPECT_EQ(sent.back(), "SIZE foto.jpg") << "the size was asked before the file was made";
}

TEST_F(SingleTransfer, AbortKeepsNothing) {
  const std::pair<const char*, std::function<void(TMainForm&)>> ways[] = {
      {"AbortButton", [](TMainForm& f) { Find<QPushButton>(f, "AbortButton")->click(); }},
      {"Trennen", [](TMainForm& f) { Find<QAction>(f, "trennen1")->trigger(); }},
  };
  for (const auto& [way, abort] : ways) {
    SCOPED_TRACE(way);
    ServeSlowly();
    PutRemote("foto.jpg", Photo(40000));
    Connect();
    {
      TOnceDuring during([&] { return form->TransferActive && Progress().value() > 0; },
                         [&, abort = abort] { abort(*form); });
      Download("foto.jpg", dir / "foto.jpg");
    }
    // The client may be done before the server has read what it sent last.
    EXPECT_TRUE(server->WaitForTranscriptLine("ABOR"));
    const Lines sent = server->Transcript();
    const auto abor = std::find(sent.begin(), sent.end(), "ABOR");
    ASSERT_NE(abor, sent.end()) << testing::PrintToString(sent);
    EXPECT_EQ(*(abor - 1), "retr foto.jpg");
    EXPECT_FALSE(fs::exists(dir / "foto.jpg")) << "no part of the file is left";
    EXPECT_TRUE(dialogs->Errors.isEmpty()) << dialogs->Errors.join('\n').toStdString();
    EXPECT_EQ(Status(),
              QString::fromStdString("Download nicht abgeschlossen: " +
                                     (dir / "foto.jpg").string() + " wurde nicht angelegt."));
    EXPECT_EQ(Progress().value(), 0);
    EXPECT_FALSE(form->TransferActive);
    if (std::string(way) == "Trennen") {
      EXPECT_TRUE(server->WaitForTranscriptLine("Quit"));
      EXPECT_EQ(server->Transcript().back(), "Quit") << "ABOR first, then Quit";
      EXPECT_FALSE(form->IdFTP1->Connected());
      EXPECT_EQ(EnabledMenus(), "Verbinden1");
    } else {
      EXPECT_TRUE(form->IdFTP1->Connected());
      EXPECT_FALSE(form->AbortRequested);
    }
  }
}

// A download that does not complete leaves no file that looks complete: the local file
// is as it was before, and the status bar says so.
TEST_F(SingleTransfer, AnIncompleteDownloadLeavesTheLocalFileAsItWas) {
  struct Case {
    const char* what;
    TScriptedFtpServer::TSettings settings;
    std::function<void(TMainForm&)> during; // once data has arrived
    QStringList errors;
  };
  const TScriptedFtpServer::TSettings slowly = {{"data_chunk_size", "1024"},
                                                {"data_chunk_delay", "0.05"}};
  const Case cases[] = {
      {"refused", {{"replies.RETR", "550 Permission denied"}}, {}, {"550 Permission denied."}},
      {"failed half-way",
       {{"data_chunk_size", "1024"}, {"data_cut_after", "20480"}},
       {},
       {"426 Connection closed; transfer aborted."}},
      {"aborted", slowly, [](TMainForm& f) { f.AbortButtonClick(); }, {}},
      {"disconnected", slowly, [](TMainForm& f) { Find<QAction>(f, "trennen1")->trigger(); }, {}},
  };
  const fs::path local = dir / "foto.jpg";
  for (const Case& c : cases)
    for (const bool existing : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.what << (existing ? ", over an existing file" : ""));
      Serve("default", c.settings);
      PutRemote("foto.jpg", Photo(40000));
      Connect();
      fs::remove(local);
      if (existing) WriteFileBytes(local.string(), "alt");
      {
        std::optional<TOnceDuring> during;
        if (c.during)
          during.emplace([&] { return form->TransferActive && Progress().value() > 0; },
                         [&] { c.during(*form); });
        Download("foto.jpg", local);
      }
      EXPECT_EQ(dialogs->Errors, c.errors);
      if (existing)
        EXPECT_EQ(ReadFileBytes(local.string()), "alt");
      else
        EXPECT_FALSE(fs::exists(local));
      EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1 + existing)
          << "the log and the file that was there, no temporary file";
      EXPECT_EQ(Status(), QString::fromStdString(
                              "Download nicht abgeschlossen: " + local.string() +
                              (existing ? " ist unverändert." : " wurde nicht angelegt.")));
    }
}

TEST_F(SingleTransfer, OtherActionsWaitForTheRunningOne) {
  ServeSlowly();
  PutRemote("foto.jpg", Photo(20000));
  Connect();
  QString menus;
  bool dirwahlEnabled = true;
  {
    TOnceDuring during([&] { return form->TransferActive && Progress().value() > 0; },
                       [&] {
                         menus = EnabledMenus();
                         dirwahlEnabled = Find<QWidget>(*form, "dirwahl")->isEnabled();
                         dialogs->InputAnswers.push_back(QStringLiteral("Neu"));
                         Trigger("Verzeichniserstellen1"); // reached without the menu
                       });
    Download("foto.jpg", dir / "foto.jpg");
  }
  EXPECT_EQ(menus, "trennen1") << "only the disconnect stays usable";
  EXPECT_FALSE(dirwahlEnabled);
  EXPECT_EQ(dialogs->InputAnswers.size(), 1u) << "refused before it asked anything";
  const Lines sent = server->Transcript();
  EXPECT_EQ(std::count(sent.begin(), sent.end(), "MKD Neu"), 0);
  EXPECT_EQ(ReadFileBytes((dir / "foto.jpg").string()), Photo(20000));
  EXPECT_EQ(EnabledMenus(), "trennen1 Aktionen1 Datentransfer1");
  EXPECT_TRUE(Find<QWidget>(*form, "dirwahl")->isEnabled());
}

TEST_F(SingleTransfer, ClosingDuringATransferEndsItAndTheProgram) {
  ServeSlowly();
  PutRemote("foto.jpg", Photo(40000));
  Connect();
  {
    TOnceDuring during([&] { return form->TransferActive && Progress().value() > 0; },
                       [&] { form->close(); });
    Download("foto.jpg", dir / "foto.jpg");
  }
  EXPECT_FALSE(form->isVisible()) << "closed once the download had unwound";
  EXPECT_FALSE(form->IdFTP1->Connected());
  ASSERT_TRUE(server->WaitForTranscriptLine("Quit"));
  const Lines sent = server->Transcript();
  EXPECT_EQ(Lines(sent.end() - 2, sent.end()), (Lines{"ABOR", "Quit"}));
  const std::string log = ReadFile(dir / "lichtfracht.log");
  EXPECT_EQ(log.find("\tClose\r\n"), log.size() - 8) << "one close record, at the end";
  EXPECT_EQ(log.find("\tClose"), log.rfind("\tClose"));
  EXPECT_TRUE(dialogs->Errors.isEmpty()) << dialogs->Errors.join('\n').toStdString();
}

} // namespace
