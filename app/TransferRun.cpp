#include "TransferRun.h"

#include "Format.h"
#include "TransferRules.h"

#include <algorithm>

namespace {

struct TDirectionTexts {
  const char* Failed;            // name
  const char* NotMoved;          // name
  const char* MovedButNotLogged; // names, "ist"/"sind"
  const char* Where;             // "... Dateien sind <Where>"
};

// Upload and download, in the order of TTransferRun::TDirection.
const TDirectionTexts Texts[] = {
    {"%s konnte nicht hochgeladen werden", "%s wurde nicht hochgeladen",
     "%s %s auf dem Server, aber nicht im Aktivitätsprotokoll", "auf dem Server"},
    {"%s konnte nicht heruntergeladen werden", "%s wurde nicht heruntergeladen",
     "%s %s heruntergeladen, aber nicht im Aktivitätsprotokoll", "heruntergeladen"},
};

} // namespace

std::string TTransferRun::Progress() const {
  const TDirectionTexts& texts = Texts[static_cast<int>(FDirection)];
  return Format("%d von %d Dateien %s %s", FDone, FTotal, FDone == 1 ? "ist" : "sind", texts.Where);
}

std::string TTransferRun::FileFailed(const std::string& name, const std::string& cause) const {
  const TDirectionTexts& texts = Texts[static_cast<int>(FDirection)];
  return Format(texts.Failed, name.c_str()) + "; " + Progress() + ".\n" + cause;
}

std::string TTransferRun::LogFailedBefore(const std::string& name, const std::string& logPath,
                                          const std::string& cause) const {
  const TDirectionTexts& texts = Texts[static_cast<int>(FDirection)];
  return Format("Das Aktivitätsprotokoll %s kann nicht geschrieben werden; ", logPath.c_str()) +
         Format(texts.NotMoved, name.c_str()) + ", " + Progress() + ".\n" + cause;
}

std::string TTransferRun::LogFailedAfter(const std::vector<std::string>& names,
                                         const std::string& logPath,
                                         const std::string& cause) const {
  const TDirectionTexts& texts = Texts[static_cast<int>(FDirection)];
  // "a.jpg", "a.jpg und b.jpg", "a.jpg, b.jpg und c.jpg"
  std::string listed;
  for (size_t i = 0; i < names.size(); ++i)
    listed += (i == 0 ? "" : i + 1 == names.size() ? " und " : ", ") + names[i];
  return Format(texts.MovedButNotLogged, listed.c_str(), names.size() == 1 ? "ist" : "sind") +
         "; " + Progress() +
         Format(".\nDas Aktivitätsprotokoll %s kann nicht geschrieben werden: ", logPath.c_str()) +
         cause;
}

std::vector<TFolderEntry> FilesToUpload(const std::string& folder) {
  std::vector<TFolderEntry> files;
  TFolderSearch search(folder);
  for (TFolderEntry entry; search.Next(entry);)
    if (!SkippedByFolderUpload(entry.Name)) files.push_back(entry);
  // By name, not in the file system's order: ext4 gives its hash order, which looks shuffled
  // in the memo and the log, and reading and storing the files in the order they were
  // numbered (mostly also the order they were written) costs the client and the server less.
  std::sort(files.begin(), files.end(),
            [](const TFolderEntry& a, const TFolderEntry& b) { return a.Name < b.Name; });
  return files;
}

std::string NothingToUploadText(const std::string& folder) {
  return Format("Im Verzeichnis %s ist keine Datei zum Hochladen; auf dem Server wurde nichts "
                "angelegt.",
                folder.c_str());
}

std::string LogNotWritableText(const std::string& logPath, const std::string& runName,
                               const std::string& cause) {
  return Format("Das Aktivitätsprotokoll %s kann nicht geschrieben werden; %s wurde nicht "
                "begonnen.\n",
                logPath.c_str(), runName.c_str()) +
         cause;
}
