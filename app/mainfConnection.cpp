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
    const std::string lastShown = CurrentRemoteFolder();
    // Nothing shown yet: the folder about to be shown is the one the server opened after
    // the login. Learnt even when the listing fails after the folder's name has come.
    TScopeGuard learnLoginFolder([this, &lastShown] {
      if (lastShown.empty() && FLoginFolder.empty()) FLoginFolder = CurrentRemoteFolder();
    });
    try {
      OpenRemoteDir(lastShown);
    } catch (const EIdFTPNoDataConnection&) {
      // The server ended the session while it tried to reach this computer; from now on
      // the client connects to it instead, so one more session goes through.
      if (IdFTP1->Connected() || !IdFTP1->UsesPassive()) throw;
      IdFTP1->Connect(true);
      OpenRemoteDir(lastShown);
    }
    EnableCommands(true);
  }
  FMenusConnected = IdFTP1->Connected();
  ApplyMenuStates();
}

void TMainForm::ShowDisconnectedState() {
  ClearListing();
  EnableCommands(false);
  ui->ConnectButton->setText(QStringLiteral("Verbinden"));
  ui->ConnectButton->setEnabled(true);
  ui->ConnectButton->setDefault(true);
  FMenusConnected = false;
  ApplyMenuStates();
}

bool TMainForm::ShowsConnected() const {
  return FMenusConnected || ui->ConnectButton->text() == QLatin1String("Trennen");
}

bool TMainForm::ConnectForRun() {
  if (IdFTP1->Connected()) {
    // Servers end idle sessions (vsftpd after 5 minutes, pure-ftpd after 15) and say so
    // only when the next command is read: ask before the run relies on the session.
    try {
      IdFTP1->Noop();
      return false;
    } catch (const Exception&) {
      // Closing the window ended the wait: nothing is to be started any more.
      if (FCloseRequested) throw;
    }
    // Whatever the server answered, this session is of no more use to the run.
    if (IdFTP1->Connected()) IdFTP1->Disconnect();
    ShowDisconnectedState();
  }
  ConnectButtonClick();
  return true;
}

std::string TMainForm::CurrentRemoteFolder() const {
  return ui->CurrentDirEdit->text().toLocal8Bit().toStdString();
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
