// The connect toggle and what the window shows of the connection: status texts and the
// trace of the control connection.

#include "ScopeGuard.h"
#include "mainf.h"
#include "ui_mainf.h"

#include <QCheckBox>

namespace {

// The program's built-in account on the studio's server.
constexpr const char* AccountUser = "Lichtfracht";
constexpr const char* AccountPassword = "58Kovarenisobume";

} // namespace

void TMainForm::ConnectButtonClick() {
  ui->ConnectButton->setEnabled(false);
  if (IdFTP1->Connected()) {
    TScopeGuard cleanUp([this] {
      ClearListing();
      EnableCommands(false);
      ui->ConnectButton->setText(QStringLiteral("Verbinden"));
      ui->ConnectButton->setEnabled(true);
      ui->ConnectButton->setDefault(true);
    });
    if (TransferActive) {
      FTransferAborted = true;
      IdFTP1->Abort();
    }
    IdFTP1->Quit();
  } else {
    TScopeGuard cleanUp([this] {
      ui->ConnectButton->setEnabled(true);
      if (IdFTP1->Connected()) {
        ui->ConnectButton->setText(QStringLiteral("Trennen"));
        ui->ConnectButton->setDefault(false);
      }
    });
    IdFTP1->User = AccountUser;
    IdFTP1->Password = AccountPassword;
    IdFTP1->Host = FHost;
    IdFTP1->Port = FPort;
    IdFTP1->Passive = false;
    IdFTP1->Connect(true);
    OpenRemoteDir(ui->CurrentDirEdit->text().toLocal8Bit().toStdString());
    EnableCommands(true);
  }
  FMenusConnected = IdFTP1->Connected();
  ApplyMenuStates();
}

void TMainForm::IdFTP1Status(TIdComponent*, TIdStatus, const std::string& asStatusText) {
  AddTraceLine(asStatusText);
  ShowStatus(asStatusText);
}

void TMainForm::IdFTP1Disconnected(TComponent*) {
  ShowStatus("Disconnected.");
}

void TMainForm::IdLogDebug1LogItem(TIdLogDebug*, std::string& AText) {
  // Changed in place: the trace passes the same text on to standard error, which must not
  // see the password either.
  if (AText.find("pass") != std::string::npos) AText = "Passwort gesendet";
  AddTraceLine(AText);
}

void TMainForm::TraceCheckBoxClick() {
  const bool on = ui->TraceCheckBox->isChecked();
  IdLogDebug1->SetActive(on);
  ui->DebugListBox->setVisible(on);
  // The splitter sits directly above the trace list; in this layout it follows the list
  // by itself, so there is no position to set.
}
