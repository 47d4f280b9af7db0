#include "QtDialogs.h"

#include "ModalAnswer.h"
#include "ScopeGuard.h"
#include "TestSupport.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

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

// A server's reply in a box is text, whatever markup it holds.
TEST_F(QtDialogs, BoxesShowPlainText) {
  const QString reply = "550 <b>Zugriff</b> verweigert: <a href=\"http://x.example/\">hier</a>";
  const std::pair<const char*, std::function<void()>> boxes[] = {
      {"error box", [&] { dialogs.ShowError(reply); }},
      {"message box", [&] { dialogs.ShowMessage(reply); }},
  };
  for (const auto& [what, show] : boxes) {
    SCOPED_TRACE(what);
    TModalAnswer answer([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->textFormat(), Qt::PlainText);
      EXPECT_EQ(box->text(), reply);
      box->button(QMessageBox::Ok)->click();
    });
    show();
    EXPECT_TRUE(answer.Answered());
  }
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

// The folder dialog opens in the user's pictures folder (XDG_PICTURES_DIR in
// user-dirs.dirs, else ~/Pictures), in the home folder only when there is none, and never
// in the program's working folder.
TEST_F(QtDialogs, FolderDialogStartsInThePicturesFolder) {
  const fs::path home = temp.Path() / "home";
  const fs::path config = temp.Path() / "config";
  struct Case {
    const char* what;
    const char* userDirs; // content of user-dirs.dirs; null: none
    const char* create;   // folder made under home; null: none
    fs::path start;
  };
  const Case cases[] = {
      {"XDG_PICTURES_DIR", "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n", "Bilder", home / "Bilder"},
      {"XDG_PICTURES_DIR of a missing folder", "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n", nullptr,
       home},
      {"no XDG_PICTURES_DIR, ~/Pictures", nullptr, "Pictures", home / "Pictures"},
      {"no pictures folder at all", nullptr, nullptr, home},
  };
  const QByteArray oldHome = qgetenv("HOME");
  const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
  TScopeGuard restore([&] {
    qputenv("HOME", oldHome);
    if (oldConfig.isNull())
      qunsetenv("XDG_CONFIG_HOME");
    else
      qputenv("XDG_CONFIG_HOME", oldConfig);
  });
  qputenv("HOME", QByteArray::fromStdString(home.string()));
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.string()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(home);
    fs::remove_all(config);
    fs::create_directories(home);
    fs::create_directories(config);
    if (c.userDirs) WriteFileBytes((config / "user-dirs.dirs").string(), c.userDirs);
    if (c.create) fs::create_directories(home / c.create);
    TModalAnswer answer([&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      ASSERT_NE(dialog, nullptr);
      EXPECT_EQ(dialog->directory().absolutePath().toStdString(), c.start.string());
      dialog->reject();
    });
    QString folder;
    EXPECT_FALSE(dialogs.BrowseForFolder("Upload-Verzeichnis wählen", "", folder));
    EXPECT_TRUE(answer.Answered());
  }
}

} // namespace
