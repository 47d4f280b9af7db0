#pragma once

#include "Dialogs.h"

#include <QStringList>
#include <deque>
#include <gtest/gtest.h>
#include <optional>

// Dialogs that answer from a script instead of a person. Every call is recorded as one
// line ("ShowError: Datei nicht gefunden."); a question without a scripted answer fails
// the test and is answered as cancelled.
class TScriptedDialogs : public TDialogs {
 public:
  QStringList Calls;
  QStringList Errors;   // texts of the error boxes, in order
  QStringList Messages; // texts of the plain message boxes

  std::deque<std::optional<QString>> FolderAnswers; // nullopt: cancelled
  std::deque<std::optional<QString>> FileAnswers;   // open and save dialogs
  std::deque<std::optional<QString>> InputAnswers;  // nullopt: cancelled
  std::deque<bool> QuestionAnswers;                 // true: "Ja"

  bool BrowseForFolder(const QString& caption, const QString& root, QString& folder) override {
    Calls << QStringLiteral("BrowseForFolder: %1 | %2 | %3").arg(caption, root, folder);
    const std::optional<QString> answer = Next(FolderAnswers, "BrowseForFolder");
    if (!answer) return false;
    folder = *answer;
    return true;
  }

  std::optional<QString> OpenFile(const TFileDialogSettings& settings,
                                  const QString& presetPath = QString()) override {
    Calls << QStringLiteral("OpenFile: %1 | %2 | %3")
                 .arg(settings.Title, settings.Filter, presetPath);
    return Next(FileAnswers, "OpenFile");
  }

  std::optional<QString> SaveFile(const TFileDialogSettings& settings,
                                  const QString& presetName) override {
    Calls << QStringLiteral("SaveFile: %1 | %2").arg(settings.Title, presetName);
    return Next(FileAnswers, "SaveFile");
  }

  QString InputBox(const QString& caption, const QString& prompt,
                   const QString& defaultText) override {
    Calls << QStringLiteral("InputBox: %1 | %2 | %3").arg(caption, prompt, defaultText);
    return Next(InputAnswers, "InputBox").value_or(defaultText);
  }

  void ShowMessage(const QString& text) override {
    Calls << QStringLiteral("ShowMessage: %1").arg(text);
    Messages << text;
  }

  bool Question(const QString& text) override {
    Calls << QStringLiteral("Question: %1").arg(text);
    if (QuestionAnswers.empty()) {
      ADD_FAILURE() << "Question asked without a scripted answer";
      return false;
    }
    const bool answer = QuestionAnswers.front();
    QuestionAnswers.pop_front();
    return answer;
  }

  void ShowError(const QString& text) override {
    Calls << QStringLiteral("ShowError: %1").arg(text);
    Errors << text;
  }

 private:
  static std::optional<QString> Next(std::deque<std::optional<QString>>& answers,
                                     const char* what) {
    if (answers.empty()) {
      ADD_FAILURE() << what << " asked without a scripted answer";
      return std::nullopt;
    }
    // Swapped out rather than copied: GCC's optimiser takes a copied optional<QString>
    // for uninitialised.
    std::optional<QString> answer;
    answer.swap(answers.front());
    answers.pop_front();
    return answer;
  }
};
