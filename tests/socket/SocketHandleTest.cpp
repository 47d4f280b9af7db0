#include "IdException.h"
#include "IdGlobal.h"
#include "IdSocketHandle.h"
#include "IdStack.h"
#include "LoopbackPeer.h"
#include "StackFixture.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

class SocketHandle : public StackFixture {};

TEST_F(SocketHandle, BindToAnyAddressAndPortReportsWhatTheSystemChose) {
  TIdSocketHandle h;
  h.OpenSocket();
  h.BindLocal();
  EXPECT_EQ(h.IP, "0.0.0.0");
  EXPECT_GT(h.Port, 0);
}

TEST_F(SocketHandle, BindingAPortInUseIsItsOwnError) {
  TIdSocketHandle first, second;
  first.OpenSocket();
  first.IP = "127.0.0.1";
  first.BindLocal();
  first.StartListening(1);
  second.OpenSocket();
  second.IP = "127.0.0.1";
  second.Port = first.Port;
  try {
    second.BindLocal();
    FAIL() << "no exception";
  } catch (const EIdCouldNotBindSocket& e) {
    EXPECT_EQ(e.Message,
              "Socket konnte nicht gebunden werden. Adresse und Port werden bereits benutzt.");
  }
  EXPECT_TRUE(second.IsOpen) << "a failed step leaves the handle open";
}

TEST_F(SocketHandle, BindingAnAddressThatIsNotLocalIsASocketError) {
  TIdSocketHandle h;
  h.OpenSocket();
  h.IP = "192.0.2.1";
  try {
    h.BindLocal();
    FAIL() << "no exception";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.ErrorCode, 10049);
  }
}

TEST_F(SocketHandle, RefusedConnect) {
  TIdSocketHandle h;
  h.OpenSocket();
  h.BindLocal();
  h.SetRemote("127.0.0.1", peer::UnusedPort());
  EXPECT_EQ(h.ConnectToRemote(Id_AF_INET), -1);
  EXPECT_EQ(GlobalStack->SockLastError(), 10061);
  EXPECT_EQ(h.IP, "0.0.0.0") << "fields untouched by a failed connect";
}

TEST_F(SocketHandle, ConnectFillsBothEnds) {
  peer::TLoopbackPeer server([](peer::TPeerSocket& s) { s.ReceiveSome(); });
  TIdSocketHandle h;
  h.OpenSocket();
  h.BindLocal();
  h.SetRemote("127.0.0.1", server.Port());
  ASSERT_EQ(h.ConnectToRemote(Id_AF_INET), 0);
  EXPECT_EQ(h.IP, "127.0.0.1");
  EXPECT_EQ(h.RemoteIP, "127.0.0.1");
  EXPECT_EQ(h.RemotePort, server.Port());
  h.Close();
  EXPECT_EQ(server.Join(), "");
}

TEST_F(SocketHandle, CloseSemantics) {
  TIdSocketHandle h;
  h.IP = "1.2.3.4";
  h.RemoteIP = "5.6.7.8";
  h.Close();
  EXPECT_EQ(h.RemoteIP, "5.6.7.8") << "closing a closed handle changes nothing";

  h.OpenSocket();
  EXPECT_TRUE(h.IsOpen);
  h.IP = "127.0.0.1";
  h.Port = 0;
  h.BindLocal();
  const int32_t port = h.Port;
  h.RemoteIP = "5.6.7.8";
  h.RemotePort = 99;
  h.Close(false);
  EXPECT_FALSE(h.IsOpen);
  EXPECT_EQ(h.SocketId, -1);
  EXPECT_EQ(h.IP, "127.0.0.1");
  EXPECT_EQ(h.Port, port);
  EXPECT_EQ(h.RemoteIP, "");
  EXPECT_EQ(h.RemotePort, 0);
}

TEST_F(SocketHandle, OpenSocketOnAnOpenHandleClosesTheOldOne) {
  TIdSocketHandle h;
  h.OpenSocket();
  h.IP = "127.0.0.1";
  h.BindLocal();
  const int32_t old = h.SocketId;
  h.OpenSocket();
  EXPECT_EQ(h.IP, "");
  EXPECT_EQ(h.Port, 0);
  EXPECT_EQ(::fcntl(old, F_GETFD) == -1 || old == h.SocketId, true) << "old socket closed";
}

TEST_F(SocketHandle, AcceptFromNamesBothEndsAndLeavesTheListenerOpen) {
  TIdSocketHandle listener, accepted;
  listener.OpenSocket();
  listener.IP = "127.0.0.1";
  listener.BindLocal();
  listener.StartListening(1);
  const int client = peer::ConnectTo(listener.Port);
  sockaddr_in local{};
  socklen_t length = sizeof local;
  ::getsockname(client, reinterpret_cast<sockaddr*>(&local), &length);

  ASSERT_TRUE(listener.WaitReadable(5000));
  accepted.AcceptFrom(listener.SocketId);
  EXPECT_TRUE(accepted.IsOpen);
  EXPECT_EQ(accepted.IP, "127.0.0.1");
  EXPECT_EQ(accepted.Port, listener.Port);
  EXPECT_EQ(accepted.RemoteIP, "127.0.0.1");
  EXPECT_EQ(accepted.RemotePort, ntohs(local.sin_port));
  EXPECT_TRUE(listener.IsOpen);
  ::close(client);
}

TEST_F(SocketHandle, WaitReadable) {
  TIdSocketHandle h;
  EXPECT_THROW(h.WaitReadable(0), EIdConnClosedGracefully);

  peer::TLoopbackPeer server([](peer::TPeerSocket& s) {
    s.ReceiveUntil("go");
    s.Send("data");
    s.ReceiveSome();
  });
  h.OpenSocket();
  h.BindLocal();
  h.SetRemote("127.0.0.1", server.Port());
  ASSERT_EQ(h.ConnectToRemote(Id_AF_INET), 0);
  EXPECT_FALSE(h.WaitReadable(0)) << "a poll without data";
  EXPECT_FALSE(h.WaitReadable(30));
  ASSERT_EQ(h.SendData("go", 2, 0), 2);
  EXPECT_TRUE(h.WaitReadable(TimeoutInfinite));
  char buffer[8];
  EXPECT_EQ(h.ReceiveData(buffer, sizeof buffer, 0), 4);
  h.Close();
  EXPECT_THROW(h.WaitReadable(0), EIdConnClosedGracefully);
  EXPECT_EQ(server.Join(), "");
}

} // namespace
