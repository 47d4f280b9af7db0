#pragma once

#include "ScriptedDialogs.h"
#include "ScriptedFtpServer.h"
#include "StatusPanel.h"
#include "TestSupport.h"
#include "mainf.h"

#include <QAction>
#include <QCoreApplication>
#include <QListView>
#include <QMenu>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>

using Lines = std::vector<std::string>;

// Failures show texts, not UTF-16 units.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& texts, std::ostream* out) {
  *out << '{' << texts.join(QStringLiteral(" | ")).toStdString() << '}';
}

// Controls are found by the names of the layout, as the rest of the program knows them.
template <class T = QWidget> T* Find(const QObject& root, const char* name) {
  T* found = root.findChild<T*>(QString::fromLatin1(name));
  if (!found) ADD_FAILURE() << "no " << T::staticMetaObject.className() << " named " << name;
  return found;
}

inline QStringList Items(const QAbstractItemView& list) {
  QStringList items;
  const QAbstractItemModel& model = *list.model();
  for (int i = 0; i < model.rowCount(); ++i)
    items << model.index(i, 0).data().toString();
  return items;
}

inline int RowCount(const QAbstractItemView& list) {
  return list.model()->rowCount();
}

// Makes the row current and the only one highlighted, as the keyboard does; -1: none.
inline void SetCurrentRow(QAbstractItemView& list, int row) {
  list.selectionModel()->setCurrentIndex(list.model()->index(row, 0),
                                         QItemSelectionModel::ClearAndSelect);
}

// Does something once, in the middle of whatever the window is busy with: a timer looks
// every 5 ms (served by the anti-freeze while a network call waits) and acts the first time
// the condition holds. Not having acted by the end of the test is a failure.
class TOnceDuring {
 public:
  TOnceDuring(std::function<bool()> when, std::function<void()> act)
      : FWhen(std::move(when)), FAct(std::move(act)) {
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      if (FDone || !FWhen()) return;
      FDone = true;
      FTimer.stop();
      FAct();
    });
    FTimer.start(5);
  }
  ~TOnceDuring() { EXPECT_TRUE(FDone) << "the moment to act never came"; }
  bool Done() const { return FDone; }

 private:
  std::function<bool()> FWhen;
  std::function<void()> FAct;
  QTimer FTimer;
  bool FDone = false;
};

// The window built as the program does, pointed at a loopback server, with its log in a
// folder of the test's own and dialogs that answer by script.
class WindowTest : public ::testing::Test {
 protected:
  void StartWindow(int port, std::function<std::chrono::system_clock::time_point()> clock = {}) {
    // Gone first: destroying a window's anti-freeze leaves none in effect, not even a newer one.
    form.reset();
    auto scripted = std::make_unique<TScriptedDialogs>();
    dialogs = scripted.get();
    TMainFormSetup setup;
    setup.Host = "127.0.0.1";
    setup.Port = static_cast<std::uint16_t>(port);
    setup.ProgramPath = (dir / "lichtfracht").string();
    setup.Dialogs = std::move(scripted);
    setup.Clock = std::move(clock);
    setup.Tls = tls;
    setup.TlsTrustedCertificates = tlsTrusted;
    form = std::make_unique<TMainForm>(std::move(setup));
    form->show();
    QCoreApplication::processEvents();
  }
  // A scripted server for scenario, and the window pointed at it.
  void Serve(const std::string& scenario = "default",
             const TScriptedFtpServer::TSettings& settings = {}) {
    server = std::make_unique<TScriptedFtpServer>(scenario, settings);
    StartWindow(server->Port());
  }
  void TearDown() override {
    if (form && form->IdFTP1->Connected()) form->IdFTP1->Disconnect();
  }

  // Actions run to their end before trigger returns: the window is served meanwhile.
  void Trigger(const char* action) { Find<QAction>(*form, action)->trigger(); }
  void Connect() { Trigger("Verbinden1"); }
  QListView& Listing() { return *Find<QListView>(*form, "DirectoryListBox"); }
  QListView& Trace() { return *Find<QListView>(*form, "DebugListBox"); }
  QString Status() const { return form->StatusPanel(1)->text(); }
  // Selects the first listing line that ends with text.
  void Select(const QString& text) {
    const QStringList lines = Items(Listing());
    for (int i = 0; i < lines.size(); ++i)
      if (lines[i].endsWith(text)) {
        SetCurrentRow(Listing(), i);
        return;
      }
    ADD_FAILURE() << "no listing line ends with " << text.toStdString();
  }
  // Calls record after the window's own handler of each transfer's begin event.
  void OnWorkBegin(std::function<void(TWorkMode, int32_t)> record) {
    form->IdFTP1->OnWorkBegin = [this, original = form->IdFTP1->OnWorkBegin,
                                 record](TIdComponent* sender, TWorkMode mode, int32_t max) {
      original(sender, mode, max);
      record(mode, max);
    };
  }
  // "Verbinden1 Aktionen1 ..." for the menu entries that are enabled.
  QString EnabledMenus() const {
    QStringList on;
    for (const char* name : {"Verbinden1", "trennen1"})
      if (Find<QAction>(*form, name)->isEnabled()) on << name;
    for (const char* name : {"Aktionen1", "Datentransfer1"})
      if (Find<QMenu>(*form, name)->isEnabled()) on << name;
    return on.join(' ');
  }
  // Waits (at most 15 s) until the server has closed the control connection, which the
  // client notices only when it next reads from it.
  ::testing::AssertionResult WaitForServerHangUp() {
    pollfd hangUp{form->IdFTP1->SocketHandle.SocketId, POLLRDHUP, 0};
    if (::poll(&hangUp, 1, 15000) == 1) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the server kept the session open";
  }
  // The command lines the server received after the login (user, pass, type, syst).
  Lines AfterLogin() const {
    const Lines all = server->Transcript();
    return all.size() <= 4 ? Lines{} : Lines(all.begin() + 4, all.end());
  }

  TTempDir temp{"lf-window"};
  const std::filesystem::path dir = temp.Path();
  std::unique_ptr<TScriptedFtpServer> server;
  std::unique_ptr<TMainForm> form;
  TScriptedDialogs* dialogs = nullptr; // owned by form
  // FTP over TLS required by the window StartWindow makes, trusting these certificates.
  bool tls = false;
  std::string tlsTrusted;
};
