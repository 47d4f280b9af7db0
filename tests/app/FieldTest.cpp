// Publishing runs through the window against servers as photographers meet them: behind
// NAT routers the server cannot reach the computer, and message files fill the replies.
#include "WindowFixture.h"

#include <QPushButton>
#include <set>

namespace {

namespace fs = std::filesystem;

class FieldPublishing : public WindowTest {};

TEST_F(FieldPublishing, CompletesWhereActiveModeCannotWork) {
  struct Case {
    const char* scenario;
    bool passive; // the run went passive
  };
  const Case cases[] = {
      {"port_illegal", true},        {"never_connect", true},     {"port_hang", true},
      {"data_from_elsewhere", true}, {"proftpd_messages", false},
  };
  const fs::path photos = dir / "Fotos";
  fs::create_directories(photos);
  WriteFileBytes((photos / "a.jpg").string(), "aaaa");
  WriteFileBytes((photos / "b.jpg").string(), std::string(200000, 'b'));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scenario);
    Serve(c.scenario);
    form->IdFTP1->FirstAcceptTimeOut = 300;
    dialogs->FolderAnswers.push_back(QString::fromStdString(photos.string()));
    Find<QPushButton>(*form, "dirwahl")->click();
    EXPECT_TRUE(dialogs->Errors.isEmpty()) << dialogs->Errors.join('\n').toStdString();
    EXPECT_EQ(dialogs->Messages.size(), 1);
    EXPECT_FALSE(form->isVisible()) << "the run ended as designed";
    // Exactly the photos, in the one dated folder.
    std::set<std::string> folders;
    for (const auto& entry : fs::directory_iterator(server->Root()))
      folders.insert(entry.path().filename().string());
    ASSERT_EQ(folders.size(), 1u);
    const fs::path remote = fs::path(server->Root()) / *folders.begin();
    EXPECT_EQ(ReadFileBytes((remote / "a.jpg").string()), "aaaa");
    EXPECT_EQ(ReadFileBytes((remote / "b.jpg").string()), std::string(200000, 'b'));
    EXPECT_EQ(form->IdFTP1->UsesPassive(), c.passive);
    const QStringList trace = Items(Trace());
    EXPECT_EQ(trace.filter(QStringLiteral("weiter im passiven Modus")).size(), c.passive ? 1 : 0);
  }
}

} // namespace
