#include "ErrorBox.h"

#include "Exception.h"
#include "ScriptedDialogs.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace {

struct TextCase {
  const char* name;
  std::string message;
  std::string shown;
};

TEST(ErrorBoxText, FullStopOnlyAfterBytesThatSortAfterTheDot) {
  const TextCase cases[] = {
      {"letter", "Datei nicht gefunden", "Datei nicht gefunden."},
      {"digit", "E/A-Fehler 1117", "E/A-Fehler 1117."},
      {"full stop itself", "Verbindung geschlossen.", "Verbindung geschlossen."},
      {"exclamation mark (33)", "Achtung!", "Achtung!"},
      {"hyphen (45)", "Bereich 1-", "Bereich 1-"},
      {"closing parenthesis (41)", "Fehler (550)", "Fehler (550)"},
      {"blank", "Antwort ", "Antwort "},
      {"slash (47)", "/pub/", "/pub/."},
      {"question mark (63)", "Wirklich?", "Wirklich?."},
      {"colon (58)", "Antwort:", "Antwort:."},
      {"umlaut in UTF-8", "Ungültiger Dateiname für ü", "Ungültiger Dateiname für ü."},
      // A signed char comparison would see a negative value here and add nothing.
      {"byte above 127", "caf\xE9", "caf\xE9."},
      {"empty", "", ""},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ErrorBoxText(c.message), c.shown) << "message: \"" << c.message << '"';
  }
}

class SilentFailure : public Exception {
 public:
  using Exception::Exception;
  bool IsSilent() const override { return true; }
};

TEST(RunGuarded, ShowsEveryFailureButTheSilentOneAndReturns) {
  struct Case {
    const char* name;
    std::function<void()> handler;
    QStringList errors;
  };
  const Case cases[] = {
      {"program exception",
       [] { throw Exception("Datei nicht gefunden"); },
       {"Datei nicht gefunden."}},
      {"silent exception", [] { throw SilentFailure("Verbindung getrennt"); }, {}},
      {"standard exception", [] { throw std::runtime_error("kaputt"); }, {"kaputt."}},
      {"unknown exception", [] { throw 42; }, {"Unbekannter Fehler."}},
      {"no failure", [] {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TScriptedDialogs dialogs;
    RunGuarded(dialogs, c.handler);
    EXPECT_EQ(dialogs.Errors, c.errors);
  }
}

TEST(RunGuarded, StopsTheHandlerAtTheFailure) {
  TScriptedDialogs dialogs;
  int steps = 0;
  RunGuarded(dialogs, [&] {
    ++steps;
    throw Exception("Abbruch");
    ++steps; // never reached
  });
  EXPECT_EQ(steps, 1);
  EXPECT_EQ(dialogs.Errors, QStringList{"Abbruch."});
}

TEST(RunGuarded, ABoxThatFailsItselfDoesNotEscape) {
  class BrokenDialogs : public TScriptedDialogs {
    void ShowError(const QString&) override { throw std::bad_alloc(); }
  } dialogs;
  RunGuarded(dialogs, [] { throw Exception("x"); });
  SUCCEED();
}

} // namespace
