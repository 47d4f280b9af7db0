#pragma once

#include <chrono>
#include <string>
#include <string_view>

// Just enough of an FTP client, on plain sockets, to check the test servers themselves.
// Every wait has a deadline; a missed one throws std::runtime_error.
namespace RawFtp {

using TMilliseconds = std::chrono::milliseconds;
inline constexpr TMilliseconds DefaultTimeout{5000};

// A connected TCP socket to 127.0.0.1:port, closed on destruction.
class TSocket {
 public:
  explicit TSocket(int fd = -1) : FFd(fd) {}
  ~TSocket();
  TSocket(TSocket&& other) noexcept : FFd(other.FFd) { other.FFd = -1; }
  TSocket& operator=(TSocket&& other) noexcept;
  TSocket(const TSocket&) = delete;
  TSocket& operator=(const TSocket&) = delete;

  static TSocket Connect(int port, TMilliseconds timeout = DefaultTimeout);

  int Fd() const { return FFd; }
  void Close();
  void WriteAll(std::string_view data);
  // Whatever arrives next (at most 64 KiB); empty when the peer closed.
  std::string ReadSome(TMilliseconds timeout = DefaultTimeout);
  // Everything until the peer closes.
  std::string ReadAll(TMilliseconds timeout = DefaultTimeout);
  // True when data or the peer's close is waiting.
  bool Readable(TMilliseconds timeout) const;

 private:
  int FFd;
};

// A listening socket on 127.0.0.1 for active mode.
class TListener {
 public:
  TListener();
  // The PORT argument for this listener: "127,0,0,1,p1,p2".
  std::string PortArgument() const;
  int Port() const { return FPort; }
  // True when a connection waits to be accepted.
  bool Pending(TMilliseconds timeout) const { return FSocket.Readable(timeout); }
  TSocket Accept(TMilliseconds timeout = DefaultTimeout);

 private:
  TSocket FSocket;
  int FPort = 0;
};

// The control connection.
class TClient {
 public:
  explicit TClient(int port) : FSocket(TSocket::Connect(port)) {}

  // One whole reply, multi-line replies included, with its line ends as received.
  std::string ReadReply(TMilliseconds timeout = DefaultTimeout);
  // line + CR LF.
  void Send(const std::string& line) { FSocket.WriteAll(line + "\r\n"); }
  void SendRaw(std::string_view bytes) { FSocket.WriteAll(bytes); }
  std::string Command(const std::string& line, TMilliseconds timeout = DefaultTimeout) {
    Send(line);
    return ReadReply(timeout);
  }
  // True when the server closes the connection within timeout without sending anything
  // more; false when it stays open; throws when bytes arrive.
  bool ClosedByServer(TMilliseconds timeout);
  // True when nothing arrives within timeout.
  bool Silent(TMilliseconds timeout);
  // The received bytes not yet returned.
  const std::string& Buffered() const { return FBuffer; }
  TSocket& Socket() { return FSocket; }

 private:
  TSocket FSocket;
  std::string FBuffer;
};

// "227 ... (h1,h2,h3,h4,p1,p2)" -> p1 * 256 + p2.
int PassivePort(const std::string& reply);

} // namespace RawFtp
