#pragma once

#include "BuildSettings.h"
#include "Dialogs.h"
#include "ErrorBox.h"
#include "FolderSearch.h"
#include "FormAntiFreeze.h"
#include "IdFTP.h"
#include "IdLogDebug.h"
#include "ProgressScale.h"
#include "ResumePoint.h"

#include <QMainWindow>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Ui {
class TMainForm;
}
class TStatusPanel;
class TActivityLog;
class TLineListModel;
class TListingModel;

// The last computed transfer speed in KB/s; shared by the whole program.
extern double TransferRate;

// What the window is built with. The real program takes the defaults; tests point it at a
// loopback server, a log folder of their own and dialogs that answer by script.
struct TMainFormSetup {
  std::string Host = BuildSettings::FtpHost;
  std::uint16_t Port = BuildSettings::FtpPort;
  // FTP over TLS required; the certificates (PEM) trusted, empty: the system's store.
  bool Tls = BuildSettings::FtpTls;
  std::string TlsTrustedCertificates = BuildSettings::FtpTlsTrustedCertificates;
  // The program file whose log this is (local 8-bit path); empty: the running program.
  std::string ProgramPath;
  // Null: Qt's own dialogs.
  std::unique_ptr<TDialogs> Dialogs;
  // The clock the publishing run names its remote folder by; empty: the system's.
  std::function<std::chrono::system_clock::time_point()> Clock;
};

// The program's one window.
class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  explicit TMainForm(TMainFormSetup setup = {}, QWidget* parent = nullptr);
  ~TMainForm() override;

  // Enables or disables every control of CommandPanel except AbortButton, whose visibility
  // and state belong to the running transfer.
  void EnableCommands(bool enable);

  // Panel of the status bar by index (0 or 1, else null); every status text goes to panel 1.
  static constexpr int StatusPanelCount = 2;
  TStatusPanel* StatusPanel(int index) const;

  // Window state shared by the actions. Paths are local 8-bit text, as the file and
  // network layers take them.
  bool AbortRequested = false;
  bool TransferActive = false;
  std::uint32_t ExpectedSize = 0;
  std::chrono::system_clock::time_point TransferStart{};
  std::string UploadFileName;
  std::string DownloadListFile;
  std::string DownloadFilter;
  std::string LogFileName;

  // The two file dialogs, as settings handed to TDialogs.
  const TFileDialogSettings UploadOpenDialog1{"Upload file....", "Alle Dateien (*)", false};
  const TFileDialogSettings SaveDialog1{QString(), QString(), true};
  // Where the download by list gets its list of names from.
  const TFileDialogSettings DownloadListDialog{"Liste der Dateinamen für den Download",
                                               "Textdateien (*.txt);;Alle Dateien (*)", false};

  // --- Handlers, as the window's events call them ------------------------------------
  // Connection and trace (mainfConnection.cpp).
  void ConnectButtonClick();
  void IdFTP1Status(TIdComponent* axSender, TIdStatus axStatus, const std::string& asStatusText);
  void IdFTP1Disconnected(TComponent* Sender);
  void IdLogDebug1LogItem(TIdLogDebug* ASender, std::string& AText);
  void TraceCheckBoxClick();
  // Remote folder browser (mainfBrowser.cpp).
  void OpenRemoteDir(const std::string& path);
  void DirectoryListBoxClick();
  void DirectoryListBoxDblClick();
  void BackButtonClick();
  void CreateDirButtonClick();
  void DeleteButtonClick();
  // Single-file transfers and progress (mainfTransfers.cpp).
  void UploadButtonClick();
  void DownloadFile(const std::string& name);
  // Fetches the remote file name to localPath, which is replaced only once the file is
  // complete. false when the transfer was aborted (by the abort request or a disconnect):
  // localPath is then as it was, and the status bar says so, as it does on a failure.
  bool RetrieveLocalFile(const std::string& name, const std::string& localPath);
  void IdFTP1WorkBegin(TIdComponent* Sender, TWorkMode AWorkMode, int32_t AWorkCountMax);
  void IdFTP1Work(TIdComponent* Sender, TWorkMode AWorkMode, int32_t AWorkCount);
  void IdFTP1WorkEnd(TIdComponent* Sender, TWorkMode AWorkMode);
  void AbortButtonClick();
  // Photo publishing and the folder upload (mainfPublishing.cpp).
  void dirwahlClick();
  void VerzeichnisUpload1Click();
  // Download by list (mainfDownloadList.cpp).
  void DownloadnachListe1Click();
  void DownloadEntries();

  // Whether a server action is running; while one runs, the others are refused.
  bool ActionRunning() const { return FActionDepth > 0; }

 protected:
  // Every way of closing the window ends here, so the close record is written once per
  // close whichever way the user took.
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void ActivateTrace();
  void FormClose();
  void Beenden1Click();

  void SetUpControls();
  void CreateComponents();
  void ConnectEvents();

  // A handler ready for connect(): whatever it throws ends in the error box, not in Qt.
  template <class... Args> auto Guarded(void (TMainForm::*handler)(Args...)) {
    return [this, handler](Args... args) {
      RunGuarded(*FDialogs, [&] { (this->*handler)(args...); });
    };
  }
  // The same for a handler that talks to the server: refused while another action runs,
  // so that no two actions interleave commands on the control connection, unless
  // allowedWhileRunning (the disconnect, which must be able to end a transfer).
  enum class TWhileRunning { Refuse, Allow };
  template <class... Args>
  auto ServerAction(void (TMainForm::*handler)(Args...),
                    TWhileRunning whileRunning = TWhileRunning::Refuse) {
    return [this, handler, whileRunning](Args... args) {
      RunServerAction([&] { (this->*handler)(args...); }, whileRunning);
    };
  }
  void RunServerAction(const std::function<void()>& action, TWhileRunning whileRunning);
  // The menus and dirwahl as the connection state and a running action allow.
  void ApplyMenuStates();

  // The current remote folder's path and listing, shown after a change of folder; the
  // caller has disabled the command panel.
  void ShowWorkingDir();
  // A listed link: entered as a folder, or downloaded when it is none.
  void OpenLink(const std::string& name);
  // The connection as the window shows it (mainfConnection.cpp). The disconnected state
  // is what the disconnect leaves: no listing, command panel off, caption "Verbinden",
  // the menus of a closed connection.
  void ShowDisconnectedState();
  bool ShowsConnected() const;
  // A run's connection: an open one that still answers, else a new one (connected once
  // more when the server has ended the session meanwhile). true: a new one, whose
  // listing of the folder it opened is fresh.
  bool ConnectForRun();
  // The remote folder shown last (CurrentDirEdit), as the commands take it.
  std::string CurrentRemoteFolder() const;

  // The folder upload's files, sent into the current remote folder with one record each
  // (mainfPublishing.cpp). With progress (a publishing run), files already complete
  // there are not sent again, and progress follows every file.
  void UploadIntoCurrentFolder(const std::string& folder, const std::vector<TFolderEntry>& files,
                               TResumePoint* progress);
  // Raises the German text naming the log when no record can be appended.
  void CheckLogBeforeRun(const std::string& runName) const;

  // The listing, shown line by line in DirectoryListBox and kept here as the server's
  // bytes, which are what the commands need back.
  void ShowListing(TStringList lines);
  void ClearListing();
  // The row of the highlighted listing line, -1 when none is; and that line, refused with
  // the list's index error when none is.
  int SelectedListingRow() const;
  const std::string& SelectedListingLine() const;
  // Paths typed or chosen in the window, as the file layer takes them.
  std::string LocalFolder() const;
  // Sends one local file; size is what the window knows of it (for the progress bar),
  // looked up when not given.
  void StoreLocalFile(const std::string& path, const std::string& remoteName,
                      std::optional<uint64_t> size = std::nullopt);
  // The text of Uploaddiredit with its trailing "/"; refused when empty.
  std::string RequiredLocalFolder() const;
  void ShowStatus(const std::string& text);
  // Lines for the trace list and the memo arrive in bursts, several per file; they are
  // shown together a moment later (and at the end of every action), since drawing the
  // lists anew for each one would cost more than sending a small file.
  void AddTraceLine(const std::string& text);
  void AddMemoLine(const std::string& text);
  void ShowPendingLines();
  // The abort button is shown while a transfer runs. It is brought up to date when the
  // window is served and at the end of every action, not for each file: only then can it
  // be seen or clicked, and showing and hiding it for each short file cost more than
  // sending it.
  void ShowAbortButton();

  std::unique_ptr<Ui::TMainForm> ui;
  std::unique_ptr<TDialogs> FDialogs;
  // The one server this program talks to; fixed at build time, replaced only by tests.
  const std::string FHost;
  const std::uint16_t FPort;
  const bool FTls;
  const std::string FTlsTrustedCertificates;
  const std::string FProgramPath;
  const std::function<std::chrono::system_clock::time_point()> FClock;
  TStatusPanel* FStatusPanels[StatusPanelCount] = {};

  TListingModel* FListing = nullptr; // the listing's lines
  TLineListModel* FTrace = nullptr;  // the trace list's lines, shown and pending
  TLineListModel* FMemo = nullptr;   // the memo's paths, shown and pending
  QTimer FPendingLinesTimer;
  // Trace and memo lines are added in batches: a repaint per line would slow a run of
  // many small files down more than its transfers. Each batch lays the whole trace list,
  // and the memo when it follows its paths, out anew (Qt's list view knows no cheaper way
  // to take new rows) and repaints both lists: four batches a second still read as a
  // running trace.
  static constexpr std::chrono::milliseconds PendingLinesDelay{250};
  bool FMemoUsed = false; // the memo has received a path
  // The folder chosen for the last publishing run of this program run, offered again.
  QString FLastPublishedFolder;
  // The menus' connection state, as the connect action last set it.
  bool FMenusConnected = false;
  // The folder the server opened after the login, learnt at the first connect. A
  // reconnect with the same account lands there again, so it holds for the program run.
  std::string FLoginFolder;
  // Where the last failed publishing run stopped; none after a run that went through.
  std::optional<TResumePoint> FResume;
  // The log of the folder upload going on: its held records are written when the window
  // is served.
  TActivityLog* FRunLog = nullptr;
  int FActionDepth = 0;
  // The window was asked to close while an action ran; it closes once that has unwound.
  bool FCloseRequested = false;
  // Progress of the running transfer, and the size of the file an upload is about to send
  // (a 32-bit work total cannot tell it for files beyond 2 GiB).
  TProgressScale FProgress;
  // The status text and the bar are redrawn at most this often during a transfer (ten
  // times a second is smooth to the eye and costs the transfer next to nothing); a state
  // left undrawn is drawn by FProgressTimer when the interval is over.
  // Paced by the clock the speed is measured with: one reading per block serves both.
  static constexpr std::chrono::milliseconds ProgressInterval{100};
  std::chrono::system_clock::time_point FLastProgressShown{};
  QTimer FProgressTimer;
  TWorkMode FProgressMode = wkRead;
  // The running transfer's speed and bar, as the status bar and ProgressBar1 show them.
  void ShowProgress(std::chrono::system_clock::time_point now = std::chrono::system_clock::now());
  // The speed text last made, and what it was made of: every file of a run begins with
  // the same text.
  struct TSpeedStatus {
    TWorkMode Mode;
    double Rate;
    std::string Text;
  };
  std::optional<TSpeedStatus> FSpeedStatus;
  std::optional<uint64_t> FUploadSize;
  // The window aborted the running transfer (a work event carried out the abort request,
  // or the disconnect ended it); such a transfer ends without a failure, incomplete.
  bool FTransferAborted = false;

  // --- Network components -------------------------------------------------------------
  // Declared after ui and FDialogs, so they are built after the controls they report to and
  // destroyed before them; FormCreate runs once they exist.
 public:
  std::unique_ptr<TIdFTP> IdFTP1;                 // the FTP client
  std::unique_ptr<TIdLogDebug> IdLogDebug1;       // trace of the control connection
  std::unique_ptr<TFormAntiFreeze> IdAntiFreeze1; // serves the window during blocking calls
};
