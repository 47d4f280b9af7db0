#pragma once

#include "IdAntiFreezeBase.h"

// The anti-freeze of the Qt application: serves the Qt event queue of the GUI thread.
class TIdAntiFreeze : public TIdAntiFreezeBase {
 public:
  void PumpMessages() override;
};
