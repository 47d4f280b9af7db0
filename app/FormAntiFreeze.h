#pragma once

#include "IdAntiFreeze.h"

#include <functional>

// The window's anti-freeze: right before each serving, BeforeServing brings up to date
// what the window only needs to show when it is served (and so can be seen and clicked).
class TFormAntiFreeze : public TIdAntiFreeze {
 public:
  std::function<void()> BeforeServing;

  void PumpMessages() override;
};
