#include "PureFtpd.h"

#include "LoopbackPeer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

std::string ScriptPath() {
  return std::string(LICHTFRACHT_TEST_SUPPORT_DIR) + "/pureftpd/start-pureftpd.sh";
}

// A port nobody listens on right now. Another program may take it before the server
// binds it; the caller then tries again with a new one.
int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  sockaddr_in address = peer::LoopbackAddress(0);
  socklen_t length = sizeof address;
  const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  ::close(fd);
  if (!ok) throw std::runtime_error(std::string("no free port: ") + std::strerror(errno));
  return ntohs(address.sin_port);
}

// True when something on port answers with a 220 greeting within two seconds.
bool Greets(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  timeval limit{2, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  sockaddr_in address = peer::LoopbackAddress(port);
  std::string received;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    char buffer[256];
    while (received.size() < 3) {
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      received.append(buffer, static_cast<size_t>(n));
    }
  }
  ::close(fd);
  return received.rfind("220", 0) == 0;
}

} // namespace

TPureFtpd::TPureFtpd(const std::string& tlsKeyAndCertificatePem) : FScratch("lf-pureftpd-") {
  // The served uid must be able to pass through to the root folder.
  ::chmod(FScratch.Path().c_str(), 0755);
  FRoot = FScratch.Path() + "/root";
  const std::string state = FScratch.Path() + "/state";
  std::filesystem::create_directory(FRoot);
  std::filesystem::create_directory(state);
  std::string tlsFile;
  if (!tlsKeyAndCertificatePem.empty()) {
    tlsFile = FScratch.Path() + "/server.pem";
    std::ofstream out(tlsFile, std::ios::binary | std::ios::trunc);
    out << tlsKeyAndCertificatePem;
    if (!out) throw std::runtime_error("cannot write " + tlsFile);
    out.close();
    ::chmod(tlsFile.c_str(), 0600);
  }

  std::string failure;
  for (int attempt = 0; attempt < 5; ++attempt) {
    const int port = FreePort();
    FProcess = std::make_unique<TChildProcess>(std::vector<std::string>{
        "/bin/bash", ScriptPath(), FRoot, std::to_string(port), state, tlsFile});
    const auto deadline = TClock::now() + 10s;
    bool up = false;
    while (!up && FProcess->Running() && TClock::now() < deadline) {
      up = Greets(port);
      if (!up) std::this_thread::sleep_for(20ms);
    }
    if (up) {
      FPort = port;
      return;
    }
    FProcess->Stop();
    failure = "pure-ftpd on port " + std::to_string(port) +
              " did not come up; output: " + FProcess->PendingOutput() + FProcess->StandardError();
    // Only a port taken in the meantime is worth another try.
    if (failure.find("already in use") == std::string::npos) break;
  }
  FProcess.reset();
  throw std::runtime_error(failure);
}

TPureFtpd::~TPureFtpd() {
  Stop();
}

void TPureFtpd::Stop() {
  if (FProcess) FProcess->Stop();
}

std::string TPureFtpd::Diagnostics() const {
  return FProcess ? FProcess->PendingOutput() + FProcess->StandardError() : std::string();
}

void TPureFtpd::HandOver(const std::string& path) const {
  struct stat root {};
  if (::stat(FRoot.c_str(), &root) != 0 || ::chown(path.c_str(), root.st_uid, root.st_gid) != 0)
    throw std::runtime_error("cannot hand " + path +
                             " to the served user: " + std::strerror(errno));
}

void TPureFtpd::CreateFile(const std::string& relativePath, std::string_view content) const {
  const std::string path = FRoot + "/" + relativePath;
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
  }
  HandOver(path);
}

void TPureFtpd::CreateFolder(const std::string& relativePath) const {
  const std::string path = FRoot + "/" + relativePath;
  std::filesystem::create_directories(path);
  HandOver(path);
}
