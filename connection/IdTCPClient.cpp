#include "IdTCPClient.h"

#include "Format.h"
#include "IdException.h"
#include "IdIntercept.h"
#include "IdSocketErrors.h"
#include "IdStack.h"
#include "IdTCPExceptions.h"
#include "ScopeGuard.h"

void TIdTCPClient::Connect() {
  if (SocketHandle.IsOpen) throw EIdAlreadyConnected();
  ResetState();
  SocketHandle.OpenSocket(Id_SOCK_STREAM, 0);
  try {
    SocketHandle.IP = BoundIP;
    SocketHandle.BindLocal();
    const bool viaProxy = SocksInfo.Version != svNoSocks;
    const std::string& host = viaProxy ? SocksInfo.Host : Host;
    const int32_t port = viaProxy ? SocksInfo.Port : Port;
    if (!TIdStack::IsDottedQuad(host)) NotifyStatus(stResolving, host);
    SocketHandle.SetRemote(GlobalStack->HostToIP(host), port);
    if (!UseNagle) {
      const int32_t on = 1;
      SocketHandle.SetOption(Id_IPPROTO_TCP, Id_TCP_NODELAY, &on, sizeof on);
    }
    NotifyStatus(stConnecting, SocketHandle.RemoteIP);
    int32_t result;
    {
      FConnecting = true;
      TScopeGuard connected([this] { FConnecting = false; });
      result = SocketHandle.ConnectToRemote(Id_AF_INET,
                                            ConnectTimeOut > 0 ? ConnectTimeOut : TimeoutInfinite);
    }
    if (result == Id_SOCKET_ERROR && ConnectTimeOut > 0 &&
        GlobalStack->SockLastError() == IdSocketError::TimedOut)
      throw EIdConnectTimeout(
          Format("Die Verbindung zu %s konnte nicht innerhalb von %d Sekunden hergestellt werden.",
                 SocketHandle.RemoteIP.c_str(), (ConnectTimeOut + 999) / 1000));
    GlobalStack->CheckSocketResult(result);
  } catch (...) {
    try {
      Disconnect();
    } catch (...) {
    }
    throw;
  }
  if (InterceptEnabled() && Intercept() != nullptr) Intercept()->AttachConnection(&SocketHandle);
  // A proxy is never configured in this program: there is no negotiation to run.
  NotifyStatus(stConnected, SocketHandle.RemoteIP);
  NotifyConnected();
}

std::string TIdTCPClient::ConnectAndReadAll() {
  Connect();
  try {
    std::string text = ReadUntilClosed();
    Disconnect();
    return text;
  } catch (...) {
    Disconnect();
    throw;
  }
}
