#include "FormAntiFreeze.h"

void TFormAntiFreeze::PumpMessages() {
  if (BeforeServing) BeforeServing();
  TIdAntiFreeze::PumpMessages();
}
