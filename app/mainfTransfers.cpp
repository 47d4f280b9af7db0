// Single-file upload and download, and the progress display every transfer drives:
// listings, these two, the folder upload and the download by list.

#include "DownloadTarget.h"
#include "Format.h"
#include "ScopeGuard.h"
#include "TransferSpeed.h"
#include "mainf.h"
#include "ui_mainf.h"

#include <QProgressBar>
#include <filesystem>
#include <limits>

namespace {

// The name of a path's last part: what a local file is stored under remotely, and what a
// remote entry is proposed as locally.
std::string LastPart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What became of the local file of a download that did not complete.
constexpr const char* DownloadNotDoneNew = "Download nicht abgeschlossen: %s wurde nicht angelegt.";
constexpr const char* DownloadNotDoneKept = "Download nicht abgeschlossen: %s ist unverändert.";

// A progress bar draws itself at once when a new value reaches either end or moves the
// bar, and with it everything else waiting to be drawn: for nearly every file of a run,
// at more cost than sending a short file. With its updates held during the change, the bar
// is drawn when the window is next served, as every other widget is.
template <class Change> void ChangeBar(QProgressBar& bar, Change&& change) {
  bar.setUpdatesEnabled(false);
  change();
  bar.setUpdatesEnabled(true); // asks for the drawing
}

} // namespace

void TMainForm::StoreLocalFile(const std::string& path, const std::string& remoteName,
                               std::optional<uint64_t> size) {
  if (!size) {
    std::error_code unknown;
    const uintmax_t found = std::filesystem::file_size(path, unknown);
    if (!unknown) size = found;
  }
  FUploadSize = size;
  TScopeGuard forget([this] { FUploadSize.reset(); });
  IdFTP1->StoreFile(path, remoteName, false);
}

void TMainForm::UploadButtonClick() {
  if (!IdFTP1->Connected()) return;
  const std::optional<QString> chosen = FDialogs->OpenFile(UploadOpenDialog1);
  if (!chosen) return;
  const std::string path = chosen->toLocal8Bit().toStdString();
  EnableCommands(false);
  TScopeGuard enable([this] { EnableCommands(true); });
  IdFTP1->SetTransferType(ftBinary);
  StoreLocalFile(path, LastPart(path));
  OpenRemoteDir(IdFTP1->QueryWorkingDir());
}

void TMainForm::DownloadFile(const std::string& name) {
  TScopeGuard enable([this] { EnableCommands(true); });
  const std::optional<QString> chosen =
      FDialogs->SaveFile(SaveDialog1, QString::fromLocal8Bit(LastPart(name)));
  if (!chosen) return;
  EnableCommands(false);
  IdFTP1->SetTransferType(ftBinary);
  ExpectedSize = static_cast<uint32_t>(IdFTP1->QueryFileSize(name));
  RetrieveLocalFile(name, chosen->toLocal8Bit().toStdString());
}

bool TMainForm::RetrieveLocalFile(const std::string& name, const std::string& localPath) {
  TDownloadTarget target(localPath);
  bool complete = false;
  // Said on every way out, after the transfer's own "Transfer durchgeführt.": the user
  // must not take a missing or unchanged file for a downloaded one.
  TScopeGuard tell([&] {
    if (!complete)
      ShowStatus(Format(target.TargetExisted() ? DownloadNotDoneKept : DownloadNotDoneNew,
                        localPath.c_str()));
  });
  FTransferAborted = false;
  IdFTP1->RetrieveToStream(name, target.Stream());
  // An abort ends the transfer without a failure and with part of the file; so does a
  // disconnect in the middle of it.
  if (FTransferAborted || !IdFTP1->Connected()) return false;
  target.Commit();
  complete = true;
  return true;
}

void TMainForm::IdFTP1WorkBegin(TIdComponent*, TWorkMode AWorkMode, int32_t AWorkCountMax) {
  TransferActive = true;
  AbortRequested = false;
  TransferStart = std::chrono::system_clock::now();
  // The announced total, else the size query's answer; neither: unknown (a busy bar).
  // An upload beyond 2 GiB announces only the low 32 bits of its size; the window knows
  // the whole size of the file it sends.
  uint64_t size = 0;
  if (AWorkMode == wkWrite && FUploadSize &&
      static_cast<uint32_t>(*FUploadSize) == static_cast<uint32_t>(AWorkCountMax))
    size = *FUploadSize;
  else if (AWorkCountMax > 0)
    size = static_cast<uint64_t>(AWorkCountMax);
  else if (ExpectedSize <= static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
    size = ExpectedSize;
  FProgress.Begin(size);
  if (ui->ProgressBar1->maximum() != FProgress.Maximum())
    ChangeBar(*ui->ProgressBar1, [&] { ui->ProgressBar1->setRange(0, FProgress.Maximum()); });
  TransferRate = 0;
  // Shown at once, not paced: a server that stalls right at the start must not leave the
  // previous transfer's end on display.
  FProgressMode = AWorkMode;
  ShowProgress();
}

void TMainForm::IdFTP1Work(TIdComponent*, TWorkMode AWorkMode, int32_t AWorkCount) {
  FProgress.Advance(AWorkCount);
  const auto now = std::chrono::system_clock::now();
  TransferRate = UpdatedTransferRate(
      TransferRate, FProgress.Total(),
      std::chrono::duration_cast<std::chrono::milliseconds>(now - TransferStart));
  if (AbortRequested) IdFTP1->Abort();
  FProgressMode = AWorkMode;
  // Blocks come far faster than anyone can read; redrawing the status bar and the bar for
  // each one would cost more than the transfer itself. A state not drawn now is drawn
  // when the interval is over, so that the last one before a stall is what stays shown.
  // The timer is left running across the ends and begins of short files: starting and
  // stopping it for each would cost more than it draws.
  // A clock set back shows at once rather than holding the display until it catches up.
  const auto since = now - FLastProgressShown;
  if (since >= ProgressInterval || since.count() < 0)
    ShowProgress(now);
  else if (!FProgressTimer.isActive())
    FProgressTimer.start(
        std::chrono::ceil<std::chrono::milliseconds>(ProgressInterval - since).count());
  AbortRequested = false;
}

void TMainForm::ShowProgress(std::chrono::system_clock::time_point now) {
  FLastProgressShown = now;
  if (!FSpeedStatus || FSpeedStatus->Mode != FProgressMode || FSpeedStatus->Rate != TransferRate)
    FSpeedStatus = TSpeedStatus{
        FProgressMode, TransferRate,
        (FProgressMode == wkRead ? "Download Geschwindigkeit " : "Upload Geschwindigkeit ") +
            SpeedText(TransferRate)};
  ShowStatus(FSpeedStatus->Text);
  if (ui->ProgressBar1->value() != FProgress.Position())
    ChangeBar(*ui->ProgressBar1, [&] { ui->ProgressBar1->setValue(FProgress.Position()); });
}

void TMainForm::IdFTP1WorkEnd(TIdComponent*, TWorkMode) {
  ShowStatus("Transfer durchgeführt.");
  ExpectedSize = 0;
  TransferActive = false;
  // A bar that was busy (size unknown) stops moving; a known maximum stays as it was.
  QProgressBar& bar = *ui->ProgressBar1;
  if (bar.maximum() == 0 || bar.value() != 0)
    ChangeBar(bar, [&] {
      if (bar.maximum() == 0) bar.setRange(0, 100);
      bar.setValue(0);
    });
  TransferRate = 0;
}

void TMainForm::ShowAbortButton() {
  if (ui->AbortButton->isHidden() == TransferActive) ui->AbortButton->setVisible(TransferActive);
}

void TMainForm::AbortButtonClick() {
  // Carried out by the next work event, from inside the transfer.
  AbortRequested = true;
}
