#include "ActivityLog.h"

#include "AppendFile.h"
#include "DateTimeText.h"
#include "InOutError.h"

#include <array>
#include <charconv>
#include <filesystem>
#include <optional>
#include <string_view>

namespace {

constexpr const char* LineEnd = "\r\n";

// Counts what would be appended: a record's length is known without making it.
struct TLengthOnly {
  std::size_t Length = 0;
  TLengthOnly& operator+=(std::string_view piece) {
    Length += piece.size();
    return *this;
  }
};

// Puts a record of a moved file into out, a string or a TLengthOnly. A folder upload
// measures and holds one for every file: made in place, with no string of its own.
template <class Out, class Number>
void PutTransferRecord(Out& out, std::string_view dateTime, std::string_view kind,
                       std::string_view name, Number size) {
  std::array<char, 24> digits;
  const char* end = std::to_chars(digits.data(), digits.data() + digits.size(), size).ptr;
  using namespace std::string_view_literals;
  for (const std::string_view piece :
       {dateTime, "\t"sv, kind, "\t"sv, name, "\t"sv,
        std::string_view(digits.data(), static_cast<std::size_t>(end - digits.data())), "\tFALSE"sv,
        std::string_view(LineEnd)})
    out += piece;
}

template <class Number>
std::string TransferRecord(const std::string& dateTime, std::string_view kind,
                           const std::string& name, Number size) {
  std::string record;
  PutTransferRecord(record, dateTime, kind, name, size);
  return record;
}

} // namespace

namespace ActivityRecord {

// The empty line in front of start and close sets the runs apart in the file.
std::string Start(const std::string& dateTime) {
  return LineEnd + dateTime + "\tExecute" + LineEnd;
}

std::string Close(const std::string& dateTime) {
  return LineEnd + dateTime + "\tClose" + LineEnd;
}

std::string Upload(const std::string& dateTime, const std::string& name, std::int32_t size) {
  return TransferRecord(dateTime, "Upload", name, size);
}

std::string Download(const std::string& dateTime, const std::string& name, std::uint32_t size) {
  return TransferRecord(dateTime, "Download", name, size);
}

} // namespace ActivityRecord

void TActivityLog::WriteStart() const {
  CreateFileIfMissing(FFileName);
  AppendToFile(FFileName, ActivityRecord::Start(NowText()));
}

void TActivityLog::WriteClose() const {
  AppendToFile(FFileName, ActivityRecord::Close(NowText()));
}

TActivityLog::TActivityLog(std::string fileName, TOpening opening)
    : FFileName(std::move(fileName)), FOpening(opening) {}

TActivityLog::~TActivityLog() = default;

void TActivityLog::HoldUpload(const std::string& name, std::int32_t size) {
  PutTransferRecord(FHeld, NowText(), "Upload", name, size);
  FHeldNames.push_back(name);
}

bool TActivityLog::WriteHeld(std::size_t roomAfter) {
  if (FHeldFailure) std::rethrow_exception(FHeldFailure);
  std::optional<TAppendFile> own;
  TAppendFile* file = nullptr;
  try {
    if (FOpening == TOpening::KeptOpen) {
      if (FKept && !FKept->NamedBy(FFileName)) FKept.reset();
      if (!FKept) FKept = std::make_unique<TAppendFile>(FFileName);
      file = FKept.get();
    } else {
      file = &own.emplace(FFileName);
    }
    file->Append(FHeld);
  } catch (...) {
    if (!FHeld.empty()) FHeldFailure = std::current_exception();
    throw;
  }
  if (!FHeld.empty()) {
    FCovered = FCovered > FHeld.size() ? FCovered - FHeld.size() : 0;
    FHeld.clear();
    FHeldNames.clear();
  }
  if (roomAfter > FCovered) {
    try {
      file->CheckRoom(roomAfter);
      FCovered = roomAfter;
    } catch (const EInOutError&) {
      // The records are whole; the next file's own check tells why there is no room.
      FCovered = 0;
    }
  }
  if (own) own->Close();
  return FCovered >= roomAfter;
}

bool TActivityLog::Covers(std::size_t length) {
  if (FHeld.size() + length > FCovered) return false;
  if (FHeld.empty()) return true;
  // A log moved away or replaced is found out before another file moves, as a record
  // written after each file would find it; the held records then go to the name.
  if (FKept && !FKept->NamedBy(FFileName)) FKept.reset();
  return FKept != nullptr;
}

void TActivityLog::WriteHeldQuietly() noexcept {
  if (FHeld.empty() || FHeldFailure) return;
  try {
    WriteHeld();
  } catch (...) {
    // Kept by WriteHeld for the caller's next write.
  }
}

void TActivityLog::Close() {
  if (!FKept) return;
  const std::unique_ptr<TAppendFile> kept = std::move(FKept);
  kept->Close();
}

void TActivityLog::WriteDownload(const std::string& name, std::uint32_t size) const {
  AppendToFile(FFileName, ActivityRecord::Download(NowText(), name, size));
}

void TActivityLog::CheckWritable() const {
  CheckAppendable(FFileName);
}

void TActivityLog::CheckRoomForUpload(const std::string& name, std::int32_t size) const {
  CheckRoomToAppend(FFileName, UploadRecordLength(name, size));
}

std::size_t TActivityLog::UploadRecordLength(const std::string& name, std::int32_t size) const {
  TLengthOnly record;
  PutTransferRecord(record, NowText(), "Upload", name, size);
  return record.Length;
}

void TActivityLog::CheckRoomForDownload(const std::string& name, std::uint32_t size) const {
  CheckRoomToAppend(FFileName, ActivityRecord::Download(NowText(), name, size).size());
}

std::string LogFileNameFor(const std::string& programPath) {
  // path::extension() looks at the last component only and treats a leading dot
  // (".hidden") as part of the name, which is what we want on Linux.
  std::filesystem::path path(programPath);
  path.replace_extension(".log");
  return path.native();
}
