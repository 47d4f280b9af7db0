// The client where photographers are: behind NAT routers, with servers that put message
// files into their replies, hang up idle sessions, close data connections early or let
// third parties near the data port.
#include "FileStream.h"
#include "IdSimpleServer.h"
#include "IdTCPExceptions.h"
#include "LoopbackPeer.h"
#include "MemoryStream.h"
#include "ScriptedFixture.h"
#include "TestFiles.h"

#include <algorithm>
#include <filesystem>

namespace {

constexpr const char* FallbackText =
    "Der Server kann keine Verbindung zu diesem Computer aufbauen; weiter im passiven Modus.";

class Field : public ScriptedFixture {
 protected:
  void ServeField(const std::string& scenario, const TScriptedFtpServer::TSettings& set = {}) {
    Serve(scenario, set);
    ftp.OnStatus = [this](TIdComponent*, TIdStatus status, const std::string& text) {
      if (status == stText) texts.push_back(text);
    };
    ftp.FirstAcceptTimeOut = 300;
    ftp.ReplyDrainTimeOut = 2000;
  }
  Lines List() {
    TStringList list;
    ftp.ListDirectory(list, "", false);
    return Lines(list.begin(), list.end());
  }
  void Upload(const std::string& name, const std::string& content) {
    TMemoryStream stream;
    stream.Write(content.data(), static_cast<int64_t>(content.size()));
    stream.SetPosition(0);
    ftp.StoreFromStream(stream, name, false);
  }
  // The transcript after the login with the PORT arguments left out.
  Lines Conversation() const {
    Lines lines = AfterLogin();
    for (std::string& line : lines)
      if (line.rfind("PORT ", 0) == 0) line = "PORT";
    return lines;
  }

  // Each case with a client of its own: after one failure the client would not try active
  // mode again.
  void ExpectFirewallError(const TScriptedFtpServer::TSettings& passive) {
    ServeField("port_illegal", passive);
    Login();
    const std::string message = MessageOf<EIdFTPNoDataConnection>([&] { List(); });
    EXPECT_EQ(message.rfind("Es kommt keine Datenverbindung zum Server zustande, weder im "
                            "aktiven noch im passiven Modus. Wahrscheinlich sperrt eine Firewall",
                            0),
              0u)
        << message;
    EXPECT_EQ(ftp.QueryWorkingDir(), "/");
  }

  // Each case with a client of its own: the first leaves the client passive.
  void ExpectSessionEndedThenPassive(const std::string& scenario) {
    ServeField(scenario);
    Login();
    const std::string message = MessageOf<EIdFTPNoDataConnection>([&] { List(); });
    EXPECT_EQ(message.rfind("Der Server kann keine Verbindung zu diesem Computer aufbauen, und die "
                            "Sitzung ist beendet. Beim nächsten Verbinden wird der passive Modus "
                            "verwendet.",
                            0),
              0u)
        << message;
    EXPECT_FALSE(ftp.Connected());
    Login();
    EXPECT_EQ(List(), Lines{});
    const Lines all = AfterLogin();
    EXPECT_EQ(Lines(all.end() - 2, all.end()), (Lines{"PASV", "nlst"}));
  }

  Lines texts; // status texts of kind stText
};

struct FallbackCase {
  const char* scenario;
  bool upload;
  Lines firstTry; // the active attempt's commands; "@" is the transfer command
  int32_t firstAcceptTimeOut = 300;
};

class Fallback : public Field, public ::testing::WithParamInterface<FallbackCase> {};

// Each case with a client of its own: the fallback lasts as long as the client does.
TEST_P(Fallback, ActiveModeImpossibleGoesPassiveOnceAndStays) {
  const FallbackCase& c = GetParam();
  ServeField(c.scenario);
  ftp.FirstAcceptTimeOut = c.firstAcceptTimeOut;
  WriteFileBytes(server->Root() + "/a.jpg", "a");
  Login();
  const std::string command = c.upload ? "STOR up.jpg" : "nlst";
  if (c.upload)
    Upload("up.jpg", "photo");
  else
    EXPECT_EQ(List(), Lines{"a.jpg"});
  Lines expected;
  for (const std::string& line : c.firstTry)
    expected.push_back(line == "@" ? command : line);
  expected.push_back("PASV");
  expected.push_back(command);
  EXPECT_EQ(Conversation(), expected);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), FallbackText), 1);
  EXPECT_TRUE(ftp.UsesPassive());
  if (c.upload) {
    EXPECT_EQ(ReadFileBytes(server->Root() + "/up.jpg"), "photo");
  }
  // From now on passive at once, without a new wait, and in step.
  EXPECT_EQ(List(), c.upload ? (Lines{"a.jpg", "up.jpg"}) : Lines{"a.jpg"});
  const Lines after = Conversation();
  EXPECT_EQ(Lines(after.end() - 2, after.end()), (Lines{"PASV", "nlst"}));
  EXPECT_EQ(ftp.QueryWorkingDir(), "/");
  EXPECT_EQ(std::count(texts.begin(), texts.end(), FallbackText), 1);
  // So is the next session of the client.
  ftp.Disconnect();
  Login();
  List();
  const Lines all = AfterLogin();
  EXPECT_EQ(Lines(all.end() - 2, all.end()), (Lines{"PASV", "nlst"}));
}

INSTANTIATE_TEST_SUITE_P(
    Field, Fallback,
    ::testing::Values(FallbackCase{"port_illegal", false, {"PORT"}},
                      FallbackCase{"port_illegal", true, {"PORT"}},
                      FallbackCase{"never_connect", false, {"PORT", "@", "ABOR"}},
                      FallbackCase{"never_connect", true, {"PORT", "@", "ABOR"}},
                      FallbackCase{"never_connect_425", false, {"PORT", "@"}, 30000},
                      FallbackCase{"never_connect_425", true, {"PORT", "@"}, 30000},
                      FallbackCase{"data_from_elsewhere", false, {"PORT", "@"}},
                      FallbackCase{"data_from_elsewhere", true, {"PORT", "@"}}),
    [](const ::testing::TestParamInfo<FallbackCase>& info) {
      std::string name =
          std::string(info.param.scenario) + (info.param.upload ? "_upload" : "_list");
      return name;
    });

TEST_F(Field, LaterDataConnectionsKeepTheirLimitAndNoFallback) {
  ServeField("never_connect", {{"never_connect_after", "1"}});
  Login();
  ftp.AcceptTimeOut = 500;
  EXPECT_EQ(List(), Lines{});
  EXPECT_EQ(MessageOf<EIdAcceptTimeout>([&] { List(); }),
            "Der Server hat innerhalb von 1 Sekunden keine Datenverbindung aufgebaut.");
  EXPECT_FALSE(ftp.UsesPassive());
  EXPECT_TRUE(texts.empty());
  EXPECT_EQ(ftp.QueryWorkingDir(), "/") << "the transfer was called off with ABOR, in step";
}

// Servers that connect back while they answer PORT: a 421 at once, or nothing until their
// attempt gives up.
TEST_F(Field, A421ToPortEndsTheSessionAndTheNextGoesPassive) {
  ExpectSessionEndedThenPassive("port_421");
}

TEST_F(Field, APortThatIsNotAnsweredEndsTheSessionAndTheNextGoesPassive) {
  ExpectSessionEndedThenPassive("port_hang");
}

TEST_F(Field, AnEndWithoutDataConnectionIsNoSuccess) {
  ServeField("never_connect",
             {{"never_connect_reply", "226 Transfer complete"}, {"never_connect_delay", "0.1"}});
  ftp.FirstAcceptTimeOut = 30000;
  Login();
  EXPECT_EQ(
      MessageOf<EIdFTPNoDataConnection>([&] { List(); }),
      "Der Server meldet das Ende der Übertragung (\"226 Transfer complete\"), hat aber keine "
      "Datenverbindung aufgebaut.");
  EXPECT_EQ(ftp.QueryWorkingDir(), "/");
}

TEST_F(Field, NeitherModeWorksSaysFirewallWhenPassiveIsRefused) {
  ExpectFirewallError({{"replies.PASV", "502 Passive mode not supported"}});
}

TEST_F(Field, NeitherModeWorksSaysFirewallWhenThePassivePortIsClosed) {
  ExpectFirewallError({{"pasv_port", std::to_string(peer::UnusedPort())}, {"data_timeout", "0.3"}});
}

TEST_F(Field, OnlyTheServerDeliversActiveModeData) {
  ServeField("foreign_first");
  WriteFileBytes(server->Root() + "/a.jpg", "a");
  Login();
  EXPECT_EQ(List(), Lines{"a.jpg"}) << "the listing came from the server";
  const std::string photo(300000, 'p');
  Upload("up.jpg", photo);
  EXPECT_EQ(ReadFileBytes(server->Root() + "/up.jpg"), photo);
  const std::string refused =
      "Eine Datenverbindung von 127.0.0.2 wurde abgewiesen: sie kam nicht vom Server.";
  EXPECT_EQ(texts, (Lines{refused, refused}));
  EXPECT_FALSE(ftp.UsesPassive());
}

TEST_F(Field, PassiveDataGoesToTheServerWhateverTheReplyNames) {
  // A server behind NAT names its private address, a hostile one a third host.
  ServeField("default", {{"pasv_address", "10.1.2.3"}});
  WriteFileBytes(server->Root() + "/a.jpg", "a");
  Login(true);
  std::string peer;
  ftp.OnWork = [&](TIdComponent*, TWorkMode, int32_t) {
    peer = ftp.DataConnection()->SocketHandle.RemoteIP;
  };
  EXPECT_EQ(List(), Lines{"a.jpg"});
  EXPECT_EQ(peer, "127.0.0.1");
}

TEST_F(Field, MessageFilesInsideRepliesKeepTheSessionInStep) {
  ServeField("proftpd_messages");
  std::filesystem::create_directory(server->Root() + "/Serie");
  Login();
  EXPECT_EQ(ftp.LastReplyLine(), "215 UNIX Type: L8") << "syst got its own reply";
  ftp.ChangeWorkingDir("Serie");
  EXPECT_EQ(ftp.ReplyLines.Count(), 5);
  EXPECT_EQ(ftp.QueryWorkingDir(), "/Serie");
  Upload("a.jpg", "a");
  EXPECT_EQ(List(), Lines{"a.jpg"});
  ftp.ChangeWorkingDir("..");
  EXPECT_EQ(ftp.QueryWorkingDir(), "/");
}

TEST_F(Field, GreetingAndLoginHaveOneLimit) {
  ServeField("trickle");
  ftp.LoginTimeOut = 700;
  EXPECT_EQ(MessageOf<EIdFTPLoginTimeout>([&] { Login(); }),
            "Der Server hat die Anmeldung nicht innerhalb von 1 Sekunden abgeschlossen; die "
            "Verbindung wurde getrennt.");
  EXPECT_FALSE(ftp.Connected());
}

TEST_F(Field, A421EndsTheSessionOnThisSideToo) {
  ServeField("default", {{"replies.CWD", "421 Timeout."}});
  int disconnected = 0;
  ftp.OnDisconnected = [&](TComponent*) { ++disconnected; };
  Login();
  EXPECT_EQ(MessageOf<EIdProtocolReplyError>([&] { ftp.ChangeWorkingDir("x"); }), "421 Timeout.");
  EXPECT_FALSE(ftp.Connected());
  EXPECT_EQ(disconnected, 1);
}

TEST_F(Field, AnUploadCountsOnlyWhenTheServerTookEveryByte) {
  struct Case {
    const char* scenario;
    const char* message; // the reply that tells the cause, or the client's own text
  };
  const Case cases[] = {
      {"cut_226", "Der Server hat die Datenverbindung abgebrochen, bevor er die ganze Datei "
                  "angenommen hatte."},
      {"cut_451", "451 Transfer aborted"},
  };
  for (const Case& c : cases)
    for (bool passive : {false, true}) {
      SCOPED_TRACE(std::string(c.scenario) + (passive ? " passive" : " active"));
      ServeField(c.scenario);
      Login(passive);
      // Small enough to sit in the socket buffers whole: every send succeeds.
      try {
        Upload("up.jpg", std::string(1 << 20, 'u'));
        ADD_FAILURE() << "the cut upload counted as complete";
      } catch (const EIdException& e) {
        EXPECT_EQ(e.Message, c.message);
      }
      EXPECT_EQ(ftp.QueryWorkingDir(), "/");
      ftp.Disconnect();
    }
}

TEST_F(Field, AFileThatShrinksWhileItIsSentIsNotTakenForWhole) {
  ServeField("default", {{"abort_wait", "0.2"}});
  const std::string path = server->Root() + "-photo.jpg";
  WriteFileBytes(path, std::string(1 << 20, 's'));
  Login();
  bool shrunk = false;
  ftp.OnWork = [&](TIdComponent*, TWorkMode, int32_t) {
    if (!shrunk) std::filesystem::resize_file(path, 100000);
    shrunk = true;
  };
  EXPECT_THROW(ftp.StoreFile(path, "up.jpg", false), EIdNoDataToRead);
  EXPECT_NE(ftp.LastReplyCode, 226) << "the server saw a reset, not the end of the file";
  EXPECT_EQ(ftp.QueryWorkingDir(), "/");
  std::filesystem::remove(path);
}

TEST_F(Field, RepliesAfterAServersOwn426AreReadBeforeTheNextCommand) {
  for (bool passive : {false, true}) {
    SCOPED_TRACE(passive ? "passive" : "active");
    ServeField("cut_426_226");
    WriteFileBytes(server->Root() + "/photo.jpg", std::string(100000, 'p'));
    Login(passive);
    TMemoryStream stream;
    EXPECT_EQ(MessageOf<EIdProtocolReplyError>([&] { ftp.RetrieveToStream("photo.jpg", stream); }),
              "426 Connection closed; transfer aborted");
    EXPECT_EQ(ftp.QueryWorkingDir(), "/") << "the late 226 is not the answer to PWD";
    ftp.Disconnect();
  }
}

TEST_F(Field, AListingHasALimit) {
  for (bool passive : {false, true}) {
    SCOPED_TRACE(passive ? "passive" : "active");
    std::string listing;
    while (listing.size() < 5000)
      listing += "foto.jpg\r\n";
    ServeField("default", {{"nlst_listing", listing}});
    Login(passive);
    ftp.MaxListingSize = 4096;
    EXPECT_EQ(MessageOf<EIdFTPListingTooLarge>([&] { List(); }),
              "Das Verzeichnis ist zu groß: der Server hat mehr als 4096 Bytes an Einträgen "
              "gesendet. Es wird nicht angezeigt.");
    EXPECT_EQ(ftp.QueryWorkingDir(), "/");
    ftp.Disconnect();
  }
  EXPECT_EQ(TIdFTP::DefaultMaxListingSize, 32 << 20);
}

} // namespace
