// Explicit FTP over TLS against a real pure-ftpd that requires it on control and data
// connections, and the refusals: no encrypted connection, nothing more sent.
#include "IdFTP.h"
#include "IdIntercept.h"
#include "IdTLSSession.h"
#include "MemoryStream.h"
#include "PureFtpd.h"
#include "ScriptedFtpServer.h"
#include "TestCertificate.h"
#include "TestFiles.h"

#include <gtest/gtest.h>
#include <memory>
#include <random>

namespace {

// Everything the client wrote on its control connection, before encryption.
class TSentText : public TIdConnectionIntercept {
 public:
  void NoteSent(const char* buffer, int32_t count) override { Text.append(buffer, count); }
  std::string Text;
};

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes)
    c = static_cast<char>(random());
  return bytes;
}

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

} // namespace
