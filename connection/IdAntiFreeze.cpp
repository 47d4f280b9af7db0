#include "IdAntiFreeze.h"

#include <QCoreApplication>

void TIdAntiFreeze::PumpMessages() {
  if (QCoreApplication::instance() == nullptr) return;
  if (ApplicationHasPriority) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  } else {
    // Qt has no call that handles exactly one message; one pass limited to the shortest
    // time Qt accepts is the nearest: it serves what is waiting and never waits for more.
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
  }
}
