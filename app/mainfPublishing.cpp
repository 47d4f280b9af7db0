// The one-click publishing run and the folder upload it is built on.

#include "ActivityLog.h"
#include "FolderSearch.h"
#include "ScopeGuard.h"
#include "TransferRules.h"
#include "mainf.h"
#include "ui_mainf.h"

#include <QPlainTextEdit>
#include <ctime>

namespace {

// One part of the local date and time, read from the clock for itself.
template <class Clock> int LocalPart(const Clock& clock, int std::tm::*field) {
  const std::time_t now = std::chrono::system_clock::to_time_t(clock());
  std::tm local{};
  localtime_r(&now, &local);
  return local.*field;
}

} // namespace

std::string TMainForm::RequiredLocalFolder() const {
  // An empty field would mean the program's working folder, which nobody chose.
  const std::string folder = LocalFolder();
  if (folder.empty())
    throw Exception("Bitte zuerst das lokale Verzeichnis angeben (Feld \"lokales Verzeichnis\").");
  return WithTrailingSeparator(folder);
}

void TMainForm::dirwahlClick() {
  // The folder of the last run is offered again: a run that failed is likely repeated.
  QString chosen = FLastPublishedFolder;
  if (!FDialogs->BrowseForFolder(QStringLiteral("Upload-Verzeichnis wählen"), QString(), chosen))
    return;
  FLastPublishedFolder = chosen;
  // Already connected (through "&Verbinden"): the toggle would disconnect, so the run goes
  // on in the folder that is open.
  if (!IdFTP1->Connected()) ConnectButtonClick();
  const std::string folder = WithTrailingSeparator(chosen.toLocal8Bit().toStdString());
  ui->Uploaddiredit->setText(QString::fromLocal8Bit(folder));
  const int year = LocalPart(FClock, &std::tm::tm_year) + 1900;
  const int month = LocalPart(FClock, &std::tm::tm_mon) + 1;
  const int day = LocalPart(FClock, &std::tm::tm_mday);
  const int hour = LocalPart(FClock, &std::tm::tm_hour);
  const int minute = LocalPart(FClock, &std::tm::tm_min);
  const std::string remoteFolder = DatedFolderName(year, month, day, hour, minute);
  IdFTP1->MakeRemoteDir(remoteFolder);
  OpenRemoteDir(remoteFolder);
  VerzeichnisUpload1Click();
  FDialogs->ShowMessage(QStringLiteral("Upload der Fotos durchgeführt! Bitte %1 informieren.")
                            .arg(QString::fromUtf8(BuildSettings::ContactEmail)));
  // The run is itself the action that is running: the window closes once it has returned.
  if (ActionRunning())
    FCloseRequested = true;
  else
    close();
}

void TMainForm::VerzeichnisUpload1Click() {
  if (!IdFTP1->Connected()) return;
  const std::string folder = UploadFileName.empty() ? RequiredLocalFolder() : std::string();
  EnableCommands(false);
  TScopeGuard enable([this] { EnableCommands(true); });
  IdFTP1->SetTransferType(ftBinary);
  if (!UploadFileName.empty()) {
    const size_t slash = UploadFileName.rfind('/');
    StoreLocalFile(UploadFileName,
                   UploadFileName.substr(slash == std::string::npos ? 0 : slash + 1));
  } else {
    TFolderSearch search(folder);
    // Forgotten when the search ends, whichever way: a later folder upload must send the
    // folder again, not the one file this run sent last.
    TScopeGuard forget([this] { UploadFileName.clear(); });
    TFolderEntry entry;
    while (search.Next(entry)) {
      if (SkippedByFolderUpload(entry.Name)) continue;
      UploadFileName = folder + entry.Name;
      AddMemoLine(UploadFileName);
      StoreLocalFile(UploadFileName, entry.Name, entry.Size);
      // The log keeps the low 32 bits of the size, as a signed number.
      TActivityLog(LogFileName).WriteUpload(entry.Name, static_cast<int32_t>(entry.Size));
    }
    ui->dirmemo->hide();
  }
  OpenRemoteDir(IdFTP1->QueryWorkingDir());
}
