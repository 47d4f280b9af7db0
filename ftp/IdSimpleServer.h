#pragma once

#include "IdException.h"
#include "IdTCPConnection.h"

#include <functional>

// The wait for the peer's connection ran out of time.
class EIdAcceptTimeout : public EIdException {
 public:
  using EIdException::EIdException;
};

// A listener for exactly one connection: its socket handle first holds the listening
// socket, after the accept the accepted connection, which is then read and written like
// any other.
class TIdSimpleServer : public TIdTCPConnection {
 public:
  void ResetState() override;
  void CreateListenSocket();
  // Binds to BoundIP:BoundPort (0 = a port the system picks) and listens; once per object.
  void PrepareListening();
  // Waits until a connection arrives, CancelAccept is called, or AcceptTimeOut passes
  // (EIdAcceptTimeout); closes the listening socket in the first two cases. True when a
  // connection was accepted. With AcceptFromIP set, a connection from another address is
  // closed at once (OnForeignConnection is told) and the wait goes on within its limit.
  bool WaitForConnection();
  void CancelAccept() { AcceptCancelled = true; }

  std::string BoundIP;
  int32_t BoundPort = 0;
  bool AcceptCancelled = false;
  int32_t AcceptPollTime = 0; // wait of each readiness test, ms
  int32_t ListenSocketId = -1;
  bool IsListening = false;
  // Longest wait for the connection, ms; 0 waits without limit.
  int32_t AcceptTimeOut = 0;
  // Runs after every readiness test that found no connection; may raise to end the wait.
  std::function<void()> OnAcceptWait;
  // The one address a connection is taken from; empty: any.
  std::string AcceptFromIP;
  std::function<void(const std::string& ip)> OnForeignConnection;
};
