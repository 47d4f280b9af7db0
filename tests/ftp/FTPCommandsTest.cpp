#include "IdTCPExceptions.h"
#include "ScriptedFixture.h"

#include <filesystem>
#include <fstream>

namespace {

class Commands : public ScriptedFixture {};

TEST_F(Commands, TextsAsSent) {
  Serve();
  std::filesystem::create_directory(server->Root() + "/fotos");
  Login();
  ftp.ChangeWorkingDir("fotos");
  EXPECT_EQ(ftp.QueryWorkingDir(), "/fotos");
  ftp.ChangeWorkingDir("..");
  ftp.ChangeWorkingDir("");
  ftp.MakeRemoteDir("20261208-0145");
  ftp.RemoveRemoteDir("20261208-0145");
  EXPECT_THROW(ftp.DeleteRemoteFile(""), EIdProtocolReplyError);
  EXPECT_EQ(AfterLogin(), (Lines{"CWD fotos", "PWD", "CWD ..", "CWD ", "MKD 20261208-0145",
                                 "RMD 20261208-0145", "DELE "}));
}

TEST_F(Commands, RefusalsCarryTheServersLine) {
  Serve("cwd_refused");
  Login();
  try {
    ftp.ChangeWorkingDir("nowhere");
    FAIL() << "no exception";
  } catch (const EIdProtocolReplyError& e) {
    EXPECT_EQ(e.ReplyCode, 550);
    EXPECT_EQ(e.Message, "550 No such directory");
  }
  EXPECT_EQ(ftp.QueryWorkingDir(), "/") << "the reply was read: still in step";
}

TEST_F(Commands, MakeDirWantsExactly257) {
  Serve("mkd_250");
  Login();
  EXPECT_THROW(ftp.MakeRemoteDir("x"), EIdProtocolReplyError);
  ftp.Disconnect();
  Serve("mkd_unquoted");
  Login();
  EXPECT_NO_THROW(ftp.MakeRemoteDir("x"));
}

TEST_F(Commands, WorkingDirFromTheLastLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"pwd_unquoted", ""}, {"pwd_one_quote", ""}, {"pwd_multiline", "/fotos/2024"}};
  for (const auto& [scenario, path] : cases) {
    Serve(scenario);
    Login();
    EXPECT_EQ(ftp.QueryWorkingDir(), path) << scenario;
    ftp.Disconnect();
  }
}

TEST_F(Commands, FileSizes) {
  Serve();
  { std::ofstream(server->Root() + "/a.jpg") << std::string(1536, 'a'); }
  Login();
  EXPECT_EQ(ftp.QueryFileSize("a.jpg"), 1536);
  EXPECT_EQ(ftp.QueryFileSize("missing.jpg"), -1);
  ftp.Disconnect();
  const std::pair<const char*, int32_t> cases[] = {
      {"size_big", -1}, {"size_multiline", -1}, {"size_refused", -1}};
  for (const auto& [scenario, size] : cases) {
    Serve(scenario);
    Login();
    EXPECT_EQ(ftp.QueryFileSize("a.jpg"), size) << scenario;
    EXPECT_EQ(AfterLogin(), (Lines{"SIZE a.jpg"}));
    ftp.Disconnect();
  }
}

} // namespace
