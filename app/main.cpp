#include "mainf.h"

#include <QApplication>

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  // The title names the program in the task bar and captions the error and message boxes.
  QApplication::setApplicationName(QStringLiteral("Lichtfracht"));
  QApplication::setApplicationDisplayName(QStringLiteral("Lichtfracht"));
  // Lets the desktop match the window to the installed menu entry and its icon.
  QApplication::setDesktopFileName(QStringLiteral("lichtfracht"));

  TMainForm MainForm;
  MainForm.show();
  // Ends when the window has closed: it is the application's last window.
  return QApplication::exec();
}
