// The client against faulty and hostile servers: every wait ends, a server that hangs up
// is never silent, a transfer the server broke off never counts as done, and the replies
// stay paired with their commands.
#include "IdTCPExceptions.h"
#include "LoopbackPeer.h"
#include "MemoryStream.h"
#include "ScriptedFixture.h"
#include "TestFiles.h"

#include <algorithm>

namespace {

constexpr const char* Cut426 = "426 Connection closed; transfer aborted";

class Faults : public ScriptedFixture {
 protected:
  // A download of the photo, or an upload larger than the socket buffers can take.
  void Transfer(bool upload) {
    TMemoryStream stream;
    if (!upload) return ftp.RetrieveToStream("photo.jpg", stream);
    stream.SetSize(16 << 20);
    ftp.StoreFromStream(stream, "up.jpg", false);
  }
  void ServeWithPhoto(const std::string& scenario, const TScriptedFtpServer::TSettings& set = {}) {
    Serve(scenario, set);
    WriteFileBytes(server->Root() + "/photo.jpg", std::string(100000, 'p'));
  }
};

TEST_F(Faults, A426WeDidNotAskForIsAFailure) {
  for (bool passive : {false, true})
    for (bool upload : {false, true})
      for (const char* scenario :
           {"cut_426", "cut_426,abort_225", "cut_426,abort_226", "cut_426_226"}) {
        SCOPED_TRACE(std::string(scenario) + (passive ? " passive" : " active") +
                     (upload ? " upload" : " download"));
        ServeWithPhoto(scenario);
        Login(passive);
        ftp.ReplyDrainTimeOut = 600; // how long a late reply after the 426 may take
        // An upload runs into the reset of the cut; a download ends normally with the
        // close, so the 426 tells.
        try {
          Transfer(upload);
          ADD_FAILURE() << "the broken transfer counted as done";
        } catch (const EIdProtocolReplyError& e) {
          EXPECT_EQ(e.ReplyCode, 426);
          EXPECT_EQ(e.Message, Cut426);
        } catch (const EIdFTPUploadIncomplete& e) {
          EXPECT_TRUE(upload) << e.Message;
        }
        const Lines sent = server->Transcript();
        EXPECT_EQ(std::count(sent.begin(), sent.end(), "ABOR"), 0);
        EXPECT_EQ(ftp.DataConnection(), nullptr);
        // The 226 that may follow unasked is read before the next command.
        EXPECT_EQ(ftp.QueryWorkingDir(), "/");
        ftp.Disconnect();
      }
}

TEST_F(Faults, RepliesThatNeverComeOrNeverEnd) {
  Serve("silent_greeting");
  ftp.ReadTimeOut = 300;
  EXPECT_EQ(MessageOf<EIdReadTimeout>([&] { Login(); }),
            "Der Server hat 1 Sekunden lang nichts gesendet; die Verbindung wurde getrennt.");
  EXPECT_FALSE(ftp.Connected());

  // One byte every 100 ms: never silent for long, but the whole reply has its own limit.
  Serve("trickle");
  ftp.ReadTimeOut = 1000;
  ftp.ReplyTimeOut = 600;
  EXPECT_EQ(MessageOf<EIdReadTimeout>([&] { Login(); }),
            "Die Antwort des Servers war nach 1 Sekunden noch nicht vollständig; die Verbindung "
            "wurde getrennt.");
  EXPECT_FALSE(ftp.Connected());
}

TEST_F(Faults, DataThatStopsMoving) {
  for (bool passive : {false, true})
    for (bool upload : {false, true}) {
      SCOPED_TRACE(std::string(passive ? "passive" : "active") +
                   (upload ? " upload" : " download"));
      ServeWithPhoto("stall");
      Login(passive);
      ftp.DataStallTimeOut = 300;
      ftp.ReplyDrainTimeOut = 1000;
      if (upload) {
        EXPECT_EQ(MessageOf<EIdWriteTimeout>([&] { Transfer(true); }),
                  "Der Server hat 1 Sekunden lang keine Daten angenommen; die Verbindung wurde "
                  "getrennt.");
        // The stuck server owes the final reply and never sends it.
        EXPECT_FALSE(ftp.Connected());
      } else {
        EXPECT_EQ(MessageOf<EIdReadTimeout>([&] { Transfer(false); }),
                  "Der Server hat 1 Sekunden lang nichts gesendet; die Verbindung wurde getrennt.");
        EXPECT_EQ(ftp.QueryWorkingDir(), "/") << "its 426 was read";
      }
      EXPECT_EQ(ftp.DataConnection(), nullptr);
      ftp.Disconnect();
    }
}

TEST_F(Faults, AServerThatHangsUpIsNeverSilent) {
  auto expectHungUp = [&](auto run) {
    EXPECT_EQ(MessageOf<EIdConnClosedByPeer>(run), "Der Server hat die Verbindung getrennt.");
    EXPECT_FALSE(EIdConnClosedByPeer().IsSilent());
    EXPECT_FALSE(ftp.Connected());
    EXPECT_EQ(ftp.DataConnection(), nullptr);
  };
  Serve("close_on_pass");
  expectHungUp([&] { Login(); });
  Serve("close_on_pwd");
  Login();
  expectHungUp([&] { ftp.QueryWorkingDir(); });
  for (bool passive : {false, true})
    for (bool upload : {false, true}) {
      SCOPED_TRACE(std::string(passive ? "passive" : "active") +
                   (upload ? " upload" : " download"));
      ServeWithPhoto("cut_hangup");
      Login(passive);
      if (!upload) {
        expectHungUp([&] { Transfer(upload); });
        continue;
      }
      // An upload notices the cut data connection first.
      const std::string message = MessageOf<EIdException>([&] { Transfer(upload); });
      EXPECT_TRUE(message == "Der Server hat die Verbindung getrennt." ||
                  message == "Der Server hat die Datenverbindung abgebrochen, bevor er die ganze "
                             "Datei angenommen hatte.")
          << message;
      EXPECT_FALSE(ftp.Connected());
      EXPECT_EQ(ftp.DataConnection(), nullptr);
    }
}

TEST_F(Faults, APassiveConnectThatFailsKeepsTheRepliesInStep) {
  // The server waits for the data connection that never comes and then says 425 (after a
  // 150 in the second case); the next command must not take that for its reply.
  for (const char* scenario : {"default", "passive_preliminary_first"}) {
    SCOPED_TRACE(scenario);
    Serve(scenario, {{"pasv_port", std::to_string(peer::UnusedPort())}, {"data_timeout", "0.3"}});
    Login(true);
    TStringList list;
    try {
      ftp.ListDirectory(list, "", true);
      ADD_FAILURE() << "no exception";
    } catch (const EIdSocketError& e) {
      EXPECT_EQ(e.ErrorCode, 10061);
    }
    EXPECT_EQ(ftp.QueryWorkingDir(), "/");
    ftp.Disconnect();
  }
  // A connect that is never answered ends at the connect limit.
  Serve("pasv_blackhole");
  Login(true);
  ftp.ConnectTimeOut = 300;
  TStringList list;
  try {
    ftp.ListDirectory(list, "", true);
    ADD_FAILURE() << "no exception";
  } catch (const EIdConnectTimeout& e) {
    EXPECT_EQ(e.Message,
              "Die Verbindung zu 127.0.0.1 konnte nicht innerhalb von 1 Sekunden hergestellt "
              "werden.");
  }
  EXPECT_EQ(ftp.QueryWorkingDir(), "/");
}

TEST_F(Faults, RepliesThatMakeNoSense) {
  Serve("size_bare");
  Login();
  EXPECT_EQ(ftp.QueryFileSize("photo.jpg"), -1) << "the code is no size";
  ftp.Disconnect();

  Serve("pasv_over_255");
  Login(true);
  TStringList list;
  EXPECT_THROW(ftp.ListDirectory(list, "", true), EIdFTPInvalidPassiveAddress);
  EXPECT_EQ(AfterLogin(), (Lines{"PASV"})) << "nothing sent after the reply";
  EXPECT_EQ(ftp.QueryWorkingDir(), "/");
}

} // namespace
