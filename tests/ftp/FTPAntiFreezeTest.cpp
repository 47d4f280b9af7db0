// Transfers with the window's anti-freeze in effect: however the server behaves, the
// window's timers keep firing, and its abort ends what the server does not.
#include "IdAntiFreeze.h"
#include "LoopbackPeer.h"
#include "MemoryStream.h"
#include "ScriptedFixture.h"
#include "TestFiles.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <functional>
#include <sys/socket.h>

namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

// A 20 ms timer of the window, noting its longest gap, for as long as it exists.
class TTicker {
 public:
  explicit TTicker(std::function<void()> onTick = nullptr) : FOnTick(std::move(onTick)) {
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      const TClock::time_point now = TClock::now();
      if (Ticks > 0) LongestGap = std::max(LongestGap, now - FLast);
      FLast = now;
      ++Ticks;
      if (FOnTick) FOnTick();
    });
    FTimer.start(20);
  }

  int Ticks = 0;
  TClock::duration LongestGap{};

 private:
  QTimer FTimer;
  TClock::time_point FLast;
  std::function<void()> FOnTick;
};

// The anti-freeze as the main window sets it.
class Window : public ScriptedFixture {
 protected:
  Window() {
    freeze.IdleTimeOut = 50;
    freeze.OnlyWhenIdle = false;
  }
  void Upload(int64_t size) {
    TMemoryStream stream;
    stream.SetSize(size);
    ftp.StoreFromStream(stream, "big.jpg", false);
  }

  TIdAntiFreeze freeze;
};

TEST_F(Window, AnUploadTheServerStopsReadingEndsWithTheAbort) {
  for (bool passive : {false, true})
    for (bool disconnect : {false, true}) {
      SCOPED_TRACE(std::string(passive ? "passive" : "active") +
                   (disconnect ? ", abort and quit" : ", abort"));
      Serve("stop_reading");
      Login(passive);
      ftp.DataStallTimeOut = 20000; // a failure rather than a hang if the window starves
      int32_t sent = 0;
      int stuckTicks = 0;
      ftp.OnWork = [&](TIdComponent*, TWorkMode, int32_t count) {
        sent = count;
        stuckTicks = 0;
      };
      {
        // Once nothing has moved for 200 ms the user gives up, as "&Trennen" does.
        TTicker ticker([&] {
          if (sent == 0 || ++stuckTicks != 10) return;
          ftp.Abort();
          if (disconnect) ftp.Quit();
        });
        EXPECT_THROW(Upload(50 << 20), EIdConnClosedGracefully);
      }
      EXPECT_GE(stuckTicks, 10);
      EXPECT_LT(sent, 50 << 20);
      EXPECT_EQ(ftp.DataConnection(), nullptr);
      if (disconnect) {
        EXPECT_FALSE(ftp.Connected());
      } else {
        EXPECT_EQ(ftp.QueryWorkingDir(), "/") << "the replies to the upload and to ABOR were read";
      }
      ftp.Disconnect();
    }
}

TEST_F(Window, AThrottledServerNeverFreezesTheWindow) {
  for (bool passive : {false, true}) {
    SCOPED_TRACE(passive ? "passive" : "active");
    Serve("slow_reader");
    Login(passive);
    // A send buffer that fills up within the first few blocks, as it does before a slow
    // uplink: from then on every send has to wait for the server.
    ftp.OnWorkBegin = [&](TIdComponent*, TWorkMode, int32_t) {
      const int size = 256 << 10;
      ::setsockopt(ftp.DataConnection()->SocketHandle.SocketId, SOL_SOCKET, SO_SNDBUF, &size,
                   sizeof size);
    };
    TTicker ticker;
    Upload(1 << 20);
    EXPECT_GT(ticker.Ticks, 10);
    EXPECT_LT(ticker.LongestGap, 200ms);
    EXPECT_EQ(ReadFileBytes(server->Root() + "/big.jpg").size(), 1u << 20);
    ftp.Disconnect();
  }
}

TEST_F(Window, DisconnectingWhileTheConnectWaitsEndsItSilently) {
  peer::TUnansweredPort unanswered;
  ftp.Host = "127.0.0.1";
  ftp.Port = unanswered.Port();
  ftp.ConnectTimeOut = 20000; // a failure rather than a hang
  {
    TTicker ticker([&] {
      ftp.Abort();
      ftp.Quit();
    });
    EXPECT_THROW(ftp.Connect(true), EIdConnClosedGracefully);
  }
  EXPECT_FALSE(ftp.Connected());
}

} // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
