#include "IdAntiFreezeBase.h"

#include "IdGlobal.h"

namespace {

TIdAntiFreezeBase* Current = nullptr;

int32_t ActiveSliceLength() {
  return (Current != nullptr && Current->Active) ? Current->IdleTimeOut : -1;
}

} // namespace

TIdAntiFreezeBase::TIdAntiFreezeBase() {
  Current = this;
  WaitHooks.SliceLength = &ActiveSliceLength;
  WaitHooks.PumpIfDue = &TIdAntiFreezeBase::PumpIfDue;
}

TIdAntiFreezeBase::~TIdAntiFreezeBase() {
  Current = nullptr;
}

TIdAntiFreezeBase* TIdAntiFreezeBase::CurrentAntiFreeze() {
  return Current;
}

void TIdAntiFreezeBase::PumpIfDue(bool idle, bool force) {
  if (Current == nullptr || !IsMainThread()) return;
  if (!Current->Active || !(!Current->OnlyWhenIdle || idle || force)) return;
  if (!idle && !force && Current->BusyServeInterval > 0 &&
      Current->Now() - Current->FLastServed < std::chrono::milliseconds(Current->BusyServeInterval))
    return;
  Current->Serve();
}

void TIdAntiFreezeBase::Serve() {
  // A handler served here may destroy this anti-freeze (the window closing): nothing of
  // it is touched after the pump unless it is still the one in effect.
  PumpMessages();
  // Counted from the end of the serving: a slow repaint must not leave the transfer
  // only the rest of the interval.
  if (Current == this) FLastServed = Now();
}
