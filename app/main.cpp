#include "mainf.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  // The title names the program in the task bar and captions the error and message boxes.
  QApplication::setApplicationName(QStringLiteral("Lichtfracht"));
  QApplication::setApplicationDisplayName(QStringLiteral("Lichtfracht"));
  // Lets the desktop match the window to the installed menu entry and its icon.
  QApplication::setDesktopFileName(QStringLiteral("lichtfracht"));
  // The window speaks German whatever the system's language; Qt's own dialogs (the folder
  // and file dialogs, the buttons of the message boxes) should too, where Qt's German
  // texts are installed.
  QTranslator qtTexts;
  if (qtTexts.load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"),
                   QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtTexts);

  TMainForm MainForm;
  MainForm.show();
  // Ends when the window has closed: it is the application's last window.
  return QApplication::exec();
}
