// The one-click publishing run and the folder upload it is built on.

#include "ActivityLog.h"
#include "ListingModel.h"
#include "ParseListingLine.h"
#include "ScopeGuard.h"
#include "TransferRules.h"
#include "TransferRun.h"
#include "mainf.h"
#include "ui_mainf.h"

#include <ctime>
#include <filesystem>
#include <set>

namespace {

// One part of the local date and time, read from the clock for itself.
template <class Clock> int LocalPart(const Clock& clock, int std::tm::*field) {
  const std::time_t now = std::chrono::system_clock::to_time_t(clock());
  std::tm local{};
  localtime_r(&now, &local);
  return local.*field;
}

// The size of the local file now; the folder was searched before the run connected, and
// a file may have changed since.
uint64_t SizeNow(const std::string& path, uint64_t searched) {
  std::error_code unknown;
  const uintmax_t size = std::filesystem::file_size(path, unknown);
  return unknown ? searched : size;
}

// The names of the plain files a listing shows.
std::set<std::string> FileNames(const TStringList& listing) {
  std::set<std::string> names;
  for (const std::string& line : listing) {
    bool folder = false;
    std::string name;
    ParseListingLine(line, folder, name);
    if (!folder) names.insert(name);
  }
  return names;
}

// name inside the remote folder parent; name alone when parent is not known.
std::string InRemoteFolder(const std::string& parent, const std::string& name) {
  if (parent.empty()) return name;
  return parent.back() == '/' ? parent + name : parent + '/' + name;
}

} // namespace

std::string TMainForm::RequiredLocalFolder() const {
  // An empty field would mean the program's working folder, which nobody chose.
  const std::string folder = LocalFolder();
  if (folder.empty())
    throw Exception("Bitte zuerst das lokale Verzeichnis angeben (Feld \"lokales Verzeichnis\").");
  return WithTrailingSeparator(folder);
}

void TMainForm::CheckLogBeforeRun(const std::string& runName) const {
  RunExplained(
      [this] { TActivityLog(LogFileName).CheckWritable(); },
      [&](const std::string& cause) { return LogNotWritableText(LogFileName, runName, cause); });
}

void TMainForm::dirwahlClick() {
  // The folder of the last run is offered again: a run that failed is likely repeated.
  QString chosen = FLastPublishedFolder;
  if (!FDialogs->BrowseForFolder(QStringLiteral("Upload-Verzeichnis wählen"), QString(), chosen))
    return;
  FLastPublishedFolder = chosen;
  const std::string folder = WithTrailingSeparator(chosen.toLocal8Bit().toStdString());
  const bool resume = FResume && FResume->LocalFolder == folder &&
                      FDialogs->Question(QString::fromStdString(ResumeQuestion(*FResume)));
  if (!resume) FResume.reset();
  // Everything that can be known locally is checked before the server is asked for
  // anything: a run that cannot log or has nothing to send leaves no folder behind.
  CheckLogBeforeRun("die Veröffentlichung");
  const std::vector<TFolderEntry> files = FilesToUpload(folder);
  if (files.empty()) throw Exception(NothingToUploadText(folder));
  const bool connectedAnew = ConnectForRun();
  ui->Uploaddiredit->setText(QString::fromLocal8Bit(folder));
  if (resume) {
    FResume->Total = static_cast<int>(files.size());
    // The files already there are found in the listing: it must be one taken now.
    if (!connectedAnew || CurrentRemoteFolder() != FResume->RemoteFolder)
      OpenRemoteDir(FResume->RemoteFolder);
  } else {
    // The dated folders belong where the server puts the account, not wherever the
    // browser was left.
    if (!FLoginFolder.empty() && CurrentRemoteFolder() != FLoginFolder) OpenRemoteDir(FLoginFolder);
    const int year = LocalPart(FClock, &std::tm::tm_year) + 1900;
    const int month = LocalPart(FClock, &std::tm::tm_mon) + 1;
    const int day = LocalPart(FClock, &std::tm::tm_mday);
    const int hour = LocalPart(FClock, &std::tm::tm_hour);
    const int minute = LocalPart(FClock, &std::tm::tm_min);
    const std::string remoteFolder = DatedFolderName(year, month, day, hour, minute);
    const std::string parent = CurrentRemoteFolder();
    IdFTP1->MakeRemoteDir(remoteFolder);
    // From here on a failure leaves a folder worth continuing in; its full name comes
    // with the opening, until then it is known by where it was made.
    FResume = TResumePoint{
        folder, InRemoteFolder(parent, remoteFolder), {}, 0, static_cast<int>(files.size())};
    OpenRemoteDir(remoteFolder);
    FResume->RemoteFolder = CurrentRemoteFolder();
  }
  UploadIntoCurrentFolder(folder, files, &*FResume);
  FResume.reset();
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
  if (UploadFileName.empty()) {
    const std::string folder = RequiredLocalFolder();
    UploadIntoCurrentFolder(folder, FilesToUpload(folder), nullptr);
    return;
  }
  EnableCommands(false);
  TScopeGuard enable([this] { EnableCommands(true); });
  IdFTP1->SetTransferType(ftBinary);
  const size_t slash = UploadFileName.rfind('/');
  StoreLocalFile(UploadFileName, UploadFileName.substr(slash == std::string::npos ? 0 : slash + 1));
  OpenRemoteDir(IdFTP1->QueryWorkingDir());
}

void TMainForm::UploadIntoCurrentFolder(const std::string& folder,
                                        const std::vector<TFolderEntry>& files,
                                        TResumePoint* progress) {
  EnableCommands(false);
  TScopeGuard enable([this] { EnableCommands(true); });
  IdFTP1->SetTransferType(ftBinary);
  TActivityLog log(LogFileName, TActivityLog::TOpening::KeptOpen);
  TTransferRun run(TTransferRun::TDirection::Upload, static_cast<int>(files.size()));
  // What the folder holds already (nothing, unless a publishing run goes on in it).
  const std::set<std::string> present =
      progress ? FileNames(FListing->Lines()) : std::set<std::string>();
  if (progress) progress->Logged.reserve(progress->Logged.size() + files.size());
  // Records are held and written a few at a time, and whenever the window is served (at
  // least every 50 ms while the run waits on the network), so that none waits in memory
  // for long. The room checked with each write covers the next few records: the check
  // before a file costs nothing most of the time.
  constexpr size_t HeldAtMost = 16;
  constexpr size_t RoomAhead = 1024;
  const auto writeHeld = [&](size_t roomAfter) {
    RunExplained([&] { log.WriteHeld(roomAfter); },
                 [&](const std::string& cause) {
                   return run.LogFailedAfter(log.HeldNames(), LogFileName, cause);
                 });
  };
  FRunLog = &log;
  {
    // Forgotten when the upload ends, whichever way: a later folder upload must send the
    // folder again, not the one file this run sent last.
    TScopeGuard forget([this] {
      UploadFileName.clear();
      FRunLog = nullptr;
    });
    const std::string* lastRecorded = nullptr;
    try {
      for (const TFolderEntry& file : files) {
        const std::string& name = file.Name;
        const std::string path = folder + name;
        const bool onServer = present.count(name) != 0;
        // The size the search found, as the log records it; a file on the server already
        // is compared by the size it has now.
        const uint64_t size = onServer ? SizeNow(path, file.Size) : file.Size;
        // The log keeps the low 32 bits of the size, as a signed number.
        const auto recordSize = static_cast<int32_t>(size);
        const bool inLog = progress && progress->Logged.count(name) != 0;
        TResumeStep step{true, !inLog};
        if (onServer)
          RunExplained([&] { step = ResumeStepFor(size, IdFTP1->QueryFileSize(name), inLog); },
                       [&](const std::string& cause) { return run.FileFailed(name, cause); });
        const size_t length = step.Record ? log.UploadRecordLength(name, recordSize) : 0;
        if (step.Record && !log.Covers(length)) {
          if (!log.HeldNames().empty()) writeHeld(RoomAhead);
          if (!log.Covers(length))
            RunExplained([&] { log.CheckRoomForUpload(name, recordSize); },
                         [&](const std::string& cause) {
                           return run.LogFailedBefore(name, LogFileName, cause);
                         });
        }
        if (step.Send) {
          UploadFileName = path;
          AddMemoLine(path);
          RunExplained([&] { StoreLocalFile(path, name, size); },
                       [&](const std::string& cause) { return run.FileFailed(name, cause); });
        }
        run.CountDone();
        if (progress) progress->Done = run.Done();
        if (step.Record) {
          log.HoldUpload(name, recordSize);
          lastRecorded = &name;
          if (log.HeldNames().size() >= HeldAtMost) writeHeld(RoomAhead);
        }
        if (progress) progress->Logged.insert(name);
      }
      if (!log.HeldNames().empty()) writeHeld(0);
    } catch (...) {
      // The files that arrived before the failure are recorded before it is told; a
      // resumed run records those again whose records could not be written.
      if (!log.HeldNames().empty()) {
        log.WriteHeldQuietly();
        if (progress)
          for (const std::string& name : log.HeldNames())
            progress->Logged.erase(name);
        if (!log.HeldNames().empty()) writeHeld(0);
      }
      throw;
    }
    if (lastRecorded)
      RunExplained([&] { log.Close(); },
                   [&](const std::string& cause) {
                     return run.LogFailedAfter({*lastRecorded}, LogFileName, cause);
                   });
  }
  ui->dirmemo->hide();
  OpenRemoteDir(IdFTP1->QueryWorkingDir());
}
