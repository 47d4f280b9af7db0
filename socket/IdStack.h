#pragma once

#include "StringList.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

// An ordered list of socket ids for SockSelect; at most 64 entries.
using TIdSocketList = std::vector<int32_t>;
// The four bytes of an IPv4 address in network order (first byte = first number).
using TIdIPBytes = std::array<uint8_t, 4>;

inline constexpr int32_t Id_AF_INET = 2;
inline constexpr int32_t Id_SOCK_STREAM = 1;
inline constexpr int32_t Id_SOCK_DGRAM = 2;
inline constexpr int32_t Id_INVALID_SOCKET = -1;
inline constexpr int32_t Id_SOCKET_ERROR = -1;
inline constexpr int32_t Id_SD_SEND = 1;
inline constexpr int32_t Id_IPPROTO_TCP = 6;
inline constexpr int32_t Id_TCP_NODELAY = 1;
// Send and receive flag: fail with WouldBlock instead of waiting in the kernel, so that the
// caller can wait in slices and keep the window served.
inline constexpr int32_t Id_MSG_DONTWAIT = 0x10000;
inline constexpr size_t IdSocketListLimit = 64;

// The program's only gateway to the operating system's IPv4 sockets. The platform calls
// are wrapped one by one and return the raw result (-1 = failure, the reason then being
// SockLastError) unless marked checked; the logic around them is platform-neutral.
class TIdStack {
 public:
  TIdStack() = default;
  TIdStack(const TIdStack&) = delete;
  TIdStack& operator=(const TIdStack&) = delete;
  virtual ~TIdStack() = default;

  // The stack of this platform.
  static std::unique_ptr<TIdStack> CreatePlatformStack();

  // Local addresses: the local host name looked up, every address in order.
  virtual void RefreshLocalIPs() = 0;
  std::string FirstLocalIP();
  const TStringList& LocalIPs();

  virtual int32_t SockAccept(int32_t socket, std::string& remoteIP, int32_t& remotePort) = 0;
  // An empty address binds to any local address.
  virtual int32_t SockBind(int32_t socket, int32_t family, const std::string& ip, int32_t port) = 0;
  virtual int32_t SockClose(int32_t socket) = 0;
  // ip must be a dotted quad.
  virtual int32_t SockConnect(int32_t socket, int32_t family, const std::string& ip,
                              int32_t port) = 0;
  // Checked: an unknown name raises EIdSocketError.
  virtual std::string LookupHostByName(const std::string& name) = 0;
  virtual std::string LocalHostName() = 0;
  // Checked.
  virtual std::string LookupHostByAddress(const std::string& address) = 0;
  // The port of a service name, or the text as a decimal number; else EIdInvalidServiceName.
  virtual int32_t ServicePort(const std::string& service) = 0;
  // Official name first, then the aliases; empty when the port is unknown.
  virtual std::unique_ptr<TStringList> ServiceNamesOfPort(int32_t port) = 0;
  virtual int32_t SockListen(int32_t socket, int32_t backlog) = 0;
  virtual int32_t SockRecv(int32_t socket, void* buffer, int32_t length, int32_t flags) = 0;
  virtual int32_t SockRecvFrom(int32_t socket, void* buffer, int32_t length, int32_t flags,
                               std::string& fromIP, int32_t& fromPort) = 0;
  // Waits until a socket of the lists is ready or the time-out (ms; -2 = no limit) passes;
  // leaves only the ready sockets in each list. Returns the ready count, 0 on time-out,
  // -1 on error. More than 64 entries in a list raise EIdStackSetSizeExceeded.
  virtual int32_t SockSelect(TIdSocketList* readList, TIdSocketList* writeList,
                             TIdSocketList* errorList, int32_t timeout) = 0;
  virtual int32_t SockSend(int32_t socket, const void* buffer, int32_t length, int32_t flags) = 0;
  virtual int32_t SockSendTo(int32_t socket, const void* buffer, int32_t length, int32_t flags,
                             const std::string& ip, int32_t port) = 0;
  virtual int32_t SockSetOption(int32_t socket, int32_t level, int32_t option, const void* value,
                                int32_t length) = 0;
  virtual int32_t SockCreate(int32_t family, int32_t type, int32_t protocol) = 0;
  virtual int32_t SockShutdown(int32_t socket, int32_t how) = 0;
  // The calling thread's last socket error code.
  virtual int32_t SockLastError() = 0;
  // Sets it, as a failing call would.
  virtual void SockSetLastError(int32_t code) = 0;
  // Switches the socket between blocking and non-blocking calls.
  virtual int32_t SockSetBlocking(int32_t socket, bool blocking) = 0;
  // The outcome of a connect started without blocking, once the socket is writable: 0 when
  // it connected, else -1 with the reason as the last error.
  virtual int32_t SockFinishConnect(int32_t socket) = 0;
  // Closes the socket so that the peer sees a reset, not an orderly end: whatever it
  // received so far must not count as all there was. Bytes not yet sent are dropped.
  virtual int32_t SockAbortiveClose(int32_t socket) = 0;
  // Bytes sent on the socket that the peer has not acknowledged yet (unsent ones included),
  // or -1 with the reason as the last error.
  virtual int32_t SockUnacknowledged(int32_t socket) = 0;
  // The error pending on the socket (a reset that arrived meanwhile, say) as a program
  // code, 0 when there is none; -1 when it cannot be read.
  virtual int32_t SockPendingError(int32_t socket) = 0;
  // Checked.
  virtual void SockPeerName(int32_t socket, int32_t& family, std::string& ip, int32_t& port) = 0;
  virtual void SockLocalName(int32_t socket, int32_t& family, std::string& ip, int32_t& port) = 0;

  std::string SocketErrorMessage(int32_t code);
  static uint16_t HostToNetShort(uint16_t value);
  static uint16_t NetToHostShort(uint16_t value) { return HostToNetShort(value); }
  static uint32_t HostToNetLong(uint32_t value);
  static uint32_t NetToHostLong(uint32_t value) { return HostToNetLong(value); }
  static std::string IPBytesToText(const TIdIPBytes& bytes);
  // Raises EConvertError for a part that is no integer; parts above 255 are truncated.
  static TIdIPBytes TextToIPBytes(const std::string& text);
  // The four bytes as one value, as they lie in memory (network order).
  static uint32_t TextToIPValue(const std::string& text);
  static bool IsDottedQuad(const std::string& text);

  // "localhost" (any case) and dotted quads without a lookup; everything else is looked up.
  std::string HostToIP(const std::string& host);
  // A new socket or EIdInvalidSocket.
  int32_t NewSocket(int32_t type, int32_t protocol);
  void CheckSocketResult(int32_t result) { CheckSocketResultAllowing(result, {}); }
  // Only -1 is a failure. Returns true when its code is one of allowed (the caller handles
  // it); raises EIdSocketError for any other code.
  bool CheckSocketResultAllowing(int32_t result, std::initializer_list<int32_t> allowed);
  [[noreturn]] void ThrowSocketError(int32_t code);

 protected:
  std::unique_ptr<TStringList> FLocalIPs; // created by the first LocalIPs call
};

// The one stack while any network component exists; created by the first and freed with
// the last.
extern TIdStack* GlobalStack;
