#pragma once

#include "IdStack.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A socket stack with one in-memory peer, for fuzzing the connection layer without the
// kernel. Its one socket is always ready in both directions: a receive hands out the next
// piece of the peer's bytes, a send takes some of what is offered; the piece sizes cycle
// through a list (0 = as much as the caller asks for). When the bytes run out, a receive
// reports the peer's close, or fails with endError when that is not 0.
//
// Every other call answers as a quiet local machine would, so that code which opens,
// waits on, tunes or closes the socket runs unchanged.
class TFuzzStack : public TIdStack {
 public:
  static constexpr int32_t PeerSocket = 7;

  TFuzzStack(std::string_view peerBytes, std::vector<uint32_t> pieceSizes, int32_t endError);

  // Bytes handed out by receives so far, and everything the connection sent.
  size_t Delivered() const { return FDelivered; }
  const std::string& Sent() const { return FSent; }

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
  int32_t SockLastError() override { return FLastError; }
  void SockSetLastError(int32_t code) override { FLastError = code; }
  int32_t SockSetBlocking(int32_t socket, bool blocking) override;
  int32_t SockFinishConnect(int32_t socket) override;
  int32_t SockAbortiveClose(int32_t socket) override { return SockClose(socket); }
  // The in-memory peer takes every byte at once.
  int32_t SockUnacknowledged(int32_t socket) override;
  int32_t SockPendingError(int32_t socket) override { return SockUnacknowledged(socket); }
  void SockPeerName(int32_t socket, int32_t& family, std::string& ip, int32_t& port) override;
  void SockLocalName(int32_t socket, int32_t& family, std::string& ip, int32_t& port) override;

 private:
  // The platform's -1 with its reason.
  int32_t Fail(int32_t error);
  bool IsPeerSocket(int32_t socket) const { return FOpen && socket == PeerSocket; }
  // The size of the next piece for a call that offers length bytes.
  int32_t NextPiece(size_t& turn, int32_t length);

  std::string_view FPeerBytes;
  std::vector<uint32_t> FPieceSizes;
  int32_t FEndError;
  size_t FDelivered = 0;
  size_t FRecvTurn = 0;
  size_t FSendTurn = 0;
  std::string FSent;
  bool FOpen = false;
  int32_t FLastError = 0;
};
