#include "QtDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>

namespace {

std::optional<QString> RunFileDialog(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return files.front();
}

void ConfigureFileDialog(QFileDialog& dialog, const TFileDialogSettings& settings) {
  if (!settings.Title.isEmpty()) dialog.setWindowTitle(settings.Title);
  if (!settings.Filter.isEmpty()) dialog.setNameFilter(settings.Filter);
}

void ShowBox(QWidget* owner, QMessageBox::Icon icon, const QString& text) {
  QMessageBox box(icon, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok, owner);
  // The text may carry a server's reply; markup in it ("550 <b>...</b> <a href=...>") is
  // shown as the characters it is, never rendered or followed.
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

} // namespace

QString TQtDialogs::PicturesFolder() {
  // The user's pictures folder (XDG_PICTURES_DIR in user-dirs.dirs, else ~/Pictures) is
  // where photos are; the home folder only when there is none. Never the program's working
  // folder: one Return there would publish whatever it holds.
  const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  if (!pictures.isEmpty() && QFileInfo(pictures).isDir()) return pictures;
  return QDir::homePath();
}

bool TQtDialogs::BrowseForFolder(const QString& caption, const QString& root, QString& folder) {
  if (!QFileInfo(folder).isDir()) folder.clear();
  QFileDialog dialog(FOwner, caption);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setDirectory(root.isEmpty() ? PicturesFolder() : root);
  if (!folder.isEmpty()) dialog.selectFile(folder);
  const std::optional<QString> chosen = RunFileDialog(dialog);
  if (!chosen) return false;
  folder = *chosen;
  return true;
}

std::optional<QString> TQtDialogs::OpenFile(const TFileDialogSettings& settings,
                                            const QString& presetPath) {
  QFileDialog dialog(FOwner);
  ConfigureFileDialog(dialog, settings);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (!presetPath.isEmpty()) dialog.selectFile(presetPath);
  return RunFileDialog(dialog);
}

std::optional<QString> TQtDialogs::SaveFile(const TFileDialogSettings& settings,
                                            const QString& presetName) {
  QFileDialog dialog(FOwner);
  ConfigureFileDialog(dialog, settings);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !settings.OverwritePrompt);
  dialog.selectFile(presetName);
  return RunFileDialog(dialog);
}

QString TQtDialogs::InputBox(const QString& caption, const QString& prompt,
                             const QString& defaultText) {
  QInputDialog dialog(FOwner);
  dialog.setInputMode(QInputDialog::TextInput);
  dialog.setWindowTitle(caption);
  dialog.setLabelText(prompt);
  dialog.setTextValue(defaultText);
  if (dialog.exec() != QDialog::Accepted) return defaultText;
  return dialog.textValue();
}

void TQtDialogs::ShowMessage(const QString& text) {
  ShowBox(FOwner, QMessageBox::NoIcon, text);
}

bool TQtDialogs::Question(const QString& text) {
  QMessageBox box(QMessageBox::Question, QGuiApplication::applicationDisplayName(), text,
                  QMessageBox::Yes | QMessageBox::No, FOwner);
  // The texts are set here rather than left to Qt's translations, which may be missing.
  box.button(QMessageBox::Yes)->setText(QStringLiteral("Ja"));
  box.button(QMessageBox::No)->setText(QStringLiteral("Nein"));
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::No);
  // Folder and file names may hold "<" or "&": shown as they are, never as markup.
  box.setTextFormat(Qt::PlainText);
  return box.exec() == QMessageBox::Yes;
}

void TQtDialogs::ShowError(const QString& text) {
  ShowBox(FOwner, QMessageBox::Critical, text);
}
