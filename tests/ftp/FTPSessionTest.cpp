#include "IdTCPExceptions.h"
#include "ScriptedFixture.h"

namespace {

class Session : public ScriptedFixture {};

TEST_F(Session, LoginTranscript) {
  Serve();
  Login();
  EXPECT_EQ(server->Transcript(),
            (Lines{"user Lichtfracht", "pass 58Kovarenisobume", "type I", "syst"}));
  EXPECT_EQ(ftp.SystemDescription(), " UNIX Type: L8");
  EXPECT_TRUE(ftp.Connected());
}

TEST_F(Session, UserAcceptedWithoutPassword) {
  Serve("user_230");
  Login();
  EXPECT_EQ(server->Transcript(), (Lines{"user Lichtfracht", "type I", "syst"}));
}

TEST_F(Session, SystemDescriptions) {
  Serve("syst_500");
  Login();
  EXPECT_EQ(ftp.SystemDescription(), "Unbekannt");
  ftp.Disconnect();

  Serve("syst_200");
  Login();
  EXPECT_EQ(ftp.SystemDescription(), " UNIX Type: L8");
  ftp.Disconnect();

  Serve("syst_502");
  try {
    Login();
    FAIL() << "no exception";
  } catch (const EIdProtocolReplyError& e) {
    EXPECT_EQ(e.ReplyCode, 502);
  }
  EXPECT_FALSE(ftp.Connected());
}

TEST_F(Session, RefusedLoginLeavesTheClientClosed) {
  Serve("login_refused");
  int disconnects = 0;
  ftp.OnDisconnected = [&](TComponent*) { ++disconnects; };
  try {
    Login();
    FAIL() << "no exception";
  } catch (const EIdProtocolReplyError& e) {
    EXPECT_EQ(e.ReplyCode, 530);
    EXPECT_EQ(e.Message, "530 Login incorrect");
  }
  EXPECT_FALSE(ftp.Connected());
  EXPECT_EQ(disconnects, 1);
  // A second attempt connects anew instead of finding an open connection.
  EXPECT_THROW(Login(), EIdProtocolReplyError);
}

TEST_F(Session, RefusedGreetingAndDroppedConnection) {
  Serve("greeting_refused");
  try {
    Login();
    FAIL() << "no exception";
  } catch (const EIdProtocolReplyError& e) {
    EXPECT_EQ(e.ReplyCode, 421);
  }
  EXPECT_TRUE(server->Transcript().empty());

  Serve("close_on_pass");
  EXPECT_THROW(Login(), EIdConnClosedByPeer);
  EXPECT_FALSE(ftp.Connected());
}

TEST_F(Session, FramingOfRealWorldReplies) {
  Serve("greeting_multiline,login_multiline,split_replies");
  Login();
  EXPECT_EQ(ftp.LastReplyCode, 215);
  EXPECT_EQ(ftp.QueryWorkingDir(), "/");
  ftp.Disconnect();
  Serve("greeting_lf_only");
  Login();
  EXPECT_TRUE(ftp.Connected());
}

TEST_F(Session, WithoutLoginOnlyTheGreeting) {
  Serve();
  ftp.Connect(false);
  EXPECT_EQ(ftp.LastReplyCode, 220);
  EXPECT_TRUE(ftp.SystemDescription().empty());
  ftp.Quit();
  EXPECT_TRUE(server->WaitForTranscriptLine("Quit"));
  EXPECT_EQ(server->Transcript(), (Lines{"Quit"}));
}

TEST_F(Session, TransferTypeIsSentOnlyWhenItChanges) {
  Serve();
  ftp.SetTransferType(ftASCII); // not connected: stored for the login
  Login();
  ftp.SetTransferType(ftASCII);
  ftp.SetTransferType(ftBinary);
  EXPECT_EQ(server->Transcript(),
            (Lines{"user Lichtfracht", "pass 58Kovarenisobume", "type A", "syst", "type I"}));
}

TEST_F(Session, RefusedTypeKeepsTheNewValue) {
  Serve("type_refused");
  EXPECT_THROW(Login(), EIdProtocolReplyError);
  EXPECT_FALSE(ftp.Connected());
  ftp.Connect(false);
  EXPECT_THROW(ftp.SetTransferType(ftASCII), EIdProtocolReplyError);
  EXPECT_EQ(ftp.TransferType(), ftASCII);
  EXPECT_TRUE(ftp.Connected());
}

TEST_F(Session, QuitDoesNotWaitForTheGoodbye) {
  Serve("", {{"reply_delays", "{\"QUIT\": 5}"}});
  Login();
  ftp.Quit();
  EXPECT_FALSE(ftp.Connected());
  EXPECT_TRUE(server->WaitForTranscriptLine("Quit"));
  int events = 0;
  ftp.OnStatus = [&](TIdComponent*, TIdStatus, const std::string&) { ++events; };
  ftp.Quit(); // closed: nothing at all
  EXPECT_EQ(events, 0);
}

TEST_F(Session, AbortWithoutATransferLeavesItsReplyForTheNextCommand) {
  Serve();
  Login();
  ftp.Abort();
  ftp.ReadReply({});
  EXPECT_EQ(ftp.LastReplyLine(), "225 No transfer to abort");
  EXPECT_EQ(AfterLogin(), (Lines{"ABOR"}));
}

TEST_F(Session, ArgumentsThatWouldBreakTheLineAreRefused) {
  Serve();
  ftp.User = "anna\r\nDELE x";
  EXPECT_THROW(Login(), EIdFTPInvalidArgument);
  EXPECT_FALSE(ftp.Connected()) << "refused before connecting";
  ftp.User = "Lichtfracht";
  Login();
  const std::string bad[] = {"a\r\nDELE b", "a\nb", "a\rb", std::string("a\0b", 3)};
  for (const std::string& arg : bad) {
    EXPECT_THROW(ftp.ChangeWorkingDir(arg), EIdFTPInvalidArgument);
    EXPECT_THROW(ftp.MakeRemoteDir(arg), EIdFTPInvalidArgument);
    EXPECT_THROW(ftp.RemoveRemoteDir(arg), EIdFTPInvalidArgument);
    EXPECT_THROW(ftp.DeleteRemoteFile(arg), EIdFTPInvalidArgument);
    EXPECT_THROW(ftp.QueryFileSize(arg), EIdFTPInvalidArgument);
    TStringList list;
    EXPECT_THROW(ftp.ListDirectory(list, arg, true), EIdFTPInvalidArgument);
    EXPECT_THROW(ftp.StoreFile("/etc/hostname", arg, false), EIdFTPInvalidArgument);
    EXPECT_THROW(ftp.RetrieveFile(arg, "/tmp/never-written", true), EIdFTPInvalidArgument);
  }
  EXPECT_EQ(ftp.QueryWorkingDir(), "/") << "still in step with the server";
  EXPECT_EQ(AfterLogin(), (Lines{"PWD"}));
}

} // namespace
