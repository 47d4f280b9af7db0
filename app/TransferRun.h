#pragma once

#include "Exception.h"
#include "FolderSearch.h"

#include <exception>
#include <string>
#include <vector>

// How far a run over many files has got (the folder upload, the publishing run, the
// download by list), and the texts that tell the user where it stopped. The files are
// counted before the first one moves, so every text can say "4 von 10".
class TTransferRun {
 public:
  enum class TDirection { Upload, Download };

  TTransferRun(TDirection direction, int total, int done = 0)
      : FDirection(direction), FTotal(total), FDone(done) {}

  int Total() const { return FTotal; }
  // Files that are where the run puts them: on the server (sent now or found there
  // complete), or downloaded.
  int Done() const { return FDone; }
  void CountDone() { ++FDone; }

  // The file could not be moved; cause is the failure's own text (the server's line, the
  // socket error, the local file error).
  //   "bild05.jpg konnte nicht hochgeladen werden; 4 von 10 Dateien sind auf dem Server.
  //    552 Requested file action aborted."
  std::string FileFailed(const std::string& name, const std::string& cause) const;
  // The log could not take the file's record, so the file was not moved.
  std::string LogFailedBefore(const std::string& name, const std::string& logPath,
                              const std::string& cause) const;
  // The files were moved, but their records could not be written.
  //   "a.jpg und b.jpg sind auf dem Server, aber nicht im Aktivitätsprotokoll; ..."
  std::string LogFailedAfter(const std::vector<std::string>& names, const std::string& logPath,
                             const std::string& cause) const;

 private:
  // "4 von 10 Dateien sind auf dem Server"
  std::string Progress() const;

  TDirection FDirection;
  int FTotal;
  int FDone;
};

// The files of folder the folder upload sends ("thumbs.db" and ".SEND" files left out),
// ordered by name byte by byte. Raises EFolderSearchError when the folder cannot be read.
std::vector<TFolderEntry> FilesToUpload(const std::string& folder);

// "Im Verzeichnis %s ist keine Datei zum Hochladen; ..."
std::string NothingToUploadText(const std::string& folder);
// The log cannot be written, so a run does not start; runName: "die Veröffentlichung".
std::string LogNotWritableText(const std::string& logPath, const std::string& runName,
                               const std::string& cause);

// Runs step; a failure is raised again as an Exception whose message is text(cause). A
// silent failure (this side closed the connection: the user disconnected or closed the
// window) passes unchanged: there is nothing to tell.
template <class Step, class Text> void RunExplained(Step&& step, Text&& text) {
  try {
    step();
  } catch (const Exception& e) {
    if (e.IsSilent()) throw;
    throw Exception(text(e.Message));
  } catch (const std::exception& e) {
    throw Exception(text(e.what()));
  }
}
