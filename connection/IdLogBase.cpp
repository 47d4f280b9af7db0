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
  std::string shown;
  shown.reserve(text.size() + 32);
  if (LogTime) {
    shown += NowText();
    shown += ": ";
  }
  // Piece by piece between the line ends: several lines a millisecond in a run of small
  // files.
  size_t from = 0;
  for (size_t end; (end = text.find("\r\n", from)) != std::string::npos; from = end + 2) {
    shown.append(text, from, end - from);
    shown += "<EOL>";
  }
  shown.append(text, from, std::string::npos);
  WriteLogItem(std::move(shown));
}
