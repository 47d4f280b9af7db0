#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>

// Answers the next modal dialog from inside its own event loop. A repeating timer looks
// for it (a single shot could fire before the dialog is open), hands it to answer once, and
// then watches that it goes away. Both waits have a deadline: no dialog, or a dialog the
// answer left open, is a test failure, and a dialog left open is rejected so the test
// carries on instead of hanging.
class TModalAnswer {
 public:
  explicit TModalAnswer(std::function<void(QWidget*)> answer,
                        std::chrono::milliseconds deadline = std::chrono::seconds(10));

  bool Answered() const { return FAnswered; }

 private:
  void Tick();

  std::function<void(QWidget*)> FAnswer;
  std::chrono::milliseconds FDeadline;
  QTimer FTimer;
  QElapsedTimer FClock;
  QPointer<QWidget> FDialog;
  bool FAnswered = false;
};
