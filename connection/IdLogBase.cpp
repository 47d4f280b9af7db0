#include "IdLogBase.h"

#include "DateTimeText.h"

void TIdLogBase::AttachConnection(TIdSocketHandle* handle) {
  TIdConnectionIntercept::AttachConnection(handle);
  LogText("Verbunden.");
}

void TIdLogBase::NoteReceived(const char* buffer, int32_t count) {
  LogText("Erh.: ", std::string_view(buffer, static_cast<size_t>(count > 0 ? count : 0)));
}

void TIdLogBase::NoteSent(const char* buffer, int32_t count) {
  LogText("Gesendet: ", std::string_view(buffer, static_cast<size_t>(count > 0 ? count : 0)));
}

void TIdLogBase::DetachConnection() {
  LogText("Verbindung aufgehoben.");
  TIdConnectionIntercept::DetachConnection();
}

void TIdLogBase::LogText(std::string_view prefix, std::string_view text) {
  if (!FActive) return;
  // Taken out for the item's time: an item made while this one is written (from inside
  // its handler) gets room of its own.
  std::string shown = std::move(FItem);
  shown.clear();
  shown.reserve(prefix.size() + text.size() + 32);
  if (LogTime) {
    shown += NowText();
    shown += ": ";
  }
  shown += prefix;
  // Piece by piece between the line ends: several lines a millisecond in a run of small
  // files.
  size_t from = 0;
  for (size_t end; (end = text.find("\r\n", from)) != std::string_view::npos; from = end + 2) {
    shown.append(text.substr(from, end - from));
    shown += "<EOL>";
  }
  shown.append(text.substr(from));
  WriteLogItem(shown);
  FItem = std::move(shown);
}
