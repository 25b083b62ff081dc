// The built program with the bridge edition beside it and the simulated encoder as
// Windows DLLs under Wine: one table of requests gives exactly what the same
// requests give on the Linux simulator, the bridge makes its own Wine prefix at the
// first start, and a failure is an answer the next request recovers from.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>

#include "tests/bridge/BridgeFolder.h"
#include "tests/program/Installation.h"
#include "tests/support/Unprivileged.h"

using namespace testing_support;
namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

std::unique_ptr<Installation> Install(bool bridged) {
  auto install = std::make_unique<Installation>();
  if (bridged) {
    InstallBridge(install->Dir());
    WriteBridgeSettings(install->Dir());
  }
  return install;
}

void WriteOptions(const Installation& install, const std::string& options, int port) {
  WriteFile(install.File("Option.ini"),
            "[DoorlockOption]\n" + options +
                "\n[SysOption]\nDoorlockPortNo=" + std::to_string(port) + "\n");
}

struct Step {
  std::vector<std::string> encoderSim;  // run first, when given
  std::vector<std::string> client;      // then the request, when given
};

// Everything a run of `steps` shows from outside: each answer and the encoder's
// state after it, then the log and Option.ini.
Lines Transcript(bool bridged, const std::string& options, const std::vector<Step>& steps) {
  const std::unique_ptr<Installation> install = Install(bridged);
  const int port = FreePort();
  WriteOptions(*install, options, port);
  if (!install->Start(port)) {
    ADD_FAILURE() << "the program did not start\n" << install->ProgramStderr();
    return {};
  }
  Lines transcript;
  for (const Step& step : steps) {
    if (!step.encoderSim.empty())
      install->EncoderSim(step.encoderSim);
    if (!step.client.empty()) {
      std::vector<std::string> args = {"--port", std::to_string(port)};
      args.insert(args.end(), step.client.begin(), step.client.end());
      const ProcessResult answer = install->Client(args);
      transcript.push_back(step.client[0] + " -> " + answer.Out + "exit " +
                           std::to_string(answer.ExitCode));
    }
    transcript.push_back(install->EncoderSim({"status"}).Out);
  }
  transcript.push_back("stopped with " + std::to_string(install->Stop()));
  const Lines log = install->LogLines();
  transcript.insert(transcript.end(), log.begin(), log.end());
  // Each run listens on a port of its own.
  transcript.push_back(std::regex_replace(ReadFile(install->File("Option.ini")),
                                          std::regex("DoorlockPortNo=" + std::to_string(port)),
                                          "DoorlockPortNo=<port>"));
  if (bridged) {
    EXPECT_TRUE(Logged(install->Dir(), "Encoder host stopped."));
  }
  return transcript;
}

const std::vector<std::string> kIssue = {"issue",
                                         "--building",
                                         "01",
                                         "--floor",
                                         "02",
                                         "--room",
                                         "0301",
                                         "--guest",
                                         "张三",
                                         "--checkin",
                                         "2024-05-01 14:00:00",
                                         "--checkout",
                                         "2030-05-03 12:00:00"};

TEST(BridgeProgram, AnswersLogAndCardsAreThoseOfTheLinuxSimulator) {
  if (!WineInstalled())
    GTEST_SKIP() << kNoWine;
  const struct {
    const char* lockType;
    std::string options;
    const char* failingWrite;
  } editions[] = {
      {"IC", "DoorlockType=IC\nPortName=COM2\nHotelId=KPVZ4729\nCurrentCardNo=41", "GuestCard"},
      {"RF-V9", "DoorlockType=RF-V9\nHotelId=12345\nCurrentCardNo=7\nSaveDoorlockRecord=1",
       "RoomCard"},
  };
  for (const auto& edition : editions) {
    SCOPED_TRACE(edition.lockType);
    const std::vector<Step> steps = {
        {{}, kIssue},
        {{}, {"read"}},
        {{}, {"erase"}},
        {{"fail", edition.failingWrite, "-3"}, kIssue},
        {{"fail", edition.failingWrite, "0"}, {"read"}},
        {{"disconnect"}, kIssue},
        {{}, {"read"}},
        {{"connect"}, {"erase"}},
        {{"insert", "--serial", "0x1234ABCD"}, kIssue},
        {{}, {"read"}},
    };
    const Lines onLinux = Transcript(false, edition.options, steps);
    const Lines throughWine = Transcript(true, edition.options, steps);
    ASSERT_GT(onLinux.size(), steps.size() * 2);
    EXPECT_EQ(onLinux[0].substr(0, 31), "issue -> ResultCode: 200\nResult");
    EXPECT_EQ(throughWine, onLinux);
  }
}

// As a service's account runs it: not root, no home, in a folder that belongs to root
// (where Wine refuses to make a prefix of its own accord).
TEST(BridgeProgram, MakesItsOwnWinePrefixAsAServiceAccountAndLeavesNoWineRunning) {
  if (!WineInstalled())
    GTEST_SKIP() << kNoWine;
  const std::unique_ptr<Installation> install = Install(true);
  WriteBridgeSettings(install->Dir(), "", true);
  const int port = FreePort();
  WriteOptions(*install, "DoorlockType=IC", port);
  const UnprivilegedUser user = Unprivileged();
  for (const char* name : {"Option.ini", "Client.mdb"})
    ASSERT_EQ(::chown(install->File(name).c_str(), user.Uid, user.Gid), 0);
  ASSERT_EQ(::chmod(install->Dir().c_str(), 01777), 0);
  install->RunAs(user.Uid, user.Gid);
  const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
  ::setenv("HOME", "/nonexistent", 1);
  const bool started = install->Start(port);
  ::setenv("HOME", home.c_str(), 1);
  ASSERT_TRUE(started) << install->ProgramStderr();

  const std::string prefix = install->Dir() + "wine-prefix";
  EXPECT_TRUE(FileExists(prefix + "/system.reg")) << ReadFile(install->File("EncoderBridge.log"));
  EXPECT_TRUE(Logged(install->Dir(), "Creating the Wine prefix " + prefix));
  EXPECT_TRUE(Logged(install->Dir(), "Wine prefix ready in "));
  std::vector<std::string> issue = {"--port", std::to_string(port)};
  issue.insert(issue.end(), kIssue.begin(), kIssue.end());
  EXPECT_EQ(install->Client(issue).ExitCode, 0);
  EXPECT_EQ(install->EncoderSim({"status"}).Out.substr(0, 24), "connected=1\ncard=IC\ncard");

  EXPECT_EQ(install->Stop(), 0);
  EXPECT_EQ(WineProcesses(prefix), std::vector<int>{});
}

TEST(BridgeProgram, AFailureIsAnAnswerAndTheNextRequestWorksOnceItsCauseIsGone) {
  if (!WineInstalled())
    GTEST_SKIP() << kNoWine;
  const std::unique_ptr<Installation> install = Install(true);
  WriteBridgeSettings(install->Dir(), "Wine=/nowhere/wine\n");
  const int port = FreePort();
  WriteOptions(*install, "DoorlockType=RF-V9\nHotelId=12345", port);
  ASSERT_TRUE(install->Start(port)) << install->ProgramStderr();
  std::vector<std::string> issue = {"--port", std::to_string(port)};
  issue.insert(issue.end(), kIssue.begin(), kIssue.end());

  const ProcessResult failed = install->Client(issue);
  EXPECT_EQ(failed.ExitCode, 1) << failed.Out;
  EXPECT_NE(failed.Out.find("ResultMessage: 发卡失败"), std::string::npos);
  const Lines log = install->LogLines();
  EXPECT_NE(std::find(log.begin(), log.end(), "发卡失败-99"), log.end());
  EXPECT_TRUE(Logged(install->Dir(),
                     "Wine was not found (Wine=/nowhere/wine, no such "
                     "executable file)"));

  WriteBridgeSettings(install->Dir());
  EXPECT_EQ(install->Client(issue).ExitCode, 0);
  EXPECT_EQ(install->Stop(), 0);
}

}  // namespace
