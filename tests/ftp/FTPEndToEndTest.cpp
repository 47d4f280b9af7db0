#include "FileStream.h"
#include "IdFTP.h"
#include "IdTCPExceptions.h"
#include "PureFtpd.h"
#include "TestFiles.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Our client against a production FTP daemon, in both data connection modes.
class EndToEnd : public ::testing::TestWithParam<bool> {
 protected:
  static void SetUpTestSuite() { daemon = new TPureFtpd; }
  static void TearDownTestSuite() {
    delete daemon;
    daemon = nullptr;
  }
  void SetUp() override {
    local = fs::temp_directory_path() / ("lf-e2e-" + std::to_string(::getpid()));
    fs::create_directories(local);
    ftp.Host = "127.0.0.1";
    ftp.Port = daemon->Port();
    ftp.User = TPureFtpd::User;
    ftp.Password = TPureFtpd::Password;
    ftp.Passive = GetParam();
    ftp.Connect(true);
  }
  void TearDown() override {
    ftp.Quit();
    fs::remove_all(local);
  }

  static TPureFtpd* daemon;
  fs::path local;
  TIdFTP ftp;
};

TPureFtpd* EndToEnd::daemon = nullptr;

TEST_P(EndToEnd, PublishListFetchAndClearUp) {
  const std::string folder = std::string("20261208-0145") + (GetParam() ? "p" : "a");
  ftp.MakeRemoteDir(folder);
  ftp.ChangeWorkingDir(folder);
  EXPECT_EQ(ftp.QueryWorkingDir(), "/" + folder);

  const std::pair<std::string, size_t> files[] = {{"leer.jpg", 0},
                                                  {"eins.jpg", 1},
                                                  {"block.jpg", 32768},
                                                  {"block1.jpg", 32769},
                                                  {"gross.jpg", 5u << 20}};
  ftp.SetTransferType(ftBinary);
  unsigned seed = 1;
  for (const auto& [name, size] : files) {
    const std::string content = RandomBytes(size, seed++);
    const std::string path = local / name;
    std::ofstream(path, std::ios::binary) << content;
    ftp.StoreFile(path, name, false);
    EXPECT_EQ(ReadFileBytes(daemon->Root() + "/" + folder + "/" + name), content) << name;
    EXPECT_EQ(ftp.QueryFileSize(name), static_cast<int32_t>(size)) << name;
  }

  TStringList listing;
  ftp.SetTransferType(ftASCII);
  ftp.ListDirectory(listing, "", true);
  for (const auto& [name, size] : files) {
    bool found = false;
    for (const std::string& line : listing)
      found = found || (line.size() > name.size() &&
                        line.compare(line.size() - name.size(), name.size(), name) == 0 &&
                        line.find(std::to_string(size)) != std::string::npos);
    EXPECT_TRUE(found) << name << " in\n" << listing.Text();
  }

  ftp.SetTransferType(ftBinary);
  seed = 1;
  for (const auto& [name, size] : files) {
    const std::string back = local / ("back-" + name);
    ftp.RetrieveFile(name, back, false);
    EXPECT_EQ(ReadFileBytes(back), RandomBytes(size, seed++)) << name;
    ftp.DeleteRemoteFile(name);
  }
  ftp.ChangeWorkingDir("..");
  ftp.RemoveRemoteDir(folder);
  EXPECT_FALSE(fs::exists(daemon->Root() + "/" + folder));
}

TEST_P(EndToEnd, RefusalsFromARealServer) {
  EXPECT_THROW(ftp.ChangeWorkingDir("no-such-folder"), EIdProtocolReplyError);
  EXPECT_EQ(ftp.QueryFileSize("no-such-file"), -1);
  const std::string target = local / "never";
  EXPECT_THROW(ftp.RetrieveFile("no-such-file", target, true), EIdProtocolReplyError);
  EXPECT_EQ(ftp.DataConnection(), nullptr);
  EXPECT_EQ(ftp.QueryWorkingDir(), "/");
}

INSTANTIATE_TEST_SUITE_P(Modes, EndToEnd, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

} // namespace
