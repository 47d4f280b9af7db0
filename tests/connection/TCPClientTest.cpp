#include "ConnectionFixture.h"
#include "IdAntiFreezeBase.h"
#include "IdStack.h"
#include "IdTCPExceptions.h"

#include <functional>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class Connect : public ConnectionFixture {
 protected:
  // Records the connect milestones of client and its intercept.
  void RecordConnect(RecordingIntercept& intercept) {
    Record();
    WatchWith(intercept);
    intercept.OnConnect = [this](TComponent*) { events.push_back("intercept attached"); };
    client.OnConnected = [this](TComponent*) { events.push_back("connected"); };
  }
};

TEST_F(Connect, ToAHostNameResolvesFirst) {
  RecordingIntercept trace;
  RecordConnect(trace);
  server = std::make_unique<peer::TLoopbackPeer>([](peer::TPeerSocket& s) { s.ReceiveSome(); });
  client.Host = "LocalHost";
  client.Port = server->Port();
  client.Connect();
  EXPECT_EQ(events, (Lines{"status 0 Host-Name LocalHost wird aufgelöst.",
                           "status 1 Verbinden mit 127.0.0.1.", "intercept attached",
                           "status 2 Verbunden.", "connected"}));
  EXPECT_EQ(client.SocketHandle.RemoteIP, "127.0.0.1");
  EXPECT_EQ(client.SocketHandle.IP, "127.0.0.1");
}

TEST_F(Connect, ToADottedAddressDoesNotResolve) {
  RecordingIntercept trace;
  RecordConnect(trace);
  server = std::make_unique<peer::TLoopbackPeer>([](peer::TPeerSocket& s) { s.ReceiveSome(); });
  client.Host = "127.0.0.1";
  client.Port = server->Port();
  client.Connect();
  EXPECT_EQ(events, (Lines{"status 1 Verbinden mit 127.0.0.1.", "intercept attached",
                           "status 2 Verbunden.", "connected"}));
  events.clear();
  EXPECT_THROW(client.Connect(), EIdAlreadyConnected);
  EXPECT_TRUE(events.empty()) << "no event, and the connection stays";
  EXPECT_TRUE(client.Connected());
}

TEST_F(Connect, RefusedClosesAgainBeforeTheError) {
  Record();
  client.Host = "127.0.0.1";
  client.Port = peer::UnusedPort();
  try {
    client.Connect();
    FAIL() << "no exception";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.ErrorCode, 10061);
    EXPECT_EQ(e.Message, "Socket-Fehler # 10061\r\nVerbindung abgelehnt.");
  }
  EXPECT_EQ(events, (Lines{"status 1 Verbinden mit 127.0.0.1.",
                           "status 3 Verbindung zu 127.0.0.1 wird getrennt.",
                           "status 4 Nicht verbunden.", "disconnected"}));
  EXPECT_FALSE(client.Connected());
}

// Serves "the window" by running a handler.
class HandlerAntiFreeze : public TIdAntiFreezeBase {
 public:
  void PumpMessages() override {
    ++pumps;
    if (handler) handler();
  }
  int pumps = 0;
  std::function<void()> handler;
};

TEST_F(Connect, AConnectNobodyAnswersEndsAtItsLimit) {
  peer::TUnansweredPort unanswered;
  HandlerAntiFreeze window;
  window.IdleTimeOut = 50;
  Record();
  client.Host = "127.0.0.1";
  client.Port = unanswered.Port();
  client.ConnectTimeOut = 300;
  try {
    client.Connect();
    ADD_FAILURE() << "no exception";
  } catch (const EIdConnectTimeout& e) {
    EXPECT_EQ(e.ErrorCode, 10060);
    EXPECT_EQ(e.Message, "Die Verbindung zu 127.0.0.1 konnte nicht innerhalb von 1 Sekunden "
                         "hergestellt werden.");
  }
  EXPECT_GE(window.pumps, 5) << "the window was served while the connect waited";
  EXPECT_EQ(events, (Lines{"status 1 Verbinden mit 127.0.0.1.",
                           "status 3 Verbindung zu 127.0.0.1 wird getrennt.",
                           "status 4 Nicht verbunden.", "disconnected"}));

  // Closed by a handler while it waits: the end this side chose, so silent.
  client.ConnectTimeOut = 5000;
  window.handler = [&] { client.Disconnect(); };
  EXPECT_THROW(client.Connect(), EIdConnClosedGracefully);
  EXPECT_FALSE(client.Connected());
}

TEST_F(Connect, UnknownHost) {
  client.Host = "no-such-host.invalid";
  client.Port = 21;
  try {
    client.Connect();
    FAIL() << "no exception";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.ErrorCode, 11001);
  }
  EXPECT_FALSE(client.Connected());
}

TEST_F(Connect, NoDelayOnlyWithoutNagle) {
  Start([](peer::TPeerSocket& s) { s.ReceiveSome(); });
  int value = -1;
  socklen_t length = sizeof value;
  ::getsockopt(client.SocketHandle.SocketId, IPPROTO_TCP, TCP_NODELAY, &value, &length);
  EXPECT_EQ(value, 0);
  client.Disconnect();
  EXPECT_EQ(server->Join(), "");

  server = std::make_unique<peer::TLoopbackPeer>([](peer::TPeerSocket& s) { s.ReceiveSome(); });
  client.Port = server->Port();
  client.UseNagle = false;
  client.SocksInfo.Host = "localhost";
  client.SocksInfo.Port = 1080; // kept, but unused without a proxy version
  client.Connect();
  ::getsockopt(client.SocketHandle.SocketId, IPPROTO_TCP, TCP_NODELAY, &value, &length);
  EXPECT_NE(value, 0);
  EXPECT_EQ(client.SocketHandle.RemotePort, server->Port());
}

TEST_F(Connect, AgainAfterADisconnectStartsClean) {
  Start([](peer::TPeerSocket& s) {
    s.Send("left over");
    s.ReceiveSome();
  });
  while (client.InputSize() == 0)
    client.ReceiveChunk(true, 1000, nullptr, true);
  client.Disconnect();
  EXPECT_EQ(server->Join(), "");
  server = std::make_unique<peer::TLoopbackPeer>([](peer::TPeerSocket& s) {
    s.Send("fresh\n");
    s.ReceiveSome();
  });
  client.Port = server->Port();
  client.Connect();
  EXPECT_EQ(client.ReadLine(), "fresh");
}

} // namespace
