#pragma once

#include "IdComponent.h"

// Keeps the window alive while a network call blocks the one GUI thread: waits for data
// are cut into slices of IdleTimeOut ms, and after each slice and each send the window's
// message queue is served. One anti-freeze is in effect for the process: the one
// constructed last, until it is destroyed.
class TIdAntiFreezeBase : public TIdBaseComponent {
 public:
  TIdAntiFreezeBase();
  ~TIdAntiFreezeBase() override;

  // Serves the queue when an anti-freeze is in effect, the caller is the main thread,
  // the anti-freeze is active, and (OnlyWhenIdle is off, or idle, or force).
  static void PumpIfDue(bool idle, bool force);
  static TIdAntiFreezeBase* CurrentAntiFreeze();

  // Serves the message queue once, without waiting for new messages.
  virtual void PumpMessages() = 0;

  bool Active = true;
  bool ApplicationHasPriority = true; // serve every pending message, not just one
  int32_t IdleTimeOut = 250;          // longest slice of a wait for data, ms
  bool OnlyWhenIdle = true;           // serve only after a wait that found no data
};
