#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

class TAppendFile;

// The activity log beside the program: TAB-separated records, CR LF line ends. Each record
// goes to the file that has the log's name when it is written, and others may read the
// file between records. Failures raise EInOutError.
//
//   <CR LF>07.12.2026 14:05:09<TAB>Execute<CR LF>
//   07.12.2026 14:06:10<TAB>Upload<TAB>bild01.jpg<TAB>1536<TAB>FALSE<CR LF>
//   <CR LF>07.12.2026 14:06:12<TAB>Close<CR LF>
class TActivityLog {
 public:
  // How upload records reach the file: each through an open-append-close cycle of its
  // own, or one after the other through a handle kept open from the first to Close (or
  // to the end of the object), for the many records of a folder upload: an open and a
  // close cost more than the record. Before each record the kept handle is checked to
  // be still the file of that name; one deleted, moved away or replaced is let go and the
  // name opened anew, as a cycle of its own would.
  enum class TOpening { PerRecord, KeptOpen };

  explicit TActivityLog(std::string fileName, TOpening opening = TOpening::PerRecord);
  ~TActivityLog();
  TActivityLog(const TActivityLog&) = delete;
  TActivityLog& operator=(const TActivityLog&) = delete;

  // Program start: creates the file when it is missing, then appends the record.
  void WriteStart() const;
  // The other records append only; a log file deleted meanwhile is an error, not recreated.
  void WriteClose() const;
  // Upload records are held and written several at once: a write costs more than the
  // record of a small file. Held records are stamped when they are held and written in
  // that order, before any record written after them; the object's end writes none of
  // them. size: the low 32 bits of the file size, written signed.
  void HoldUpload(const std::string& name, std::int32_t size);
  // Writes the held records in one append. With roomAfter, the same cycle then checks
  // whether that many more bytes fit (the next records', checked before their files are
  // moved): true when they do; false when that is not known, and the caller checks on its
  // own, which raises that check's error. Raises when the records cannot be written: they
  // stay held, and every later call raises that failure again, so that no record is
  // written out of its place.
  bool WriteHeld(std::size_t roomAfter = 0);
  // WriteHeld where nobody can be told of a failure (while the window is served): a
  // failure is kept for the next WriteHeld.
  void WriteHeldQuietly() noexcept;
  // Whether the held records and one of length more fit into the room checked with the
  // last write, and the held ones still have the log of that name to go to.
  bool Covers(std::size_t length);
  // The names of the files whose records are held, in order.
  const std::vector<std::string>& HeldNames() const { return FHeldNames; }
  // Closes a kept handle, checked; without one it does nothing.
  void Close();
  // size: what the size query gave, written unsigned (an unknown size, -1, as 4294967295).
  void WriteDownload(const std::string& name, std::uint32_t size) const;

  // Whether records can be appended now (the file exists and may be written); writes
  // nothing. A run checks this before it connects.
  void CheckWritable() const;
  // Whether the record for a file fits into the log now, checked before the file is
  // moved: a full disk then stops the run before a file arrives that no record tells of.
  // The log ends as it was.
  void CheckRoomForUpload(const std::string& name, std::int32_t size) const;
  void CheckRoomForDownload(const std::string& name, std::uint32_t size) const;
  std::size_t UploadRecordLength(const std::string& name, std::int32_t size) const;

  const std::string& FileName() const { return FFileName; }

 private:
  std::string FFileName;
  TOpening FOpening;
  std::unique_ptr<TAppendFile> FKept;
  std::string FHeld;
  std::vector<std::string> FHeldNames;
  std::exception_ptr FHeldFailure;
  std::size_t FCovered = 0; // bytes past the end known to fit
};

// The record texts, given the date-time field.
namespace ActivityRecord {
std::string Start(const std::string& dateTime);
std::string Close(const std::string& dateTime);
std::string Upload(const std::string& dateTime, const std::string& name, std::int32_t size);
std::string Download(const std::string& dateTime, const std::string& name, std::uint32_t size);
} // namespace ActivityRecord

// The log file beside a program file: its extension replaced by ".log", or ".log" appended
// when it has none, as program files usually don't here (/opt/x/lichtfracht ->
// /opt/x/lichtfracht.log, tool.bin -> tool.log). Only the file name's own extension counts.
std::string LogFileNameFor(const std::string& programPath);
