#include "ScriptedFtpServer.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

// Debian's interpreter: another python3 earlier on PATH may lack what the script needs.
constexpr const char* Python = "/usr/bin/python3";

std::string ScriptPath() {
  return std::string(LICHTFRACHT_TEST_SUPPORT_DIR) + "/ftpserver/scripted_ftp_server.py";
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines)
    text += "  " + line + "\n";
  return text.empty() ? "  (empty)\n" : text;
}

} // namespace

TScriptedFtpServer::TScriptedFtpServer(const std::string& scenario, const TSettings& settings)
    : FScratch("lf-scripted-ftp-") {
  FRoot = FScratch.Path() + "/root";
  FTranscriptPath = FScratch.Path() + "/transcript.txt";
  std::filesystem::create_directory(FRoot);
  std::ofstream(FTranscriptPath).close();

  std::vector<std::string> argv = {Python,   ScriptPath(), "--scenario",   scenario,
                                   "--root", FRoot,        "--transcript", FTranscriptPath};
  for (const auto& [key, value] : settings) {
    argv.push_back("--set");
    argv.push_back(key + "=" + value);
  }
  FProcess = std::make_unique<TChildProcess>(argv, std::vector<std::string>{
                                                       "PYTHONDONTWRITEBYTECODE=1",
                                                   });
  const auto line = FProcess->ReadLine(TClock::now() + 10s);
  int port = 0;
  if (!line || std::sscanf(line->c_str(), "PORT %d", &port) != 1 || port <= 0) {
    FProcess->Stop();
    throw std::runtime_error("scripted FTP server (scenario " + scenario +
                             ") did not start; first line: " + line.value_or("(none)") +
                             "; stderr: " + FProcess->StandardError());
  }
  FPort = port;
}

TScriptedFtpServer::~TScriptedFtpServer() {
  Stop();
}

void TScriptedFtpServer::Stop() {
  if (FProcess) FProcess->Stop();
}

std::string TScriptedFtpServer::Diagnostics() const {
  return FProcess ? FProcess->StandardError() : std::string();
}

std::vector<std::string> TScriptedFtpServer::Transcript() const {
  std::ifstream in(FTranscriptPath, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();
  std::vector<std::string> lines;
  size_t start = 0;
  // The server writes whole lines; a rest without LF is one still being written.
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

::testing::AssertionResult TScriptedFtpServer::TranscriptFailure(const std::string& what) const {
  return ::testing::AssertionFailure() << what << "; transcript:\n"
                                       << Joined(Transcript()) << "server stderr:\n"
                                       << Diagnostics();
}

::testing::AssertionResult
TScriptedFtpServer::WaitForTranscriptLines(size_t count, std::chrono::milliseconds timeout) const {
  const auto deadline = TClock::now() + timeout;
  for (;;) {
    if (Transcript().size() >= count) return ::testing::AssertionSuccess();
    if (TClock::now() >= deadline) break;
    std::this_thread::sleep_for(5ms);
  }
  return TranscriptFailure("fewer than " + std::to_string(count) + " lines after " +
                           std::to_string(timeout.count()) + " ms");
}

::testing::AssertionResult
TScriptedFtpServer::WaitForTranscriptLine(const std::string& line,
                                          std::chrono::milliseconds timeout) const {
  const auto deadline = TClock::now() + timeout;
  for (;;) {
    const auto lines = Transcript();
    if (std::find(lines.begin(), lines.end(), line) != lines.end())
      return ::testing::AssertionSuccess();
    if (TClock::now() >= deadline) break;
    std::this_thread::sleep_for(5ms);
  }
  return TranscriptFailure("no line \"" + line + "\" after " + std::to_string(timeout.count()) +
                           " ms");
}

std::string TScriptedFtpServer::EscapedValue(std::string_view raw) {
  std::string result;
  for (const unsigned char c : raw) {
    if (c == '\\') {
      result += "\\\\";
    } else if (c < 0x20 || c >= 0x7f) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      result += hex;
    } else {
      result += static_cast<char>(c);
    }
  }
  return result;
}
