#include "IdComponent.h"

#include "IdStack.h"

namespace {

const char* const StatusFormats[] = {
    "Host-Name %s wird aufgelöst.",    // stResolving
    "Verbinden mit %s.",               // stConnecting
    "Verbunden.",                      // stConnected
    "Verbindung zu %s wird getrennt.", // stDisconnecting
    "Nicht verbunden.",                // stDisconnected
    "%s",                              // stText
};

int LiveCount = 0;

} // namespace

TIdComponent::TIdComponent() {
  if (GlobalStack == nullptr) GlobalStack = TIdStack::CreatePlatformStack().release();
  ++LiveCount;
}

TIdComponent::~TIdComponent() {
  if (--LiveCount == 0) {
    delete GlobalStack;
    GlobalStack = nullptr;
  }
}

int TIdComponent::LiveComponents() {
  return LiveCount;
}

void TIdComponent::NotifyStatus(TIdStatus status, const std::string& argument) {
  if (!OnStatus) return;
  std::string text = StatusFormats[status];
  if (const size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, argument);
  OnStatus(this, status, text);
}

void TIdComponent::StartWork(TWorkMode mode, int32_t countMax) {
  TWorkProgress& info = FWorkInfos[mode];
  if (++info.Depth == 1) {
    info.CountMax = countMax;
    info.Count = 0;
    if (OnWorkBegin) OnWorkBegin(this, mode, countMax);
  }
}

void TIdComponent::ReportWork(TWorkMode mode, int32_t count) {
  TWorkProgress& info = FWorkInfos[mode];
  if (info.Depth < 1) return;
  // The running total is a 32-bit value; past 2 GiB it wraps rather than overflowing.
  info.Count =
      static_cast<int32_t>(static_cast<uint32_t>(info.Count) + static_cast<uint32_t>(count));
  if (OnWork) OnWork(this, mode, info.Count);
}

void TIdComponent::FinishWork(TWorkMode mode) {
  TWorkProgress& info = FWorkInfos[mode];
  if (info.Depth == 1 && OnWorkEnd) OnWorkEnd(this, mode);
  --info.Depth;
}
