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
  if ((!Current->OnlyWhenIdle || idle || force) && Current->Active) Current->PumpMessages();
}
