#include "IdLogBase.h"

#include "DateTimeText.h"

void TIdLogBase::AttachConnection(TIdSocketHandle* handle) {
  TIdConnectionIntercept::AttachConnection(handle);
  LogText("Verbunden.");
}

void TIdLogBase::NoteReceived(const char* buffer, int32_t count) {
  LogText("Erh.: " + std::string(buffer, static_cast<size_t>(count > 0 ? count : 0)));
}

void TIdLogBase::NoteSent(const char* buffer, int32_t count) {
  LogText("Gesendet: " + std::string(buffer, static_cast<size_t>(count > 0 ? count : 0)));
}

void TIdLogBase::DetachConnection() {
  LogText("Verbindung aufgehoben.");
  TIdConnectionIntercept::DetachConnection();
}

void TIdLogBase::LogText(const std::string& text) {
  if (!FActive) return;
  std::string item = LogTime ? NowText() + ": " + text : text;
  std::string shown;
  shown.reserve(item.size());
  for (size_t i = 0; i < item.size(); ++i) {
    if (item[i] == '\r' && i + 1 < item.size() && item[i + 1] == '\n') {
      shown += "<EOL>";
      ++i;
    } else {
      shown += item[i];
    }
  }
  WriteLogItem(std::move(shown));
}
