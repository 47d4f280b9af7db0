#include "IdAntiFreezeBase.h"
#include "IdGlobal.h"
#include "IdSocketHandle.h"
#include "IdStackPosix.h"
#include "LoopbackPeer.h"

#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <thread>

namespace {

class CountingAntiFreeze : public TIdAntiFreezeBase {
 public:
  void PumpMessages() override {
    if (++pumps == releaseAt && release) release->set_value();
  }
  int pumps = 0;
  // At the pump numbered releaseAt, release is fulfilled (lets a waiting peer go on).
  int releaseAt = 0;
  std::promise<void>* release = nullptr;
};

// A peer that sends "x" once released, so that the data arrives after a known number of
// empty slices however busy the machine is.
std::function<void(peer::TPeerSocket&)> SendWhenReleased(std::promise<void>& release) {
  return [released = release.get_future().share()](peer::TPeerSocket& s) {
    if (released.wait_for(peer::DefaultDeadline) != std::future_status::ready)
      throw std::runtime_error("the wait was never served");
    s.Send("x");
    s.ReceiveSome();
  };
}

// The platform stack, noting the time-out of every readiness wait.
class RecordingStack : public TIdStackPosix {
 public:
  int32_t SockSelect(TIdSocketList* r, TIdSocketList* w, TIdSocketList* e,
                     int32_t timeout) override {
    waits.push_back(timeout);
    return TIdStackPosix::SockSelect(r, w, e, timeout);
  }
  std::vector<int32_t> waits;
};

TEST(PumpIfDue, Rules) {
  TIdAntiFreezeBase::PumpIfDue(true, true); // none in effect: nothing happens
  CountingAntiFreeze af;
  EXPECT_EQ(TIdAntiFreezeBase::CurrentAntiFreeze(), &af);
  EXPECT_TRUE(af.OnlyWhenIdle);
  EXPECT_EQ(af.IdleTimeOut, 250);

  TIdAntiFreezeBase::PumpIfDue(false, false);
  EXPECT_EQ(af.pumps, 0) << "only when idle";
  TIdAntiFreezeBase::PumpIfDue(true, false);
  EXPECT_EQ(af.pumps, 1);
  TIdAntiFreezeBase::PumpIfDue(false, true);
  EXPECT_EQ(af.pumps, 2) << "forced";

  af.OnlyWhenIdle = false;
  TIdAntiFreezeBase::PumpIfDue(false, false);
  EXPECT_EQ(af.pumps, 3);

  std::thread([] { TIdAntiFreezeBase::PumpIfDue(true, true); }).join();
  EXPECT_EQ(af.pumps, 3) << "never from another thread";

  af.Active = false;
  TIdAntiFreezeBase::PumpIfDue(true, true);
  EXPECT_EQ(af.pumps, 3) << "inactive";
}

// The window's pacing, on a clock the test moves: while data flows (neither idle nor
// forced) the queue is served at most every BusyServeInterval ms, counted from the end of
// the last serving; a wait that found nothing, or a forced call, serves at once.
TEST(PumpIfDue, WhileDataFlowsServesAtMostEveryInterval) {
  class PacedAntiFreeze : public CountingAntiFreeze {
   public:
    void PumpMessages() override {
      CountingAntiFreeze::PumpMessages();
      now += serving; // the handlers served take their time
    }
    TClock::time_point Now() const override { return now; }
    TClock::time_point now{std::chrono::hours(1)};
    TClock::duration serving{};
  };
  using ms = std::chrono::milliseconds;
  struct Step {
    const char* what;
    ms advance; // of the clock before the call
    bool idle, force;
    ms serving; // what a serving at this step takes
    int pumps;  // in total after the step
  };
  const Step steps[] = {
      {"the first send is served: nothing was before", ms(0), false, false, ms(0), 1},
      {"a send 1 ms later is not", ms(1), false, false, ms(0), 1},
      {"nor one 9 ms after the serving", ms(8), false, false, ms(0), 1},
      {"a wait that found nothing is served at once", ms(0), true, false, ms(0), 2},
      {"and so is a forced call", ms(0), false, true, ms(0), 3},
      {"10 ms after the last serving data is served again", ms(10), false, false, ms(30), 4},
      {"that serving took 30 ms: 9 ms after its end, not yet", ms(9), false, false, ms(0), 4},
      {"10 ms after its end", ms(1), false, false, ms(0), 5},
  };
  PacedAntiFreeze af;
  af.OnlyWhenIdle = false;
  af.BusyServeInterval = 10;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    af.now += step.advance;
    af.serving = step.serving;
    TIdAntiFreezeBase::PumpIfDue(step.idle, step.force);
    EXPECT_EQ(af.pumps, step.pumps);
  }

  af.BusyServeInterval = 0; // the class default: after every send
  for (int i = 0; i < 3; ++i)
    TIdAntiFreezeBase::PumpIfDue(false, false);
  EXPECT_EQ(af.pumps, 8);
}

TEST(PumpIfDue, TheLastConstructedIsInEffectUntilAnyIsDestroyed) {
  auto first = std::make_unique<CountingAntiFreeze>();
  CountingAntiFreeze second;
  EXPECT_EQ(TIdAntiFreezeBase::CurrentAntiFreeze(), &second);
  first.reset();
  EXPECT_EQ(TIdAntiFreezeBase::CurrentAntiFreeze(), nullptr);
  TIdAntiFreezeBase::PumpIfDue(true, true);
  EXPECT_EQ(second.pumps, 0);
}

class WaitSlicing : public ::testing::Test {
 protected:
  void SetUp() override {
    stack = new RecordingStack;
    GlobalStack = stack;
  }
  void TearDown() override {
    delete GlobalStack;
    GlobalStack = nullptr;
  }
  // A handle connected to peer.
  void Connect(TIdSocketHandle& h, int port) {
    h.OpenSocket();
    h.BindLocal();
    h.SetRemote("127.0.0.1", port);
    ASSERT_EQ(h.ConnectToRemote(Id_AF_INET), 0);
  }
  RecordingStack* stack = nullptr;
};

TEST_F(WaitSlicing, RemainderFirstThenWholeSlices) {
  peer::TLoopbackPeer server([](peer::TPeerSocket& s) { s.ReceiveSome(); });
  TIdSocketHandle h;
  Connect(h, server.Port());
  CountingAntiFreeze af;
  af.OnlyWhenIdle = true;
  EXPECT_FALSE(h.WaitReadable(1100));
  EXPECT_EQ(stack->waits, (std::vector<int32_t>{100, 250, 250, 250, 250}));
  EXPECT_EQ(af.pumps, 5) << "served after every slice that found nothing";
  h.Close();
  EXPECT_EQ(server.Join(), "");
}

TEST_F(WaitSlicing, StopsAtTheSliceThatFindsData) {
  std::promise<void> release;
  peer::TLoopbackPeer server(SendWhenReleased(release));
  TIdSocketHandle h;
  Connect(h, server.Port());
  CountingAntiFreeze af;
  af.release = &release;
  af.releaseAt = 2;
  EXPECT_TRUE(h.WaitReadable(20100));
  // 100, 250, then slices of 250 until the data is there; far fewer than the 81 of the
  // whole time.
  ASSERT_GE(stack->waits.size(), 3u);
  EXPECT_LT(stack->waits.size(), 81u);
  EXPECT_EQ(stack->waits[0], 100);
  for (size_t i = 1; i < stack->waits.size(); ++i)
    EXPECT_EQ(stack->waits[i], 250);
  EXPECT_EQ(af.pumps, static_cast<int>(stack->waits.size()) - 1)
      << "served after every slice but the one that found the data";
  h.Close();
  EXPECT_EQ(server.Join(), "");
}

TEST_F(WaitSlicing, WithoutAnAntiFreezeOneWaitAsGiven) {
  peer::TLoopbackPeer server([](peer::TPeerSocket& s) {
    s.Send("x");
    s.ReceiveSome();
  });
  TIdSocketHandle h;
  Connect(h, server.Port());
  EXPECT_TRUE(h.WaitReadable(TimeoutInfinite));
  EXPECT_EQ(stack->waits, (std::vector<int32_t>{TimeoutInfinite}));

  CountingAntiFreeze af;
  af.Active = false;
  stack->waits.clear();
  EXPECT_TRUE(h.WaitReadable(700));
  EXPECT_EQ(stack->waits, (std::vector<int32_t>{700})) << "an inactive anti-freeze slices nothing";
  h.Close();
  EXPECT_EQ(server.Join(), "");
}

TEST_F(WaitSlicing, AnUnlimitedWaitBecomesSlices) {
  std::promise<void> release;
  peer::TLoopbackPeer server(SendWhenReleased(release));
  TIdSocketHandle h;
  Connect(h, server.Port());
  CountingAntiFreeze af;
  af.IdleTimeOut = 50;
  af.release = &release;
  af.releaseAt = 2;
  EXPECT_TRUE(h.WaitReadable(TimeoutInfinite));
  ASSERT_GE(stack->waits.size(), 3u);
  for (int32_t w : stack->waits)
    EXPECT_EQ(w, 50);
  h.Close();
  EXPECT_EQ(server.Join(), "");
}

} // namespace
