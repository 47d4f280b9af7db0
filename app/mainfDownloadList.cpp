// Download by list: the listed files whose names stand in a list file, into the local
// folder, each logged.

#include "ActivityLog.h"
#include "FileStream.h"
#include "Format.h"
#include "IdFTPParsing.h"
#include "ParseListingLine.h"
#include "ScopeGuard.h"
#include "TransferRules.h"
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
  // The listing as it stands now; what the transfers do to the window meanwhile does not
  // change which entries are looked at.
  const TStringList listing = FListing;
  for (const std::string& line : listing) {
    bool isFolder = false;
    std::string name;
    ParseListingLine(line, isFolder, name);
    if (isFolder) continue;
    TScopeGuard enable([this] { EnableCommands(true); });
    bool found = wanted.IndexOf(name) >= 0;
    if (!DownloadFilter.empty() && name.find(DownloadFilter) == std::string::npos) found = false;
    if (!found) continue;
    if (!IsPlainFileName(name))
      throw Exception(Format("Der Name \"%s\" aus der Liste des Servers ist kein einfacher "
                             "Dateiname; der Download nach Liste wurde abgebrochen.",
                             Printable(name).c_str()));
    const std::string localPath = folder + name;
    EnableCommands(false);
    IdFTP1->SetTransferType(ftBinary);
    ExpectedSize = static_cast<uint32_t>(IdFTP1->QueryFileSize(name));
    const uint32_t size = ExpectedSize;
    // An aborted file is not logged, and the user who aborted it wants the run ended.
    if (!RetrieveLocalFile(name, localPath)) return;
    TActivityLog(LogFileName).WriteDownload(name, size);
  }
}
