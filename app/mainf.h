#pragma once

#include "BuildSettings.h"
#include "Dialogs.h"
#include "ErrorBox.h"
#include "IdAntiFreeze.h"
#include "IdFTP.h"
#include "IdLogDebug.h"

#include <QMainWindow>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace Ui {
class TMainForm;
}
class QLabel;

// The last computed transfer speed in KB/s; shared by the whole program.
extern double TransferRate;

// What the window is built with. The real program takes the defaults; tests point it at a
// loopback server, a log folder of their own and dialogs that answer by script.
struct TMainFormSetup {
  std::string Host = BuildSettings::FtpHost;
  std::uint16_t Port = BuildSettings::FtpPort;
  // The program file whose log this is (local 8-bit path); empty: the running program.
  std::string ProgramPath;
  // Null: Qt's own dialogs.
  std::unique_ptr<TDialogs> Dialogs;
};

// The program's one window.
class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  explicit TMainForm(TMainFormSetup setup = {}, QWidget* parent = nullptr);
  ~TMainForm() override;

  // Enables or disables every control of CommandPanel except AbortButton, whose visibility
  // and state belong to the running transfer.
  void EnableCommands(bool enable);

  // Panel of the status bar by index (0 or 1, else null); every status text goes to panel 1.
  static constexpr int StatusPanelCount = 2;
  QLabel* StatusPanel(int index) const;

  // Window state shared by the actions. Paths are local 8-bit text, as the file and
  // network layers take them.
  bool AbortRequested = false;
  bool TransferActive = false;
  std::uint32_t ExpectedSize = 0;
  std::chrono::system_clock::time_point TransferStart{};
  std::string UploadFileName;
  std::string DownloadListFile;
  std::string DownloadFilter;
  std::string LogFileName;

  // The two file dialogs, as settings handed to TDialogs.
  const TFileDialogSettings UploadOpenDialog1{"Upload file....", "Alle Dateien (*)", false};
  const TFileDialogSettings SaveDialog1{QString(), QString(), true};

 protected:
  // Every way of closing the window ends here, so the close record is written once per
  // close whichever way the user took.
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void ActivateTrace();
  void FormClose();
  void Beenden1Click();

  void SetUpControls();
  void CreateComponents();

  // A handler ready for connect(): whatever it throws ends in the error box, not in Qt.
  template <class... Args> auto Guarded(void (TMainForm::*handler)(Args...)) {
    return [this, handler](Args... args) {
      RunGuarded(*FDialogs, [&] { (this->*handler)(args...); });
    };
  }

  std::unique_ptr<Ui::TMainForm> ui;
  std::unique_ptr<TDialogs> FDialogs;
  // The one server this program talks to; fixed at build time, replaced only by tests.
  const std::string FHost;
  const std::uint16_t FPort;
  const std::string FProgramPath;
  QLabel* FStatusPanels[StatusPanelCount] = {};

  // --- Network components -------------------------------------------------------------
  // Declared after ui and FDialogs, so they are built after the controls they report to and
  // destroyed before them; FormCreate runs once they exist.
 public:
  std::unique_ptr<TIdFTP> IdFTP1;               // the FTP client
  std::unique_ptr<TIdLogDebug> IdLogDebug1;     // trace of the control connection
  std::unique_ptr<TIdAntiFreeze> IdAntiFreeze1; // serves the window during blocking calls
};
