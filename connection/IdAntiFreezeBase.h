#pragma once

#include "IdComponent.h"
#include "IdGlobal.h"

#include <chrono>

// Keeps the window alive while a network call blocks the one GUI thread: waits for data
// are cut into slices of IdleTimeOut ms, and after each slice and each send the window's
// message queue is served. One anti-freeze is in effect for the process: the one
// constructed last, until it is destroyed.
class TIdAntiFreezeBase : public TIdBaseComponent {
 public:
  using TClock = std::chrono::steady_clock;

  TIdAntiFreezeBase();
  ~TIdAntiFreezeBase() override;

  // Serves the queue when an anti-freeze is in effect, the caller is the main thread,
  // the anti-freeze is active, (OnlyWhenIdle is off, or idle, or force), and, while data
  // flows (neither idle nor force), BusyServeInterval has passed since the last serving.
  static void PumpIfDue(bool idle, bool force);
  static TIdAntiFreezeBase* CurrentAntiFreeze();

  // Serves the message queue once, without waiting for new messages.
  virtual void PumpMessages() = 0;

  bool Active = true;
  bool ApplicationHasPriority = true; // serve every pending message, not just one
  int32_t IdleTimeOut = 250;          // longest slice of a wait for data, ms
  bool OnlyWhenIdle = true;           // serve only after a wait that found no data
  // While data flows, serve at most this often (ms); 0: after every send and every wait.
  // A wait that found no data always serves. Serving costs as much as sending a block on
  // loopback, while a person cannot tell a window served every few ms from one served
  // after every block.
  int32_t BusyServeInterval = 0;

 protected:
  // The clock the serving is paced by, read after every block sent or received: the coarse
  // one, as the interval is tens of ms. Tests put their own in.
  virtual TClock::time_point Now() const { return CoarseSteadyNow(); }

 private:
  void Serve();

  TClock::time_point FLastServed{};
};
