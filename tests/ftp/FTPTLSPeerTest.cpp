// FTP over TLS against a scripted TLS peer, for what a real server will not do on
// request: session tickets that data connections must resume, a download ended without
// the close notification, a handshake that stalls.
#include "IdFTP.h"
#include "IdGlobal.h"
#include "IdTLSSession.h"
#include "LoopbackPeer.h"
#include "MemoryStream.h"
#include "ScriptedFixture.h"
#include "TLSPeer.h"

#include <cctype>
#include <gtest/gtest.h>
#include <memory>
#include <random>

namespace {

// What the peer saw of one session.
struct TPeerLog {
  Lines Commands;
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

// The server's part of one session over TLS: the login, then STOR and RETR in either
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
  int activePort = 0;
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
    } else if (word == "PORT") {
      int h1, h2, h3, h4, p1, p2;
      std::sscanf(line.c_str(), "PORT %d,%d,%d,%d,%d,%d", &h1, &h2, &h3, &h4, &p1, &p2);
      activePort = p1 * 256 + p2;
      tls.Write("200 PORT OK\r\n");
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
      activePort = 0;
    } else if (word == "STOR" || word == "RETR") {
      tls.Write("150 Datenverbindung\r\n");
      peer::TPeerSocket data(activePort != 0 ? peer::ConnectTo(activePort)
                                             : AcceptOne(listener->Fd()));
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

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes)
    c = static_cast<char>(random());
  return bytes;
}

void Prepare(TIdFTP& ftp, int port, const TTestCertificate& certificate) {
  ftp.Host = "127.0.0.1";
  ftp.Port = port;
  ftp.User = "Lichtfracht";
  ftp.Password = "58Kovarenisobume";
  ftp.TLSRequired = true;
  ftp.TLSTrustedCertificates = certificate.CertificatePem;
}

TEST(TLSPeerSession, DataConnectionsResumeAndEndWithCloseNotify) {
  const TTestCertificate certificate("127.0.0.1");
  const TTLSPeerContext context(certificate);
  const std::string photo = RandomBytes(300000, 3);
  for (const bool passive : {false, true}) {
    SCOPED_TRACE(passive ? "passive" : "active");
    TPeerLog log;
    peer::TLoopbackPeer server(
        [&](peer::TPeerSocket& control) { ServeSession(control, context, photo, log); });
    TIdFTP ftp;
    Prepare(ftp, server.Port(), certificate);
    ftp.Passive = passive;
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

    const std::string dataCommand = passive ? "PASV" : "PORT";
    Lines expected{"AUTH TLS", "user Lichtfracht", "pass 58Kovarenisobume",
                   "PBSZ 0",   "PROT P",           "type I",
                   "syst"};
    for (const char* transfer : {"STOR bild.jpg", "retr bild.jpg", "retr abgeschnitten.jpg"}) {
      expected.push_back(dataCommand);
      expected.push_back(transfer);
    }
    expected.push_back("Quit");
    for (std::string& line : log.Commands)
      if (IsLoopbackPortCommand(line)) line = "PORT";
    EXPECT_EQ(log.Commands, expected);
    EXPECT_TRUE(log.Uploaded == photo);
    EXPECT_TRUE(log.UploadEndedWithCloseNotify);
    EXPECT_EQ(log.DataResumed, std::vector<bool>(3, true));
  }
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
  const TTestCertificate certificate("127.0.0.1");
  TIdFTP ftp;
  Prepare(ftp, server.Port(), certificate);
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
