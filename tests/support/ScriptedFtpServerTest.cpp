#include "ScriptedFtpServer.h"

#include "RawFtpClient.h"
#include "TestFiles.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using namespace std::chrono_literals;
using RawFtp::TClient;
using RawFtp::TListener;
using RawFtp::TSocket;
using TStrings = std::vector<std::string>;

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

void LogIn(TClient& client) {
  ASSERT_EQ(client.ReadReply().substr(0, 4), "220 ");
  ASSERT_EQ(client.Command("user Lichtfracht").substr(0, 4), "331 ");
  ASSERT_EQ(client.Command("pass 58Kovarenisobume").substr(0, 4), "230 ");
}

TEST(ScriptedFtpServer, DefaultSessionAnswersAndTranscribesEveryLineExactly) {
  TScriptedFtpServer server;
  TClient client(server.Port());
  EXPECT_EQ(client.ReadReply(), "220 Scripted FTP test server ready\r\n");
  EXPECT_EQ(client.Command("user Lichtfracht"), "331 Password required for Lichtfracht\r\n");
  EXPECT_EQ(client.Command("pass 58Kovarenisobume"), "230 User logged in\r\n");
  EXPECT_EQ(client.Command("type I"), "200 Type set to I\r\n");
  EXPECT_EQ(client.Command("syst"), "215 UNIX Type: L8\r\n");
  EXPECT_EQ(client.Command("PWD"), "257 \"/\" is the current directory\r\n");
  EXPECT_EQ(client.Command("MKD fotos"), "257 \"/fotos\" created\r\n");
  EXPECT_EQ(client.Command("CWD fotos").substr(0, 4), "250 ");
  EXPECT_EQ(client.Command("PWD"), "257 \"/fotos\" is the current directory\r\n");
  EXPECT_EQ(client.Command("CWD ").substr(0, 4), "250 ");
  EXPECT_EQ(client.Command("CWD nirgends").substr(0, 4), "550 ");
  EXPECT_EQ(client.Command("SIZE fehlt.jpg").substr(0, 4), "550 ");
  EXPECT_EQ(client.Command("ABOR"), "225 No transfer to abort\r\n");
  EXPECT_EQ(client.Command("FEAT"), "502 Command not implemented\r\n");
  EXPECT_EQ(client.Command("Quit"), "221 Goodbye\r\n");
  EXPECT_TRUE(client.ClosedByServer(5s));
  EXPECT_TRUE(std::filesystem::is_directory(server.Root() + "/fotos"));
  EXPECT_EQ(server.Transcript(),
            (TStrings{"user Lichtfracht", "pass 58Kovarenisobume", "type I", "syst", "PWD",
                      "MKD fotos", "CWD fotos", "PWD", "CWD ", "CWD nirgends", "SIZE fehlt.jpg",
                      "ABOR", "FEAT", "Quit"}));
}

TEST(ScriptedFtpServer, ActiveListStoreAndPassiveRetrieve) {
  TScriptedFtpServer server;
  WriteFile(server.Root() + "/a.jpg", "abc");
  TClient client(server.Port());
  LogIn(client);

  {
    TListener listener;
    EXPECT_EQ(client.Command("PORT " + listener.PortArgument()).substr(0, 4), "200 ");
    EXPECT_EQ(client.Command("list").substr(0, 4), "150 ");
    TSocket data = listener.Accept();
    const std::string listing = data.ReadAll();
    EXPECT_NE(listing.find(" a.jpg\r\n"), std::string::npos) << listing;
    EXPECT_EQ(listing.substr(0, 10), "-rw-r--r--") << listing;
    EXPECT_EQ(client.ReadReply(), "226 Transfer complete\r\n");
  }
  {
    TListener listener;
    EXPECT_EQ(client.Command("PORT " + listener.PortArgument()).substr(0, 4), "200 ");
    EXPECT_EQ(client.Command("STOR hoch.jpg").substr(0, 4), "150 ");
    TSocket data = listener.Accept();
    data.WriteAll(std::string("x\0y\r\n", 5));
    data.Close();
    EXPECT_EQ(client.ReadReply().substr(0, 4), "226 ");
    EXPECT_EQ(ReadFileBytes(server.Root() + "/hoch.jpg"), std::string("x\0y\r\n", 5));
  }
  {
    const int port = RawFtp::PassivePort(client.Command("PASV"));
    client.Send("retr a.jpg");
    TSocket data = TSocket::Connect(port);
    EXPECT_EQ(client.ReadReply().substr(0, 4), "150 ");
    EXPECT_EQ(data.ReadAll(), "abc");
    EXPECT_EQ(client.ReadReply().substr(0, 4), "226 ");
  }
  EXPECT_EQ(client.Command("retr fehlt.jpg").substr(0, 4), "550 ");
}

TEST(ScriptedFtpServer, FixedListingBytesFromSettings) {
  const std::string listing("a.jpg\nb.jpg\0c.jpg\r", 18);
  TScriptedFtpServer server("default", {{"listing", TScriptedFtpServer::EscapedValue(listing)}});
  TClient client(server.Port());
  LogIn(client);
  const int port = RawFtp::PassivePort(client.Command("PASV"));
  client.Send("list");
  TSocket data = TSocket::Connect(port);
  EXPECT_EQ(client.ReadReply().substr(0, 4), "150 ");
  EXPECT_EQ(data.ReadAll(), listing);
  EXPECT_EQ(client.ReadReply().substr(0, 4), "226 ");
}

TEST(ScriptedFtpServer, EmptyListingClosesTheDataConnectionAtOnce) {
  TScriptedFtpServer server("listing_empty");
  TClient client(server.Port());
  LogIn(client);
  TListener listener;
  client.Command("PORT " + listener.PortArgument());
  EXPECT_EQ(client.Command("nlst").substr(0, 4), "150 ");
  EXPECT_EQ(listener.Accept().ReadAll(), "");
  EXPECT_EQ(client.ReadReply().substr(0, 4), "226 ");
}

TEST(ScriptedFtpServer, SecondSessionAfterTheFirstClosed) {
  TScriptedFtpServer server;
  {
    TClient first(server.Port());
    LogIn(first);
    EXPECT_EQ(first.Command("QUIT").substr(0, 4), "221 ");
  }
  TClient second(server.Port());
  LogIn(second);
  EXPECT_EQ(second.Command("PWD").substr(0, 4), "257 ");
}

struct TReplyCase {
  const char* Scenario;
  const char* Command;
  const char* Reply; // exact, or a prefix when Prefix is set
  bool Prefix = false;
};

void PrintTo(const TReplyCase& c, std::ostream* os) {
  *os << c.Scenario << ": " << c.Command;
}

class ScenarioReplies : public ::testing::TestWithParam<TReplyCase> {};

TEST_P(ScenarioReplies, AnswerAsWritten) {
  const TReplyCase& c = GetParam();
  TScriptedFtpServer server(c.Scenario);
  TClient client(server.Port());
  client.ReadReply();
  const std::string reply = client.Command(c.Command);
  if (c.Prefix)
    EXPECT_EQ(reply.substr(0, std::string(c.Reply).size()), c.Reply) << reply;
  else
    EXPECT_EQ(reply, c.Reply);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ScenarioReplies,
    ::testing::Values(
        TReplyCase{"syst_500", "syst", "500 SYST not understood\r\n"},
        TReplyCase{"syst_502", "syst", "502 Command not implemented\r\n"},
        TReplyCase{"user_230", "user Lichtfracht", "230 User logged in, no password needed\r\n"},
        TReplyCase{"login_multiline", "pass x",
                   "230-Welcome\r\n230-\r\n\r\n230 User logged in\r\n"},
        TReplyCase{"pwd_multiline", "PWD",
                   "257-\"/first\" is not it\r\n257 \"/fotos/2024\" is the current directory\r\n"},
        TReplyCase{"pwd_unquoted", "PWD", "257 /fotos is the current directory\r\n"},
        TReplyCase{"mkd_250", "MKD neu", "250 Directory created\r\n"},
        TReplyCase{"size_big", "SIZE gross.jpg", "213 3000000000\r\n"},
        TReplyCase{"size_multiline", "SIZE a.jpg", "213-Size follows\r\n213 1234\r\n"},
        TReplyCase{"port_refused", "PORT 127,0,0,1,200,10", "501 Illegal PORT command\r\n"},
        TReplyCase{"default", "PORT 10,0,0,5,18,52", "501 PORT address must be on 127.0.0.0/8\r\n"},
        TReplyCase{"pasv_no_parens", "PASV", "227 Entering Passive Mode 127,0,0,1,", true},
        TReplyCase{"pasv_trailing_text", "PASV", "227 Entering Passive Mode (127,0,0,1,", true},
        TReplyCase{"stor_refused", "STOR x.jpg", "553 Could not create file\r\n"}),
    [](const ::testing::TestParamInfo<TReplyCase>& info) {
      return std::string(info.param.Scenario) + "_" + std::to_string(info.index);
    });

TEST(ScriptedFtpServer, SetOverridesOneReplyWithRawLineEnds) {
  TScriptedFtpServer server("default", {{"replies.PWD", "257 \\\"/x\\\" LF only\\n"},
                                        {"greeting", "220-eins\\r\\n220 zwei\\r\\n"}});
  TClient client(server.Port());
  EXPECT_EQ(client.ReadReply(), "220-eins\r\n220 zwei\r\n");
  EXPECT_EQ(client.Command("PWD"), "257 \"/x\" LF only\n");
}

TEST(ScriptedFtpServer, SplitRepliesArriveIntactInPieces) {
  TScriptedFtpServer server("split_replies");
  TClient client(server.Port());
  std::string greeting;
  int pieces = 0;
  while (greeting.find("\r\n") == std::string::npos) {
    const std::string piece = client.Socket().ReadSome();
    ASSERT_FALSE(piece.empty());
    greeting += piece;
    ++pieces;
  }
  EXPECT_EQ(greeting, "220 Scripted FTP test server ready\r\n");
  EXPECT_GT(pieces, 2);
}

TEST(ScriptedFtpServer, NeverConnectSendsThePreliminaryReplyAndNothingElse) {
  TScriptedFtpServer server("never_connect");
  TClient client(server.Port());
  LogIn(client);
  TListener listener;
  client.Command("PORT " + listener.PortArgument());
  EXPECT_EQ(client.Command("list").substr(0, 4), "150 ");
  EXPECT_TRUE(client.Silent(700ms));
  EXPECT_FALSE(listener.Pending(0ms));
  // The client gives up: ABOR is answered as for a transfer that ran.
  EXPECT_EQ(client.Command("ABOR"), "426 Connection closed; transfer aborted\r\n");
  EXPECT_EQ(client.ReadReply(), "226 Abort successful\r\n");
}

TEST(ScriptedFtpServer, NeverConnectWithLateErrorReply) {
  TScriptedFtpServer server("never_connect_425", {{"never_connect_delay", "0.3"}});
  TClient client(server.Port());
  LogIn(client);
  TListener listener;
  client.Command("PORT " + listener.PortArgument());
  EXPECT_EQ(client.Command("STOR x.jpg").substr(0, 4), "150 ");
  EXPECT_EQ(client.ReadReply(3s), "425 Can't open data connection\r\n");
  EXPECT_FALSE(listener.Pending(0ms));
}

TEST(ScriptedFtpServer, ConnectBeforePreliminaryReply) {
  TScriptedFtpServer server("connect_before_preliminary");
  WriteFile(server.Root() + "/a.jpg", "abc");
  TClient client(server.Port());
  LogIn(client);
  TListener listener;
  client.Command("PORT " + listener.PortArgument());
  EXPECT_EQ(client.Command("retr a.jpg").substr(0, 4), "150 ");
  EXPECT_TRUE(listener.Pending(100ms)); // connected before the 150 went out
  EXPECT_EQ(listener.Accept().ReadAll(), "abc");
  EXPECT_EQ(client.ReadReply().substr(0, 4), "226 ");
}

TEST(ScriptedFtpServer, ConnectOnPortLikeSomeServersDo) {
  TScriptedFtpServer server("connect_on_port");
  TClient client(server.Port());
  LogIn(client);
  TListener listener;
  EXPECT_EQ(client.Command("PORT " + listener.PortArgument()).substr(0, 4), "200 ");
  EXPECT_TRUE(listener.Pending(100ms)); // connected before the 200 went out
  EXPECT_EQ(client.Command("nlst").substr(0, 4), "125 ");
  EXPECT_EQ(listener.Accept().ReadAll(), "");
  EXPECT_EQ(client.ReadReply().substr(0, 4), "226 ");
}

// ABOR in the middle of a slow download, with the replies of each abort scenario.
void CheckAbortMidDownload(const std::string& scenario, const TStrings& expected) {
  SCOPED_TRACE(scenario);
  TScriptedFtpServer server(scenario);
  WriteFile(server.Root() + "/gross.jpg", std::string(4096, 'g'));
  TClient client(server.Port());
  LogIn(client);
  const int port = RawFtp::PassivePort(client.Command("PASV"));
  client.Send("retr gross.jpg");
  TSocket data = TSocket::Connect(port);
  EXPECT_EQ(client.ReadReply().substr(0, 4), "150 ");
  EXPECT_FALSE(data.ReadSome().empty());
  client.Send("ABOR");
  data.Close();
  for (const auto& reply : expected)
    EXPECT_EQ(client.ReadReply(), reply);
  EXPECT_TRUE(client.Silent(200ms));
  EXPECT_EQ(client.Command("NOOP").substr(0, 4), "200 ");
}

TEST(ScriptedFtpServer, AbortDuringSlowDownload) {
  CheckAbortMidDownload(
      "slow_data", {"426 Connection closed; transfer aborted\r\n", "226 Abort successful\r\n"});
  CheckAbortMidDownload("slow_data,abort_225", {"225 Abort successful\r\n"});
  CheckAbortMidDownload("slow_data,abort_226", {"226 Abort successful\r\n"});
}

TEST(ScriptedFtpServer, ClosesControlConnectionOnTheGivenCommand) {
  TScriptedFtpServer server("default", {{"close_on", "PWD"}});
  TClient client(server.Port());
  LogIn(client);
  client.Send("PWD");
  EXPECT_TRUE(client.ClosedByServer(5s));
  EXPECT_TRUE(server.WaitForTranscriptLine("PWD"));
}

// A session left idle is ended the way vsftpd and pure-ftpd end it.
TEST(ScriptedFtpServer, IdleSessionGetsItsReplyAndIsClosed) {
  TScriptedFtpServer server("default", {{"idle_timeout", "0.3"}, {"idle_reply", "421 Timeout."}});
  TClient client(server.Port());
  LogIn(client);
  EXPECT_EQ(client.ReadReply(), "421 Timeout.\r\n");
  EXPECT_TRUE(client.ClosedByServer(5s));
}

TEST(ScriptedFtpServer, TranscriptEscapesOddBytesAndLineEnds) {
  TScriptedFtpServer server;
  {
    TClient client(server.Port());
    client.ReadReply();
    client.SendRaw("NOOP\x01x\r\nLF only\nback\\slash\r\nRe\xc3\xa4l\r\n");
    for (int i = 0; i < 4; ++i)
      client.ReadReply();
    client.SendRaw("rest");
  }
  ASSERT_TRUE(server.WaitForTranscriptLines(5));
  EXPECT_EQ(server.Transcript(),
            (TStrings{"NOOP\\x01x", "LF only\\n", "back\\\\slash", "Re\xc3\xa4l", "rest\\EOF"}));
}

TEST(ScriptedFtpServer, UnknownScenarioFailsToStart) {
  try {
    TScriptedFtpServer server("no_such_scenario");
    FAIL() << "started";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("unknown scenario"), std::string::npos) << e.what();
  }
}

} // namespace
