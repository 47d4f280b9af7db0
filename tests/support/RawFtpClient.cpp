#include "RawFtpClient.h"

#include "LoopbackPeer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace RawFtp {

namespace {

using TClock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

int LeftMs(TClock::time_point deadline) {
  const auto left = std::chrono::duration_cast<TMilliseconds>(deadline - TClock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

bool WaitFor(int fd, short events, TMilliseconds timeout) {
  const auto deadline = TClock::now() + timeout;
  for (;;) {
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, LeftMs(deadline));
    if (r > 0) return true;
    if (r == 0) return false;
    if (errno != EINTR) Fail("poll");
  }
}

} // namespace

TSocket::~TSocket() {
  Close();
}

TSocket& TSocket::operator=(TSocket&& other) noexcept {
  if (this != &other) {
    Close();
    FFd = other.FFd;
    other.FFd = -1;
  }
  return *this;
}

void TSocket::Close() {
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
}

TSocket TSocket::Connect(int port, TMilliseconds timeout) {
  TSocket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (s.FFd < 0) Fail("socket");
  const sockaddr_in address = peer::LoopbackAddress(port);
  if (::connect(s.FFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EINPROGRESS) Fail("connect to port " + std::to_string(port));
    if (!WaitFor(s.FFd, POLLOUT, timeout))
      throw std::runtime_error("connect to port " + std::to_string(port) + ": timed out");
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(s.FFd, SOL_SOCKET, SO_ERROR, &error, &length);
    if (error != 0) {
      errno = error;
      Fail("connect to port " + std::to_string(port));
    }
  }
  return s;
}

void TSocket::WriteAll(std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::send(FFd, data.data(), data.size(), MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        if (!WaitFor(FFd, POLLOUT, DefaultTimeout)) throw std::runtime_error("send: timed out");
        continue;
      }
      Fail("send");
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
}

bool TSocket::Readable(TMilliseconds timeout) const {
  return WaitFor(FFd, POLLIN, timeout);
}

std::string TSocket::ReadSome(TMilliseconds timeout) {
  if (!Readable(timeout)) throw std::runtime_error("read: nothing within the deadline");
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::recv(FFd, buffer, sizeof buffer, 0);
    if (n >= 0) return std::string(buffer, static_cast<size_t>(n));
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!Readable(timeout)) throw std::runtime_error("read: nothing within the deadline");
      continue;
    }
    Fail("recv");
  }
}

std::string TSocket::ReadAll(TMilliseconds timeout) {
  const auto deadline = TClock::now() + timeout;
  std::string data;
  for (;;) {
    const std::string piece = ReadSome(TMilliseconds(LeftMs(deadline)));
    if (piece.empty()) return data;
    data += piece;
  }
}

TListener::TListener() : FSocket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  if (FSocket.Fd() < 0) Fail("socket");
  sockaddr_in address = peer::LoopbackAddress(0);
  socklen_t length = sizeof address;
  if (::bind(FSocket.Fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(FSocket.Fd(), 1) != 0 ||
      ::getsockname(FSocket.Fd(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    Fail("listen");
  FPort = ntohs(address.sin_port);
}

std::string TListener::PortArgument() const {
  return "127,0,0,1," + std::to_string(FPort / 256) + "," + std::to_string(FPort % 256);
}

TSocket TListener::Accept(TMilliseconds timeout) {
  if (!Pending(timeout)) throw std::runtime_error("accept: no connection within the deadline");
  TSocket accepted(::accept4(FSocket.Fd(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
  if (accepted.Fd() < 0) Fail("accept");
  return accepted;
}

std::string TClient::ReadReply(TMilliseconds timeout) {
  const auto deadline = TClock::now() + timeout;
  // A reply ends with the line that starts with its code and a blank; a first line with
  // code and "-" opens a multi-line reply.
  for (;;) {
    size_t start = 0;
    std::string code;
    for (size_t end; (end = FBuffer.find('\n', start)) != std::string::npos; start = end + 1) {
      const std::string line = FBuffer.substr(start, end - start);
      if (start == 0) {
        if (line.size() >= 4 && line[3] == '-') {
          code = line.substr(0, 3);
          continue;
        }
      } else if (code.empty() || line.rfind(code + " ", 0) != 0) {
        continue;
      }
      std::string reply = FBuffer.substr(0, end + 1);
      FBuffer.erase(0, end + 1);
      return reply;
    }
    const std::string piece = FSocket.ReadSome(TMilliseconds(LeftMs(deadline)));
    if (piece.empty())
      throw std::runtime_error("connection closed inside a reply; got: " + FBuffer);
    FBuffer += piece;
  }
}

bool TClient::ClosedByServer(TMilliseconds timeout) {
  if (!FSocket.Readable(timeout)) return false;
  const std::string piece = FSocket.ReadSome(timeout);
  if (!piece.empty()) throw std::runtime_error("expected the close, got: " + piece);
  return true;
}

bool TClient::Silent(TMilliseconds timeout) {
  return !FSocket.Readable(timeout);
}

int PassivePort(const std::string& reply) {
  const size_t open = reply.find('(');
  int n[6] = {};
  if (open == std::string::npos || std::sscanf(reply.c_str() + open, "(%d,%d,%d,%d,%d,%d)", &n[0],
                                               &n[1], &n[2], &n[3], &n[4], &n[5]) != 6)
    throw std::runtime_error("no address in: " + reply);
  return n[4] * 256 + n[5];
}

} // namespace RawFtp
