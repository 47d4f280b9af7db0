#include "IdLogDebug.h"

#include "FileStream.h"
#include "IdGlobal.h"

#include <sys/stat.h>

TIdLogDebug::TIdLogDebug() = default;

TIdLogDebug::~TIdLogDebug() {
  SetActive(false);
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
}

void TIdLogDebug::SetTarget(TIdLogDebugTarget target) {
  if (FActive && !Loading()) throw EIdCanNotChangeTarget();
  FTarget = target;
}

void TIdLogDebug::WriteLogItem(std::string text) {
  if (OnLogItem) OnLogItem(this, text);
  switch (FTarget) {
  case ltFile:
    if (LogStream) {
      text += "\r\n";
      LogStream->Write(text.data(), static_cast<int64_t>(text.size()));
    }
    break;
  case ltDebugOutput:
    DebugOutput(text + "\r\n");
    break;
  case ltEvent:
    break;
  }
}
