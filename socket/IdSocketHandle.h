#pragma once

#include <cstdint>
#include <string>

// One IPv4 stream socket with its binding: local and remote address and port, kept
// current after every step so that callers can read them (the FTP client builds its PORT
// command from them). All calls go to GlobalStack.
class TIdSocketHandle {
 public:
  TIdSocketHandle() { ResetFields(true); }
  TIdSocketHandle(const TIdSocketHandle&) = delete;
  TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;
  ~TIdSocketHandle() { Close(true); }

  // Closes any socket first (so all four binding fields are emptied), then opens a new one.
  void OpenSocket(int32_t type = 1, int32_t protocol = 0);
  // Binds to IP/Port (empty/0 = any), then reads back what the system chose.
  void BindLocal();
  // Connects to RemoteIP/RemotePort; returns the raw result (-1 on failure) unchecked.
  int32_t ConnectToRemote(int32_t family);
  // The same without blocking the thread: the connect is started, then waited for as
  // WaitWritable waits (sliced, the window served), at most timeout ms (-2 = no limit).
  // Running out of time fails with IdSocketError::TimedOut as the last error. The socket
  // blocks again afterwards. A handle closed meanwhile (by a handler served during the
  // wait) raises EIdConnClosedGracefully.
  int32_t ConnectToRemote(int32_t family, int32_t timeout);
  void StartListening(int32_t backlog);
  // Accepts one connection from the listening socket into this handle. The listening
  // socket stays open: its owner closes it.
  void AcceptFrom(int32_t listeningSocket);
  // True when data, a pending connection or the end of the stream is ready within the
  // time-out (ms, -2 = no limit). With an active anti-freeze long waits are cut into slices
  // and the window is served after each. A closed handle raises EIdConnClosedGracefully.
  bool WaitReadable(int32_t timeout);
  // The same for room to send (or a connect that completed or failed).
  bool WaitWritable(int32_t timeout);
  int32_t ReceiveData(void* buffer, int32_t length, int32_t flags);
  int32_t SendData(const void* buffer, int32_t length, int32_t flags);
  int32_t ReceiveDatagram(void* buffer, int32_t length, int32_t flags, std::string& fromIP,
                          int32_t& fromPort);
  void SetOption(int32_t level, int32_t option, const void* value, int32_t length);
  void SetRemote(const std::string& ip, int32_t port) {
    RemoteIP = ip;
    RemotePort = port;
  }
  void RefreshLocal();
  void RefreshRemote();
  // Marks the handle closed without closing a socket.
  void ResetFields(bool resetLocal);
  // Stops sending, closes the socket and empties the remote fields (and the local ones
  // with resetLocal). Does nothing at all on a closed handle.
  void Close(bool resetLocal = true);
  // Closes so that the peer sees a reset instead of an orderly end, then as Close.
  void Abort();
  // Ends this side's sending in order (the peer reads the end of the stream); receiving
  // goes on. Returns the raw result.
  int32_t ShutdownSending();
  // Copies the four binding fields.
  void CopyFrom(const TIdSocketHandle& source);

  int32_t SocketId = -1;
  bool IsOpen = false;
  bool SendingShutDown = false; // ShutdownSending succeeded; Close need not do it again
  std::string IP;
  std::string RemoteIP;
  int32_t Port = 0;
  int32_t RemotePort = 0;

 private:
  bool WaitReady(bool forSending, int32_t timeout);
  // One readiness wait, then the window's turn.
  bool WaitOnce(bool forSending, int32_t timeout);
};
