#pragma once

#include "Dialogs.h"

#include <QString>

class QWidget;

// The dialogs of the real program, built on Qt's own. All are modal to the window.
class TQtDialogs : public TDialogs {
 public:
  // owner: the window the dialogs belong to; it must outlive this object.
  explicit TQtDialogs(QWidget* owner) : FOwner(owner) {}

  bool BrowseForFolder(const QString& caption, const QString& root, QString& folder) override;
  std::optional<QString> OpenFile(const TFileDialogSettings& settings,
                                  const QString& presetPath = QString()) override;
  std::optional<QString> SaveFile(const TFileDialogSettings& settings,
                                  const QString& presetName) override;
  QString InputBox(const QString& caption, const QString& prompt,
                   const QString& defaultText) override;
  void ShowMessage(const QString& text) override;
  bool Question(const QString& text) override;
  void ShowError(const QString& text) override;

  // Where the folder dialog opens when given no root: the user's pictures folder, else
  // the home folder.
  static QString PicturesFolder();

 private:
  QWidget* FOwner;
};
