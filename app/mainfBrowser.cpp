// The remote folder browser: the listing of the current remote folder and the actions on
// its entries.

#include "IdTCPExceptions.h"
#include "ParseListingLine.h"
#include "ScopeGuard.h"
#include "mainf.h"
#include "ui_mainf.h"

#include <QPushButton>

void TMainForm::OpenRemoteDir(const std::string& path) {
  EnableCommands(false);
  TScopeGuard enable([this] { EnableCommands(true); });
  // Until a folder has been shown there is no path to return to; servers refuse a change
  // to the empty path (550, 501), so the login folder is opened as it is.
  if (!path.empty()) IdFTP1->ChangeWorkingDir(path);
  ShowWorkingDir();
}

void TMainForm::ShowWorkingDir() {
  IdFTP1->SetTransferType(ftASCII);
  ui->CurrentDirEdit->setText(QString::fromLocal8Bit(IdFTP1->QueryWorkingDir()));
  ClearListing();
  TStringList lines;
  IdFTP1->ListDirectory(lines, "", true);
  ShowListing(std::move(lines));
  // The memo lies in front of the listing for the uploaded paths it is to show; as long as
  // it shows none, the listing must be seen, or nothing in it could be chosen.
  if (!FMemoUsed) ui->dirmemo->hide();
}

void TMainForm::DirectoryListBoxClick() {
  // A click with Ctrl can take the highlight away again; then there is nothing to describe.
  if (!IdFTP1->Connected() || SelectedListingRow() < 0) return;
  bool folder = false;
  std::string name;
  ParseListingLine(SelectedListingLine(), folder, name);
  ui->DownloadButton->setText(folder ? QStringLiteral("Change dir") : QStringLiteral("Download"));
}

void TMainForm::DirectoryListBoxDblClick() {
  if (SelectedListingRow() < 0 || !IdFTP1->Connected()) return;
  bool folder = false;
  bool link = false;
  std::string name;
  ParseListingLine(SelectedListingLine(), folder, link, name);
  if (folder) {
    EnableCommands(false);
    OpenRemoteDir(name);
    EnableCommands(true);
  } else if (link) {
    OpenLink(name);
  } else {
    DownloadFile(name);
  }
}

void TMainForm::OpenLink(const std::string& name) {
  // Whether a link leads to a folder or a file only the server knows: it is entered as a
  // folder, and fetched as a file when the server refuses that.
  EnableCommands(false);
  TScopeGuard enable([this] { EnableCommands(true); });
  try {
    IdFTP1->ChangeWorkingDir(name);
  } catch (const EIdProtocolReplyError&) {
    // A refusal that closed the session (421) leaves nothing to download from.
    if (!IdFTP1->Connected()) throw;
    DownloadFile(name);
    return;
  }
  ShowWorkingDir();
}

void TMainForm::BackButtonClick() {
  if (IdFTP1->Connected()) OpenRemoteDir("..");
}

void TMainForm::CreateDirButtonClick() {
  const std::string answer =
      FDialogs->InputBox(QStringLiteral("Make new directory"), QStringLiteral("Name"), QString())
          .toLocal8Bit()
          .toStdString();
  if (answer.empty()) return;
  EnableCommands(false);
  TScopeGuard enable([this] { EnableCommands(true); });
  IdFTP1->MakeRemoteDir(answer);
  OpenRemoteDir(ui->CurrentDirEdit->text().toLocal8Bit().toStdString());
}

void TMainForm::DeleteButtonClick() {
  if (!IdFTP1->Connected()) return;
  bool folder = false;
  std::string name;
  ParseListingLine(SelectedListingLine(), folder, name);
  EnableCommands(false);
  if (folder)
    IdFTP1->RemoveRemoteDir(name);
  else
    IdFTP1->DeleteRemoteFile(name);
  OpenRemoteDir(IdFTP1->QueryWorkingDir());
}
