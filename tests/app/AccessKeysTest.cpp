#include "WindowFixture.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

namespace {

// Alt+letter and letters in open menus, as a user types them at the window.
class AccessKeys : public WindowTest {
 protected:
  void SetUp() override {
    Serve();
    WriteFileBytes(server->Root() + "/foto.jpg", std::string(40000, 'x'));
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  }
  // Each key goes where the keyboard is: the open menu, else the focused widget.
  void Type(const QString& keys) {
    for (const QString& key : keys.split(' ')) {
      QWidget* target = QApplication::activePopupWidget();
      if (!target) target = QApplication::focusWidget();
      if (!target) target = form.get();
      if (key == "Esc")
        QTest::keyClick(target, Qt::Key_Escape);
      else if (key == "Return")
        QTest::keyClick(target, Qt::Key_Return);
      else if (key.startsWith("Alt+"))
        QTest::keyClick(target, key.at(4).toLatin1(), Qt::AltModifier);
      else
        QTest::keyClick(target, key.at(0).toLatin1());
    }
  }
  // The open menu and its highlighted item: "Datentransfer1 DateiDownload1"; "" for none.
  QString Open() const {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return QString();
    QString open = menu->objectName();
    if (menu->activeAction()) open += ' ' + menu->activeAction()->objectName();
    return open;
  }
  // Closes the open menu and leaves the bar.
  void Close() {
    while (QApplication::activePopupWidget())
      Type("Esc");
    if (Find<QMenuBar>(*form, "MainMenu1")->hasFocus()) Type("Esc");
  }
};

TEST_F(AccessKeys, AltLetterOpensTheFirstEnabledMenuAndTheLetterMovesOn) {
  struct Step {
    const char* keys;
    const char* open;
  };
  const Step before[] = {
      {"Alt+D", "Datei1"},   {"Alt+D", "Datei1"}, // the same menu every time
      {"Alt+D D", "Datei1"},                      // "&Datentransfer" is disabled
      {"Alt+A", ""},                              // "&Aktionen" is disabled
      {"Alt+D T", "Datei1"},                      // "&Trennen" is disabled: nothing happens
  };
  const Step connected[] = {
      {"Alt+D", "Datei1"},
      {"Alt+D", "Datei1"},
      {"Alt+D D", "Datentransfer1"},
      // Items sharing a letter: highlighted in turn, none triggered.
      {"Alt+D D D", "Datentransfer1 DateiDownload1"},
      {"Alt+D D D D", "Datentransfer1 DownloadnachListe1"},
      {"Alt+D D D D D", "Datentransfer1 DateiDownload1"},
      {"Alt+A", "Aktionen1"},
      {"Alt+A D", "Aktionen1"}, // "&Datei löschen" is highlighted and chosen
  };
  for (const auto& [steps, when] :
       {std::pair{std::vector<Step>(std::begin(before), std::end(before)), "before connecting"},
        std::pair{std::vector<Step>(std::begin(connected), std::end(connected)), "connected"}}) {
    if (std::string(when) == "connected") Connect();
    for (const Step& step : steps) {
      SCOPED_TRACE(testing::Message() << when << ": " << step.keys);
      if (std::string(step.keys) == "Alt+A D") {
        // Choosing "&Datei löschen" with nothing highlighted fails before anything is sent.
        Type("Alt+A D");
        EXPECT_EQ(Open(), "");
        EXPECT_EQ(dialogs->Errors, QStringList{"Listenindex überschreitet das Maximum (-1)"});
        continue;
      }
      Type(step.keys);
      EXPECT_EQ(Open(), step.open);
      Close();
    }
  }
  EXPECT_EQ(server->Transcript().size(), 8u) << "login and the first listing only";
}

TEST_F(AccessKeys, AltDThenBQuits) {
  for (const bool connected : {false, true}) {
    SCOPED_TRACE(connected ? "connected" : "before connecting");
    if (connected) {
      Serve();
      form->activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
      Connect();
    }
    Type("Alt+D B");
    EXPECT_FALSE(form->isVisible());
  }
}

TEST_F(AccessKeys, AltDThenTDisconnectsDuringATransfer) {
  Serve("default", {{"data_chunk_size", "1024"}, {"data_chunk_delay", "0.05"}});
  WriteFileBytes(server->Root() + "/foto.jpg", std::string(40000, 'x'));
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  Connect();
  QString open;
  {
    TOnceDuring during([&] { return form->TransferActive; },
                       [&] {
                         Type("Alt+D");
                         open = Open();
                         Type("T");
                       });
    dialogs->FileAnswers.push_back(QString::fromStdString((dir / "foto.jpg").string()));
    Select("foto.jpg");
    Trigger("DateiDownload1");
  }
  EXPECT_EQ(open, "Datei1");
  ASSERT_TRUE(server->WaitForTranscriptLine("Quit"));
  const Lines sent = server->Transcript();
  EXPECT_EQ(Lines(sent.end() - 2, sent.end()), (Lines{"ABOR", "Quit"}));
  EXPECT_FALSE(form->IdFTP1->Connected());
}

} // namespace
