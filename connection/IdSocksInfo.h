#pragma once

#include <cstdint>
#include <string>

enum TSocksAuthentication : uint8_t { saNoAuthentication = 0, saUsernamePassword = 1 };
enum TSocksVersion : uint8_t { svNoSocks = 0, svSocks4 = 1, svSocks4A = 2, svSocks5 = 3 };

// Proxy settings of a client connection. The program always runs without a proxy; the
// settings are kept and handed on to passive data connections all the same.
struct TSocksInfo {
  TSocksAuthentication Authentication = saNoAuthentication;
  std::string Host;
  std::string Password;
  int32_t Port = 0;
  std::string UserID;
  TSocksVersion Version = svNoSocks;
};
