#include "ConnectionFixture.h"
#include "IdReplyParsing.h"
#include "IdTCPExceptions.h"

namespace {

struct ReplyCase {
  const char* name;
  const char* wire;
  Lines lines;
  int16_t code;
  const char* next; // the line the next reply starts with, or nullptr
};

class Replies : public ConnectionFixture {};

TEST_F(Replies, Framing) {
  const ReplyCase cases[] = {
      {"one line", "220 Service ready\r\n", {"220 Service ready"}, 220, nullptr},
      {"multi-line",
       "230-Welcome\r\n230-Second\r\n230 Done\r\n",
       {"230-Welcome", "230-Second", "230 Done"},
       230,
       nullptr},
      {"indented middle line",
       "214-Help\r\n   USER PASS\r\n214 End\r\n",
       {"214-Help", "USER PASS", "214 End"},
       214,
       nullptr},
      {"bare closing code", "250-First\r\n250\r\n", {"250-First", "250"}, 250, "200 next"},
      {"short line is text",
       "250-First\r\nok\r\n250 End\r\n",
       {"250-First", "ok", "250 End"},
       250,
       "200 next"},
      {"blank lines skipped", "230-A\r\n\r\n   \r\n230 B\r\n", {"230-A", "230 B"}, 230, nullptr},
      {"closing code in other case", "2a1-x\r\n2A1 y\r\n", {"2a1-x", "2A1 y"}, 0, nullptr},
      {"LF only", "200 fine\n", {"200 fine"}, 200, nullptr},
      {"+OK", "+OK ready\r\n", {"+OK ready"}, 1, nullptr},
      {"-err", "-err no\r\n", {"-err no"}, 0, nullptr},
      {"no number", "hello\r\n", {"hello"}, 0, nullptr},
      {"four digits", "1234 x\r\n", {"1234 x"}, 123, nullptr},
      {"two digits", "12 x\r\n", {"12 x"}, 0, nullptr},
      {"code from the last line", "200-a\r\n200 b\r\n", {"200-a", "200 b"}, 200, nullptr},
  };
  for (const ReplyCase& c : cases) {
    SCOPED_TRACE(c.name);
    TIdTCPClient conn;
    const std::string wire = c.wire;
    peer::TLoopbackPeer server([&](peer::TPeerSocket& s) {
      s.Send(wire);
      if (c.next != nullptr) s.Send(std::string(c.next) + "\r\n");
      s.ReceiveSome();
    });
    conn.Host = "127.0.0.1";
    conn.Port = server.Port();
    conn.Connect();
    EXPECT_EQ(conn.ReadReply({}), c.code);
    EXPECT_EQ(conn.LastReplyCode, c.code);
    EXPECT_EQ(Lines(conn.ReplyLines.begin(), conn.ReplyLines.end()), c.lines);
    if (c.next != nullptr) {
      conn.ReadReply({});
      EXPECT_EQ(conn.LastReplyLine(), c.next);
    }
    conn.Disconnect();
    EXPECT_EQ(server.Join(), "");
  }
}

// Replies as real servers send them, fed line by line as they arrive: where each ends and
// what it holds.
TEST(ReplyFraming, RealServersMultiLineReplies) {
  struct Case {
    const char* name;
    Lines received;
    Lines stored;
    size_t taken; // lines fed until the reply was whole
  };
  const Case cases[] = {
      {"pure-ftpd greeting",
       {"220---------- Welcome to Pure-FTPd [privsep] ----------",
        "220-You are user number 1 of 50 allowed.", "220-Local time is now 14:05.",
        "220 You will be disconnected after 15 minutes of inactivity.", "331 next"},
       {"220---------- Welcome to Pure-FTPd [privsep] ----------",
        "220-You are user number 1 of 50 allowed.", "220-Local time is now 14:05.",
        "220 You will be disconnected after 15 minutes of inactivity."},
       4},
      {"pure-ftpd after a transfer",
       {"226-File successfully transferred", "226 0.002 seconds, 512.00 Mbytes per second"},
       {"226-File successfully transferred", "226 0.002 seconds, 512.00 Mbytes per second"},
       2},
      {"vsftpd help, commands indented",
       {"214-The following commands are recognized.", " ABOR ACCT ALLO APPE CDUP CWD",
        " EPRT EPSV FEAT HELP LIST", "214 Help OK."},
       {"214-The following commands are recognized.", "ABOR ACCT ALLO APPE CDUP CWD",
        "EPRT EPSV FEAT HELP LIST", "214 Help OK."},
       4},
      {"proftpd message file at login",
       {"230-Willkommen im Studio", " --", " x", " ", "", " 220 alte Begrüßung", " 230 nicht hier",
        "230 User Lichtfracht logged in", "215 UNIX Type: L8"},
       {"230-Willkommen im Studio", "--", "x", "220 alte Begrüßung", "230 nicht hier",
        "230 User Lichtfracht logged in"},
       8},
      {"proftpd message file on entering a folder",
       {"250-Serie 2026", " Bitte nichts löschen.", " 12", "250 CWD command successful"},
       {"250-Serie 2026", "Bitte nichts löschen.", "12", "250 CWD command successful"},
       4},
      {"IIS style, other codes inside",
       {"230-Welcome", "   message of the day", "200 is no end here", "230-still going",
        "230 User logged in."},
       {"230-Welcome", "message of the day", "200 is no end here", "230-still going",
        "230 User logged in."},
       5},
      {"bare code ends it", {"226-Done", "226", "257 next"}, {"226-Done", "226"}, 2},
      {"code without a blank after it is text",
       {"226-Done", "2260 more", "226\tx", "226 ok"},
       {"226-Done", "2260 more", "226\tx", "226 ok"},
       4},
      {"one line", {"200 Type set to I", "215 next"}, {"200 Type set to I"}, 1},
      {"blank lines before it", {"", "  ", "220 ready"}, {"220 ready"}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TStringList stored;
    stored.Add("from before");
    TIdReplyFraming framing(stored);
    size_t taken = 0;
    for (const std::string& line : c.received) {
      ++taken;
      if (framing.Feed(line)) break;
    }
    EXPECT_TRUE(framing.Complete());
    EXPECT_EQ(taken, c.taken);
    EXPECT_EQ(Lines(stored.begin(), stored.end()), c.stored);
  }
}

TEST(ReplyParsing, CodesAndTrimming) {
  EXPECT_EQ(ReplyCodeOf("+ok"), 1);
  EXPECT_EQ(ReplyCodeOf("-ERRx"), 0);
  EXPECT_EQ(ReplyCodeOf("550"), 550);
  EXPECT_EQ(TrimControls("\t 5 \r"), "5");
  EXPECT_EQ(TrimControls("\xC4 "), "\xC4") << "bytes above 127 are text";
}

TEST_F(Replies, RefusedCodeCarriesTheLastLine) {
  Start([](peer::TPeerSocket& s) {
    s.ReceiveUntil("\r\n");
    s.Send("530-Not\r\n530 Login incorrect\r\n");
    s.ReceiveSome();
  });
  try {
    client.SendCommand("user x", TIdReplyCodes{230, 331});
    FAIL() << "no exception";
  } catch (const EIdProtocolReplyError& e) {
    EXPECT_EQ(e.ReplyCode, 530);
    EXPECT_EQ(e.Message, "530 Login incorrect");
  }
  EXPECT_EQ(client.ReplyLines.Count(), 2) << "the refused reply is kept";
}

TEST_F(Replies, CommandsAndTheNoCommandMarker) {
  std::string got;
  Start([&](peer::TPeerSocket& s) {
    s.Send("220 first\r\n");
    got = s.ReceiveUntil("\r\n");
    s.Send("500 whatever\r\n");
    got += s.ReceiveUntil("\r\n");
    s.Send("200 ok\r\n");
    s.ReceiveSome();
  });
  EXPECT_EQ(client.SendCommand(IdNoCommand, 220), 220) << "reads without sending";
  EXPECT_EQ(client.SendCommand("NOOP", -1), 500) << "-1 takes any code";
  EXPECT_EQ(client.SendCommand("", 200), 200);
  client.Disconnect();
  EXPECT_EQ(server->Join(), "");
  EXPECT_EQ(got, "NOOP\r\n\r\n") << "an empty command is a bare line end";
}

TEST_F(Replies, ClosedWhileWaitingKeepsWhatCame) {
  Start([](peer::TPeerSocket& s) { s.Send("230-one\r\n230-two\r\n"); });
  client.LastReplyCode = 42;
  EXPECT_THROW(client.ReadReply({}), EIdConnClosedByPeer);
  EXPECT_EQ(client.ReplyLines.Count(), 2);
  EXPECT_EQ(client.LastReplyCode, 42);
}

TEST_F(Replies, EndlessContinuationIsRefused) {
  Start([](peer::TPeerSocket& s) {
    std::string block;
    for (int i = 0; i < 1000; ++i)
      block += "230-and so on and so forth\r\n";
    try {
      for (int i = 0; i < 2000; ++i) // far more than any reply may hold
        s.Send(block);
    } catch (const std::exception&) {
      // refused and hung up on
    }
  });
  try {
    client.ReadReply({});
    FAIL() << "no exception";
  } catch (const EIdPeerDataTooLong& e) {
    EXPECT_NE(e.Message.find("Antwort"), std::string::npos) << e.Message;
  }
  EXPECT_FALSE(client.Connected());
}

} // namespace
