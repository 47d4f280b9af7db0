// Uploads every file of a local folder into the login folder of an FTP server, the way a
// publishing run does: one login, binary type, then one STOR per file. Prints the figures;
// exits non-zero when anything fails.
//
//   ftp_upload HOST PORT FOLDER active|passive [--antifreeze] [--user U] [--password P]
//              [--tls CERTIFICATE.pem]
//
// --antifreeze runs under a Qt event loop object with the window's anti-freeze settings
// (IdleTimeOut 50, OnlyWhenIdle off), so the queue is served after every send as in the
// real program. --tls requires FTP over TLS and trusts only the given certificate(s); the
// figures then also say how many data connections resumed the control connection's
// session.

#include "Exception.h"
#include "IdAntiFreeze.h"
#include "IdFTP.h"
#include "IdTLSSession.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

int Usage() {
  std::fprintf(stderr, "usage: ftp_upload HOST PORT FOLDER active|passive [--antifreeze] "
                       "[--user U] [--password P] [--tls CERTIFICATE.pem]\n");
  return 2;
}

} // namespace

int main(int argc, char* argv[]) {
  if (argc < 5) return Usage();
  const std::string host = argv[1];
  const int port = std::atoi(argv[2]);
  const std::filesystem::path folder = argv[3];
  const std::string mode = argv[4];
  if (port <= 0 || (mode != "active" && mode != "passive")) return Usage();
  bool antiFreeze = false;
  std::string user = "Lichtfracht", password = "58Kovarenisobume";
  std::string tlsCertificate;
  for (int i = 5; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--antifreeze")
      antiFreeze = true;
    else if (option == "--user" && i + 1 < argc)
      user = argv[++i];
    else if (option == "--password" && i + 1 < argc)
      password = argv[++i];
    else if (option == "--tls" && i + 1 < argc)
      tlsCertificate = argv[++i];
    else
      return Usage();
  }

  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    if (entry.is_regular_file()) files.push_back(entry.path());
  if (error) {
    std::fprintf(stderr, "ftp_upload: %s: %s\n", folder.c_str(), error.message().c_str());
    return 1;
  }
  std::sort(files.begin(), files.end());

  std::unique_ptr<QCoreApplication> application;
  std::unique_ptr<TIdAntiFreeze> freeze;
  if (antiFreeze) {
    application = std::make_unique<QCoreApplication>(argc, argv);
    freeze = std::make_unique<TIdAntiFreeze>();
    freeze->IdleTimeOut = 50;
    freeze->OnlyWhenIdle = false;
  }

  try {
    TIdFTP ftp;
    ftp.Host = host;
    ftp.Port = port;
    ftp.User = user;
    ftp.Password = password;
    ftp.Passive = mode == "passive";
    int secured = 0, resumed = 0;
    if (!tlsCertificate.empty()) {
      std::ifstream in(tlsCertificate, std::ios::binary);
      ftp.TLSTrustedCertificates.assign(std::istreambuf_iterator<char>(in), {});
      if (!in && !in.eof()) {
        std::fprintf(stderr, "ftp_upload: cannot read %s\n", tlsCertificate.c_str());
        return 1;
      }
      ftp.TLSRequired = true;
      // Seen from each data connection once its handshake is done.
      ftp.OnWorkBegin = [&](TIdComponent*, TWorkMode, int32_t) {
        if (ftp.DataConnection() == nullptr || ftp.DataConnection()->TLSSession() == nullptr)
          return;
        ++secured;
        if (ftp.DataConnection()->TLSSession()->Resumed()) ++resumed;
      };
    }
    const auto start = std::chrono::steady_clock::now();
    ftp.Connect(true);
    ftp.SetTransferType(ftBinary);
    uintmax_t bytes = 0;
    for (const auto& file : files) {
      ftp.StoreFile(file.string(), file.filename().string(), false);
      bytes += std::filesystem::file_size(file);
    }
    ftp.Quit();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("files %zu bytes %ju seconds %.3f MB/s %.1f maxrss_kib %ld", files.size(), bytes,
                seconds, static_cast<double>(bytes) / 1e6 / seconds, usage.ru_maxrss);
    if (ftp.TLSRequired) std::printf(" tls_data %d tls_resumed %d", secured, resumed);
    std::printf("\n");
  } catch (const Exception& e) {
    std::fprintf(stderr, "ftp_upload: %s\n", e.Message.c_str());
    return 1;
  }
  return 0;
}
