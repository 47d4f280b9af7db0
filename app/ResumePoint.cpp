#include "ResumePoint.h"

#include "Format.h"

TResumeStep ResumeStepFor(std::uint64_t localSize, std::int64_t remoteSize, bool logged) {
  const bool complete = remoteSize >= 0 && static_cast<std::uint64_t>(remoteSize) == localSize;
  return {!complete, !logged};
}

std::string ResumeQuestion(const TResumePoint& point) {
  return Format("Die letzte Veröffentlichung aus %s wurde abgebrochen; %d von %d Dateien %s im "
                "Ordner %s auf dem Server.\n\n"
                "Soll sie dort fortgesetzt werden? Dateien, die schon vollständig auf dem "
                "Server sind, werden nicht noch einmal gesendet.\n"
                "\"Nein\" beginnt eine neue Veröffentlichung in einem neuen Ordner.",
                point.LocalFolder.c_str(), point.Done, point.Total,
                point.Done == 1 ? "ist" : "sind", point.RemoteFolder.c_str());
}
