#pragma once

#include "IdSocksInfo.h"
#include "IdTCPConnection.h"

// A connection that opens itself to Host:Port.
class TIdTCPClient : public TIdTCPConnection {
 public:
  // The platform's own limit for an unanswered connect is about two minutes.
  static constexpr int32_t DefaultConnectTimeOut = 30000;

  // Binds (BoundIP, any port), resolves, connects. Fires stResolving (names only),
  // stConnecting, the intercept's attach, stConnected and OnConnected. Any failure after
  // the socket was opened disconnects again (stDisconnecting, stDisconnected,
  // OnDisconnected) before the exception leaves. Name resolution blocks; the connect
  // itself is waited for in slices, serving the window, for at most ConnectTimeOut
  // (EIdConnectTimeout).
  void Connect();
  // Connect, then everything until the peer closes; disconnects on every way out.
  std::string ConnectAndReadAll();
  void NotifyConnected() {
    if (OnConnected) OnConnected(this);
  }
  // The connect waits for the server's answer: the socket is open, but nothing can be sent
  // on it yet. A handler served meanwhile ends the wait with Disconnect.
  bool Connecting() const { return FConnecting; }

  std::string BoundIP;
  std::string Host;
  TNotifyEvent OnConnected;
  int32_t Port = 0;
  TSocksInfo SocksInfo;
  bool UseNagle = true; // false: TCP no-delay on
  // Longest wait for the server to answer the connect, ms; 0 = the platform's limit.
  int32_t ConnectTimeOut = DefaultConnectTimeOut;

 private:
  bool FConnecting = false;
};
