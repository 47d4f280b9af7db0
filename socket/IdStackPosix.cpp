#include "IdStackPosix.h"

#include "IdException.h"
#include "IdSocketErrors.h"
#include "IntConv.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

thread_local int32_t LastError = 0;

// Records the reason of a failed call; passes the result through.
int32_t Failed(int32_t result) {
  if (result == -1) LastError = SocketErrorFromErrno(errno);
  return result;
}

sockaddr_in MakeAddress(int32_t family, uint32_t address, int32_t port) {
  sockaddr_in record{};
  record.sin_family = static_cast<sa_family_t>(family == Id_AF_INET ? AF_INET : family);
  record.sin_port = TIdStack::HostToNetShort(static_cast<uint16_t>(port));
  record.sin_addr.s_addr = address;
  return record;
}

void ReadAddress(const sockaddr_in& record, std::string& ip, int32_t& port) {
  TIdIPBytes bytes{};
  std::memcpy(bytes.data(), &record.sin_addr.s_addr, bytes.size());
  ip = TIdStack::IPBytesToText(bytes);
  port = TIdStack::NetToHostShort(record.sin_port);
}

// The program's send and receive flags as the platform's.
int PlatformFlags(int32_t flags) {
  int platform = flags & ~Id_MSG_DONTWAIT;
  if ((flags & Id_MSG_DONTWAIT) != 0) platform |= MSG_DONTWAIT;
  return platform;
}

int PlatformType(int32_t type) {
  switch (type) {
  case Id_SOCK_STREAM:
    return SOCK_STREAM;
  case Id_SOCK_DGRAM:
    return SOCK_DGRAM;
  default:
    return type;
  }
}

// The first IPv4 address of a name, or false with the lookup error recorded.
bool ResolveAll(const std::string& name, std::vector<std::string>& addresses) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
    LastError = IdSocketError::HostNotFound;
    return false;
  }
  for (addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    std::string ip;
    int32_t port = 0;
    ReadAddress(*reinterpret_cast<const sockaddr_in*>(entry->ai_addr), ip, port);
    if (std::find(addresses.begin(), addresses.end(), ip) == addresses.end())
      addresses.push_back(ip);
  }
  ::freeaddrinfo(found);
  return true;
}

} // namespace

std::unique_ptr<TIdStack> TIdStack::CreatePlatformStack() {
  return std::make_unique<TIdStackPosix>();
}

void TIdStackPosix::SetLastError(int32_t code) {
  LastError = code;
}

int32_t TIdStackPosix::SockLastError() {
  return LastError;
}

void TIdStackPosix::RefreshLocalIPs() {
  std::vector<std::string> addresses;
  if (!ResolveAll(LocalHostName(), addresses)) CheckSocketResult(Id_SOCKET_ERROR);
  if (!FLocalIPs) FLocalIPs = std::make_unique<TStringList>();
  FLocalIPs->Clear();
  for (std::string& ip : addresses)
    FLocalIPs->Add(std::move(ip));
}

int32_t TIdStackPosix::SockAccept(int32_t socket, std::string& remoteIP, int32_t& remotePort) {
  sockaddr_in record{};
  socklen_t length = sizeof record;
  int32_t result;
  do {
    result = ::accept4(socket, reinterpret_cast<sockaddr*>(&record), &length, SOCK_CLOEXEC);
  } while (result == -1 && errno == EINTR);
  Failed(result);
  ReadAddress(record, remoteIP, remotePort);
  return result;
}

int32_t TIdStackPosix::SockBind(int32_t socket, int32_t family, const std::string& ip,
                                int32_t port) {
  const sockaddr_in record = MakeAddress(family, ip.empty() ? 0u : TextToIPValue(ip), port);
  return Failed(::bind(socket, reinterpret_cast<const sockaddr*>(&record), sizeof record));
}

int32_t TIdStackPosix::SockClose(int32_t socket) {
  // No retry on EINTR: the descriptor is released either way on Linux.
  return Failed(::close(socket));
}

int32_t TIdStackPosix::SockConnect(int32_t socket, int32_t family, const std::string& ip,
                                   int32_t port) {
  const sockaddr_in record = MakeAddress(family, TextToIPValue(ip), port);
  if (::connect(socket, reinterpret_cast<const sockaddr*>(&record), sizeof record) == 0) return 0;
  if (errno != EINTR) return Failed(-1);
  // An interrupted connect goes on in the background; wait for its outcome.
  pollfd entry{socket, POLLOUT, 0};
  while (::poll(&entry, 1, -1) == -1)
    if (errno != EINTR) return Failed(-1);
  return SockFinishConnect(socket);
}

int32_t TIdStackPosix::SockSetBlocking(int32_t socket, bool blocking) {
  const int flags = ::fcntl(socket, F_GETFL);
  if (flags == -1) return Failed(-1);
  return Failed(::fcntl(socket, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK));
}

int32_t TIdStackPosix::SockFinishConnect(int32_t socket) {
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) == -1) return Failed(-1);
  if (error == 0) return 0;
  errno = error;
  return Failed(-1);
}

int32_t TIdStackPosix::SockAbortiveClose(int32_t socket) {
  // A zero linger time makes close() send a reset and drop what is queued.
  const linger abortive{1, 0};
  ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  return Failed(::close(socket));
}

int32_t TIdStackPosix::SockUnacknowledged(int32_t socket) {
  int count = 0;
  if (::ioctl(socket, SIOCOUTQ, &count) == -1) return Failed(-1);
  return count;
}

int32_t TIdStackPosix::SockPendingError(int32_t socket) {
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) == -1) return Failed(-1);
  return error == 0 ? 0 : SocketErrorFromErrno(error);
}

std::string TIdStackPosix::LookupHostByName(const std::string& name) {
  std::vector<std::string> addresses;
  if (!ResolveAll(name, addresses)) CheckSocketResult(Id_SOCKET_ERROR);
  return addresses.front();
}

std::string TIdStackPosix::LocalHostName() {
  char buffer[250] = {};
  ::gethostname(buffer, sizeof buffer - 1);
  return buffer;
}

std::string TIdStackPosix::LookupHostByAddress(const std::string& address) {
  const sockaddr_in record = MakeAddress(Id_AF_INET, TextToIPValue(address), 0);
  char name[NI_MAXHOST] = {};
  if (::getnameinfo(reinterpret_cast<const sockaddr*>(&record), sizeof record, name, sizeof name,
                    nullptr, 0, NI_NAMEREQD) != 0) {
    LastError = IdSocketError::HostNotFound;
    CheckSocketResult(Id_SOCKET_ERROR);
  }
  return name;
}

int32_t TIdStackPosix::ServicePort(const std::string& service) {
  servent entry{};
  servent* found = nullptr;
  char buffer[1024];
  ::getservbyname_r(service.c_str(), nullptr, &entry, buffer, sizeof buffer, &found);
  if (found != nullptr) return NetToHostShort(static_cast<uint16_t>(found->s_port));
  int32_t port = 0;
  if (!TryStrToInt(service, port))
    throw EIdInvalidServiceName(service + " ist kein gültiger Service.");
  return port;
}

std::unique_ptr<TStringList> TIdStackPosix::ServiceNamesOfPort(int32_t port) {
  auto names = std::make_unique<TStringList>();
  servent entry{};
  servent* found = nullptr;
  char buffer[1024];
  ::getservbyport_r(HostToNetShort(static_cast<uint16_t>(port)), nullptr, &entry, buffer,
                    sizeof buffer, &found);
  if (found != nullptr) {
    names->Add(found->s_name);
    for (char** alias = found->s_aliases; alias != nullptr && *alias != nullptr; ++alias)
      names->Add(*alias);
  }
  return names;
}

int32_t TIdStackPosix::SockListen(int32_t socket, int32_t backlog) {
  return Failed(::listen(socket, backlog));
}

int32_t TIdStackPosix::SockRecv(int32_t socket, void* buffer, int32_t length, int32_t flags) {
  ssize_t result;
  do {
    result = ::recv(socket, buffer, static_cast<size_t>(length), PlatformFlags(flags));
  } while (result == -1 && errno == EINTR);
  return Failed(static_cast<int32_t>(result));
}

int32_t TIdStackPosix::SockRecvFrom(int32_t socket, void* buffer, int32_t length, int32_t flags,
                                    std::string& fromIP, int32_t& fromPort) {
  sockaddr_in record{};
  socklen_t size = sizeof record;
  ssize_t result;
  do {
    result = ::recvfrom(socket, buffer, static_cast<size_t>(length), flags,
                        reinterpret_cast<sockaddr*>(&record), &size);
  } while (result == -1 && errno == EINTR);
  Failed(static_cast<int32_t>(result));
  ReadAddress(record, fromIP, fromPort);
  return static_cast<int32_t>(result);
}

int32_t TIdStackPosix::SockSelect(TIdSocketList* readList, TIdSocketList* writeList,
                                  TIdSocketList* errorList, int32_t timeout) {
  TIdSocketList* lists[3] = {readList, writeList, errorList};
  for (TIdSocketList* list : lists)
    if (list != nullptr && list->size() > IdSocketListLimit)
      throw EIdStackSetSizeExceeded("Mengengröße überschritten.");

  // poll() serves any descriptor number; a select() set holds only those below 1024.
  const short wanted[3] = {POLLIN, POLLOUT, POLLPRI};
  std::vector<pollfd> entries;
  for (int k = 0; k < 3; ++k) {
    if (lists[k] == nullptr) continue;
    for (int32_t socket : *lists[k]) {
      auto it = std::find_if(entries.begin(), entries.end(),
                             [socket](const pollfd& e) { return e.fd == socket; });
      if (it == entries.end())
        entries.push_back({socket, wanted[k], 0});
      else
        it->events |= wanted[k];
    }
  }

  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(timeout, 0));
  int result;
  for (;;) {
    int wait = -1;
    if (timeout != -2) {
      // Rounded up: a wait that ends early would end before the time its caller counts on.
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait = static_cast<int>(std::max<int64_t>(left, 0));
    }
    result = ::poll(entries.data(), entries.size(), wait);
    if (result != -1 || errno != EINTR) break;
  }
  if (result == -1) Failed(-1);
  // A socket that is no open descriptor fails the whole wait, as select() does.
  for (const pollfd& e : entries)
    if (e.revents & POLLNVAL) {
      errno = EBADF;
      result = Failed(-1);
    }

  int32_t ready = 0;
  const short counts[3] = {POLLIN | POLLHUP | POLLERR, POLLOUT | POLLHUP | POLLERR, POLLPRI};
  for (int k = 0; k < 3; ++k) {
    if (lists[k] == nullptr) continue;
    TIdSocketList left;
    if (result > 0)
      for (int32_t socket : *lists[k]) {
        auto it = std::find_if(entries.begin(), entries.end(),
                               [socket](const pollfd& e) { return e.fd == socket; });
        if ((it->revents & counts[k]) != 0 &&
            std::find(left.begin(), left.end(), socket) == left.end())
          left.push_back(socket);
      }
    ready += static_cast<int32_t>(left.size());
    *lists[k] = std::move(left);
  }
  return result == -1 ? -1 : ready;
}

int32_t TIdStackPosix::SockSend(int32_t socket, const void* buffer, int32_t length, int32_t flags) {
  ssize_t result;
  do {
    // A peer that has gone away must fail the call, not kill the process.
    result =
        ::send(socket, buffer, static_cast<size_t>(length), PlatformFlags(flags) | MSG_NOSIGNAL);
  } while (result == -1 && errno == EINTR);
  return Failed(static_cast<int32_t>(result));
}

int32_t TIdStackPosix::SockSendTo(int32_t socket, const void* buffer, int32_t length, int32_t flags,
                                  const std::string& ip, int32_t port) {
  const sockaddr_in record = MakeAddress(Id_AF_INET, TextToIPValue(ip), port);
  ssize_t result;
  do {
    result = ::sendto(socket, buffer, static_cast<size_t>(length), flags | MSG_NOSIGNAL,
                      reinterpret_cast<const sockaddr*>(&record), sizeof record);
  } while (result == -1 && errno == EINTR);
  return Failed(static_cast<int32_t>(result));
}

int32_t TIdStackPosix::SockSetOption(int32_t socket, int32_t level, int32_t option,
                                     const void* value, int32_t length) {
  // The TCP level and its no-delay option carry the same numbers here as in the program.
  return Failed(::setsockopt(socket, level, option, value, static_cast<socklen_t>(length)));
}

int32_t TIdStackPosix::SockCreate(int32_t family, int32_t type, int32_t protocol) {
  return Failed(::socket(family == Id_AF_INET ? AF_INET : family, PlatformType(type) | SOCK_CLOEXEC,
                         protocol));
}

int32_t TIdStackPosix::SockShutdown(int32_t socket, int32_t how) {
  return Failed(::shutdown(socket, how == Id_SD_SEND ? SHUT_WR : how));
}

namespace {

// getpeername and getsockname alike: checked, then the record read out.
template <typename Query>
void QueryName(TIdStack& stack, Query query, int32_t socket, int32_t& family, std::string& ip,
               int32_t& port) {
  sockaddr_in record{};
  socklen_t length = sizeof record;
  stack.CheckSocketResult(Failed(query(socket, reinterpret_cast<sockaddr*>(&record), &length)));
  family = record.sin_family == AF_INET ? Id_AF_INET : record.sin_family;
  ReadAddress(record, ip, port);
}

} // namespace

void TIdStackPosix::SockPeerName(int32_t socket, int32_t& family, std::string& ip, int32_t& port) {
  QueryName(*this, ::getpeername, socket, family, ip, port);
}

void TIdStackPosix::SockLocalName(int32_t socket, int32_t& family, std::string& ip, int32_t& port) {
  QueryName(*this, ::getsockname, socket, family, ip, port);
}
