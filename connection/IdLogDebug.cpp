#include "IdLogDebug.h"

#include "FileStream.h"
#include "IdGlobal.h"

#include <algorithm>
#include <sys/stat.h>

namespace {

bool ShownAsItIs(unsigned char byte) {
  return (byte >= 0x20 || byte == '\t') && byte != 0x7F && byte != 0xC2;
}

} // namespace

std::string TerminalText(const std::string& text) {
  std::string shown;
  AppendTerminalText(shown, text);
  return shown;
}

void AppendTerminalText(std::string& shown, const std::string& text) {
  // Most lines hold nothing to replace: appended whole.
  if (std::all_of(text.begin(), text.end(),
                  [](char c) { return ShownAsItIs(static_cast<unsigned char>(c)); })) {
    shown += text;
    return;
  }
  shown.reserve(shown.size() + text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    // C1 controls in their UTF-8 form (U+0080 to U+009F; U+009B starts a sequence as ESC [
    // does) take two bytes and become one "?".
    if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
        static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      shown += '?';
      ++i;
    } else if ((byte < 0x20 && byte != '\t') || byte == 0x7F) {
      shown += '?';
    } else {
      shown += static_cast<char>(byte);
    }
  }
}

TIdLogDebug::TIdLogDebug() = default;

TIdLogDebug::~TIdLogDebug() {
  SetActive(false);
}

void TIdLogDebug::FlushDebugOutput() {
  if (FHeldOutput.empty()) return;
  DebugOutput(FHeldOutput);
  FHeldOutput.clear();
}

void TIdLogDebug::SetActive(bool active) {
  if (active) {
    if (FTarget == ltFile && !Loading()) {
      struct stat info {};
      const bool exists = ::stat(Filename.c_str(), &info) == 0;
      auto stream = std::make_unique<TFileStream>(Filename, exists ? TFileMode::OpenReadWrite
                                                                   : TFileMode::Create);
      stream->SetPosition(stream->Size());
      LogStream = std::move(stream);
    }
  } else if (FTarget == ltFile) {
    LogStream.reset();
  }
  TIdLogBase::SetActive(active);
  if (!active) FlushDebugOutput();
}

void TIdLogDebug::SetTarget(TIdLogDebugTarget target) {
  if (FActive && !Loading()) throw EIdCanNotChangeTarget();
  FTarget = target;
}

void TIdLogDebug::WriteLogItem(std::string& text) {
  if (OnLogItem) OnLogItem(this, text);
  switch (FTarget) {
  case ltFile:
    if (LogStream) {
      text += "\r\n";
      LogStream->Write(text.data(), static_cast<int64_t>(text.size()));
    }
    break;
  case ltDebugOutput:
    AppendTerminalText(FHeldOutput, text);
    FHeldOutput += "\r\n";
    if (!HoldDebugOutput || FHeldOutput.size() >= 64 * 1024) FlushDebugOutput();
    break;
  case ltEvent:
    break;
  }
}
