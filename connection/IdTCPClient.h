#pragma once

#include "IdSocksInfo.h"
#include "IdTCPConnection.h"

// A connection that opens itself to Host:Port.
class TIdTCPClient : public TIdTCPConnection {
 public:
  // Binds (BoundIP, any port), resolves, connects. Fires stResolving (names only),
  // stConnecting, the intercept's attach, stConnected and OnConnected. Any failure after
  // the socket was opened disconnects again (stDisconnecting, stDisconnected,
  // OnDisconnected) before the exception leaves.
  void Connect();
  // Connect, then everything until the peer closes; disconnects on every way out.
  std::string ConnectAndReadAll();
  void NotifyConnected() {
    if (OnConnected) OnConnected(this);
  }

  std::string BoundIP;
  std::string Host;
  TNotifyEvent OnConnected;
  int32_t Port = 0;
  TSocksInfo SocksInfo;
  bool UseNagle = true; // false: TCP no-delay on
};
