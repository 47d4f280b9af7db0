#pragma once

// The far end of one loopback TCP connection, scripted by a test and run on a thread of
// its own, written on plain POSIX sockets so that it shares nothing with the code under
// test. Every wait has a deadline.

#include <arpa/inet.h>
#include <chrono>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace peer {

inline constexpr std::chrono::milliseconds DefaultDeadline{5000};

// 127.0.0.1:port as a socket address (port 0: any port).
inline sockaddr_in LoopbackAddress(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// One connected socket of the peer.
class TPeerSocket {
 public:
  explicit TPeerSocket(int fd) : FFd(fd) {}
  TPeerSocket(const TPeerSocket&) = delete;
  TPeerSocket& operator=(const TPeerSocket&) = delete;
  ~TPeerSocket() { Close(); }

  void Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::send(FFd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n <= 0) throw std::runtime_error("peer: send failed");
      bytes.remove_prefix(static_cast<size_t>(n));
    }
  }
  // Up to max bytes as soon as some arrive; "" when the connection closed.
  std::string ReceiveSome(size_t max = 65536,
                          std::chrono::milliseconds deadline = DefaultDeadline) {
    pollfd entry{FFd, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(deadline.count())) != 1)
      throw std::runtime_error("peer: nothing arrived in time");
    std::string buffer(max, '\0');
    const ssize_t n = ::recv(FFd, buffer.data(), max, 0);
    buffer.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return buffer;
  }
  // Everything up to and including marker.
  std::string ReceiveUntil(std::string_view marker,
                           std::chrono::milliseconds deadline = DefaultDeadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (FPending.find(marker) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0) throw std::runtime_error("peer: marker did not arrive in time");
      const std::string got = ReceiveSome(65536, left);
      if (got.empty()) throw std::runtime_error("peer: closed before the marker");
      FPending += got;
    }
    const size_t at = FPending.find(marker) + marker.size();
    std::string head = FPending.substr(0, at);
    FPending.erase(0, at);
    return head;
  }
  // Everything until the other side closes.
  std::string ReceiveAll(std::chrono::milliseconds deadline = DefaultDeadline) {
    std::string all = std::move(FPending);
    FPending.clear();
    for (;;) {
      const std::string got = ReceiveSome(65536, deadline);
      if (got.empty()) return all;
      all += got;
    }
  }
  void Close() {
    if (FFd >= 0) ::close(FFd);
    FFd = -1;
  }
  int Fd() const { return FFd; }

 private:
  int FFd;
  std::string FPending;
};

// Listens on 127.0.0.1 (a free port), accepts one connection and runs the script on it.
// A failing script is kept and reported by Join (or the destructor's join).
class TLoopbackPeer {
 public:
  explicit TLoopbackPeer(std::function<void(TPeerSocket&)> script) {
    FListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (::bind(FListen, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(FListen, 4) != 0 ||
        ::getsockname(FListen, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("peer: cannot listen");
    FPort = ntohs(address.sin_port);
    FThread = std::thread([this, script = std::move(script)] {
      try {
        pollfd entry{FListen, POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(DefaultDeadline.count())) != 1)
          throw std::runtime_error("peer: nobody connected in time");
        TPeerSocket socket(::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC));
        script(socket);
      } catch (const std::exception& e) {
        FFailure = e.what();
      }
    });
  }
  ~TLoopbackPeer() {
    if (FThread.joinable()) FThread.join();
    ::close(FListen);
  }
  TLoopbackPeer(const TLoopbackPeer&) = delete;
  TLoopbackPeer& operator=(const TLoopbackPeer&) = delete;

  int Port() const { return FPort; }
  // Waits for the script to end; returns what failed in it, or "".
  std::string Join() {
    if (FThread.joinable()) FThread.join();
    return FFailure;
  }

 private:
  int FListen = -1;
  int FPort = 0;
  std::thread FThread;
  std::string FFailure;
};

// Connects to 127.0.0.1:port from outside the code under test.
inline int ConnectTo(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = LoopbackAddress(port);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    throw std::runtime_error("peer: connect failed");
  }
  return fd;
}

// A port on 127.0.0.1 whose connects are never answered: its listen queue has one place,
// taken by a connection nobody accepts, so the kernel drops every further SYN.
class TUnansweredPort {
 public:
  TUnansweredPort() {
    FHole = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (::bind(FHole, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(FHole, 0) != 0 ||
        ::getsockname(FHole, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("peer: cannot listen");
    FPort = ntohs(address.sin_port);
    FFiller = ConnectTo(FPort);
  }
  ~TUnansweredPort() {
    ::close(FFiller);
    ::close(FHole);
  }
  TUnansweredPort(const TUnansweredPort&) = delete;
  TUnansweredPort& operator=(const TUnansweredPort&) = delete;

  int Port() const { return FPort; }

 private:
  int FHole = -1;
  int FFiller = -1;
  int FPort = 0;
};

// A port on 127.0.0.1 that nothing listens on (bound for a moment, then released).
inline int UnusedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = LoopbackAddress(0);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

} // namespace peer
