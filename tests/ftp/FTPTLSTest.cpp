// Explicit FTP over TLS: against a real pure-ftpd that requires it on control and data
// connections; against a TLS peer of the test for what a real server will not do on
// request (session tickets that data connections must resume, a download ended without
// the close notification, a stalled handshake); and the refusals, after which nothing
// more is sent.
#include "IdFTP.h"
#include "IdGlobal.h"
#include "IdIntercept.h"
#include "IdTLSSession.h"
#include "LoopbackPeer.h"
#include "MemoryStream.h"
#include "PureFtpd.h"
#include "ScriptedFtpServer.h"
#include "TLSPeer.h"
#include "TestCertificate.h"
#include "TestFiles.h"

#include <cctype>
#include <gtest/gtest.h>
#include <memory>

namespace {

// Everything the client wrote on its control connection, before encryption.
class TSentText : public TIdConnectionIntercept {
 public:
  void NoteSent(const char* buffer, int32_t count) override { Text.append(buffer, count); }
  std::string Text;
};

void Prepare(TIdFTP& ftp, TSentText& sent, int port, const std::string& trusted) {
  ftp.Host = "127.0.0.1";
  ftp.Port = port;
  ftp.User = TPureFtpd::User;
  ftp.Password = TPureFtpd::Password;
  ftp.TLSRequired = true;
  ftp.TLSTrustedCertificates = trusted;
  ftp.SetIntercept(&sent);
  ftp.SetInterceptEnabled(true);
}

class TLSEndToEnd : public ::testing::TestWithParam<bool> {
 protected:
  static void SetUpTestSuite() {
    certificate = new TTestCertificate("127.0.0.1");
    daemon = new TPureFtpd(certificate->ServerPem());
  }
  static void TearDownTestSuite() {
    delete daemon;
    delete certificate;
  }
  void SetUp() override {
    Prepare(ftp, sent, daemon->Port(), certificate->CertificatePem);
    ftp.Passive = GetParam();
    ftp.OnStatus = [this](TIdComponent*, TIdStatus status, const std::string& text) {
      if (status == stText) statusTexts.push_back(text);
    };
    // Seen from the data connection, once its handshake is done.
    ftp.OnWorkBegin = [this](TIdComponent*, TWorkMode, int32_t) {
      if (ftp.DataConnection() != nullptr && ftp.DataConnection()->TLSSession() != nullptr)
        ++encrypted;
    };
    ftp.Connect(true);
  }
  void TearDown() override { ftp.Quit(); }

  static TTestCertificate* certificate;
  static TPureFtpd* daemon;
  TIdFTP ftp;
  TSentText sent;
  std::vector<std::string> statusTexts;
  int encrypted = 0;
};

TTestCertificate* TLSEndToEnd::certificate = nullptr;
TPureFtpd* TLSEndToEnd::daemon = nullptr;

TEST_P(TLSEndToEnd, LogsInEncryptedAndMovesFilesByteIdentical) {
  // The password goes out only inside TLS, and the data connections are protected.
  EXPECT_EQ(sent.Text, "AUTH TLS\r\nuser Lichtfracht\r\npass 58Kovarenisobume\r\nPBSZ 0\r\n"
                       "PROT P\r\ntype I\r\nsyst\r\n");
  ASSERT_EQ(statusTexts.size(), 1u);
  EXPECT_EQ(statusTexts[0].rfind("TLS-Verbindung hergestellt (TLSv1.3, TLS_", 0), 0u)
      << statusTexts[0];

  const std::string folder = GetParam() ? "passiv" : "aktiv";
  ftp.MakeRemoteDir(folder);
  ftp.ChangeWorkingDir(folder);
  const std::pair<std::string, size_t> files[] = {
      {"leer.jpg", 0}, {"eins.jpg", 1}, {"block.jpg", 32769}, {"gross.jpg", 3u << 20}};
  unsigned seed = 7;
  for (const auto& [name, size] : files) {
    SCOPED_TRACE(name);
    const std::string content = RandomBytes(size, seed++);
    TMemoryStream upload;
    upload.Write(content.data(), static_cast<int64_t>(content.size()));
    upload.SetPosition(0); // passive mode sends from the position on
    ftp.StoreFromStream(upload, name, false);
    const std::string stored = ReadFileBytes(daemon->Root() + "/" + folder + "/" + name);
    EXPECT_TRUE(stored == content) << stored.size() << " " << content.size();
    TMemoryStream download;
    ftp.RetrieveToStream(name, download);
    EXPECT_TRUE(download.Data() == content) << download.Data().size();
  }
  TStringList listing;
  ftp.ListDirectory(listing, "", false);
  for (const auto& [name, size] : files)
    EXPECT_GE(listing.IndexOf(name), 0) << name;
  // Every data connection was encrypted (pure-ftpd refuses plain ones and issues no TLS
  // 1.3 session tickets, so there is no session to resume here).
  EXPECT_EQ(encrypted, 9);
}

INSTANTIATE_TEST_SUITE_P(Modes, TLSEndToEnd, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

// A server whose certificate does not hold: the handshake fails with the reason, and the
// client sent nothing but "AUTH TLS" in the clear and nothing at all after it.
TEST(TLSRefusal, CertificateNotTrustedSendsNothingMore) {
  const TTestCertificate good("127.0.0.1");
  const TTestCertificate otherName("fotos.lichtfracht.example");
  const TTestCertificate expired("127.0.0.1", -30, -1);
  const TTestCertificate stranger("127.0.0.1");
  struct TCase {
    const char* Name;
    const TTestCertificate& Served;
    std::string Trusted;
    const char* Reason;
  } cases[] = {
      {"other name", otherName, otherName.CertificatePem,
       "Das Zertifikat des Servers gilt nicht für 127.0.0.1."},
      {"expired", expired, expired.CertificatePem, "Das Zertifikat des Servers ist abgelaufen."},
      {"self-signed, system store", good, "",
       "Das Zertifikat des Servers ist selbst ausgestellt und nicht als vertrauenswürdig "
       "hinterlegt."},
      {"another certificate embedded", good, stranger.CertificatePem,
       "Das Zertifikat des Servers ist selbst ausgestellt und nicht als vertrauenswürdig "
       "hinterlegt."},
  };
  std::unique_ptr<TPureFtpd> daemon;
  const TTestCertificate* servedBy = nullptr;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    if (servedBy != &c.Served) {
      daemon.reset();
      daemon = std::make_unique<TPureFtpd>(c.Served.ServerPem());
      servedBy = &c.Served;
    }
    TIdFTP ftp;
    TSentText sent;
    Prepare(ftp, sent, daemon->Port(), c.Trusted);
    try {
      ftp.Connect(true);
      ADD_FAILURE() << "connected";
    } catch (const EIdTLSError& e) {
      EXPECT_EQ(e.Message,
                std::string("Keine verschlüsselte Verbindung zu 127.0.0.1: ") + c.Reason);
    }
    EXPECT_EQ(sent.Text, "AUTH TLS\r\n");
    EXPECT_FALSE(ftp.Connected());
  }
}

// A server that does not offer TLS (or refuses it) hears no more than the question.
TEST(TLSRefusal, ServerWithoutAuthTLSGetsNoLogin) {
  TScriptedFtpServer server("default", {{"replies.AUTH", "500 AUTH not understood"}});
  TIdFTP ftp;
  TSentText sent;
  Prepare(ftp, sent, server.Port(), "");
  try {
    ftp.Connect(true);
    ADD_FAILURE() << "connected";
  } catch (const EIdTLSError& e) {
    EXPECT_EQ(e.Message,
              "Der Server bietet keine verschlüsselte Verbindung an (Antwort auf AUTH TLS: 500 "
              "AUTH not understood). Unverschlüsselt werden weder Passwort noch Fotos gesendet.");
  }
  EXPECT_TRUE(server.WaitForTranscriptLines(1));
  EXPECT_EQ(server.Transcript(), std::vector<std::string>{"AUTH TLS"});
  EXPECT_FALSE(ftp.Connected());
}

// What the peer saw of one session.
struct TPeerLog {
  std::vector<std::string> Commands;
  std::vector<bool> DataResumed;
  std::string Uploaded;
  bool UploadEndedWithCloseNotify = false;
};

int AcceptOne(int listener) {
  pollfd entry{listener, POLLIN, 0};
  if (::poll(&entry, 1, static_cast<int>(peer::DefaultDeadline.count())) != 1)
    throw std::runtime_error("peer: no data connection in time");
  return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

// The server's part of one session over TLS: the login, then STOR and RETR in passive
// mode until Quit. RETR of "abgeschnitten.jpg" ends its data stream without the close
// notification. Data connections accept only a resumed session, as vsftpd does.
void ServeSession(peer::TPeerSocket& control, const TTLSPeerContext& context,
                  const std::string& download, TPeerLog& log) {
  control.Send("220 TLS-Gegenstelle bereit\r\n");
  const std::string auth = control.ReceiveUntil("\r\n");
  log.Commands.push_back(auth.substr(0, auth.size() - 2));
  control.Send("234 AUTH TLS OK\r\n");
  TTLSPeerStream tls(context, control.Fd());
  std::unique_ptr<peer::TPeerSocket> listener;
  for (;;) {
    const std::string line = tls.ReadLine();
    log.Commands.push_back(line);
    std::string word = line.substr(0, line.find(' '));
    for (char& c : word)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (word == "QUIT") return;
    if (word == "USER") {
      tls.Write("331 Passwort bitte\r\n");
    } else if (word == "PASS") {
      tls.Write("230 Angemeldet\r\n");
    } else if (word == "SYST") {
      tls.Write("215 UNIX Type: L8\r\n");
    } else if (word == "PASV") {
      listener =
          std::make_unique<peer::TPeerSocket>(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
      sockaddr_in address = peer::LoopbackAddress(0);
      socklen_t length = sizeof address;
      ::bind(listener->Fd(), reinterpret_cast<sockaddr*>(&address), length);
      ::listen(listener->Fd(), 1);
      ::getsockname(listener->Fd(), reinterpret_cast<sockaddr*>(&address), &length);
      const int port = ntohs(address.sin_port);
      tls.Write("227 Passiv (127,0,0,1," + std::to_string(port / 256) + "," +
                std::to_string(port % 256) + ")\r\n");
    } else if (word == "STOR" || word == "RETR") {
      tls.Write("150 Datenverbindung\r\n");
      peer::TPeerSocket data(AcceptOne(listener->Fd()));
      TTLSPeerStream stream(context, data.Fd());
      log.DataResumed.push_back(stream.Resumed());
      if (!stream.Resumed()) {
        tls.Write("522 Die Datenverbindung muss die TLS-Sitzung fortsetzen\r\n");
        continue;
      }
      if (word == "STOR") {
        log.Uploaded = stream.ReadAll(log.UploadEndedWithCloseNotify);
      } else {
        stream.Write(download);
        if (line.find("abgeschnitten") == std::string::npos) stream.CloseNotify();
      }
      data.Close();
      tls.Write("226 Fertig\r\n");
    } else {
      tls.Write("200 OK\r\n");
    }
  }
}

TEST(TLSPeerSession, DataConnectionsResumeAndEndWithCloseNotify) {
  const TTestCertificate certificate("127.0.0.1");
  const TTLSPeerContext context(certificate);
  const std::string photo = RandomBytes(300000, 3);
  TPeerLog log;
  peer::TLoopbackPeer server(
      [&](peer::TPeerSocket& control) { ServeSession(control, context, photo, log); });
  TIdFTP ftp;
  TSentText sent;
  Prepare(ftp, sent, server.Port(), certificate.CertificatePem);
  ftp.Passive = true;
  ftp.Connect(true);

  TMemoryStream upload;
  upload.Write(photo.data(), static_cast<int64_t>(photo.size()));
  upload.SetPosition(0); // passive mode sends from the position on
  ftp.StoreFromStream(upload, "bild.jpg", false);
  TMemoryStream download;
  ftp.RetrieveToStream("bild.jpg", download);
  EXPECT_TRUE(download.Data() == photo);
  // The same bytes without the close notification: never a complete download.
  TMemoryStream cut;
  try {
    ftp.RetrieveToStream("abgeschnitten.jpg", cut);
    ADD_FAILURE() << "a download without close notification counted as complete";
  } catch (const EIdTLSTruncated& e) {
    EXPECT_EQ(e.Message, "Der Server hat die verschlüsselte Datenverbindung ohne "
                         "TLS-Abschluss beendet; die Übertragung ist unvollständig.");
  }
  EXPECT_TRUE(ftp.Connected()); // the control connection stayed in step
  ftp.Quit();
  ASSERT_EQ(server.Join(), "");

  EXPECT_EQ(log.Commands, (std::vector<std::string>{
                              "AUTH TLS", "user Lichtfracht", "pass 58Kovarenisobume", "PBSZ 0",
                              "PROT P", "type I", "syst", "PASV", "STOR bild.jpg", "PASV",
                              "retr bild.jpg", "PASV", "retr abgeschnitten.jpg", "Quit"}));
  EXPECT_TRUE(log.Uploaded == photo);
  EXPECT_TRUE(log.UploadEndedWithCloseNotify);
  EXPECT_EQ(log.DataResumed, std::vector<bool>(3, true));
}

int PumpCount = 0;

// A server that says yes to AUTH TLS and then never answers the handshake: the wait ends
// at the read limit, served in slices meanwhile, and no login follows.
TEST(TLSPeerSession, StalledHandshakeEndsAtTheLimit) {
  std::string afterAuth;
  peer::TLoopbackPeer server([&](peer::TPeerSocket& control) {
    control.Send("220 bereit\r\n");
    control.ReceiveUntil("AUTH TLS\r\n");
    control.Send("234 AUTH TLS OK\r\n");
    afterAuth = control.ReceiveAll(); // the client's hello, until it gives up
  });
  TIdFTP ftp;
  TSentText sent;
  Prepare(ftp, sent, server.Port(), "");
  ftp.ReadTimeOut = 300;
  const TIdWaitHooks saved = WaitHooks;
  PumpCount = 0;
  WaitHooks.SliceLength = [] { return int32_t{20}; };
  WaitHooks.PumpIfDue = [](bool, bool) { ++PumpCount; };
  try {
    ftp.Connect(true);
    ADD_FAILURE() << "connected";
  } catch (const EIdTLSError& e) {
    EXPECT_EQ(e.Message.rfind("Keine verschlüsselte Verbindung zum Server: Der TLS-Handshake kam "
                              "nicht zu Ende. Der Server hat 1 Sekunden lang nichts gesendet",
                              0),
              0u)
        << e.Message;
  }
  WaitHooks = saved;
  EXPECT_GE(PumpCount, 5);
  ASSERT_EQ(server.Join(), "");
  // A TLS record (handshake, 22), never a line of FTP.
  ASSERT_FALSE(afterAuth.empty());
  EXPECT_EQ(afterAuth[0], '\x16');
  EXPECT_EQ(afterAuth.find("user"), std::string::npos);
  EXPECT_FALSE(ftp.Connected());
}

} // namespace
