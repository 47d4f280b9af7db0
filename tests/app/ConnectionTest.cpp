#include "LoopbackPeer.h"
#include "WindowFixture.h"

#include <QPushButton>

namespace {

using Connection = WindowTest;

// The trace lines without their date-time stamp.
QStringList Unstamped(const QListView& trace) {
  QStringList lines;
  for (QString line : Items(trace)) {
    const int stamp = line.indexOf(QStringLiteral(": "));
    if (stamp > 0 && line.at(0).isDigit()) line = line.mid(stamp + 2);
    lines << line;
  }
  return lines;
}

TEST_F(Connection, ConnectAndDisconnect) {
  Serve("listing_crlf", {{"replies.USER", "331 Password required, send PASS"},
                         {"replies.PASS", "230 Pass accepted, password ok"}});
  testing::internal::CaptureStderr();
  Connect();
  const std::string debugOutput = testing::internal::GetCapturedStderr();

  // The first connect of a run opens the login folder: there is no folder to return to.
  const Lines sent = server->Transcript();
  ASSERT_EQ(sent.size(), 8u) << testing::PrintToString(sent);
  EXPECT_EQ(
      Lines(sent.begin(), sent.begin() + 6),
      (Lines{"user Lichtfracht", "pass 58Kovarenisobume", "type I", "syst", "type A", "PWD"}));
  EXPECT_EQ(sent[6].rfind("PORT 127,0,0,1,", 0), 0u) << sent[6];
  EXPECT_EQ(sent[7], "list");
  EXPECT_EQ(Items(Listing()), QStringList({"a.jpg", "b.jpg", "c.jpg"}));
  EXPECT_TRUE(Listing().isVisible()) << "the empty memo no longer covers it";
  EXPECT_EQ(Find<QWidget>(*form, "CurrentDirEdit")->property("text").toString(), "/");

  // Status texts and trace items in the order they happened; the password never shows.
  const QStringList trace = Unstamped(Trace());
  const QStringList expectedStart = {"Verbinden mit 127.0.0.1.",
                                     "Verbunden.",
                                     "Verbunden.",
                                     "Erh.: 220 Scripted FTP test server ready<EOL>",
                                     "Gesendet: user Lichtfracht<EOL>",
                                     "Erh.: 331 Password required, send PASS<EOL>",
                                     "Passwort gesendet",
                                     "Passwort gesendet"};
  EXPECT_EQ(trace.mid(0, expectedStart.size()), expectedStart);
  EXPECT_EQ(Trace().currentIndex().row(), Trace().model()->rowCount() - 1)
      << "the newest line is selected";
  EXPECT_EQ(Trace().selectionModel()->selectedRows(), QModelIndexList{Trace().currentIndex()});
  EXPECT_EQ(debugOutput.find("58Kovarenisobume"), std::string::npos);
  EXPECT_NE(debugOutput.find("Passwort gesendet"), std::string::npos);

  EXPECT_EQ(EnabledMenus(), "trennen1 Aktionen1 Datentransfer1");
  auto* button = Find<QPushButton>(*form, "ConnectButton");
  EXPECT_EQ(button->text(), "Trennen");
  EXPECT_FALSE(button->isDefault());
  EXPECT_TRUE(Find<QWidget>(*form, "UploadButton")->isEnabled());
  EXPECT_EQ(Status(), "Transfer durchgeführt.");

  Trigger("trennen1");
  ASSERT_TRUE(server->WaitForTranscriptLine("Quit"));
  EXPECT_EQ(server->Transcript().size(), 9u) << "nothing but Quit, no ABOR";
  EXPECT_FALSE(form->IdFTP1->Connected());
  EXPECT_EQ(RowCount(Listing()), 0);
  EXPECT_EQ(button->text(), "Verbinden");
  EXPECT_TRUE(button->isDefault());
  EXPECT_FALSE(Find<QWidget>(*form, "UploadButton")->isEnabled());
  EXPECT_EQ(EnabledMenus(), "Verbinden1");
  EXPECT_EQ(Status(), "Disconnected.");
  const QStringList end = Unstamped(Trace()).mid(Trace().model()->rowCount() - 3);
  EXPECT_EQ(end, QStringList({"Verbindung zu 127.0.0.1 wird getrennt.", "Nicht verbunden.",
                              "Verbindung aufgehoben."}));
  EXPECT_TRUE(dialogs->Errors.isEmpty()) << dialogs->Errors.join('\n').toStdString();

  // A reconnect returns to the folder shown last.
  Connect();
  const Lines again = server->Transcript();
  ASSERT_GT(again.size(), 13u);
  EXPECT_EQ(again[13], "CWD /") << "after Quit and the second login";
}

TEST_F(Connection, ClosingWhileTheConnectWaitsEndsTheProgram) {
  peer::TUnansweredPort unanswered;
  StartWindow(unanswered.Port());
  const auto start = std::chrono::steady_clock::now();
  {
    TOnceDuring during([&] { return form->ActionRunning(); }, [&] { form->close(); });
    Connect();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5))
      << "the connect did not wait for its limit";
  EXPECT_FALSE(form->isVisible());
  EXPECT_FALSE(form->IdFTP1->Connected());
  EXPECT_TRUE(dialogs->Errors.isEmpty()) << dialogs->Errors.join('\n').toStdString();
  const std::string log = ReadFile(dir / "lichtfracht.log");
  EXPECT_EQ(log.rfind("\tClose\r\n"), log.size() - 8);
}

TEST_F(Connection, FailedConnectLeavesTheWindowDisconnected) {
  struct Case {
    const char* scenario;
    QString error;
  };
  const Case cases[] = {
      {"login_refused", "530 Login incorrect."},
      {"greeting_refused", "421 Too many users, try again later."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scenario);
    Serve(c.scenario);
    Connect();
    EXPECT_EQ(dialogs->Errors, QStringList{c.error});
    EXPECT_FALSE(form->IdFTP1->Connected());
    EXPECT_EQ(EnabledMenus(), "Verbinden1");
    EXPECT_EQ(Find<QPushButton>(*form, "ConnectButton")->text(), "1. Verbinden");
    EXPECT_TRUE(Find<QPushButton>(*form, "ConnectButton")->isEnabled());
    EXPECT_EQ(Status(), "Disconnected.");
  }
}

// A session the server ended (idle too long) is found closed by the next action, which
// fails; the window then shows the closed connection and connects again on request.
TEST_F(Connection, ASessionTheServerEndedShowsAsDisconnected) {
  struct Case {
    const char* what;
    TScriptedFtpServer::TSettings settings;
  };
  const Case cases[] = {
      {"421, then closed", {{"idle_timeout", "2"}, {"idle_reply", "421 Timeout."}}},
      {"closed without a word", {{"idle_timeout", "2"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Serve("default", c.settings);
    Connect();
    ASSERT_TRUE(WaitForServerHangUp());
    Trigger("Verzeichnisebenehher1");
    EXPECT_EQ(dialogs->Errors.size(), 1);
    EXPECT_FALSE(form->IdFTP1->Connected());
    auto* button = Find<QPushButton>(*form, "ConnectButton");
    EXPECT_EQ(button->text(), "Verbinden");
    EXPECT_TRUE(button->isDefault());
    EXPECT_EQ(EnabledMenus(), "Verbinden1");
    EXPECT_EQ(RowCount(Listing()), 0);
    EXPECT_FALSE(Find<QWidget>(*form, "UploadButton")->isEnabled());
    Connect();
    EXPECT_EQ(button->text(), "Trennen");
    EXPECT_EQ(dialogs->Errors.size(), 1);
  }
}

TEST_F(Connection, FailedFolderOpeningKeepsTheConnection) {
  Serve("default", {{"replies.PWD", "550 PWD not allowed"}});
  Connect();
  EXPECT_EQ(dialogs->Errors, QStringList{"550 PWD not allowed."});
  EXPECT_TRUE(form->IdFTP1->Connected());
  EXPECT_EQ(Find<QPushButton>(*form, "ConnectButton")->text(), "Trennen");
  EXPECT_EQ(EnabledMenus(), "Verbinden1") << "menus keep their disconnected states";
  // "&Verbinden" now runs the disconnect direction.
  Connect();
  EXPECT_FALSE(form->IdFTP1->Connected());
  EXPECT_TRUE(server->WaitForTranscriptLine("Quit"));
  EXPECT_EQ(dialogs->Errors.size(), 1);
}

} // namespace
