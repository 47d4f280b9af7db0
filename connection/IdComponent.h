#pragma once

#include "Component.h"

#include <cstdint>
#include <functional>
#include <string>

// Base of all network components; no behaviour of its own.
class TIdBaseComponent : public TComponent {};

enum TIdStatus : uint8_t {
  stResolving,
  stConnecting,
  stConnected,
  stDisconnecting,
  stDisconnected,
  stText
};

enum TWorkMode : uint8_t { wkRead = 0, wkWrite = 1 };

class TIdComponent;

using TNotifyEvent = std::function<void(TComponent* Sender)>;
using TIdStatusEvent = std::function<void(TIdComponent* axSender, TIdStatus axStatus,
                                          const std::string& asStatusText)>;
using TWorkBeginEvent =
    std::function<void(TIdComponent* Sender, TWorkMode AWorkMode, int32_t AWorkCountMax)>;
using TWorkEvent =
    std::function<void(TIdComponent* Sender, TWorkMode AWorkMode, int32_t AWorkCount)>;
using TWorkEndEvent = std::function<void(TIdComponent* Sender, TWorkMode AWorkMode)>;

// Progress of the outermost work run of one direction.
struct TWorkProgress {
  int32_t Count = 0;    // bytes reported since the outermost StartWork
  int32_t CountMax = 0; // total announced by the outermost StartWork (0 = unknown)
  int32_t Depth = 0;    // open StartWork calls
};

// A network component that owns a connection. Gives its owner status events (milestones
// of opening and closing, with a German text) and work events (transfer progress per
// direction; nested runs show only the outermost as begin and end). While any exists,
// the socket stack lives.
class TIdComponent : public TIdBaseComponent {
 public:
  TIdComponent();
  ~TIdComponent() override;

  // Fires OnStatus with the kind's text, its "%s" filled with argument; formats nothing
  // when OnStatus is not set.
  void NotifyStatus(TIdStatus status, const std::string& argument);
  virtual void StartWork(TWorkMode mode, int32_t countMax);
  virtual void ReportWork(TWorkMode mode, int32_t count);
  virtual void FinishWork(TWorkMode mode);
  const TWorkProgress& WorkProgress(TWorkMode mode) const { return FWorkInfos[mode]; }

  // Components alive in the process; the stack goes with the last.
  static int LiveComponents();

  TIdStatusEvent OnStatus;
  TWorkEvent OnWork;
  TWorkBeginEvent OnWorkBegin;
  TWorkEndEvent OnWorkEnd;

 private:
  TWorkProgress FWorkInfos[2];
};
