#include "ErrorBox.h"

#include "Exception.h"

#include <exception>

namespace {

void Show(TDialogs& dialogs, std::string_view message) {
  dialogs.ShowError(QString::fromStdString(ErrorBoxText(message)));
}

} // namespace

std::string ErrorBoxText(std::string_view message) {
  std::string text(message);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
    text += '.';
  return text;
}

void ShowCurrentException(TDialogs& dialogs) noexcept {
  try {
    try {
      throw;
    } catch (const Exception& e) {
      if (!e.IsSilent()) Show(dialogs, e.Message);
    } catch (const std::exception& e) {
      Show(dialogs, e.what());
    } catch (...) {
      Show(dialogs, "Unbekannter Fehler");
    }
  } catch (...) {
    // The box itself failed (out of memory, say); there is nowhere left to report it.
  }
}
