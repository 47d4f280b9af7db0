#include "IdSocketHandle.h"

#include "IdException.h"
#include "IdGlobal.h"
#include "IdSocketErrors.h"
#include "IdStack.h"

#include <algorithm>

void TIdSocketHandle::OpenSocket(int32_t type, int32_t protocol) {
  Close(true);
  SocketId = GlobalStack->NewSocket(type, protocol);
  IsOpen = true;
  SendingShutDown = false;
}

void TIdSocketHandle::BindLocal() {
  const int32_t result = GlobalStack->SockBind(SocketId, Id_AF_INET, IP, Port);
  if (GlobalStack->CheckSocketResultAllowing(result, {IdSocketError::AddressInUse}))
    throw EIdCouldNotBindSocket(
        "Socket konnte nicht gebunden werden. Adresse und Port werden bereits benutzt.");
  RefreshLocal();
}

int32_t TIdSocketHandle::ConnectToRemote(int32_t family) {
  const int32_t result = GlobalStack->SockConnect(SocketId, family, RemoteIP, RemotePort);
  if (result != Id_SOCKET_ERROR) {
    RefreshLocal();
    RefreshRemote();
  }
  return result;
}

void TIdSocketHandle::StartListening(int32_t backlog) {
  GlobalStack->CheckSocketResult(GlobalStack->SockListen(SocketId, backlog));
}

void TIdSocketHandle::AcceptFrom(int32_t listeningSocket) {
  // The peer's address comes with the accept; only the local one must be asked for.
  const int32_t accepted = GlobalStack->SockAccept(listeningSocket, RemoteIP, RemotePort);
  GlobalStack->CheckSocketResult(accepted);
  SocketId = accepted;
  IsOpen = true;
  SendingShutDown = false;
  RefreshLocal();
}

int32_t TIdSocketHandle::ConnectToRemote(int32_t family, int32_t timeout) {
  if (GlobalStack->SockSetBlocking(SocketId, false) == Id_SOCKET_ERROR) return Id_SOCKET_ERROR;
  int32_t result = GlobalStack->SockConnect(SocketId, family, RemoteIP, RemotePort);
  if (result == Id_SOCKET_ERROR && GlobalStack->SockLastError() == IdSocketError::InProgress) {
    const bool done = WaitWritable(timeout);
    if (!IsOpen) throw EIdConnClosedGracefully();
    if (done) {
      result = GlobalStack->SockFinishConnect(SocketId);
    } else {
      GlobalStack->SockSetLastError(IdSocketError::TimedOut);
    }
  }
  if (result != Id_SOCKET_ERROR) {
    // The rest of the connection works on a blocking socket; sends that must not wait say
    // so per call.
    GlobalStack->CheckSocketResult(GlobalStack->SockSetBlocking(SocketId, true));
    RefreshLocal();
    RefreshRemote();
  }
  return result;
}

bool TIdSocketHandle::WaitReadable(int32_t timeout) {
  return WaitReady(false, timeout);
}

bool TIdSocketHandle::WaitWritable(int32_t timeout) {
  return WaitReady(true, timeout);
}

bool TIdSocketHandle::WaitReady(bool forSending, int32_t timeout) {
  const int32_t slice = WaitHooks.SliceLength != nullptr ? WaitHooks.SliceLength() : -1;
  if (slice < 0 || (timeout != TimeoutInfinite && timeout <= slice))
    return WaitOnce(forSending, timeout);
  if (timeout == TimeoutInfinite) {
    while (!WaitOnce(forSending, slice)) {
    }
    return true;
  }
  // The remainder first, then whole slices.
  const int32_t step = std::max(slice, 1);
  const int32_t first = timeout - (timeout - 1) / step * step;
  if (WaitOnce(forSending, first)) return true;
  for (int32_t left = timeout - first; left > 0; left -= step)
    if (WaitOnce(forSending, step)) return true;
  return false;
}

bool TIdSocketHandle::WaitOnce(bool forSending, int32_t timeout) {
  // Also after a slice: the window served in between may have closed the socket.
  if (!IsOpen) throw EIdConnClosedGracefully();
  TIdSocketList list{SocketId};
  const bool ready = (forSending ? GlobalStack->SockSelect(nullptr, &list, nullptr, timeout)
                                 : GlobalStack->SockSelect(&list, nullptr, nullptr, timeout)) == 1;
  if (WaitHooks.PumpIfDue != nullptr) WaitHooks.PumpIfDue(!ready, false);
  return ready;
}

int32_t TIdSocketHandle::ReceiveData(void* buffer, int32_t length, int32_t flags) {
  return GlobalStack->SockRecv(SocketId, buffer, length, flags);
}

int32_t TIdSocketHandle::SendData(const void* buffer, int32_t length, int32_t flags) {
  return GlobalStack->SockSend(SocketId, buffer, length, flags);
}

int32_t TIdSocketHandle::ReceiveDatagram(void* buffer, int32_t length, int32_t flags,
                                         std::string& fromIP, int32_t& fromPort) {
  return GlobalStack->SockRecvFrom(SocketId, buffer, length, flags, fromIP, fromPort);
}

void TIdSocketHandle::SetOption(int32_t level, int32_t option, const void* value, int32_t length) {
  GlobalStack->CheckSocketResult(
      GlobalStack->SockSetOption(SocketId, level, option, value, length));
}

void TIdSocketHandle::RefreshLocal() {
  int32_t family = 0;
  GlobalStack->SockLocalName(SocketId, family, IP, Port);
}

void TIdSocketHandle::RefreshRemote() {
  int32_t family = 0;
  GlobalStack->SockPeerName(SocketId, family, RemoteIP, RemotePort);
}

void TIdSocketHandle::ResetFields(bool resetLocal) {
  IsOpen = false;
  SocketId = Id_INVALID_SOCKET;
  if (resetLocal) {
    IP.clear();
    Port = 0;
  }
  RemoteIP.clear();
  RemotePort = 0;
}

void TIdSocketHandle::Close(bool resetLocal) {
  if (!IsOpen) return;
  IsOpen = false;
  if (!SendingShutDown) GlobalStack->SockShutdown(SocketId, Id_SD_SEND);
  GlobalStack->SockClose(SocketId);
  ResetFields(resetLocal);
}

void TIdSocketHandle::Abort() {
  if (!IsOpen) return;
  IsOpen = false;
  GlobalStack->SockAbortiveClose(SocketId);
  ResetFields(true);
}

int32_t TIdSocketHandle::ShutdownSending() {
  const int32_t result = GlobalStack->SockShutdown(SocketId, Id_SD_SEND);
  SendingShutDown = result != Id_SOCKET_ERROR;
  return result;
}

void TIdSocketHandle::CopyFrom(const TIdSocketHandle& source) {
  IP = source.IP;
  Port = source.Port;
  RemoteIP = source.RemoteIP;
  RemotePort = source.RemotePort;
}
