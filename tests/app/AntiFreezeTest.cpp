#include "FormAntiFreeze.h"
#include "IdAntiFreeze.h"
#include "IdTCPClient.h"
#include "LoopbackPeer.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

TEST(AntiFreeze, ServesWhatIsWaitingAndReturns) {
  TIdAntiFreeze freeze;
  int served = 0;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [&] { ++served; }, Qt::QueuedConnection);
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [&] { ++served; }, Qt::QueuedConnection);
  freeze.PumpMessages();
  EXPECT_EQ(served, 2);
  freeze.ApplicationHasPriority = false;
  // Nothing waiting: returns at once rather than waiting for an event (the bound only
  // tells a hang from a busy machine).
  const auto start = std::chrono::steady_clock::now();
  freeze.PumpMessages();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

// The window's state is brought up to date before the handlers waiting in the queue (its
// drawing among them) run, within the same serving.
TEST(AntiFreeze, TheWindowsOwnComesBeforeTheQueue) {
  TFormAntiFreeze freeze;
  QStringList order;
  freeze.BeforeServing = [&] { order << "before"; };
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [&] { order << "queued"; }, Qt::QueuedConnection);
  freeze.PumpMessages();
  EXPECT_EQ(order, QStringList({"before", "queued"}));
}

TEST(AntiFreeze, TheWindowRunsWhileALineIsAwaited) {
  TIdAntiFreeze freeze;
  freeze.IdleTimeOut = 50;
  freeze.OnlyWhenIdle = false;
  peer::TLoopbackPeer server([](peer::TPeerSocket& s) {
    s.ReceiveUntil("go\r\n");
    s.Send("done\r\n");
    s.ReceiveSome();
  });
  TIdTCPClient client;
  client.Host = "127.0.0.1";
  client.Port = server.Port();
  client.Connect();
  // A timer of the window fires in the middle of the blocking read and answers the peer.
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (++ticks == 3) client.WriteLine("go");
  });
  timer.start(20);
  EXPECT_EQ(client.ReadLine(), "done");
  EXPECT_GE(ticks, 3);
  client.Disconnect();
  EXPECT_EQ(server.Join(), "");
}

} // namespace
