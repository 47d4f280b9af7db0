// The window's own share of the work, measured in-process against the bare client in the
// same run: the window offscreen, its dialogs answered by script, its anti-freeze, work
// handlers, memo, trace list and log all on, as in the real program.
//
//   window_bench list HOST PORT FOLDER RUNS [window-first]
//                                                 OpenRemoteDir vs ListDirectory of FOLDER
//   window_bench transfer HOST PORT NAME FILE RUNS [window-first]
//                                                 download of the remote file NAME and upload
//                                                 of the local FILE, through the window and bare
//   window_bench publish HOST PORT FOLDER MINUTE [--idle SECONDS] [--report FILE]
//                                                 one publishing run of the local FOLDER; the
//                                                 dated remote folder is named MINUTE minutes
//                                                 after 2030-01-01 00:00, so runs don't collide.
//                                                 --idle connects through the menu first and
//                                                 leaves the session idle for SECONDS, as a
//                                                 user who connected and went for a coffee;
//                                                 --report writes the boxes shown, the trace
//                                                 list and the activity log to FILE, whether
//                                                 or not the run succeeded (for the field runs
//                                                 of scripts/field-matrix)
//                                                 --continue-when FILE: when the run fails,
//                                                 creates FILE.waiting, waits (at most 120 s)
//                                                 until FILE exists, then chooses the same
//                                                 folder again and answers "Ja" to going on
//
// Prints one line per measurement: "what seconds MB/s maxrss_kib gap_max_ms gap_p99_ms
// cpu_seconds" ("-" where a figure does not apply); a publishing run adds the growth of the
// peak memory per published file in KiB. The gaps are those between the ticks of a 20 ms timer of
// the window during the measured work: how long the window went unserved. Exits non-zero when
// anything fails.

#include "Dialogs.h"
#include "Exception.h"
#include "mainf.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QListView>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

class TBenchDialogs : public TDialogs {
 public:
  std::deque<QString> Answers; // folder and file dialogs, in order
  QStringList Errors;
  QStringList Messages;
  QStringList Questions;
  bool QuestionAnswer = false;

  bool BrowseForFolder(const QString&, const QString&, QString& folder) override {
    folder = Next();
    return true;
  }
  std::optional<QString> OpenFile(const TFileDialogSettings&, const QString&) override {
    return Next();
  }
  std::optional<QString> SaveFile(const TFileDialogSettings&, const QString&) override {
    return Next();
  }
  QString InputBox(const QString&, const QString&, const QString& defaultText) override {
    return defaultText;
  }
  void ShowMessage(const QString& text) override { Messages << text; }
  bool Question(const QString& text) override {
    Questions << text;
    return QuestionAnswer;
  }
  void ShowError(const QString& text) override { Errors << text; }

 private:
  QString Next() {
    if (Answers.empty()) throw std::runtime_error("a dialog without a scripted answer");
    QString answer = Answers.front();
    Answers.pop_front();
    return answer;
  }
};

struct TTarget {
  std::string Host;
  uint16_t Port;
  std::string LogFolder;
};

long MaxRssKib() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Processor time of this process so far, user and system: unlike the seconds on the
// clock, hardly changed by other processes competing for the processor.
double CpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double LastCpuSeconds = 0; // of the last work SecondsOf timed

double SecondsOf(const std::function<void()>& work) {
  const double cpu = CpuSeconds();
  const TClock::time_point start = TClock::now();
  work();
  const double seconds = std::chrono::duration<double>(TClock::now() - start).count();
  LastCpuSeconds = CpuSeconds() - cpu;
  return seconds;
}

// A 20 ms timer of the window, noting the gaps between its ticks while it exists; the first
// gap is counted from its start.
class TGapRecorder {
 public:
  TGapRecorder() : FLast(TClock::now()) {
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      const TClock::time_point now = TClock::now();
      FGaps.push_back(std::chrono::duration<double, std::milli>(now - FLast).count());
      FLast = now;
    });
    FTimer.setTimerType(Qt::PreciseTimer);
    FTimer.start(20);
  }
  // Ends the recording; what the window left unserved since the last tick counts too.
  void Stop() {
    FTimer.stop();
    FGaps.push_back(std::chrono::duration<double, std::milli>(TClock::now() - FLast).count());
    std::sort(FGaps.begin(), FGaps.end());
  }
  double Longest() const { return FGaps.back(); }
  double Percentile99() const { return FGaps[std::min(FGaps.size() - 1, FGaps.size() * 99 / 100)]; }

 private:
  QTimer FTimer;
  TClock::time_point FLast;
  std::vector<double> FGaps;
};

// Bare runs have no window and no gaps; window runs report theirs.
void Report(const char* what, double seconds, double bytes, const TGapRecorder* gaps,
            const char* extra = "") {
  char rate[32] = "-";
  if (bytes > 0) std::snprintf(rate, sizeof rate, "%.1f", bytes / 1e6 / seconds);
  char gapText[64] = "- -";
  if (gaps != nullptr)
    std::snprintf(gapText, sizeof gapText, "%.1f %.1f", gaps->Longest(), gaps->Percentile99());
  std::printf("%s %.4f %s %ld %s %.4f%s\n", what, seconds, rate, MaxRssKib(), gapText,
              LastCpuSeconds, extra);
  std::fflush(stdout);
}

// Times work through the window, with the timer ticking all along.
double WindowSecondsOf(const std::function<void()>& work, TGapRecorder& gaps) {
  const double seconds = SecondsOf(work);
  gaps.Stop();
  return seconds;
}

void LogIn(TIdFTP& ftp, const TTarget& target) {
  ftp.Host = target.Host;
  ftp.Port = target.Port;
  ftp.User = "Lichtfracht";
  ftp.Password = "58Kovarenisobume";
  ftp.Connect(true);
}

// Serves the window for the given time, as the program's own event loop would while the
// user does nothing.
void StayIdle(std::chrono::milliseconds time) {
  QEventLoop loop;
  QTimer::singleShot(time, &loop, &QEventLoop::quit);
  loop.exec();
}

// Comes before every measured action, bare or through the window. A person chooses the
// next action in a window that shows what the last one left: the listing, the selected
// line, the last trace lines (drawn at most ten times a second); not drawn by then, all of
// it fell to the first serving of the measured action. The bare client pauses as long:
// here the first moments after a pause cost more than those right after other work.
void AsAPersonWould() {
  StayIdle(std::chrono::milliseconds(150));
}

// A window pointed at the target; it must be destroyed before a bare run, since its
// anti-freeze serves every wait while it exists.
struct TWindow {
  explicit TWindow(const TTarget& target,
                   std::function<std::chrono::system_clock::time_point()> clock = {}) {
    auto scripted = std::make_unique<TBenchDialogs>();
    Dialogs = scripted.get();
    TMainFormSetup setup;
    setup.Host = target.Host;
    setup.Port = target.Port;
    setup.ProgramPath = target.LogFolder + "/lichtfracht";
    setup.Dialogs = std::move(scripted);
    setup.Clock = std::move(clock);
    Form = std::make_unique<TMainForm>(std::move(setup));
    Form->show();
    // A person clicks in a window that is on the screen and drawn: its first drawing
    // (fonts, the style's pieces) is not part of what is measured.
    const TClock::time_point end = TClock::now() + std::chrono::seconds(10);
    while (!(Form->windowHandle() && Form->windowHandle()->isExposed()) && TClock::now() < end)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    Form->repaint();
    QCoreApplication::processEvents();
  }
  void Trigger(const char* action) {
    Form->findChild<QAction*>(QString::fromLatin1(action))->trigger();
    Check();
  }
  void Check() const {
    if (!Dialogs->Errors.isEmpty())
      throw std::runtime_error("error box: " + Dialogs->Errors.join(" | ").toStdString());
  }

  std::unique_ptr<TMainForm> Form;
  TBenchDialogs* Dialogs;
};

// Runs the bare and the window's measurement of one round, every other round the window's
// first (the first round too with window-first), so that neither always comes second,
// after a server and memory just busy.
bool WindowFirst = false;

void InTurn(int run, const std::function<void()>& bare, const std::function<void()>& window) {
  if ((run % 2 == 1) == WindowFirst) {
    bare();
    window();
  } else {
    window();
    bare();
  }
}

void BenchList(const TTarget& target, const std::string& folder, int runs) {
  for (int run = 0; run < runs; ++run) {
    const auto bare = [&] {
      TIdFTP ftp;
      LogIn(ftp, target);
      ftp.ChangeWorkingDir(folder);
      ftp.SetTransferType(ftASCII);
      TStringList lines;
      AsAPersonWould();
      Report("list_bare", SecondsOf([&] { ftp.ListDirectory(lines, "", true); }), 0, nullptr);
      ftp.Quit();
    };
    const auto inWindow = [&] {
      TWindow window(target);
      window.Trigger("Verbinden1");
      window.Form->OpenRemoteDir(folder); // once, so that both list a folder already entered
      AsAPersonWould();
      TGapRecorder gaps;
      Report("list_window", WindowSecondsOf([&] { window.Form->OpenRemoteDir(folder); }, gaps), 0,
             &gaps);
      window.Check();
    };
    InTurn(run, bare, inWindow);
  }
}

// Each download makes its file anew: replacing the last round's 100 MiB would add the
// freeing of that memory to one client's time and not the other's (the window writes
// beside the old file and renames, the bare client truncates it first). And each finds
// as much memory just given back as it will fill: on a virtual machine, memory that has
// stayed free for a while goes back to the host and costs a fault per page to take again.
// Otherwise whichever client downloaded second in a process found the first one's file
// just freed, and was about a fifth faster for it.
void ReadyForDownload(const std::string& local, double bytes) {
  std::filesystem::remove(local);
  const std::string scratch = local + ".frei";
  const int file = ::open(scratch.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  if (file < 0) throw std::runtime_error("cannot create " + scratch);
  const int failed = ::posix_fallocate(file, 0, static_cast<off_t>(bytes));
  ::close(file);
  std::filesystem::remove(scratch);
  if (failed != 0) throw std::runtime_error("cannot fill " + scratch);
}

void BenchTransfer(const TTarget& target, const std::string& name, const std::string& file,
                   int runs) {
  const double bytes = static_cast<double>(std::filesystem::file_size(file));
  const std::string local = target.LogFolder + "/download.bin";
  for (int run = 0; run < runs; ++run) {
    const auto bare = [&] {
      TIdFTP ftp;
      LogIn(ftp, target);
      ftp.SetTransferType(ftBinary);
      AsAPersonWould();
      ReadyForDownload(local, bytes);
      Report("download_bare", SecondsOf([&] { ftp.RetrieveFile(name, local, true); }), bytes,
             nullptr);
      AsAPersonWould();
      Report("upload_bare", SecondsOf([&] { ftp.StoreFile(file, "upload.bin", false); }), bytes,
             nullptr);
      ftp.Quit();
    };
    const auto inWindow = [&] {
      TWindow window(target);
      window.Trigger("Verbinden1");
      // The listed name is what a double click would take; pick it by its line's end.
      auto* listing = window.Form->findChild<QListView*>("DirectoryListBox");
      for (int i = 0; i < listing->model()->rowCount(); ++i) {
        const QModelIndex line = listing->model()->index(i, 0);
        if (line.data().toString().endsWith(QString::fromStdString(" " + name)))
          listing->selectionModel()->setCurrentIndex(line, QItemSelectionModel::ClearAndSelect);
      }
      window.Dialogs->Answers.push_back(QString::fromStdString(local));
      AsAPersonWould();
      ReadyForDownload(local, bytes);
      {
        TGapRecorder gaps;
        Report("download_window", WindowSecondsOf([&] { window.Trigger("DateiDownload1"); }, gaps),
               bytes, &gaps);
      }
      window.Dialogs->Answers.push_back(QString::fromStdString(file));
      AsAPersonWould();
      TGapRecorder gaps;
      Report("upload_window", WindowSecondsOf([&] { window.Trigger("DateiUpload1"); }, gaps), bytes,
             &gaps);
    };
    InTurn(run, bare, inWindow);
  }
  std::filesystem::remove(local);
}

struct TPublishOptions {
  int IdleSeconds = -1; // < 0: no connection before the run
  std::string ReportFile;
  std::string ContinueWhen;
};

// What a person would have seen: every box, every trace line, then the activity log.
void WriteReport(const std::string& file, const TBenchDialogs& dialogs, const QStringList& trace,
                 const std::string& logFile, const std::string& failure) {
  std::ofstream report(file, std::ios::binary | std::ios::trunc);
  for (const QString& text : dialogs.Messages)
    report << "MESSAGE\t" << text.toStdString() << "\n";
  for (const QString& text : dialogs.Errors)
    report << "ERROR\t" << QString(text).replace('\n', " / ").toStdString() << "\n";
  for (const QString& text : dialogs.Questions)
    report << "QUESTION\t" << QString(text).replace('\n', " / ").toStdString() << "\n";
  if (!failure.empty()) report << "FAILURE\t" << failure << "\n";
  for (const QString& line : trace)
    report << "TRACE\t" << line.toStdString() << "\n";
  std::ifstream log(logFile, std::ios::binary);
  for (std::string line; std::getline(log, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    report << "LOG\t" << line << "\n";
  }
}

// Waits, serving the window, until the field script has put right what made the run fail.
void WaitForFile(const std::string& file) {
  std::ofstream(file + ".waiting").put('\n');
  const TClock::time_point end = TClock::now() + std::chrono::seconds(120);
  while (!std::filesystem::exists(file)) {
    if (TClock::now() > end) throw std::runtime_error("no " + file + " within 120 s");
    StayIdle(std::chrono::milliseconds(100));
  }
}

void BenchPublish(const TTarget& target, const std::string& folder, int minute,
                  const TPublishOptions& options) {
  std::tm base{};
  base.tm_year = 2030 - 1900;
  base.tm_mday = 1;
  base.tm_min = minute;
  base.tm_isdst = -1;
  const auto when = std::chrono::system_clock::from_time_t(std::mktime(&base));
  QStringList trace;
  TBenchDialogs shown;
  std::string failure;
  double seconds = 0;
  bool finished = false;
  double bytes = 0;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    bytes += static_cast<double>(entry.file_size());
    ++files;
  }
  long peakBefore = 0;
  std::optional<TGapRecorder> gaps;
  {
    TWindow window(target, [when] { return when; });
    try {
      if (options.IdleSeconds >= 0) {
        window.Trigger("Verbinden1");
        StayIdle(std::chrono::seconds(options.IdleSeconds));
      }
      peakBefore = MaxRssKib();
      gaps.emplace();
      const auto publish = [&] {
        window.Dialogs->Answers.push_back(QString::fromStdString(folder));
        return SecondsOf([&] { window.Form->findChild<QPushButton*>("dirwahl")->click(); });
      };
      seconds = publish();
      const auto firstErrors = window.Dialogs->Errors.size();
      if (firstErrors > 0 && !options.ContinueWhen.empty()) {
        WaitForFile(options.ContinueWhen);
        window.Dialogs->QuestionAnswer = true;
        seconds += publish();
        if (window.Dialogs->Errors.size() > firstErrors)
          throw std::runtime_error("error box after going on: " +
                                   window.Dialogs->Errors.back().toStdString());
      } else {
        window.Check();
      }
      gaps->Stop();
      finished = window.Dialogs->Messages.size() == 1 && !window.Form->isVisible();
    } catch (const std::exception& e) {
      failure = e.what();
    }
    // The trace list is drawn at most ten times a second: let the last lines arrive.
    StayIdle(std::chrono::milliseconds(300));
    auto* list = window.Form->findChild<QListView*>("DebugListBox");
    for (int i = 0; list && i < list->model()->rowCount(); ++i)
      trace << list->model()->index(i, 0).data().toString();
    shown.Messages = window.Dialogs->Messages;
    shown.Errors = window.Dialogs->Errors;
    shown.Questions = window.Dialogs->Questions;
  } // the window is gone: the log has its close record
  if (!options.ReportFile.empty())
    WriteReport(options.ReportFile, shown, trace, target.LogFolder + "/lichtfracht.log", failure);
  if (!failure.empty()) throw std::runtime_error(failure);
  if (!finished) throw std::runtime_error("the publishing run did not finish");
  // What the window keeps per file (trace and memo lines) shows as the growth of its peak.
  char growth[32];
  std::snprintf(growth, sizeof growth, " %.2f",
                static_cast<double>(MaxRssKib() - peakBefore) / std::max(files, 1));
  Report("publish_window", seconds, bytes, &*gaps, growth);
}

int Usage() {
  std::fprintf(stderr, "usage: window_bench list HOST PORT FOLDER RUNS [window-first]\n"
                       "       window_bench transfer HOST PORT NAME FILE RUNS [window-first]\n"
                       "       window_bench publish HOST PORT FOLDER MINUTE [--idle SECONDS] "
                       "[--report FILE] [--continue-when FILE]\n");
  return 2;
}

} // namespace

int main(int argc, char* argv[]) {
  if (argc < 6) return Usage();
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  QApplication::setApplicationDisplayName(QStringLiteral("Lichtfracht"));
  const std::string mode = argv[1];
  // In memory where possible: the 100 MiB download is written there.
  std::string folder = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
  folder += "/lichtfracht-window-bench.XXXXXX";
  char* logFolder = folder.data();
  if (::mkdtemp(logFolder) == nullptr) return 1;
  const TTarget target{argv[2], static_cast<uint16_t>(std::atoi(argv[3])), logFolder};
  int status = 0;
  try {
    const auto windowFirstAt = [&](int index) {
      WindowFirst = argc > index && std::string(argv[index]) == "window-first";
    };
    if (mode == "list") {
      windowFirstAt(6);
      BenchList(target, argv[4], std::atoi(argv[5]));
    } else if (mode == "transfer" && argc >= 7) {
      windowFirstAt(7);
      BenchTransfer(target, argv[4], argv[5], std::atoi(argv[6]));
    } else if (mode == "publish") {
      TPublishOptions options;
      for (int i = 6; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--idle")
          options.IdleSeconds = std::atoi(argv[i + 1]);
        else if (option == "--report")
          options.ReportFile = argv[i + 1];
        else if (option == "--continue-when")
          options.ContinueWhen = argv[i + 1];
        else
          throw std::runtime_error("unknown option " + option);
      }
      if ((argc - 6) % 2 != 0) throw std::runtime_error("an option without its value");
      BenchPublish(target, argv[4], std::atoi(argv[5]), options);
    } else
      status = Usage();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "window_bench: %s\n", e.what());
    status = 1;
  }
  std::filesystem::remove_all(logFolder);
  return status;
}
