#include "TransferRun.h"

#include "ResumePoint.h"

#include <gtest/gtest.h>

namespace {

using TDirection = TTransferRun::TDirection;

TEST(TransferRun, FailureTextsNameTheFileAndHowFarTheRunGot) {
  struct Case {
    TDirection direction;
    int done;
    int total;
    std::string failed, logBefore, logAfter;
  };
  const Case cases[] = {
      {TDirection::Upload, 4, 10,
       "bild05.jpg konnte nicht hochgeladen werden; 4 von 10 Dateien sind auf dem Server.\nU",
       "Das Aktivitätsprotokoll /p/x.log kann nicht geschrieben werden; bild05.jpg wurde nicht "
       "hochgeladen, 4 von 10 Dateien sind auf dem Server.\nU",
       "bild05.jpg ist auf dem Server, aber nicht im Aktivitätsprotokoll; 4 von 10 Dateien sind "
       "auf dem Server.\nDas Aktivitätsprotokoll /p/x.log kann nicht geschrieben werden: U"},
      {TDirection::Download, 1, 3,
       "bild05.jpg konnte nicht heruntergeladen werden; 1 von 3 Dateien ist heruntergeladen.\nU",
       "Das Aktivitätsprotokoll /p/x.log kann nicht geschrieben werden; bild05.jpg wurde nicht "
       "heruntergeladen, 1 von 3 Dateien ist heruntergeladen.\nU",
       "bild05.jpg ist heruntergeladen, aber nicht im Aktivitätsprotokoll; 1 von 3 Dateien ist "
       "heruntergeladen.\nDas Aktivitätsprotokoll /p/x.log kann nicht geschrieben werden: U"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failed);
    TTransferRun run(c.direction, c.total);
    for (int i = 0; i < c.done; ++i)
      run.CountDone();
    EXPECT_EQ(run.FileFailed("bild05.jpg", "U"), c.failed);
    EXPECT_EQ(run.LogFailedBefore("bild05.jpg", "/p/x.log", "U"), c.logBefore);
    EXPECT_EQ(run.LogFailedAfter("bild05.jpg", "/p/x.log", "U"), c.logAfter);
  }
}

TEST(TransferRun, ExplainedFailuresKeepTheCauseAndSilenceStaysSilent) {
  struct TSilent : Exception {
    using Exception::Exception;
    bool IsSilent() const override { return true; }
  };
  const auto explain = [](const std::string& cause) { return "a.jpg: " + cause; };
  try {
    RunExplained([] { throw Exception("550 exists"); }, explain);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "a.jpg: 550 exists");
  }
  EXPECT_THROW(RunExplained([] { throw TSilent("weg"); }, explain), TSilent);
}

TEST(ResumePoint, AFileIsSentUnlessCompleteAndRecordedOnce) {
  struct Case {
    const char* what;
    uint64_t local;
    int64_t remote;
    bool logged;
    TResumeStep step;
  };
  const Case cases[] = {
      {"complete and logged", 1000, 1000, true, {false, false}},
      {"complete, its record failed", 1000, 1000, false, {false, true}},
      {"cut short on the server", 1000, 500, false, {true, true}},
      {"missing on the server", 1000, -1, false, {true, true}},
      {"logged, but gone from the server", 1000, -1, true, {true, false}},
      {"an empty file", 0, 0, false, {false, true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ResumeStepFor(c.local, c.remote, c.logged), c.step);
  }
}

} // namespace
