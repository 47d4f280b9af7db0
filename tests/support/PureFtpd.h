#pragma once

#include "ChildProcess.h"
#include "ScratchFolder.h"

#include <memory>
#include <string>
#include <string_view>

// A real pure-ftpd for one test, started through pureftpd/start-pureftpd.sh: 127.0.0.1,
// a free control port of its own, a passive port range derived from it, the virtual user
// User/Password chrooted to a fresh root folder. Active mode (PORT to 127.0.0.1) and
// passive mode both work. Stopped, with its scratch folder removed, on destruction.
// Given a private key and certificate (PEM), it requires explicit FTP over TLS on the
// control connection and on every data connection.
class TPureFtpd {
 public:
  static constexpr const char* User = "Lichtfracht";
  static constexpr const char* Password = "58Kovarenisobume";

  // Starts the server and waits (at most 10 s) until it greets a connection. Throws
  // std::runtime_error, with the server's messages, when it does not come up.
  explicit TPureFtpd(const std::string& tlsKeyAndCertificatePem = {});
  ~TPureFtpd();
  TPureFtpd(const TPureFtpd&) = delete;
  TPureFtpd& operator=(const TPureFtpd&) = delete;

  int Port() const { return FPort; }
  // The folder the user sees as "/". Files the server writes belong to the served uid.
  const std::string& Root() const { return FRoot; }

  // Puts a file / folder (path relative to Root) there, owned by the served user, so
  // the server may also replace or remove it.
  void CreateFile(const std::string& relativePath, std::string_view content) const;
  void CreateFolder(const std::string& relativePath) const;

  // What the server and its start script wrote to stdout and stderr.
  std::string Diagnostics() const;
  // Stops the server now (the destructor does it otherwise).
  void Stop();

 private:
  void HandOver(const std::string& path) const;

  TScratchFolder FScratch; // declared first: removed only after the server has stopped
  std::string FRoot;
  std::unique_ptr<TChildProcess> FProcess;
  int FPort = 0;
};
