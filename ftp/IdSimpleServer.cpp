#include "IdSimpleServer.h"

#include "Format.h"
#include "IdStack.h"

#include <chrono>

void TIdSimpleServer::ResetState() {
  TIdTCPConnection::ResetState();
  AcceptCancelled = false;
  IsListening = false;
}

void TIdSimpleServer::CreateListenSocket() {
  try {
    SocketHandle.OpenSocket(Id_SOCK_STREAM, 0);
    ListenSocketId = SocketHandle.SocketId;
    SocketHandle.IP = BoundIP;
    SocketHandle.Port = BoundPort;
    SocketHandle.BindLocal();
  } catch (...) {
    ListenSocketId = -1;
    throw;
  }
}

void TIdSimpleServer::PrepareListening() {
  ResetState();
  if (ListenSocketId == -1) CreateListenSocket();
  SocketHandle.StartListening(1);
  IsListening = true;
}

bool TIdSimpleServer::WaitForConnection() {
  if (!IsListening) PrepareListening();
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(AcceptTimeOut);
  bool ready = false;
  while (!AcceptCancelled && !ready) {
    if (SocketHandle.WaitReadable(AcceptPollTime)) {
      SocketHandle.AcceptFrom(ListenSocketId);
      ready = AcceptFromIP.empty() || SocketHandle.RemoteIP == AcceptFromIP;
      if (ready) break;
      const std::string foreign = SocketHandle.RemoteIP;
      GlobalStack->SockAbortiveClose(SocketHandle.SocketId);
      // Back to the listening socket for the next wait.
      SocketHandle.SocketId = ListenSocketId;
      SocketHandle.RemoteIP.clear();
      SocketHandle.RemotePort = 0;
      if (OnForeignConnection) OnForeignConnection(foreign);
    } else if (OnAcceptWait) {
      OnAcceptWait();
    }
    if (AcceptTimeOut > 0 && Clock::now() >= deadline)
      throw EIdAcceptTimeout(
          Format("Der Server hat innerhalb von %d Sekunden keine Datenverbindung aufgebaut.",
                 (AcceptTimeOut + 999) / 1000));
  }
  GlobalStack->SockClose(ListenSocketId);
  ListenSocketId = -1;
  // Cancelled: the handle still names the descriptor just closed; it must not close it
  // again later, when the number may belong to another socket.
  if (!ready) SocketHandle.ResetFields(false);
  return ready;
}
