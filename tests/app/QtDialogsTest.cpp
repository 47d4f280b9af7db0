#include "QtDialogs.h"

#include "ModalAnswer.h"
#include "TestSupport.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

// The real dialogs, opened offscreen and answered by a timer.
class QtDialogs : public ::testing::Test {
 protected:
  QWidget owner;
  TQtDialogs dialogs{&owner};
  TTempDir temp{"lf-dialogs"};
};

TEST_F(QtDialogs, ErrorBoxHasStopIconOkAndTheApplicationTitle) {
  TModalAnswer answer([](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(box->windowTitle(), "Lichtfracht");
    EXPECT_EQ(box->text(), "Datei nicht gefunden.");
    box->button(QMessageBox::Ok)->click();
  });
  dialogs.ShowError("Datei nicht gefunden.");
  EXPECT_TRUE(answer.Answered());
}

TEST_F(QtDialogs, MessageBoxIsPlainWithOk) {
  TModalAnswer answer([](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(box->windowTitle(), "Lichtfracht");
    EXPECT_EQ(box->text(), "Upload der Fotos durchgeführt!");
    box->button(QMessageBox::Ok)->click();
  });
  dialogs.ShowMessage("Upload der Fotos durchgeführt!");
  EXPECT_TRUE(answer.Answered());
}

// "Ja" and "Nein" whatever translations are installed, "Ja" the default; names with
// markup characters shown as they are.
TEST_F(QtDialogs, QuestionBoxAsksJaOrNein) {
  const QString text = "Fortsetzen in <b>/Fotos & Co</b>?";
  TModalAnswer answer([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    EXPECT_EQ(box->windowTitle(), "Lichtfracht");
    EXPECT_EQ(box->text(), text);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->defaultButton()->text(), "Ja");
    box->button(QMessageBox::No)->click();
  });
  EXPECT_FALSE(dialogs.Question(text));
  EXPECT_TRUE(answer.Answered());
}

TEST_F(QtDialogs, InputBoxGivesTheAnswerOrTheDefaultWhenCancelled) {
  {
    TModalAnswer answer([](QWidget* modal) {
      auto* input = qobject_cast<QInputDialog*>(modal);
      ASSERT_NE(input, nullptr);
      EXPECT_EQ(input->windowTitle(), "Make new directory");
      EXPECT_EQ(input->labelText(), "Name");
      EXPECT_EQ(input->textValue(), "vorgabe");
      input->setTextValue("Größe");
      input->reject();
    });
    EXPECT_EQ(dialogs.InputBox("Make new directory", "Name", "vorgabe"), "vorgabe");
    EXPECT_TRUE(answer.Answered());
  }
  {
    TModalAnswer answer([](QWidget* modal) {
      auto* input = qobject_cast<QInputDialog*>(modal);
      ASSERT_NE(input, nullptr);
      input->setTextValue("Größe");
      input->accept();
    });
    EXPECT_EQ(dialogs.InputBox("Make new directory", "Name", ""), "Größe");
    EXPECT_TRUE(answer.Answered());
  }
}

TEST_F(QtDialogs, OpenDialogShowsItsTitleAndFilterAndGivesThePath) {
  const QString file = QString::fromStdString((temp.Path() / "bild01.jpg").string());
  { std::ofstream(file.toStdString()) << "x"; }
  const TFileDialogSettings settings{"Upload file....", "Alle Dateien (*)", false};
  TModalAnswer answer([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Upload file....");
    EXPECT_EQ(dialog->nameFilters(), QStringList{"Alle Dateien (*)"});
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
    dialog->selectFile(file);
    static_cast<QDialog*>(dialog)->accept(); // QFileDialog hides it
  });
  EXPECT_EQ(dialogs.OpenFile(settings), file);
  EXPECT_TRUE(answer.Answered());
}

TEST_F(QtDialogs, SaveDialogProposesTheNameAndAsksBeforeOverwriting) {
  const TFileDialogSettings settings{QString(), QString(), true};
  TModalAnswer answer([](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
    ASSERT_FALSE(dialog->selectedFiles().isEmpty());
    EXPECT_TRUE(dialog->selectedFiles().front().endsWith("/liste.txt"))
        << dialog->selectedFiles().front().toStdString();
    dialog->reject();
  });
  EXPECT_EQ(dialogs.SaveFile(settings, "liste.txt"), std::nullopt);
  EXPECT_TRUE(answer.Answered());
}

TEST_F(QtDialogs, FolderDialogGivesTheChosenFolder) {
  const QString chosen = QString::fromStdString(temp.Path().string());
  TModalAnswer answer([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Upload-Verzeichnis wählen");
    EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
    dialog->selectFile(chosen);
    static_cast<QDialog*>(dialog)->accept(); // QFileDialog hides it
  });
  QString folder;
  EXPECT_TRUE(dialogs.BrowseForFolder("Upload-Verzeichnis wählen", "", folder));
  EXPECT_EQ(folder, chosen);
  EXPECT_TRUE(answer.Answered());
}

TEST_F(QtDialogs, FolderDialogCancelledForgetsAFolderThatDoesNotExist) {
  TModalAnswer answer([](QWidget* modal) {
    auto* dialog = qobject_cast<QDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    dialog->reject();
  });
  QString folder = QString::fromStdString((temp.Path() / "gibt-es-nicht").string());
  EXPECT_FALSE(dialogs.BrowseForFolder("Upload-Verzeichnis wählen", "", folder));
  EXPECT_TRUE(folder.isEmpty());
  EXPECT_TRUE(answer.Answered());
}

} // namespace
