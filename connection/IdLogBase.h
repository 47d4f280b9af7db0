#pragma once

#include "IdIntercept.h"

#include <string>
#include <string_view>

// An intercept that turns every connect, disconnect, receive and send into one text item,
// stamped with the date and time; one item per platform call, not per line.
class TIdLogBase : public TIdConnectionIntercept {
 public:
  bool Active() const { return FActive; }
  virtual void SetActive(bool active) { FActive = active; }

  void AttachConnection(TIdSocketHandle* handle) override;
  void NoteReceived(const char* buffer, int32_t count) override;
  void NoteSent(const char* buffer, int32_t count) override;
  void DetachConnection() override;

  bool LogTime = true;

 protected:
  // Outputs one finished item; the writer may change the text in place.
  virtual void WriteLogItem(std::string& text) = 0;
  // Stamps the text (with LogTime), shows each CR LF as "<EOL>", and writes the item;
  // nothing while inactive.
  void LogText(std::string_view text) { LogText({}, text); }
  // The same for the text prefix followed by the text: a received or sent piece is not
  // copied once more only to be put behind its prefix.
  virtual void LogText(std::string_view prefix, std::string_view text);

  bool FActive = false;

 private:
  // The room the next item is made in: a run of small files makes several items a
  // millisecond, each as long as the last.
  std::string FItem;
};
