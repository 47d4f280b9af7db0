#include "ActivityLog.h"
#include "LineDelegate.h"
#include "LineListModel.h"
#include "ScrollBar.h"
#include "WindowFixture.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionProgressBar>
#include <QStyleOptionSlider>
#include <QWindow>
#include <gtest/gtest.h>
#include <map>
#include <memory>

namespace {

namespace fs = std::filesystem;

QPoint TopLeftIn(const QWidget& window, const QWidget& control) {
  return control.mapTo(&window, QPoint(0, 0));
}

class MainFormTest : public ::testing::Test {
 protected:
  // Builds the window as the program does, with its log beside program and dialogs that
  // answer by script.
  std::unique_ptr<TMainForm> Start(const fs::path& program) {
    auto scripted = std::make_unique<TScriptedDialogs>();
    dialogs = scripted.get();
    TMainFormSetup setup;
    setup.ProgramPath = program.string();
    setup.Dialogs = std::move(scripted);
    return std::make_unique<TMainForm>(std::move(setup));
  }
  std::unique_ptr<TMainForm> Start() { return Start(Program()); }

  static void ShowAndSettle(TMainForm& form) {
    form.show();
    QCoreApplication::processEvents();
  }

  fs::path Program() const { return dir / "lichtfracht"; }
  fs::path Log() const { return dir / "lichtfracht.log"; }

  TTempDir temp{"lf-mainform"};
  const fs::path dir = temp.Path();
  TGermanTime time;
  TScriptedDialogs* dialogs = nullptr; // owned by the window last started
};

// --- Layout ------------------------------------------------------------------------------

using MainFormLayout = MainFormTest;

TEST_F(MainFormLayout, WindowSizeCaptionFontAndCentring) {
  auto form = Start();
  EXPECT_EQ(form->objectName(), "MainForm");
  EXPECT_EQ(form->windowTitle(), "Lichtfracht");
  EXPECT_EQ(form->size(), QSize(700, 563));
  EXPECT_EQ(form->font().family(), "MS Sans Serif");
  EXPECT_EQ(form->font().pointSize(), 8);

  ShowAndSettle(*form);
  const QRect screen = form->screen()->availableGeometry();
  const QPoint offset = form->frameGeometry().center() - screen.center();
  EXPECT_LE(offset.manhattanLength(), 1) << "window not centred";
}

TEST_F(MainFormLayout, TopPanelControls) {
  struct Case {
    const char* name;
    QRect geometry; // width 0: sized by its text, only the position counts
    QString caption;
    bool hidden;
  };
  const Case cases[] = {
      {"dirwahl", {10, 15, 266, 25}, "Verzeichnis der Fotos wählen und veröffentlichen", false},
      {"TraceCheckBox", {283, 24, 158, 17}, "Verbindung protokollieren", true},
      {"Label4", {5, 48, 0, 0}, "lokales Verzeichnis", false},
      {"Uploaddiredit", {105, 45, 230, 21}, "", false},
      {"Label5", {345, 48, 0, 0}, "Server-Verzeichnis", true},
      {"CurrentDirEdit", {445, 45, 230, 21}, "", true},
  };
  auto form = Start();
  ShowAndSettle(*form);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QWidget* control = Find(*form, c.name);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->parentWidget()->objectName(), "Panel1");
    if (c.geometry.width() == 0)
      EXPECT_EQ(control->pos(), c.geometry.topLeft());
    else
      EXPECT_EQ(control->geometry(), c.geometry);
    EXPECT_EQ(control->property("text").toString(), c.caption);
    EXPECT_EQ(control->isHidden(), c.hidden);
    EXPECT_EQ(control->isVisible(), !c.hidden);
  }
  EXPECT_TRUE(Find<QCheckBox>(*form, "TraceCheckBox")->isChecked());
  EXPECT_FALSE(Find<QLineEdit>(*form, "Uploaddiredit")->isReadOnly()) << "the user may type";

  const QPushButton* dirwahl = Find<QPushButton>(*form, "dirwahl");
  ASSERT_FALSE(dirwahl->icon().isNull());
  EXPECT_EQ(dirwahl->iconSize(), QSize(16, 16));
  EXPECT_EQ(dirwahl->icon().pixmap(16, 16).size(), QSize(16, 16));
  EXPECT_TRUE(dirwahl->isEnabled());
}

TEST_F(MainFormLayout, CommandPanelIsHiddenWithItsButtonsInPlace) {
  struct Case {
    const char* name;
    int left;
    QString caption;
    bool hidden;
  };
  const Case cases[] = {
      {"UploadButton", 6, "Upload", true},           {"BackButton", 87, "Zurück", true},
      {"DownloadButton", 168, "Download", true},     {"DeleteButton", 249, "Löschen", true},
      {"ConnectButton", 453, "1. Verbinden", false}, {"AbortButton", 530, "Abbruch", true},
  };
  auto form = Start();
  ShowAndSettle(*form);
  const QWidget* panel = Find(*form, "CommandPanel");
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(panel->isHidden());
  EXPECT_EQ(panel->minimumHeight(), 35);
  EXPECT_EQ(panel->maximumHeight(), 35);

  QStringList childOrder;
  for (const QObject* child : panel->children())
    if (child->isWidgetType()) childOrder << child->objectName();
  EXPECT_EQ(childOrder, QStringList({"UploadButton", "BackButton", "DownloadButton", "DeleteButton",
                                     "ConnectButton", "AbortButton"}));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QPushButton* button = Find<QPushButton>(*panel, c.name);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->geometry(), QRect(c.left, 5, 75, 25));
    EXPECT_EQ(button->text(), c.caption);
    EXPECT_EQ(button->isHidden(), c.hidden);
    EXPECT_FALSE(button->isVisible()) << "nothing on the hidden panel is seen";
  }
  EXPECT_TRUE(Find<QPushButton>(*panel, "ConnectButton")->isDefault());
}

TEST_F(MainFormLayout, MemoLiesInFrontOfTheListing) {
  auto form = Start();
  ShowAndSettle(*form);
  auto* listing = Find<QListView>(*form, "DirectoryListBox");
  auto* memo = Find<QListView>(*form, "dirmemo");
  ASSERT_TRUE(listing && memo);
  EXPECT_EQ(listing->parentWidget(), memo->parentWidget());
  EXPECT_EQ(listing->geometry(), memo->geometry());
  EXPECT_TRUE(listing->isVisible());
  EXPECT_TRUE(memo->isVisible());
  const QWidget* area = listing->parentWidget();
  const QWidget* front = area->childAt(listing->geometry().center());
  EXPECT_TRUE(front == memo || memo->isAncestorOf(front)) << "the memo must cover the listing";
  EXPECT_TRUE(Items(*listing).isEmpty());
  EXPECT_TRUE(Items(*memo).isEmpty());

  // Once the memo is hidden (after a folder upload), the listing is what is seen.
  memo->hide();
  const QWidget* behind = area->childAt(listing->geometry().center());
  EXPECT_TRUE(behind == listing || listing->isAncestorOf(behind));
}

TEST_F(MainFormLayout, ListingUsesAMonospaceFallbackForLucidaConsole) {
  auto form = Start();
  const QFont font = Find<QListView>(*form, "DirectoryListBox")->font();
  EXPECT_EQ(font.family(), "Lucida Console");
  EXPECT_EQ(font.pointSize(), 10);
  EXPECT_EQ(font.styleHint(), QFont::TypeWriter);
  // What matters is that listing columns line up: narrow and wide letters take the same room.
  const QFontMetrics metrics(font);
  EXPECT_EQ(metrics.horizontalAdvance('i'), metrics.horizontalAdvance('W'))
      << "got " << QFontInfo(font).family().toStdString();
}

TEST_F(MainFormLayout, BottomStripFromProgressBarToStatusBar) {
  auto form = Start();
  ShowAndSettle(*form);
  const auto* panel1 = Find(*form, "Panel1");
  const auto* listing = Find(*form, "DirectoryListBox");
  const auto* progress = Find<QProgressBar>(*form, "ProgressBar1");
  const auto* splitter = Find<QSplitter>(*form, "Splitter1");
  const auto* trace = Find<QListView>(*form, "DebugListBox");
  const auto* status = Find<QStatusBar>(*form, "StatusBar1");
  ASSERT_TRUE(panel1 && listing && progress && splitter && trace && status);

  const int width = form->width();
  EXPECT_EQ(TopLeftIn(*form, *panel1).y(), form->menuBar()->geometry().bottom() + 1);
  EXPECT_EQ(panel1->size(), QSize(width, 71));
  // CommandPanel is hidden, so the listing follows Panel1 directly.
  EXPECT_EQ(TopLeftIn(*form, *listing).y(), TopLeftIn(*form, *panel1).y() + 71);

  EXPECT_EQ(progress->size(), QSize(width, 17));
  EXPECT_EQ(progress->minimum(), 0);
  EXPECT_EQ(progress->maximum(), 100);
  EXPECT_EQ(progress->value(), 0);
  EXPECT_EQ(TopLeftIn(*form, *progress).y(), TopLeftIn(*form, *listing).y() + listing->height());

  EXPECT_EQ(splitter->orientation(), Qt::Vertical);
  EXPECT_EQ(splitter->handleWidth(), 3);
  const QSplitterHandle* handle = splitter->handle(1);
  EXPECT_EQ(handle->cursor().shape(), Qt::SizeVerCursor);
  // Qt widens the handle by a pixel on each side for grabbing; the gap it leaves is 3.
  const int gapTop = TopLeftIn(*form, *progress).y() + 17;
  EXPECT_EQ(TopLeftIn(*form, *trace).y(), gapTop + 3);
  EXPECT_EQ(TopLeftIn(*form, *handle).y() + handle->height() / 2, gapTop + 1);

  EXPECT_EQ(trace->size(), QSize(width, 105));
  EXPECT_EQ(trace->model()->rowCount(), 0);

  EXPECT_EQ(status->height(), 19);
  EXPECT_EQ(TopLeftIn(*form, *status).y(), TopLeftIn(*form, *trace).y() + 105);
  EXPECT_EQ(TopLeftIn(*form, *status).y() + 19, form->height());

  // A bigger window gives the room to the listing; the trace list keeps its height.
  const int listingHeight = listing->height();
  form->resize(760, 663);
  QCoreApplication::processEvents();
  EXPECT_EQ(trace->height(), 105);
  EXPECT_EQ(listing->height(), listingHeight + 100);
}

TEST_F(MainFormLayout, StatusBarHasTwoEmptyPanels) {
  auto form = Start();
  ShowAndSettle(*form);
  const TStatusPanel* first = form->StatusPanel(0);
  TStatusPanel* second = form->StatusPanel(1);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->width(), 200);
  EXPECT_GT(second->mapTo(form.get(), QPoint()).x(),
            first->mapTo(form.get(), QPoint()).x() + first->width() - 1);
  EXPECT_GT(second->width(), form->width() - 200 - 40) << "the second panel takes the rest";
  EXPECT_TRUE(first->text().isEmpty());
  EXPECT_TRUE(second->text().isEmpty());
  EXPECT_EQ(form->StatusPanel(2), nullptr);

  // The panel draws its text itself; a new text moves nothing.
  const QImage empty = second->grab().toImage();
  const QRect place = second->geometry();
  second->setText("Transfer durchgeführt.");
  EXPECT_EQ(second->text(), "Transfer durchgeführt.");
  EXPECT_NE(second->grab().toImage(), empty) << "the text is drawn";
  QCoreApplication::processEvents();
  EXPECT_EQ(second->geometry(), place);

  // Texts coming faster than the panel is drawn: the last one is drawn, soon after.
  struct TDrawn : QObject {
    QString last;
    bool eventFilter(QObject* watched, QEvent* event) override {
      if (event->type() == QEvent::Paint) last = static_cast<TStatusPanel*>(watched)->text();
      return false;
    }
  } drawn;
  second->installEventFilter(&drawn);
  for (int i = 1; i <= 50; ++i) {
    second->setText("Datei " + std::to_string(i));
    QCoreApplication::processEvents();
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (drawn.last != "Datei 50" && std::chrono::steady_clock::now() < deadline)
    QCoreApplication::processEvents();
  EXPECT_EQ(drawn.last, "Datei 50");
  second->removeEventFilter(&drawn);
}

// The bar fills its share from the left in the highlight colour.
TEST_F(MainFormLayout, ProgressBarFillsItsShare) {
  auto form = Start();
  ShowAndSettle(*form);
  auto* bar = Find<QProgressBar>(*form, "ProgressBar1");
  ASSERT_NE(bar, nullptr);
  bar->setRange(0, 1000);
  const QRect contents = bar->rect().adjusted(1, 1, -1, -1); // inside the frame
  const QRgb highlight = bar->palette().color(QPalette::Highlight).rgb();
  for (const int value : {0, 250, 1000}) {
    SCOPED_TRACE(value);
    bar->setValue(value);
    const QImage image = bar->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int filled = 0;
    for (int x = 0; x < image.width(); ++x)
      filled += image.pixel(x, contents.top() + 1) == highlight;
    EXPECT_NEAR(filled, contents.width() * value / 1000, 1);
  }
}

// The lists' scroll bars draw their own handle: where the style's geometry (and so the
// mouse) has it, at either end, across or along.
TEST_F(MainFormLayout, ScrollBarDrawsItsHandleWhereTheStyleHasIt) {
  struct TOpenScrollBar : TScrollBar {
    using QScrollBar::initStyleOption;
    using TScrollBar::TScrollBar;
  };
  for (const Qt::Orientation orientation : {Qt::Vertical, Qt::Horizontal}) {
    TOpenScrollBar bar(orientation);
    bar.resize(orientation == Qt::Vertical ? QSize(16, 200) : QSize(200, 16));
    bar.setRange(0, 100);
    bar.setPageStep(20);
    const QRgb button = bar.palette().color(QPalette::Button).rgb();
    for (const int value : {0, 100}) {
      SCOPED_TRACE(testing::Message() << orientation << " at " << value);
      bar.setValue(value);
      QStyleOptionSlider option;
      bar.initStyleOption(&option);
      const auto area = [&](QStyle::SubControl part) {
        return bar.style()->subControlRect(QStyle::CC_ScrollBar, &option, part, &bar);
      };
      const QRect handle = area(QStyle::SC_ScrollBarSlider);
      const QRect groove = area(QStyle::SC_ScrollBarGroove);
      const QImage image = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
      EXPECT_EQ(image.pixel(handle.center()), button);
      const QPoint otherEnd =
          value == 0 ? groove.bottomRight() - QPoint(3, 3) : groove.topLeft() + QPoint(3, 3);
      ASSERT_FALSE(handle.contains(otherEnd));
      EXPECT_NE(image.pixel(otherEnd), button);
    }
  }
}

// A row has an index once it is shown: a line kept for the next batch is no row yet, and
// nothing lies beside or below a row.
TEST(LineListModel, IndexesOnlyShownRows) {
  TLineListModel lines;
  lines.Add("erste");
  lines.Add("zweite");
  lines.ShowPending();
  lines.Add("wartet");
  const QModelIndex first = lines.index(0);
  const struct {
    int row, column;
    QModelIndex parent;
    const char* text; // nullptr: no index
  } cases[] = {
      {0, 0, {}, "erste"}, {1, 0, {}, "zweite"}, {2, 0, {}, nullptr},    {-1, 0, {}, nullptr},
      {0, 1, {}, nullptr}, {0, -1, {}, nullptr}, {0, 0, first, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.row << "," << c.column << " child " << c.parent.isValid());
    const QModelIndex index = lines.index(c.row, c.column, c.parent);
    ASSERT_EQ(index.isValid(), c.text != nullptr);
    if (!c.text) continue;
    EXPECT_EQ(index.row(), c.row);
    EXPECT_EQ(index.model(), &lines);
    EXPECT_EQ(index.data().toString(), c.text);
  }
}

// A row of the trace list or the memo shows its text, in the colours of a selected or an
// unselected row.
TEST_F(MainFormLayout, LineListRowsShowTheirText) {
  QListView view;
  TLineListModel lines;
  TLineDelegate drawing;
  view.setModel(&lines);
  view.setItemDelegate(&drawing);
  view.resize(160, 100);
  view.setFocusPolicy(Qt::NoFocus); // no focus frame over the selected row
  for (const char* line : {"kurz", "gewählt"})
    lines.Add(line);
  lines.ShowPending();
  view.setCurrentIndex(lines.index(1));
  view.show();
  QCoreApplication::processEvents();
  const QImage image = view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const auto count = [&](int row, QPalette::ColorRole role) {
    const QRect area = view.visualRect(lines.index(row)) & image.rect();
    const QRgb colour =
        view.palette()
            .color(view.isActiveWindow() ? QPalette::Active : QPalette::Inactive, role)
            .rgb();
    int found = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
      for (int x = area.left(); x <= area.right(); ++x)
        found += image.pixel(x, y) == colour;
    return found;
  };
  const int rowArea =
      view.visualRect(lines.index(1)).width() * view.visualRect(lines.index(1)).height();
  EXPECT_GT(count(0, QPalette::Text), 0);
  EXPECT_EQ(count(0, QPalette::Highlight), 0);
  // The selected row: on the highlight, its text in another colour than an unselected one.
  EXPECT_GT(count(1, QPalette::Highlight), rowArea / 2);
  EXPECT_LT(count(1, QPalette::Highlight), rowArea);
  EXPECT_EQ(count(1, QPalette::Text), 0);
}

// --- Menu ----------------------------------------------------------------------------------

using MainFormMenu = MainFormTest;

QStringList Items(const QMenu& menu) {
  QStringList items;
  for (const QAction* action : menu.actions())
    items << action->objectName() + (action->isSeparator() ? " -" : " " + action->text());
  return items;
}

TEST_F(MainFormMenu, MenusItemsAndCaptions) {
  auto form = Start();
  const QMenuBar* bar = Find<QMenuBar>(*form, "MainMenu1");
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(form->menuBar(), bar);
  QStringList menus;
  for (const QAction* action : bar->actions())
    menus << (action->menu() ? action->menu()->objectName() : "?") + " " + action->text();
  EXPECT_EQ(menus,
            QStringList({"Datei1 &Datei", "Aktionen1 &Aktionen", "Datentransfer1 &Datentransfer"}));

  EXPECT_EQ(
      Items(*Find<QMenu>(*form, "Datei1")),
      QStringList({"Verbinden1 &Verbinden", "trennen1 &Trennen", "N3 -", "Beenden1 &Beenden"}));
  EXPECT_EQ(Items(*Find<QMenu>(*form, "Aktionen1")),
            QStringList({"Verzeichnisebenehher1 eine &Verzeichnisebene höher",
                         "Verzeichniserstellen1 Verzeichnis &erstellen", "N4 -",
                         "Dateilschen1 &Datei löschen"}));
  EXPECT_EQ(Items(*Find<QMenu>(*form, "Datentransfer1")),
            QStringList({"DateiDownload1 &Datei-Download", "DateiUpload1 Datei-&Upload", "N2 -",
                         "VerzeichnisUpload1 Verzeichnis-U&pload", "N6 -",
                         "DownloadnachListe1 &Download nach Liste"}));
}

TEST_F(MainFormMenu, OnlyDateiIsUsableAtStart) {
  auto form = Start();
  struct Case {
    const char* menu;
    bool enabled;
  };
  for (const Case c :
       {Case{"Datei1", true}, Case{"Aktionen1", false}, Case{"Datentransfer1", false}}) {
    SCOPED_TRACE(c.menu);
    const QMenu* menu = Find<QMenu>(*form, c.menu);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->isEnabled(), c.enabled);
    EXPECT_EQ(menu->menuAction()->isEnabled(), c.enabled) << "as the menu bar shows it";
  }
  EXPECT_TRUE(Find<QAction>(*form, "Verbinden1")->isEnabled());
  EXPECT_FALSE(Find<QAction>(*form, "trennen1")->isEnabled());
  EXPECT_TRUE(Find<QAction>(*form, "Beenden1")->isEnabled());
  // The two disabled menus are switched as a whole; their items have no state of their own.
  for (const char* menu : {"Aktionen1", "Datentransfer1"})
    for (const QAction* item : Find<QMenu>(*form, menu)->actions())
      EXPECT_TRUE(item->isEnabled()) << item->objectName().toStdString();
}

// --- State and EnableCommands ---------------------------------------------------------------

using MainFormCommands = MainFormTest;

const char* const CommandButtons[] = {"UploadButton", "BackButton", "DownloadButton",
                                      "DeleteButton", "ConnectButton"};

// Enabled state of everything outside CommandPanel, to see that nothing else changes.
std::map<QString, bool> EnabledOutsideCommandPanel(const TMainForm& form) {
  std::map<QString, bool> states;
  const QWidget* panel = Find(form, "CommandPanel");
  for (const QWidget* w : form.findChildren<QWidget*>())
    if (w != panel && !panel->isAncestorOf(w) && !w->objectName().isEmpty())
      states["widget " + w->objectName()] = w->isEnabled();
  for (const QAction* a : form.findChildren<QAction*>())
    states["action " + a->objectName() + a->text()] = a->isEnabled();
  return states;
}

TEST_F(MainFormCommands, StartsWithEmptyStateAndTheCommandsDisabled) {
  auto form = Start();
  EXPECT_FALSE(form->AbortRequested);
  EXPECT_FALSE(form->TransferActive);
  EXPECT_EQ(form->ExpectedSize, 0u);
  EXPECT_EQ(form->TransferStart.time_since_epoch().count(), 0);
  EXPECT_TRUE(form->UploadFileName.empty());
  EXPECT_TRUE(form->DownloadListFile.empty());
  EXPECT_TRUE(form->DownloadFilter.empty());
  EXPECT_EQ(form->LogFileName, Log().string());
  EXPECT_EQ(TransferRate, 0.0);
  EXPECT_EQ(form->UploadOpenDialog1.Title, "Upload file....");
  EXPECT_EQ(form->UploadOpenDialog1.Filter, "Alle Dateien (*)");
  EXPECT_TRUE(form->SaveDialog1.OverwritePrompt);

  for (const char* name : CommandButtons)
    EXPECT_FALSE(Find(*form, name)->isEnabled()) << name;
  EXPECT_TRUE(Find(*form, "AbortButton")->isEnabled()) << "FormCreate must not touch it";
}

TEST_F(MainFormCommands, EnableCommandsSwitchesThePanelButNotAbortButton) {
  auto form = Start();
  QWidget* abort = Find(*form, "AbortButton");
  const auto outside = EnabledOutsideCommandPanel(*form);

  abort->setEnabled(false);
  form->EnableCommands(true);
  for (const char* name : CommandButtons)
    EXPECT_TRUE(Find(*form, name)->isEnabled()) << name;
  EXPECT_FALSE(abort->isEnabled());
  EXPECT_EQ(EnabledOutsideCommandPanel(*form), outside);

  abort->setEnabled(true);
  form->EnableCommands(false);
  for (const char* name : CommandButtons)
    EXPECT_FALSE(Find(*form, name)->isEnabled()) << name;
  EXPECT_TRUE(abort->isEnabled());
  EXPECT_TRUE(abort->isHidden()) << "its visibility belongs to the transfer";
  EXPECT_EQ(EnabledOutsideCommandPanel(*form), outside);
}

TEST_F(MainFormCommands, NetworkComponentsCarryTheirStoredSettings) {
  auto scripted = std::make_unique<TScriptedDialogs>();
  TMainFormSetup setup;
  setup.ProgramPath = Program().string();
  setup.Dialogs = std::move(scripted);
  setup.Host = "127.0.0.1";
  setup.Port = 2121;
  TMainForm form(std::move(setup));
  TIdFTP& ftp = *form.IdFTP1;
  EXPECT_EQ(ftp.Host, "127.0.0.1");
  EXPECT_EQ(ftp.Port, 2121);
  EXPECT_FALSE(ftp.Passive);
  EXPECT_EQ(ftp.Intercept(), form.IdLogDebug1.get());
  EXPECT_TRUE(ftp.InterceptEnabled());
  EXPECT_EQ(ftp.RecvBufferSize(), 8192);
  EXPECT_EQ(ftp.SendBufferSize, 1024);
  EXPECT_EQ(ftp.SocksInfo.Version, svNoSocks);
  EXPECT_FALSE(ftp.Connected());
  EXPECT_TRUE(form.IdLogDebug1->Active()) << "switched on by FormCreate";
  EXPECT_EQ(form.IdLogDebug1->Target(), ltDebugOutput);
  EXPECT_TRUE(form.IdLogDebug1->LogTime);
  EXPECT_EQ(TIdAntiFreezeBase::CurrentAntiFreeze(), form.IdAntiFreeze1.get());
  EXPECT_EQ(form.IdAntiFreeze1->IdleTimeOut, 50);
  EXPECT_FALSE(form.IdAntiFreeze1->OnlyWhenIdle);
  EXPECT_TRUE(form.IdAntiFreeze1->Active);
  EXPECT_TRUE(form.IdAntiFreeze1->ApplicationHasPriority);
}

// --- Log records at start and close ---------------------------------------------------------

using MainFormLog = MainFormTest;

std::string StartRecord(const std::string& t) {
  return ActivityRecord::Start(t);
}
std::string CloseRecord(const std::string& t) {
  return ActivityRecord::Close(t);
}

TEST_F(MainFormLog, FirstStartCreatesTheLogWithTheStartRecord) {
  ASSERT_FALSE(fs::exists(Log()));
  std::unique_ptr<TMainForm> form;
  ExpectAppends(
      Log(), time, [&] { form = Start(); }, StartRecord);
  EXPECT_TRUE(dialogs->Calls.isEmpty()) << dialogs->Calls.join('\n').toStdString();
}

TEST_F(MainFormLog, TwoRunsLeaveFourRecords) {
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    std::unique_ptr<TMainForm> form;
    ExpectAppends(
        Log(), time, [&] { form = Start(); }, StartRecord);
    ShowAndSettle(*form);
    ExpectAppends(
        Log(), time, [&] { form->close(); }, CloseRecord);
    EXPECT_FALSE(form->isVisible());
  }
  int emptyLines = 0;
  std::istringstream lines(ReadFile(Log()));
  for (std::string line; std::getline(lines, line);)
    if (line == "\r") ++emptyLines;
  EXPECT_EQ(emptyLines, 4);
}

TEST_F(MainFormLog, EveryWayOfClosingWritesTheCloseRecord) {
  const std::pair<const char*, std::function<void(TMainForm&)>> ways[] = {
      // What the window system does for the close box or the system menu.
      {"close box", [](TMainForm& f) { f.windowHandle()->close(); }},
      {"Beenden", [](TMainForm& f) { Find<QAction>(f, "Beenden1")->trigger(); }},
      {"close()", [](TMainForm& f) { f.close(); }},
  };
  for (const auto& [way, close] : ways) {
    SCOPED_TRACE(way);
    auto form = Start();
    ShowAndSettle(*form);
    ASSERT_NE(form->windowHandle(), nullptr);
    ExpectAppends(
        Log(), time, [&] { close(*form); }, CloseRecord);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(dialogs->Calls.isEmpty()) << dialogs->Calls.join('\n').toStdString();
  }
}

TEST_F(MainFormLog, ADeletedLogFailsTheCloseRecordAndTheWindowClosesAnyway) {
  auto form = Start();
  ShowAndSettle(*form);
  fs::remove(Log());
  Find<QAction>(*form, "Beenden1")->trigger();
  EXPECT_EQ(dialogs->Errors, QStringList{"Datei nicht gefunden."});
  EXPECT_FALSE(form->isVisible());
  EXPECT_FALSE(fs::exists(Log())) << "the close record must not create the file";
}

TEST_F(MainFormLog, AMissingLogFolderIsReportedAndTheWindowStillOpens) {
  auto form = Start(dir / "fehlt" / "lichtfracht");
  EXPECT_EQ(dialogs->Errors, QStringList{"Datei nicht gefunden."});
  EXPECT_EQ(form->LogFileName, (dir / "fehlt" / "lichtfracht.log").string());
  for (const char* name : CommandButtons)
    EXPECT_FALSE(Find(*form, name)->isEnabled()) << name << ": steps before the failure ran";
  ShowAndSettle(*form);
  EXPECT_TRUE(form->isVisible());

  form->close(); // the close record fails the same way; the window closes all the same
  EXPECT_EQ(dialogs->Errors, QStringList({"Datei nicht gefunden.", "Datei nicht gefunden."}));
  EXPECT_FALSE(form->isVisible());
}

TEST_F(MainFormLog, LogGoesBesideTheProgramFile) {
  auto form = Start(dir / "tool.bin");
  EXPECT_EQ(form->LogFileName, (dir / "tool.log").string());
  EXPECT_TRUE(fs::exists(dir / "tool.log"));
}

TEST_F(MainFormLog, WithoutAProgramPathTheRunningProgramIsUsed) {
  const std::string program = QCoreApplication::applicationFilePath().toLocal8Bit().toStdString();
  const fs::path log = LogFileNameFor(program);
  const bool existed = fs::exists(log);
  {
    TMainFormSetup setup;
    setup.Dialogs = std::make_unique<TScriptedDialogs>();
    TMainForm form(std::move(setup));
    EXPECT_EQ(form.LogFileName, log.string());
  }
  EXPECT_TRUE(fs::exists(log));
  if (!existed) fs::remove(log);
}

} // namespace
