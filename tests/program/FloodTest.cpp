// A crowd of connections that never deliver a request, against the built program
// started with the usual limit of 1024 open files.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "bench/IdleCrowd.h"
#include "platform/IniFile.h"
#include "tests/program/Installation.h"
#include "tests/support/TestClient.h"

using namespace testing_support;

namespace {

constexpr int kFirstCrowd = 1100;
constexpr int kSecondCrowd = 5000;
// The test's own descriptors beside the crowd's.
constexpr rlim_t kClientFiles = kSecondCrowd + 512;

// The card number of a "200" answer with the given message, or -1.
long long AnsweredCardNo(const std::string& response, const std::string& messageUtf8) {
  const std::regex answered(
      "<DoorResponse><RequestID></RequestID><ResultCode>200</ResultCode><ResultMessage>" +
      messageUtf8 + "</ResultMessage><CardNo>(-?\\d+)</CardNo></DoorResponse>\\x00");
  std::smatch m;
  return std::regex_match(response, m, answered) ? std::stoll(m[1]) : -1;
}

struct Limit {
  const char* name;
  bool hardAsSoft;  // else the hard limit is the test's own, well above the crowd
};
void PrintTo(const Limit& limit, std::ostream* out) {
  *out << limit.name;
}

class FloodTest : public ::testing::TestWithParam<Limit> {
 protected:
  void SetUp() override {
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved_), 0);
    if (saved_.rlim_max < kClientFiles) {
      GTEST_SKIP() << "the hard limit of open files is " << saved_.rlim_max << "; holding "
                   << kSecondCrowd << " connections takes at least " << kClientFiles;
    }
    rlimit raised = saved_;
    raised.rlim_cur = saved_.rlim_max;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &raised), 0);
  }
  void TearDown() override { ::setrlimit(RLIMIT_NOFILE, &saved_); }

  // One "IssueCard" and one "ReadCard" of the card it made, from a fresh client;
  // both must be answered, the issue with the next card number.
  void ExpectServed(const std::string& stage) {
    const std::string issue = IssueCardRequest("01", "02", "0301", "G", "2024-05-01", "14:00:00",
                                               "2030-05-03", "12:00:00", "0") +
                              '\0';
    const std::string issueAnswer = Exchange(port, issue);
    const long long issued = AnsweredCardNo(issueAnswer, "发卡成功");
    EXPECT_EQ(issued, lastAnswered + 1) << stage << ": " << issueAnswer;
    lastAnswered = std::max(lastAnswered, issued);
    const std::string read = std::string("<DoorRequest type=\"ReadCard\"/>") + '\0';
    const std::string readAnswer = Exchange(port, read);
    EXPECT_EQ(AnsweredCardNo(readAnswer, "读卡成功"), lastAnswered) << stage << ": " << readAnswer;
  }

  Installation install;
  int port = FreePort();
  long long lastAnswered = 100;  // the card number last answered
  rlimit saved_{};
};

}  // namespace

TEST_P(FloodTest, IdleAndSlowConnectionsLockNobodyOutAndUseUpNoCardNumber) {
  WriteFile(install.File("Option.ini"),
            "[DoorlockOption]\nDoorlockType=IC\nCurrentCardNo=100\nUseNativeDoorlockDb=1\n"
            "SaveDoorlockRecord=1\n[SysOption]\nDoorlockPortNo=" +
                std::to_string(port) + "\n");
  const rlimit files{1024, GetParam().hardAsSoft ? 1024 : saved_.rlim_max};
  install.LimitFiles(files);
  ASSERT_TRUE(install.Start(port)) << install.ProgramStderr();
  {
    bench::TIdleCrowd crowd(port);
    ExpectServed("alone");
    ASSERT_NO_THROW(crowd.GrowTo(kFirstCrowd));
    crowd.WaitForSlowRound();
    ExpectServed("beside 1100 idle connections");
    ASSERT_NO_THROW(crowd.GrowTo(kSecondCrowd));
    crowd.WaitForSlowRound();
    ExpectServed("beside 5000 idle connections");
    ExpectServed("again");
    if (GetParam().hardAsSoft) {
      // Room was made by ending the connections that waited longest.
      EXPECT_GE(crowd.ClosedByServer(), kSecondCrowd - 1024);
    } else {
      // With room enough, nobody's connection is cut short.
      EXPECT_EQ(crowd.ClosedByServer(), 0);
    }
    // The stop signal ends the program with the crowd still connected.
    EXPECT_EQ(install.Stop(), 0);
  }
  EXPECT_EQ(install.ProgramStderr().find("Terminate Thread Timeout"), std::string::npos)
      << install.ProgramStderr();
  // Every card number used up was answered.
  EXPECT_EQ(
      plat::TIniFile(install.File("Option.ini")).ReadInteger("DoorlockOption", "CurrentCardNo", -1),
      lastAnswered);
}

INSTANTIATE_TEST_SUITE_P(Limits, FloodTest,
                         ::testing::Values(Limit{"HardLimitAbove", false},
                                           Limit{"HardLimitAlso1024", true}),
                         [](const auto& limit) { return std::string(limit.param.name); });
