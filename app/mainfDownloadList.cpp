// Download by list: the listed files whose names stand in a list file, into the local
// folder, each logged.

#include "ActivityLog.h"
#include "FileStream.h"
#include "Format.h"
#include "IdFTPParsing.h"
#include "ListingModel.h"
#include "ParseListingLine.h"
#include "ScopeGuard.h"
#include "TransferRules.h"
#include "TransferRun.h"
#include "mainf.h"

namespace {

// The lines of a text file; they end at CR LF, a lone LF or a lone CR.
TStringList LoadLines(const std::string& path) {
  TFileStream file(path, TFileMode::OpenRead);
  std::string text(static_cast<size_t>(file.Size()), '\0');
  text.resize(static_cast<size_t>(file.Read(text.data(), file.Size())));
  TStringList lines;
  for (std::string& line : SplitListing(text))
    lines.Add(std::move(line));
  return lines;
}

// The name as an error text may show it: control characters as "?".
std::string Printable(std::string name) {
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
  return name;
}

} // namespace

void TMainForm::DownloadnachListe1Click() {
  if (!IdFTP1->Connected()) return;
  const std::optional<QString> chosen =
      FDialogs->OpenFile(DownloadListDialog, QString::fromLocal8Bit(DownloadListFile));
  if (!chosen) return;
  DownloadListFile = chosen->toLocal8Bit().toStdString();
  DownloadEntries();
}

void TMainForm::DownloadEntries() {
  if (!IdFTP1->Connected()) return;
  const std::string folder = RequiredLocalFolder();
  const TStringList wanted = LoadLines(DownloadListFile);
  CheckLogBeforeRun("der Download nach Liste");
  // The names to fetch, taken from the listing as it stands now and counted before the
  // first fetch; what the transfers do to the window meanwhile changes nothing here.
  std::vector<std::string> names;
  for (const std::string& line : FListing->Lines()) {
    bool isFolder = false;
    std::string name;
    ParseListingLine(line, isFolder, name);
    if (isFolder || wanted.IndexOf(name) < 0) continue;
    if (!DownloadFilter.empty() && name.find(DownloadFilter) == std::string::npos) continue;
    names.push_back(name);
  }
  const TActivityLog log(LogFileName);
  TTransferRun run(TTransferRun::TDirection::Download, static_cast<int>(names.size()));
  for (const std::string& name : names) {
    TScopeGuard enable([this] { EnableCommands(true); });
    if (!IsPlainFileName(name))
      throw Exception(Format("Der Name \"%s\" aus der Liste des Servers ist kein einfacher "
                             "Dateiname; der Download nach Liste wurde abgebrochen.",
                             Printable(name).c_str()));
    const std::string localPath = folder + name;
    EnableCommands(false);
    uint32_t size = 0;
    RunExplained(
        [&] {
          IdFTP1->SetTransferType(ftBinary);
          ExpectedSize = static_cast<uint32_t>(IdFTP1->QueryFileSize(name));
          size = ExpectedSize;
        },
        [&](const std::string& cause) { return run.FileFailed(name, cause); });
    RunExplained(
        [&] { log.CheckRoomForDownload(name, size); },
        [&](const std::string& cause) { return run.LogFailedBefore(name, LogFileName, cause); });
    bool complete = false;
    RunExplained([&] { complete = RetrieveLocalFile(name, localPath); },
                 [&](const std::string& cause) { return run.FileFailed(name, cause); });
    // An aborted file is not logged, and the user who aborted it wants the run ended.
    if (!complete) return;
    run.CountDone();
    RunExplained(
        [&] { log.WriteDownload(name, size); },
        [&](const std::string& cause) { return run.LogFailedAfter({name}, LogFileName, cause); });
  }
}
