#include "ModalAnswer.h"

#include <QApplication>
#include <QDialog>
#include <gtest/gtest.h>

TModalAnswer::TModalAnswer(std::function<void(QWidget*)> answer, std::chrono::milliseconds deadline)
    : FAnswer(std::move(answer)), FDeadline(deadline) {
  FTimer.setInterval(10);
  QObject::connect(&FTimer, &QTimer::timeout, [this] { Tick(); });
  FClock.start();
  FTimer.start();
}

void TModalAnswer::Tick() {
  if (!FAnswered) {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      FAnswered = true;
      FDialog = modal;
      FClock.restart();
      FAnswer(modal);
    } else if (FClock.hasExpired(FDeadline.count())) {
      FTimer.stop();
      ADD_FAILURE() << "no modal dialog appeared";
    }
    return;
  }
  if (!FDialog || !FDialog->isVisible()) {
    FTimer.stop();
  } else if (FClock.hasExpired(FDeadline.count())) {
    FTimer.stop();
    ADD_FAILURE() << "the dialog was still open after it had been answered";
    if (auto* dialog = qobject_cast<QDialog*>(FDialog.data()))
      dialog->reject();
    else
      FDialog->close();
  }
}
