#pragma once

#include "IdStack.h"

// The stack on POSIX sockets. Errors are kept per thread as the program's socket error
// codes (errno mapped when a call fails), so that a later non-socket call on the thread
// cannot change what SockLastError reports.
class TIdStackPosix : public TIdStack {
 public:
  void RefreshLocalIPs() override;
  int32_t SockAccept(int32_t socket, std::string& remoteIP, int32_t& remotePort) override;
  int32_t SockBind(int32_t socket, int32_t family, const std::string& ip, int32_t port) override;
  int32_t SockClose(int32_t socket) override;
  int32_t SockConnect(int32_t socket, int32_t family, const std::string& ip, int32_t port) override;
  std::string LookupHostByName(const std::string& name) override;
  std::string LocalHostName() override;
  std::string LookupHostByAddress(const std::string& address) override;
  int32_t ServicePort(const std::string& service) override;
  std::unique_ptr<TStringList> ServiceNamesOfPort(int32_t port) override;
  int32_t SockListen(int32_t socket, int32_t backlog) override;
  int32_t SockRecv(int32_t socket, void* buffer, int32_t length, int32_t flags) override;
  int32_t SockRecvFrom(int32_t socket, void* buffer, int32_t length, int32_t flags,
                       std::string& fromIP, int32_t& fromPort) override;
  int32_t SockSelect(TIdSocketList* readList, TIdSocketList* writeList, TIdSocketList* errorList,
                     int32_t timeout) override;
  int32_t SockSend(int32_t socket, const void* buffer, int32_t length, int32_t flags) override;
  int32_t SockSendTo(int32_t socket, const void* buffer, int32_t length, int32_t flags,
                     const std::string& ip, int32_t port) override;
  int32_t SockSetOption(int32_t socket, int32_t level, int32_t option, const void* value,
                        int32_t length) override;
  int32_t SockCreate(int32_t family, int32_t type, int32_t protocol) override;
  int32_t SockShutdown(int32_t socket, int32_t how) override;
  int32_t SockLastError() override;
  void SockSetLastError(int32_t code) override { SetLastError(code); }
  int32_t SockSetBlocking(int32_t socket, bool blocking) override;
  int32_t SockFinishConnect(int32_t socket) override;
  int32_t SockAbortiveClose(int32_t socket) override;
  int32_t SockUnacknowledged(int32_t socket) override;
  int32_t SockPendingError(int32_t socket) override;
  void SockPeerName(int32_t socket, int32_t& family, std::string& ip, int32_t& port) override;
  void SockLocalName(int32_t socket, int32_t& family, std::string& ip, int32_t& port) override;

  // For tests: sets the calling thread's last error as a failing call would.
  static void SetLastError(int32_t code);
};
