#include "mainf.h"

#include "ActivityLog.h"
#include "LineDelegate.h"
#include "LineListModel.h"
#include "ListingModel.h"
#include "LogLocation.h"
#include "MenuAccessKeys.h"
#include "QtDialogs.h"
#include "ScrollBar.h"
#include "StatusPanel.h"
#include "ui_mainf.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QStyle>

double TransferRate = 0;

namespace {

constexpr int StatusBarHeight = 19;
constexpr int FirstStatusPanelWidth = 200;
constexpr int DebugListBoxHeight = 105;

// The picture on dirwahl: a folder with an arrow pointing up, out of it.
// clang-format off
const char* const DirwahlPicture[] = {
    "16 16 6 1",
    "  c None",
    ". c #000000",
    "w c #FFFFFF",
    "y c #FFFF00",
    "o c #808000",
    "b c #0000FF",
    "          b     ",
    "         bbb    ",
    "        bbbbb   ",
    "       bbbbbbb  ",
    "         bbb    ",
    "  ....   bbb    ",
    " .wyyw.  bbb    ",
    ".wyyyyw.........",
    ".wyyyyyyyyyyyyo.",
    ".yyyyyyyyyyyyyo.",
    ".yyyyyyyyyyyyyo.",
    ".yyyyyyyyyyyyyo.",
    ".yyyyyyyyyyyyyo.",
    ".ooooooooooooooo",
    "................",
    "                ",
};
// clang-format on

// The layout was drawn for "MS Sans Serif" 8 pt, which Linux systems don't have. The
// faces listed have about its proportions; the wider default sans face would push the
// captions out of their controls (dirwahl's caption, "lokales Verzeichnis").
void SubstituteWindowFont() {
  QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                             {QStringLiteral("Microsoft Sans Serif"),
                              QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                              QStringLiteral("Nimbus Sans"), QStringLiteral("Arial"),
                              QStringLiteral("Helvetica")});
}

std::string RunningProgramPath() {
  return QCoreApplication::applicationFilePath().toLocal8Bit().toStdString();
}

} // namespace

TMainForm::TMainForm(TMainFormSetup setup, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TMainForm>()),
      FDialogs(setup.Dialogs ? std::move(setup.Dialogs) : std::make_unique<TQtDialogs>(this)),
      FHost(std::move(setup.Host)), FPort(setup.Port), FTls(setup.Tls),
      FTlsTrustedCertificates(std::move(setup.TlsTrustedCertificates)),
      FProgramPath(setup.ProgramPath.empty() ? RunningProgramPath() : std::move(setup.ProgramPath)),
      FClock(setup.Clock ? std::move(setup.Clock)
                         : [] { return std::chrono::system_clock::now(); }) {
  SubstituteWindowFont();
  ui->setupUi(this);
  SetUpControls();
  CreateComponents();
  ConnectEvents();
  new TMenuAccessKeys(ui->MainMenu1, this);
  ApplyMenuStates();
  FPendingLinesTimer.setSingleShot(true);
  FPendingLinesTimer.setInterval(PendingLinesDelay);
  connect(&FPendingLinesTimer, &QTimer::timeout, this, [this] { ShowPendingLines(); });
  FProgressTimer.setSingleShot(true);
  connect(&FProgressTimer, &QTimer::timeout, this, [this] {
    if (TransferActive) ShowProgress();
  });
  RunGuarded(*FDialogs, [this] { FormCreate(); });
}

TMainForm::~TMainForm() = default;

void TMainForm::SetUpControls() {
  ui->dirwahl->setIcon(QIcon(QPixmap(DirwahlPicture)));

  // Labels size themselves to their text; the font they get here may not be the one the
  // layout was drawn with.
  ui->Label4->adjustSize();
  ui->Label5->adjustSize();

  // "Lucida Console" is rarely installed here; the hint makes the font match fall back to
  // a monospace face, so listing columns stay aligned.
  QFont listingFont = ui->DirectoryListBox->font();
  listingFont.setStyleHint(QFont::TypeWriter);
  ui->DirectoryListBox->setFont(listingFont);
  // One line of one font each: the list need not measure every item of a long listing.
  ui->DirectoryListBox->setUniformItemSizes(true);
  FListing = new TListingModel(this);
  ui->DirectoryListBox->setModel(FListing);
  ui->DebugListBox->setUniformItemSizes(true);
  FTrace = new TLineListModel(this);
  ui->DebugListBox->setModel(FTrace);
  ui->dirmemo->setUniformItemSizes(true);
  // A path too long for the memo keeps its end, the name of the photo.
  ui->dirmemo->setTextElideMode(Qt::ElideLeft);
  FMemo = new TLineListModel(this);
  ui->dirmemo->setModel(FMemo);
  auto* lineDelegate = new TLineDelegate(this);
  ui->DebugListBox->setItemDelegate(lineDelegate);
  ui->dirmemo->setItemDelegate(lineDelegate);

  const std::initializer_list<QAbstractScrollArea*> lists = {ui->DirectoryListBox, ui->DebugListBox,
                                                             ui->dirmemo};
  for (QAbstractScrollArea* list : lists) {
    list->setVerticalScrollBar(new TScrollBar(Qt::Vertical));
    list->setHorizontalScrollBar(new TScrollBar(Qt::Horizontal));
  }

  // dirmemo lies in front of the listing until a folder upload hides it.
  ui->dirmemo->raise();

  // The trace list keeps its height when the window is resized; the listing takes the rest.
  ui->Splitter1->setStretchFactor(0, 1);
  ui->Splitter1->setStretchFactor(1, 0);
  ui->Splitter1->setSizes({1, DebugListBoxHeight});
  ui->Splitter1->handle(1)->setCursor(Qt::SizeVerCursor);

  for (int index = 0; index < StatusPanelCount; ++index) {
    auto* panel = new TStatusPanel(ui->StatusBar1);
    panel->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(index));
    FStatusPanels[index] = panel;
    if (index == 0) panel->setFixedWidth(FirstStatusPanelWidth);
    ui->StatusBar1->addWidget(panel, index == 0 ? 0 : 1);
  }
  ui->StatusBar1->setFixedHeight(StatusBarHeight);

  if (const QScreen* screen = QGuiApplication::primaryScreen())
    setGeometry(
        QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
}

void TMainForm::CreateComponents() {
  IdFTP1 = std::make_unique<TIdFTP>();
  IdLogDebug1 = std::make_unique<TIdLogDebug>();
  IdAntiFreeze1 = std::make_unique<TFormAntiFreeze>();
  // The settings the window is built with.
  IdFTP1->BeginLoading();
  IdLogDebug1->BeginLoading();
  IdLogDebug1->SetTarget(ltDebugOutput);
  // Standard error gets the trace in the same batches as the trace list.
  IdLogDebug1->HoldDebugOutput = true;
  IdFTP1->SetIntercept(IdLogDebug1.get());
  IdFTP1->SetInterceptEnabled(true);
  IdFTP1->SetRecvBufferSize(8192);
  IdFTP1->SendBufferSize = 1024;
  // Kept for the passive data connections; with no proxy version set, no proxy is used.
  IdFTP1->SocksInfo.Host = "localhost";
  IdFTP1->SocksInfo.Port = 1080;
  IdFTP1->Host = FHost;
  IdFTP1->Port = FPort;
  IdFTP1->TLSRequired = FTls;
  IdFTP1->TLSTrustedCertificates = FTlsTrustedCertificates;
  IdLogDebug1->EndLoading();
  IdFTP1->EndLoading();
  IdAntiFreeze1->IdleTimeOut = 50;
  IdAntiFreeze1->OnlyWhenIdle = false;
  // While data flows the window is served every 40 ms rather than after every block: 25
  // times a second is as alive as anyone can tell. Each serving draws what changed (up to
  // a millisecond during a run of small files), so serving every 25 ms still cost the run
  // over 3 %.
  IdAntiFreeze1->BusyServeInterval = 40;
  IdAntiFreeze1->BeforeServing = [this] {
    ShowAbortButton();
    if (FRunLog) FRunLog->WriteHeldQuietly();
  };

  using namespace std::placeholders;
  IdFTP1->OnStatus = std::bind(&TMainForm::IdFTP1Status, this, _1, _2, _3);
  IdFTP1->OnDisconnected = std::bind(&TMainForm::IdFTP1Disconnected, this, _1);
  IdFTP1->OnWorkBegin = std::bind(&TMainForm::IdFTP1WorkBegin, this, _1, _2, _3);
  IdFTP1->OnWork = [this](TIdComponent* sender, TWorkMode mode, int32_t count) {
    // The handler carries out a pending abort request; the download must know that what it
    // received is incomplete.
    if (AbortRequested) FTransferAborted = true;
    IdFTP1Work(sender, mode, count);
  };
  IdFTP1->OnWorkEnd = std::bind(&TMainForm::IdFTP1WorkEnd, this, _1, _2);
  IdLogDebug1->OnLogItem = std::bind(&TMainForm::IdLogDebug1LogItem, this, _1, _2);
}

void TMainForm::ConnectEvents() {
  const auto onAction = [this](QAction* action, auto handler) {
    connect(action, &QAction::triggered, this, handler);
  };
  const auto onClick = [this](QPushButton* button, auto handler) {
    connect(button, &QPushButton::clicked, this, handler);
  };
  onAction(ui->Verbinden1, ServerAction(&TMainForm::ConnectButtonClick));
  // Disconnecting must stay possible in the middle of a transfer: it aborts the transfer.
  onAction(ui->trennen1, ServerAction(&TMainForm::ConnectButtonClick, TWhileRunning::Allow));
  onAction(ui->Beenden1, Guarded(&TMainForm::Beenden1Click));
  onAction(ui->Verzeichnisebenehher1, ServerAction(&TMainForm::BackButtonClick));
  onAction(ui->Verzeichniserstellen1, ServerAction(&TMainForm::CreateDirButtonClick));
  onAction(ui->Dateilschen1, ServerAction(&TMainForm::DeleteButtonClick));
  onAction(ui->DateiDownload1, ServerAction(&TMainForm::DirectoryListBoxDblClick));
  onAction(ui->DateiUpload1, ServerAction(&TMainForm::UploadButtonClick));
  onAction(ui->VerzeichnisUpload1, ServerAction(&TMainForm::VerzeichnisUpload1Click));
  onAction(ui->DownloadnachListe1, ServerAction(&TMainForm::DownloadnachListe1Click));

  onClick(ui->dirwahl, ServerAction(&TMainForm::dirwahlClick));
  onClick(ui->ConnectButton, ServerAction(&TMainForm::ConnectButtonClick));
  onClick(ui->UploadButton, ServerAction(&TMainForm::UploadButtonClick));
  onClick(ui->BackButton, ServerAction(&TMainForm::BackButtonClick));
  onClick(ui->DownloadButton, ServerAction(&TMainForm::DirectoryListBoxDblClick));
  onClick(ui->DeleteButton, ServerAction(&TMainForm::DeleteButtonClick));
  onClick(ui->AbortButton, Guarded(&TMainForm::AbortButtonClick));
  connect(ui->TraceCheckBox, &QCheckBox::clicked, this, Guarded(&TMainForm::TraceCheckBoxClick));
  connect(ui->DirectoryListBox, &QListView::clicked, this,
          Guarded(&TMainForm::DirectoryListBoxClick));
  connect(ui->DirectoryListBox, &QListView::doubleClicked, this,
          ServerAction(&TMainForm::DirectoryListBoxDblClick));
}

void TMainForm::RunServerAction(const std::function<void()>& action, TWhileRunning whileRunning) {
  if (ActionRunning()) {
    if (whileRunning == TWhileRunning::Allow)
      RunGuarded(*FDialogs, action);
    else
      ShowStatus("Bitte warten: eine andere Aktion läuft noch.");
    return;
  }
  std::exception_ptr failure;
  ++FActionDepth;
  ApplyMenuStates();
  try {
    action();
  } catch (...) {
    failure = std::current_exception();
  }
  --FActionDepth;
  ApplyMenuStates();
  // The server may have ended the session during the action (a 421, a close, a reset):
  // the window must not go on offering the actions of a connection that is gone.
  if (!IdFTP1->Connected() && ShowsConnected()) ShowDisconnectedState();
  ShowAbortButton();
  ShowPendingLines();
  // An action the user ended by closing the window reports nothing more.
  if (FCloseRequested) {
    close();
    return;
  }
  if (failure) RunGuarded(*FDialogs, [&] { std::rethrow_exception(failure); });
}

void TMainForm::ApplyMenuStates() {
  const bool idle = !ActionRunning();
  ui->Verbinden1->setEnabled(!FMenusConnected && idle);
  ui->trennen1->setEnabled(FMenusConnected);
  ui->Aktionen1->setEnabled(FMenusConnected && idle);
  ui->Datentransfer1->setEnabled(FMenusConnected && idle);
  ui->dirwahl->setEnabled(idle);
}

TStatusPanel* TMainForm::StatusPanel(int index) const {
  return index >= 0 && index < StatusPanelCount ? FStatusPanels[index] : nullptr;
}

void TMainForm::EnableCommands(bool enable) {
  for (QObject* child : ui->CommandPanel->children()) {
    auto* control = qobject_cast<QWidget*>(child);
    if (control && control->objectName() != QLatin1String("AbortButton"))
      control->setEnabled(enable);
  }
}

void TMainForm::FormCreate() {
  EnableCommands(false);
  ActivateTrace();
  LogFileName = LogLocationFor(FProgramPath);
  UploadFileName.clear();
  DownloadListFile.clear();
  TActivityLog(LogFileName).WriteStart();
}

void TMainForm::ActivateTrace() {
  // Before the first connection can be made, so that every line of it is traced.
  IdLogDebug1->SetActive(true);
}

void TMainForm::FormClose() {
  TActivityLog(LogFileName).WriteClose();
}

void TMainForm::Beenden1Click() {
  close();
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (ActionRunning()) {
    // Closed in the middle of a network call (the window is served while it waits): end
    // the call as "&Trennen" does, and close once it has unwound, so that nothing still
    // running on the stack outlives the window.
    event->ignore();
    if (!FCloseRequested) {
      FCloseRequested = true;
      try {
        if (IdFTP1->Connected()) ConnectButtonClick();
      } catch (...) {
        // The user is leaving; a connection that cannot be closed politely is dropped.
      }
    }
    return;
  }
  // A close record that cannot be written is reported, but it does not keep the window
  // open: the user asked to leave, and a broken log file would otherwise trap them.
  RunGuarded(*FDialogs, [this] { FormClose(); });
  QMainWindow::closeEvent(event);
}
