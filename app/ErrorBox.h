#pragma once

#include "Dialogs.h"

#include <string>
#include <string_view>
#include <utility>

// The text of the error box for a failure message: a full stop is appended when the last
// byte sorts after "." (so "?" and letters get one, "!" and "." do not). Bytes compare as
// unsigned, so a message ending in a multi-byte UTF-8 character gets one too.
std::string ErrorBoxText(std::string_view message);

// Shows the exception being handled in the error box: silent exceptions show nothing, an
// exception of unknown type shows a generic text. Call only from inside a catch block.
// Never throws: nothing may escape into Qt's frames.
void ShowCurrentException(TDialogs& dialogs) noexcept;

// Runs one window handler. Whatever it throws ends here, in the error box, and the window
// carries on: C++ exceptions must never unwind through Qt's event dispatch.
template <class Handler> void RunGuarded(TDialogs& dialogs, Handler&& handler) noexcept {
  try {
    std::forward<Handler>(handler)();
  } catch (...) {
    ShowCurrentException(dialogs);
  }
}
