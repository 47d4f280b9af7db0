#include "Exception.h"
#include "IdFTPParsing.h"

#include <gtest/gtest.h>

namespace {

TEST(ExtractQuotedPath, Cases) {
  const std::pair<const char*, const char*> cases[] = {
      {"257 \"/fotos/2024\" is current directory", "/fotos/2024"},
      {"257 \"/\"", "/"},
      {"257 /fotos without quotes", ""},
      {"257 \"/half open", ""},
      {"257 \"/a\"\"b\" doubled", "/a"},
      {"257 \"\" empty", ""},
      {"257 \"/with blank\" x", "/with blank"},
  };
  for (const auto& [line, path] : cases)
    EXPECT_EQ(ExtractQuotedPath(line), path) << "input: " << line;
}

TEST(ParsePassiveReply, Good) {
  struct Case {
    const char* line;
    const char* ip;
    int32_t port;
  };
  const Case cases[] = {
      {"227 Entering Passive Mode (127,0,0,1,4,1)", "127.0.0.1", 1025},
      {"227 Entering Passive Mode (10,1,2,3,200,10). Trailing text", "10.1.2.3", 51210},
      {"227 Entering Passive Mode (0,0,0,0,255,255)", "0.0.0.0", 65535},
      {"227 ok 127,0,0,1,195,80", "127.0.0.1", 50000},
      {"227 Entering Passive Mode (127,0,0,1,4,1)  \r\n", "127.0.0.1", 1025},
  };
  for (const Case& c : cases) {
    std::string ip;
    int32_t port = 0;
    ParsePassiveReply(c.line, ip, port);
    EXPECT_EQ(ip, c.ip) << "input: " << c.line;
    EXPECT_EQ(port, c.port) << "input: " << c.line;
  }
}

TEST(ParsePassiveReply, BadPortNumbers) {
  const char* cases[] = {
      "227 Entering Passive Mode (127,0,0,1,4)",
      "227 Entering Passive Mode (127,0,0,1,x,1)",
      "227 no numbers at all",
      "227 )(127,0,0,1,4,1",
  };
  for (const char* line : cases) {
    std::string ip;
    int32_t port = 0;
    EXPECT_THROW(ParsePassiveReply(line, ip, port), EConvertError) << "input: " << line;
  }
  try {
    std::string ip;
    int32_t port = 0;
    ParsePassiveReply("227 (1,2,3,4,5,y)", ip, port);
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "'y' ist kein gültiger Integerwert");
  }
}

TEST(ParsePassiveReply, NumbersOutsideAByteAreRefused) {
  const std::pair<const char*, const char*> cases[] = {
      {"227 Entering Passive Mode (383,0,0,1,4,1)", "(383,0,0,1,4,1)."},
      {"227 Entering Passive Mode (127,0,0,1,256,1)", "(127,0,0,1,256,1)."},
      {"227 Entering Passive Mode (127,0,0,1,4,-1)", "(127,0,0,1,4,-1)."},
      {"227 Entering Passive Mode (127,0,x,1,4,1)", "(127,0,x,1,4,1)."},
      // Not a name to look up either: the address is the four numbers or nothing.
      {"227 =192,168,0,9,0,21", "(=192,168,0,9,0,21)."},
  };
  for (const auto& [line, numbers] : cases) {
    std::string ip;
    int32_t port = 0;
    try {
      ParsePassiveReply(line, ip, port);
      ADD_FAILURE() << "no exception for " << line;
    } catch (const EIdFTPInvalidPassiveAddress& e) {
      EXPECT_EQ(
          e.Message,
          std::string("Der Server hat für die Datenverbindung eine ungültige Adresse genannt ") +
              numbers)
          << "input: " << line;
    }
  }
}

TEST(PortArgument, HighAndLowByte) {
  EXPECT_EQ(PortArgument("10.0.0.5", 4660), "10,0,0,5,18,52");
  EXPECT_EQ(PortArgument("127.0.0.1", 21), "127,0,0,1,0,21");
  EXPECT_EQ(PortArgument("127.0.0.1", 65535), "127,0,0,1,255,255");
}

TEST(SplitListing, LineEnds) {
  using V = std::vector<std::string>;
  const std::pair<std::string, V> cases[] = {
      {"a\r\nb\r\n", V{"a", "b"}},
      {"a\nb\n", V{"a", "b"}},
      {"a\rb", V{"a", "b"}},
      {"a\n\nb", V{"a", "", "b"}},
      {"a\r\n\r\nb\r\n", V{"a", "", "b"}},
      {"", V{}},
      {"\r\n", V{""}},
      {std::string("a\nb\0c\nd\n", 8), V{"a", "b"}},
      {"drwxr-xr-x 2 anna users 4096 Dec  7 14:05 Urlaub 2026\r\n",
       V{"drwxr-xr-x 2 anna users 4096 Dec  7 14:05 Urlaub 2026"}},
  };
  for (const auto& [text, lines] : cases)
    EXPECT_EQ(SplitListing(text), lines) << "input: " << ::testing::PrintToString(text);
}

TEST(SizeFromReply, Cases) {
  const std::pair<std::vector<std::string>, int32_t> cases[] = {
      {{"213 1536"}, 1536},
      {{"213 0"}, 0},
      {{"213 4294967296"}, -1},
      {{"213 2147483647"}, 2147483647},
      {{"213 12 bytes"}, -1},
      {{"213-size follows", "213 1536"}, -1},
      // The rules read on across lines and take a lone code for the number.
      {{"213-size", "213 1536"}, 1536},
      {{"213"}, -1},
      {{"213 -5"}, -1},
      {{"213  "}, -1},
      {{"213 $10"}, 16},
  };
  for (const auto& [lines, size] : cases) {
    TStringList reply;
    for (const std::string& line : lines)
      reply.Add(line);
    EXPECT_EQ(SizeFromReply(reply), size) << "input: " << reply.Text();
  }
}

TEST(BreaksCommandLine, Cases) {
  EXPECT_FALSE(BreaksCommandLine("Urlaub 2026/bild 01.jpg"));
  EXPECT_FALSE(BreaksCommandLine("Grüße"));
  EXPECT_TRUE(BreaksCommandLine("a\r\nDELE b"));
  EXPECT_TRUE(BreaksCommandLine("a\nb"));
  EXPECT_TRUE(BreaksCommandLine(std::string("a\0b", 3)));
}

} // namespace
