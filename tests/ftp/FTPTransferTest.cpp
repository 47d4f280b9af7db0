#include "FileStream.h"
#include "IdSimpleServer.h"
#include "IdTCPExceptions.h"
#include "MemoryStream.h"
#include "ScriptedFixture.h"
#include "TestFiles.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using namespace std::chrono_literals;

// Work events of the transfers, as text, with the sender checked.
class Transfers : public ScriptedFixture {
 protected:
  void RecordWork() {
    ftp.OnWorkBegin = [this](TIdComponent* sender, TWorkMode m, int32_t max) {
      EXPECT_NE(sender, &ftp) << "work comes from the data connection";
      EXPECT_EQ(sender, ftp.DataConnection());
      work.push_back("begin " + std::to_string(m) + " " + std::to_string(max));
    };
    ftp.OnWork = [this](TIdComponent*, TWorkMode m, int32_t count) {
      work.push_back("work " + std::to_string(m) + " " + std::to_string(count));
      if (onWork) onWork();
    };
    ftp.OnWorkEnd = [this](TIdComponent*, TWorkMode m) {
      work.push_back("end " + std::to_string(m));
    };
  }
  Lines List(bool detailed = true, const std::string& specifier = "") {
    TStringList list;
    list.Add("stale");
    ftp.ListDirectory(list, specifier, detailed);
    return Lines(list.begin(), list.end());
  }

  Lines work;
  std::function<void()> onWork;
};

TEST_F(Transfers, ListingInActiveMode) {
  Serve("listing_crlf");
  Login();
  RecordWork();
  EXPECT_EQ(List(), (Lines{"a.jpg", "b.jpg", "c.jpg"}));
  const Lines sent = AfterLogin();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_TRUE(IsLoopbackPortCommand(sent[0])) << sent[0];
  EXPECT_EQ(sent[1], "list");
  EXPECT_EQ(work, (Lines{"begin 0 0", "work 0 21", "work 0 21", "end 0"}));
  EXPECT_EQ(ftp.DataConnection(), nullptr);
}

TEST_F(Transfers, ListingInPassiveMode) {
  Serve("listing_lf_only", {{"nlst_listing", "a.jpg\\nb.jpg\\n"}});
  Login(true);
  EXPECT_EQ(List(false), (Lines{"a.jpg", "b.jpg"}));
  EXPECT_EQ(List(true, "-a"), (Lines{"a.jpg", "b.jpg", "c.jpg"}));
  EXPECT_EQ(AfterLogin(), (Lines{"PASV", "nlst", "PASV", "list -a"}));
}

TEST_F(Transfers, ListingLineEnds) {
  const std::pair<const char*, Lines> cases[] = {
      {"listing_cr_only", {"a.jpg", "b.jpg", "c.jpg"}},
      {"listing_zero_byte", {"a.jpg", "b.jpg"}},
      {"listing_empty", {}},
  };
  for (const auto& [scenario, lines] : cases) {
    Serve(scenario);
    Login();
    EXPECT_EQ(List(), lines) << scenario;
    ftp.Disconnect();
  }
}

TEST_F(Transfers, PassiveReplyVariants) {
  for (const char* scenario : {"pasv_no_parens", "pasv_trailing_text"}) {
    Serve(std::string(scenario) + ",listing_crlf");
    Login(true);
    EXPECT_EQ(List(), (Lines{"a.jpg", "b.jpg", "c.jpg"})) << scenario;
    ftp.Disconnect();
  }
  // The data connection goes to the control connection's peer, whatever the reply names.
  Serve("listing_crlf", {{"pasv_address", "127.0.0.2"}});
  Login(true);
  bool checked = false;
  RecordWork();
  onWork = [&] {
    checked = true;
    EXPECT_EQ(ftp.DataConnection()->SocketHandle.RemoteIP, "127.0.0.1");
  };
  EXPECT_EQ(List(), (Lines{"a.jpg", "b.jpg", "c.jpg"}));
  EXPECT_TRUE(checked);
}

TEST_F(Transfers, ServerVariantsOfTheTransferReplies) {
  for (const char* scenario :
       {"connect_before_preliminary", "preliminary_125", "final_multiline", "final_250"}) {
    Serve(std::string(scenario) + ",listing_crlf");
    Login();
    EXPECT_EQ(List(), (Lines{"a.jpg", "b.jpg", "c.jpg"})) << scenario;
    EXPECT_EQ(ftp.QueryWorkingDir(), "/") << scenario << ": in step afterwards";
    ftp.Disconnect();
  }
  Serve("passive_preliminary_first,listing_crlf");
  Login(true);
  EXPECT_EQ(List(), (Lines{"a.jpg", "b.jpg", "c.jpg"}));
}

TEST_F(Transfers, DownloadAndUploadRoundTrip) {
  for (bool passive : {false, true}) {
    SCOPED_TRACE(passive ? "passive" : "active");
    Serve();
    std::string content;
    for (int i = 0; i < 100000; ++i)
      content += static_cast<char>(i * 7);
    WriteFileBytes(server->Root() + "/photo.jpg", content);
    Login(passive);
    const std::string local = server->Root() + "-download.jpg";
    ftp.RetrieveFile("photo.jpg", local, true);
    EXPECT_EQ(ReadFileBytes(local), content);
    ftp.StoreFile(local, "back.jpg", false);
    EXPECT_EQ(ReadFileBytes(server->Root() + "/back.jpg"), content);
    std::filesystem::remove(local);
    const Lines sent = AfterLogin();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[1], "retr photo.jpg");
    EXPECT_EQ(sent[3], "STOR back.jpg");
    ftp.Disconnect();
  }
}

TEST_F(Transfers, UploadCommandWords) {
  Serve();
  Login();
  TMemoryStream stream;
  stream.Write("abc", 3);
  ftp.StoreFromStream(stream, "x.txt", true);
  ftp.StoreFromStream(stream, "", true);
  ftp.StoreFromStream(stream, "y.txt", false);
  const Lines sent = AfterLogin();
  ASSERT_EQ(sent.size(), 6u);
  EXPECT_EQ(sent[1], "APPE x.txt");
  EXPECT_EQ(sent[3], "STOU ");
  EXPECT_EQ(sent[5], "STOR y.txt");
  EXPECT_EQ(ReadFileBytes(server->Root() + "/y.txt"), "abc")
      << "active mode sends the whole stream";
}

TEST_F(Transfers, PassiveUploadSendsFromThePosition) {
  Serve();
  Login(true);
  TMemoryStream stream;
  stream.Write("abcdef", 6);
  stream.SetPosition(4);
  ftp.StoreFromStream(stream, "rest.txt", false);
  EXPECT_EQ(ReadFileBytes(server->Root() + "/rest.txt"), "ef");
}

TEST_F(Transfers, EmptyUpload) {
  Serve();
  Login();
  RecordWork();
  const std::string local = server->Root() + "-empty";
  WriteFileBytes(local, "");
  ftp.StoreFile(local, "empty.jpg", false);
  std::filesystem::remove(local);
  EXPECT_EQ(work, (Lines{"begin 1 0", "end 1"}));
  EXPECT_TRUE(std::filesystem::exists(server->Root() + "/empty.jpg"));
  EXPECT_EQ(std::filesystem::file_size(server->Root() + "/empty.jpg"), 0u);
}

TEST_F(Transfers, OverwriteRulesOfTheDownload) {
  Serve("retr_refused");
  Login();
  const std::string local = server->Root() + "-existing";
  WriteFileBytes(local, "keep me");
  EXPECT_THROW(ftp.RetrieveFile("photo.jpg", local, false), EIdFTPFileAlreadyExists);
  EXPECT_EQ(ReadFileBytes(local), "keep me");
  EXPECT_TRUE(AfterLogin().empty()) << "nothing sent";
  // Allowed to overwrite: emptied before retr goes out, and left empty when it is refused.
  try {
    ftp.RetrieveFile("photo.jpg", local, true);
    FAIL() << "no exception";
  } catch (const EIdProtocolReplyError& e) {
    EXPECT_EQ(e.Message, "550 Permission denied");
  }
  EXPECT_TRUE(std::filesystem::exists(local));
  EXPECT_EQ(std::filesystem::file_size(local), 0u);
  std::filesystem::remove(local);
  EXPECT_EQ(ftp.DataConnection(), nullptr);
}

TEST_F(Transfers, LocalFilesThatCannotBeUsed) {
  Serve();
  Login();
  const std::string folder = server->Root() + "-no-such-folder";
  try {
    ftp.RetrieveFile("x", folder + "/x", true);
    FAIL() << "no exception";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message, "Datei " + folder + "/x kann nicht erstellt werden");
  }
  try {
    ftp.StoreFile(folder + "/y", "y", false);
    FAIL() << "no exception";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message, "Datei " + folder + "/y kann nicht geöffnet werden");
  }
  EXPECT_TRUE(AfterLogin().empty());
}

TEST_F(Transfers, RefusedCommandsReleaseTheDataConnection) {
  // A refused PORT is no refusal of the transfer: the client goes passive (FTPFieldTest).
  for (const char* scenario : {"stor_refused"}) {
    Serve(scenario);
    Login();
    TMemoryStream stream;
    stream.Write("x", 1);
    EXPECT_THROW(ftp.StoreFromStream(stream, "x", false), EIdProtocolReplyError) << scenario;
    EXPECT_EQ(ftp.DataConnection(), nullptr);
    EXPECT_EQ(ftp.QueryWorkingDir(), "/") << scenario;
    ftp.Disconnect();
  }
  Serve("pasv_refused");
  Login(true);
  EXPECT_THROW(List(), EIdProtocolReplyError);
}

TEST_F(Transfers, ControlConnectionDroppedMidCommand) {
  Serve("close_on_list");
  Login();
  EXPECT_THROW(List(), EIdConnClosedByPeer);
  EXPECT_FALSE(ftp.Connected());
  EXPECT_EQ(ftp.DataConnection(), nullptr);
}

TEST_F(Transfers, TransferTypeIsFrozenWhileDataMoves) {
  Serve("listing_crlf");
  Login();
  RecordWork();
  onWork = [&] { ftp.SetTransferType(ftASCII); };
  List();
  EXPECT_EQ(ftp.TransferType(), ftBinary);
  onWork = nullptr;
  ftp.SetTransferType(ftASCII);
  const Lines sent = AfterLogin();
  EXPECT_EQ(sent.back(), "type A");
  EXPECT_EQ(std::count(sent.begin(), sent.end(), "type A"), 1);
}

TEST_F(Transfers, ASecondTransferFromAHandlerIsRefused) {
  Serve("listing_crlf");
  Login();
  RecordWork();
  onWork = [&] {
    onWork = nullptr;
    TStringList other;
    ftp.ListDirectory(other, "", true);
  };
  EXPECT_THROW(List(), EIdFTPTransferInProgress);
}

TEST_F(Transfers, AbortedDownloadKeepsWhatArrived) {
  for (const char* scenario : {"abort_426_226", "abort_225", "abort_226"}) {
    SCOPED_TRACE(scenario);
    Serve(std::string(scenario) + ",slow_data");
    WriteFileBytes(server->Root() + "/big.jpg", std::string(4096, 'b'));
    Login();
    RecordWork();
    int blocks = 0;
    onWork = [&] {
      if (++blocks == 3) ftp.Abort();
    };
    TMemoryStream stream;
    ftp.RetrieveToStream("big.jpg", stream);
    EXPECT_GE(stream.Size(), 3 * 16);
    EXPECT_LT(stream.Size(), 4096);
    EXPECT_EQ(stream.Data(), std::string(static_cast<size_t>(stream.Size()), 'b'));
    EXPECT_EQ(work.back(), "end 0");
    EXPECT_EQ(AfterLogin().back(), "ABOR");
    EXPECT_EQ(ftp.QueryWorkingDir(), "/") << "all replies were read";
    ftp.Disconnect();
    work.clear();
  }
}

TEST_F(Transfers, UploadAbortedBeforeItsLastBlockFails) {
  Serve();
  Login();
  RecordWork();
  onWork = [&] {
    onWork = nullptr;
    ftp.Abort();
  };
  TMemoryStream stream;
  const std::string payload(100000, 'u');
  stream.Write(payload.data(), static_cast<int64_t>(payload.size()));
  EXPECT_THROW(ftp.StoreFromStream(stream, "cut.jpg", false), EIdConnClosedGracefully);
  EXPECT_EQ(work.back(), "end 1");
  EXPECT_EQ(ftp.DataConnection(), nullptr);
  EXPECT_EQ(ftp.QueryWorkingDir(), "/") << "the replies to STOR and ABOR were read first";
}

TEST_F(Transfers, AServerThatNeverConnectsBack) {
  // Once a data connection came in this session, the server can reach us: a later one
  // that does not come is a failure of its own, called off with ABOR, not a reason to go
  // passive.
  Serve("never_connect", {{"never_connect_after", "1"}});
  Login();
  List();
  ftp.AcceptTimeOut = 1000;
  ftp.ReplyDrainTimeOut = 300;
  const auto start = std::chrono::steady_clock::now();
  try {
    List();
    FAIL() << "no exception";
  } catch (const EIdAcceptTimeout& e) {
    EXPECT_EQ(e.Message,
              "Der Server hat innerhalb von 1 Sekunden keine Datenverbindung aufgebaut.");
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(ftp.DataConnection(), nullptr);
  EXPECT_FALSE(ftp.UsesPassive());
  EXPECT_EQ(ftp.QueryWorkingDir(), "/") << "ABOR called the transfer off: still in step";
}

TEST_F(Transfers, AReplyInsteadOfTheConnectionEndsTheWaitAtOnce) {
  Serve("never_connect_425,listing_crlf");
  Login();
  ftp.AcceptTimeOut = 30000;
  ftp.FirstAcceptTimeOut = 30000;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(List(), (Lines{"a.jpg", "b.jpg", "c.jpg"})) << "425: on at once, passive";
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_EQ(ftp.DataConnection(), nullptr);
  EXPECT_EQ(ftp.QueryWorkingDir(), "/") << "the reply was read: still in step";
}

TEST(SimpleServer, ListensAcceptsAndClosesTheListener) {
  TIdSimpleServer listener;
  listener.BoundIP = "127.0.0.1";
  listener.PrepareListening();
  EXPECT_TRUE(listener.IsListening);
  EXPECT_EQ(listener.SocketHandle.IP, "127.0.0.1");
  ASSERT_GT(listener.SocketHandle.Port, 0);
  const int32_t listening = listener.ListenSocketId;
  EXPECT_EQ(listening, listener.SocketHandle.SocketId);
  TIdTCPClient client;
  client.Host = "127.0.0.1";
  client.Port = listener.SocketHandle.Port;
  client.Connect();
  EXPECT_TRUE(listener.WaitForConnection());
  EXPECT_EQ(listener.ListenSocketId, -1);
  EXPECT_EQ(listener.SocketHandle.RemotePort, client.SocketHandle.Port);
  client.WriteLine("hello");
  EXPECT_EQ(listener.ReadLine(), "hello");
}

TEST(SimpleServer, CancelledWaitClosesTheListenerOnce) {
  TIdSimpleServer listener;
  listener.BoundIP = "127.0.0.1";
  listener.PrepareListening();
  listener.OnAcceptWait = [&] { listener.CancelAccept(); };
  EXPECT_FALSE(listener.WaitForConnection());
  EXPECT_FALSE(listener.SocketHandle.IsOpen);
}

} // namespace
