// Uploads every file of a local folder into the login folder of an FTP server, the way a
// publishing run does: one login, binary type, then one STOR per file. Prints the figures;
// exits non-zero when anything fails.
//
//   ftp_upload HOST PORT FOLDER active|passive [--antifreeze] [--user U] [--password P]
//              [--trace] [--cwd REMOTE] [--tls CERTIFICATE.pem] [--as-run NAME]
//
// --antifreeze runs under a Qt event loop object with the window's anti-freeze settings
// (IdleTimeOut 50, OnlyWhenIdle off, BusyServeInterval 10), so the queue is served as in
// the real program: after every wait that found nothing, and every 10 ms while data flows.
// --trace writes the status texts and every piece of the control connection
// (the password masked) to standard error, as the window's trace list shows them, and
// at the end the mode the client ended in: it tells a passive fallback in a field run.
// --as-run NAME sends what the window's publishing run sends around its files: the listing
// of the login folder, MKD NAME and the listing of NAME, and after the files the listing of
// NAME again; like the window, it leaves without QUIT. Beside the window it tells what of
// the window's time those commands take and what the window itself costs.
// --cwd uploads into the remote folder REMOTE instead (an anonymous server's login folder
// is not writable). --tls requires FTP over TLS and trusts only the given certificate(s);
// the figures then also say how many data connections resumed the control connection's
// session.

#include "Exception.h"
#include "IdAntiFreeze.h"
#include "IdFTP.h"
#include "IdLogDebug.h"
#include "IdTLSSession.h"
#include "StringList.h"

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
                       "[--user U] [--password P] [--trace] [--cwd REMOTE] "
                       "[--tls CERTIFICATE.pem] [--as-run NAME]\n");
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
  bool trace = false;
  std::string remoteFolder;
  std::string user = "Lichtfracht", password = "58Kovarenisobume";
  std::string tlsCertificate;
  std::string runFolder;
  for (int i = 5; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--antifreeze")
      antiFreeze = true;
    else if (option == "--trace")
      trace = true;
    else if (option == "--cwd" && i + 1 < argc)
      remoteFolder = argv[++i];
    else if (option == "--user" && i + 1 < argc)
      user = argv[++i];
    else if (option == "--password" && i + 1 < argc)
      password = argv[++i];
    else if (option == "--tls" && i + 1 < argc)
      tlsCertificate = argv[++i];
    else if (option == "--as-run" && i + 1 < argc)
      runFolder = argv[++i];
    else
      return Usage();
  }

  // Reading the folder is part of publishing it: the window's figure has it too.
  const auto start = std::chrono::steady_clock::now();
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
    freeze->BusyServeInterval = 10;
  }

  TIdLogDebug log;
  log.SetTarget(ltEvent);
  log.OnLogItem = [](TIdLogDebug*, std::string& text) {
    // Only the sent password: unlike the window's trace, replies that merely contain "pass"
    // ("227 Entering passive mode") stay readable.
    if (text.find("Gesendet: pass ") != std::string::npos) text = "Passwort gesendet";
    std::fprintf(stderr, "%s\n", TerminalText(text).c_str());
  };
  try {
    TIdFTP ftp;
    if (trace) {
      ftp.OnStatus = [](TIdComponent*, TIdStatus, const std::string& text) {
        std::fprintf(stderr, "%s\n", text.c_str());
      };
      log.SetActive(true);
      ftp.SetIntercept(&log);
      ftp.SetInterceptEnabled(true);
    }
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
    ftp.Connect(true);
    if (!remoteFolder.empty()) ftp.ChangeWorkingDir(remoteFolder);
    // The window's way of showing a folder: ASCII, where it is, what it holds.
    const auto showWorkingDir = [&ftp] {
      ftp.SetTransferType(ftASCII);
      ftp.QueryWorkingDir();
      TStringList listing;
      ftp.ListDirectory(listing, "", true);
    };
    if (!runFolder.empty()) {
      showWorkingDir();
      ftp.MakeRemoteDir(runFolder);
      ftp.ChangeWorkingDir(runFolder);
      showWorkingDir();
    }
    ftp.SetTransferType(ftBinary);
    uintmax_t bytes = 0;
    for (const auto& file : files) {
      ftp.StoreFile(file.string(), file.filename().string(), false);
      bytes += std::filesystem::file_size(file);
    }
    if (trace)
      std::fprintf(stderr, "mode at the end: %s\n", ftp.UsesPassive() ? "passive" : "active");
    if (runFolder.empty()) {
      ftp.Quit();
    } else {
      ftp.ChangeWorkingDir(ftp.QueryWorkingDir());
      showWorkingDir();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    // The processor time includes the start of the process, which is next to nothing.
    const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("files %zu bytes %ju seconds %.3f MB/s %.1f maxrss_kib %ld cpu_s %.3f",
                files.size(), bytes, seconds, static_cast<double>(bytes) / 1e6 / seconds,
                usage.ru_maxrss, cpu);
    if (ftp.TLSRequired) std::printf(" tls_data %d tls_resumed %d", secured, resumed);
    std::printf("\n");
  } catch (const Exception& e) {
    std::fprintf(stderr, "ftp_upload: %s\n", e.Message.c_str());
    return 1;
  }
  return 0;
}
