#pragma once

#include <QString>
#include <optional>

// Settings of one file dialog of the window, kept apart from the dialog itself so that the
// dialogs can be replaced as a whole.
struct TFileDialogSettings {
  QString Title;        // empty: the dialog's own title
  QString Filter;       // Qt filter text, e.g. "Alle Dateien (*)"; empty: no filter
  bool OverwritePrompt; // save dialogs: ask before an existing file is replaced
};

// Every dialog the window shows goes through here. The window owns one; tests give it a
// scripted one that answers without a person.
class TDialogs {
 public:
  virtual ~TDialogs() = default;

  // Lets the user pick a local folder, starting in root (empty: the user's pictures
  // folder, else the home folder). folder is preselected when it names an existing
  // folder; on confirmation it receives the chosen path. false when cancelled.
  virtual bool BrowseForFolder(const QString& caption, const QString& root, QString& folder) = 0;

  // Asks for a file to read, presetPath selected when given. Nothing when cancelled.
  virtual std::optional<QString> OpenFile(const TFileDialogSettings& settings,
                                          const QString& presetPath = QString()) = 0;

  // Asks where to write a file, proposing presetName. Nothing when cancelled.
  virtual std::optional<QString> SaveFile(const TFileDialogSettings& settings,
                                          const QString& presetName) = 0;

  // One-line input. Cancelling gives defaultText back, so callers cannot tell a cancel
  // from an unchanged answer; they don't need to.
  virtual QString InputBox(const QString& caption, const QString& prompt,
                           const QString& defaultText) = 0;

  // Plain message with an OK button, captioned with the application title.
  virtual void ShowMessage(const QString& text) = 0;

  // A question with the buttons "Ja" and "Nein", "Ja" the default, captioned with the
  // application title; text shown as plain text. true for "Ja"; closing the box is "Nein".
  virtual bool Question(const QString& text) = 0;

  // The application's error box: stop icon, OK button, application title. text is shown
  // as given (see ErrorBoxText).
  virtual void ShowError(const QString& text) = 0;
};
