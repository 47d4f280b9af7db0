#include "ConnectionFixture.h"
#include "IdLogDebug.h"
#include "IdTCPExceptions.h"
#include "TestFiles.h"

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <unistd.h>

namespace {

// What reaches standard error while run runs.
std::string StandardErrorOf(const std::function<void()>& run) {
  fflush(stderr);
  char path[] = "/tmp/lf-stderr-XXXXXX";
  const int capture = ::mkstemp(path);
  const int saved = ::dup(2);
  ::dup2(capture, 2);
  run();
  fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  ::close(capture);
  const std::string text = ReadFileBytes(path);
  ::unlink(path);
  return text;
}

class Trace : public ConnectionFixture {
 protected:
  void SetUp() override {
    log.SetTarget(ltEvent);
    log.LogTime = false;
    log.OnLogItem = [this](TIdLogDebug*, std::string& text) { items.push_back(text); };
    client.SetIntercept(&log);
    client.SetInterceptEnabled(true);
    log.SetActive(true);
  }
  // A short exchange: greeting, one command, one reply, close.
  void Converse() {
    Start([](peer::TPeerSocket& s) {
      s.Send("220 ready\r\n");
      s.ReceiveUntil("\r\n");
      s.Send("331 pass required\r\n");
      s.ReceiveSome();
    });
    client.ReadReply({220});
    client.SendCommand("user anna", 331);
    client.Disconnect();
  }

  TIdLogDebug log;
  Lines items;
};

TEST_F(Trace, OneItemPerHappening) {
  Converse();
  EXPECT_EQ(items, (Lines{"Verbunden.", "Erh.: 220 ready<EOL>", "Gesendet: user anna<EOL>",
                          "Erh.: 331 pass required<EOL>", "Verbindung aufgehoben."}));
  client.Disconnect();
  EXPECT_EQ(items.back(), "Verbindung aufgehoben.") << "every disconnect detaches";
  EXPECT_EQ(items.size(), 6u);
}

TEST_F(Trace, TheCloseByThePeerIsAnEmptyReceive) {
  Start([](peer::TPeerSocket& s) { s.Send("a\r\nb\r\n"); });
  EXPECT_EQ(server->Join(), "");
  client.ReadUntilClosed();
  EXPECT_EQ(items, (Lines{"Verbunden.", "Erh.: a<EOL>b<EOL>", "Erh.: ", "Verbindung aufgehoben."}));
}

TEST_F(Trace, LoneLineBreaksStay) {
  Start([](peer::TPeerSocket& s) {
    s.Send("x\ny\rz\r\n");
    s.ReceiveSome();
  });
  client.ReadLine();
  EXPECT_EQ(items[1], "Erh.: x\ny\rz<EOL>");
}

TEST_F(Trace, StampedWithTheDateAndTime) {
  if (std::setlocale(LC_TIME, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no German locale";
  log.LogTime = true;
  Start([](peer::TPeerSocket& s) { s.ReceiveSome(); });
  std::setlocale(LC_TIME, "C");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_TRUE(
      std::regex_match(items[0], std::regex(R"(\d\d\.\d\d\.\d{4}( \d\d:\d\d:\d\d)?: Verbunden\.)")))
      << items[0];
}

TEST_F(Trace, InactiveMakesNoItems) {
  log.SetActive(false);
  Converse();
  EXPECT_TRUE(items.empty());
}

TEST_F(Trace, TheHandlersTextIsWhatTheTargetGets) {
  log.SetActive(false);
  log.SetTarget(ltDebugOutput);
  log.SetActive(true);
  log.OnLogItem = [](TIdLogDebug*, std::string& text) {
    if (text.find("pass") != std::string::npos) text = "Passwort gesendet";
  };
  EXPECT_EQ(StandardErrorOf([&] { Converse(); }),
            "Verbunden.\r\nErh.: 220 ready<EOL>\r\nGesendet: user anna<EOL>\r\n"
            "Passwort gesendet\r\nVerbindung aufgehoben.\r\n");
}

TEST(TerminalText, ControlCharactersBecomeQuestionMarks) {
  const std::pair<std::string, std::string> cases[] = {
      {"220 ready<EOL>", "220 ready<EOL>"},
      {"a\tb", "a\tb"},
      {"\x1b]0;Titel\x07\x1b[31mrot\x1b[0m", "?]0;Titel??[31mrot?[0m"},
      {"lone\rCR and lone\nLF", "lone?CR and lone?LF"},
      {std::string("nul\0del\x7f", 8), "nul?del?"},
      {"C1 CSI \xc2\x9b"
       "31m, C1 NEL \xc2\x85",
       "C1 CSI ?31m, C1 NEL ?"},
      {"Umlaute \xc3\xa4\xc3\xb6 and \xc2\xa0 stay", "Umlaute \xc3\xa4\xc3\xb6 and \xc2\xa0 stay"},
      {"cut \xc2", "cut \xc2"},
  };
  for (const auto& [raw, shown] : cases) {
    SCOPED_TRACE(testing::PrintToString(raw));
    EXPECT_EQ(TerminalText(raw), shown);
  }
}

// A server's escape sequences reach standard error defused; the window gets them as sent.
TEST_F(Trace, StandardErrorGetsNoControlCharacters) {
  log.SetActive(false);
  log.SetTarget(ltDebugOutput);
  log.SetActive(true);
  const std::string text = StandardErrorOf([&] {
    Start([](peer::TPeerSocket& s) {
      s.Send("220 \x1b[2J\x1b]0;pwned\x07ready\r\n");
      s.ReceiveSome();
    });
    client.ReadReply({220});
    client.Disconnect();
  });
  EXPECT_EQ(text, "Verbunden.\r\nErh.: 220 ?[2J?]0;pwned?ready<EOL>\r\nVerbindung aufgehoben.\r\n");
  EXPECT_EQ(items.at(1), "Erh.: 220 \x1b[2J\x1b]0;pwned\x07ready<EOL>");
}

// Held output reaches standard error whole and in order, only at the moments it is let
// go: a flush, switching off, a full hold.
TEST_F(Trace, HeldDebugOutputComesWholeWhenLetGo) {
  struct THeldLog : TIdLogDebug {
    using TIdLogDebug::LogText;
  } held;
  held.SetTarget(ltDebugOutput);
  held.LogTime = false;
  held.HoldDebugOutput = true;
  held.SetActive(true);
  client.SetIntercept(&held);
  const std::string exchange = "Verbunden.\r\nErh.: 220 ready<EOL>\r\nGesendet: user anna<EOL>\r\n"
                               "Erh.: 331 pass required<EOL>\r\nVerbindung aufgehoben.\r\n";
  std::string before = "?";
  EXPECT_EQ(StandardErrorOf([&] {
              Converse();
              before = StandardErrorOf([] {});
              held.FlushDebugOutput();
            }),
            exchange);
  EXPECT_EQ(before, "");
  EXPECT_EQ(StandardErrorOf([&] {
              held.LogText("zuletzt");
              held.SetActive(false);
            }),
            "zuletzt\r\n");
  held.SetActive(true);
  const std::string line(1000, 'x');
  const std::string early = StandardErrorOf([&] {
    for (int i = 0; i < 70; ++i)
      held.LogText(line);
  });
  EXPECT_EQ(early.size(), 66 * (line.size() + 2)); // 64 KiB held: out at once
  EXPECT_EQ(StandardErrorOf([&] { held.FlushDebugOutput(); }).size(), 4 * (line.size() + 2));
  client.SetIntercept(&log);
}

TEST_F(Trace, FileTargetAppends) {
  const std::string file =
      std::filesystem::temp_directory_path() / ("lf-trace-" + std::to_string(::getpid()) + ".txt");
  std::filesystem::remove(file);
  log.SetActive(false);
  log.SetTarget(ltFile);
  log.Filename = file;
  log.SetActive(true);
  Converse();
  log.SetActive(false);
  log.SetActive(true); // appends to what is there
  client.Disconnect();
  log.SetActive(false);
  const std::string text = ReadFileBytes(file);
  std::filesystem::remove(file);
  EXPECT_EQ(text, "Verbunden.\r\nErh.: 220 ready<EOL>\r\nGesendet: user anna<EOL>\r\n"
                  "Erh.: 331 pass required<EOL>\r\nVerbindung aufgehoben.\r\n"
                  "Verbindung aufgehoben.\r\n");
}

TEST_F(Trace, TargetIsFixedWhileActive) {
  try {
    log.SetTarget(ltDebugOutput);
    FAIL() << "no exception";
  } catch (const EIdCanNotChangeTarget& e) {
    EXPECT_EQ(e.Message, "Ziel kann in aktivem Zustand nicht geändert werden.");
  }
  log.SetActive(false);
  log.SetTarget(ltDebugOutput);
  EXPECT_EQ(log.Target(), ltDebugOutput);
}

TEST(InterceptBinding, EnabledNeedsAnIntercept) {
  TIdTCPClient conn;
  try {
    conn.SetInterceptEnabled(true);
    FAIL() << "no exception";
  } catch (const EIdInterceptPropIsNil& e) {
    EXPECT_EQ(e.Message,
              "InterceptEnabled darf nicht auf true gesetzt sein, wenn Intercept nil ist.");
  }
  TIdLogDebug log;
  conn.SetIntercept(&log);
  conn.SetInterceptEnabled(true);
  conn.SetIntercept(nullptr);
  EXPECT_FALSE(conn.InterceptEnabled());
}

TEST(InterceptBinding, ADestroyedInterceptIsForgotten) {
  TIdTCPClient conn;
  {
    TIdLogDebug log;
    conn.SetIntercept(&log);
    conn.SetInterceptEnabled(true);
  }
  EXPECT_EQ(conn.Intercept(), nullptr);
  EXPECT_FALSE(conn.InterceptEnabled());
  conn.Disconnect(); // must not reach the destroyed intercept
}

} // namespace
