#pragma once

#include "IdFTP.h"
#include "ScriptedFtpServer.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using Lines = std::vector<std::string>;

// An FTP client and a scripted server playing one scenario.
class ScriptedFixture : public ::testing::Test {
 protected:
  void Serve(const std::string& scenario = "default",
             const TScriptedFtpServer::TSettings& settings = {}) {
    server = std::make_unique<TScriptedFtpServer>(scenario, settings);
    ftp.Host = "127.0.0.1";
    ftp.Port = server->Port();
    ftp.User = "Lichtfracht";
    ftp.Password = "58Kovarenisobume";
  }
  void Login(bool passive = false) {
    ftp.Passive = passive;
    ftp.Connect(true);
  }
  // The command lines the server received after the login (user, pass, type, syst).
  Lines AfterLogin() const {
    const Lines all = server->Transcript();
    return all.size() <= 4 ? Lines{} : Lines(all.begin() + 4, all.end());
  }
  void TearDown() override { ftp.Disconnect(); }

  std::unique_ptr<TScriptedFtpServer> server;
  TIdFTP ftp;
};

// The message of the E that run raised; a test failure when it raised nothing or another
// kind.
template <typename E, typename F> std::string MessageOf(F run) {
  try {
    run();
  } catch (const E& e) {
    return e.Message;
  }
  ADD_FAILURE() << "no exception of the expected kind";
  return {};
}

// "PORT a,b,c,d,p1,p2" for the port the listener was given, as far as a test can know it:
// the address part only.
inline bool IsLoopbackPortCommand(const std::string& line) {
  return line.rfind("PORT 127,0,0,1,", 0) == 0;
}
