#pragma once

#include "ChildProcess.h"
#include "ScratchFolder.h"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The scripted FTP server (ftpserver/scripted_ftp_server.py) for one test: started on
// 127.0.0.1 with a port of its own, a fresh root folder and a transcript of every command
// line it received. The scenarios and their options are listed in ftpserver/scenarios.py.
class TScriptedFtpServer {
 public:
  // Option overrides: {"key", "value"} or {"replies.PWD", "257 ..."}. Text values are
  // read with backslash escapes; EscapedValue makes any bytes safe to pass.
  using TSettings = std::vector<std::pair<std::string, std::string>>;

  // Starts the server for scenario (several names may be joined with commas) and waits
  // (at most 10 s) until it listens. Throws std::runtime_error, with the server's
  // messages, when it does not start.
  explicit TScriptedFtpServer(const std::string& scenario = "default",
                              const TSettings& settings = {});
  ~TScriptedFtpServer();
  TScriptedFtpServer(const TScriptedFtpServer&) = delete;
  TScriptedFtpServer& operator=(const TScriptedFtpServer&) = delete;

  int Port() const { return FPort; }
  // The folder served as "/"; the test may put files there and look at uploads.
  const std::string& Root() const { return FRoot; }
  const std::string& TranscriptPath() const { return FTranscriptPath; }

  // The command lines received so far, in order, read afresh from the transcript file:
  // as sent without CR LF; control bytes and "\" escaped (\r \n \t \\ \xNN), a bare LF
  // line end shown as a trailing \n, an unterminated rest at close as a trailing \EOF.
  std::vector<std::string> Transcript() const;
  // Succeeds once the transcript holds at least count lines; fails, showing the
  // transcript, when timeout passes first.
  ::testing::AssertionResult
  WaitForTranscriptLines(size_t count,
                         std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
  // Succeeds once line is in the transcript; fails, showing the transcript, at timeout.
  ::testing::AssertionResult
  WaitForTranscriptLine(const std::string& line,
                        std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

  // What the server wrote to stderr (tracebacks, option errors).
  std::string Diagnostics() const;
  // Stops the server now (the destructor does it otherwise); the files stay until
  // destruction.
  void Stop();

  // raw as a --set text value: every byte comes back unchanged (NUL included).
  static std::string EscapedValue(std::string_view raw);

 private:
  ::testing::AssertionResult TranscriptFailure(const std::string& what) const;

  TScratchFolder FScratch; // declared first: removed only after the server has stopped
  std::string FRoot;
  std::string FTranscriptPath;
  std::unique_ptr<TChildProcess> FProcess;
  int FPort = 0;
};
