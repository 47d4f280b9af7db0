#include "PureFtpd.h"

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

// The last line of a reply, without its line end.
std::string LastLine(const std::string& reply) {
  const size_t end = reply.find_last_not_of("\r\n");
  if (end == std::string::npos) return "";
  const size_t newline = reply.find_last_of('\n', end);
  const size_t start = newline == std::string::npos ? 0 : newline + 1;
  return reply.substr(start, end + 1 - start);
}

void LogIn(TClient& client) {
  // pure-ftpd greets with a multi-line 220.
  const std::string greeting = client.ReadReply();
  ASSERT_EQ(greeting.substr(0, 4), "220-") << greeting;
  ASSERT_EQ(LastLine(greeting).substr(0, 4), "220 ") << greeting;
  ASSERT_EQ(client.Command(std::string("user ") + TPureFtpd::User).substr(0, 4), "331 ");
  ASSERT_EQ(client.Command(std::string("pass ") + TPureFtpd::Password).substr(0, 4), "230 ");
  ASSERT_EQ(client.Command("type I").substr(0, 4), "200 ");
}

// Uploads content in active mode; returns the final reply.
std::string StoreActive(TClient& client, const std::string& name, const std::string& content) {
  TListener listener;
  EXPECT_EQ(client.Command("PORT " + listener.PortArgument()).substr(0, 4), "200 ");
  EXPECT_EQ(client.Command("STOR " + name).substr(0, 4), "150 ");
  {
    TSocket data = listener.Accept();
    data.WriteAll(content);
  }
  return client.ReadReply(30s);
}

TEST(PureFtpd, LogsInListsInBothModesStoresAndQuits) {
  TPureFtpd server;
  server.CreateFile("a.jpg", "abc");
  TClient client(server.Port());
  LogIn(client);
  EXPECT_EQ(client.Command("syst"), "215 UNIX Type: L8\r\n");
  EXPECT_EQ(client.Command("PWD"), "257 \"/\" is your current location\r\n");

  {
    TListener listener;
    EXPECT_EQ(client.Command("PORT " + listener.PortArgument()), "200 PORT command successful\r\n");
    EXPECT_EQ(client.Command("list").substr(0, 4), "150 ");
    const std::string listing = listener.Accept().ReadAll();
    EXPECT_NE(listing.find(" a.jpg\r\n"), std::string::npos) << listing;
    EXPECT_EQ(LastLine(client.ReadReply()).substr(0, 4), "226 ");
  }
  {
    const std::string pasv = client.Command("PASV");
    const int port = RawFtp::PassivePort(pasv);
    EXPECT_EQ(pasv.substr(0, 36), "227 Entering Passive Mode (127,0,0,1") << pasv;
    client.Send("nlst");
    TSocket data = TSocket::Connect(port);
    EXPECT_EQ(client.ReadReply().substr(0, 4), "150 ");
    // pure-ftpd's NLST names "." and ".." too, in no particular order.
    const std::string names = data.ReadAll();
    EXPECT_NE(names.find("a.jpg\r\n"), std::string::npos) << names;
    EXPECT_EQ(LastLine(client.ReadReply()).substr(0, 4), "226 ");
  }
  const std::string stored = StoreActive(client, "hoch.jpg", std::string("x\0y\r\n", 5));
  EXPECT_EQ(LastLine(stored).substr(0, 4), "226 ") << stored;
  EXPECT_EQ(ReadFileBytes(server.Root() + "/hoch.jpg"), std::string("x\0y\r\n", 5));
  EXPECT_EQ(client.Command("SIZE hoch.jpg"), "213 5\r\n");
  EXPECT_EQ(LastLine(client.Command("QUIT")).substr(0, 4), "221 ");
  EXPECT_TRUE(client.ClosedByServer(5s));
}

TEST(PureFtpd, UploadsSeveralMiBInActiveMode) {
  TPureFtpd server;
  std::string content(6 * 1024 * 1024 + 17, '\0');
  for (size_t i = 0; i < content.size(); ++i)
    content[i] = static_cast<char>((i * 131) >> 3);
  TClient client(server.Port());
  LogIn(client);
  const std::string stored = StoreActive(client, "gross.bin", content);
  EXPECT_EQ(LastLine(stored).substr(0, 4), "226 ") << stored;
  EXPECT_TRUE(ReadFileBytes(server.Root() + "/gross.bin") == content);
}

TEST(PureFtpd, ServesAndRemovesFilesPutThereByTheTest) {
  TPureFtpd server;
  server.CreateFolder("alt");
  server.CreateFile("alt/b.jpg", "bild");
  TClient client(server.Port());
  LogIn(client);
  EXPECT_EQ(client.Command("CWD alt").substr(0, 4), "250 ");
  TListener listener;
  client.Command("PORT " + listener.PortArgument());
  EXPECT_EQ(client.Command("retr b.jpg").substr(0, 4), "150 ");
  EXPECT_EQ(listener.Accept().ReadAll(), "bild");
  EXPECT_EQ(LastLine(client.ReadReply()).substr(0, 4), "226 ");
  EXPECT_EQ(client.Command("DELE b.jpg").substr(0, 4), "250 ");
  EXPECT_EQ(client.Command("CWD ..").substr(0, 4), "250 ");
  EXPECT_EQ(client.Command("RMD alt").substr(0, 4), "250 ");
  EXPECT_FALSE(std::filesystem::exists(server.Root() + "/alt"));
}

TEST(PureFtpd, StopEndsTheServer) {
  TPureFtpd server;
  const int port = server.Port();
  server.Stop();
  EXPECT_THROW(TClient{port}, std::runtime_error);
}

} // namespace
