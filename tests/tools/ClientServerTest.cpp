// The client against the real listening server and request handler.
#include <gtest/gtest.h>

#include "encoders/BaseDoorlockUnit.h"
#include "host/DoorlockServerUnit.h"
#include "tests/support/BinDir.h"
#include "tests/support/CoreGlobals.h"
#include "tests/support/FakeDoorlock.h"
#include "tests/support/ProcessRunner.h"

using namespace testing_support;

TEST(ClientAgainstServer, IssuesReadsAndErasesThroughTheRealServer) {
  CoreGlobals globals;
  FakeDoorlock driver;
  globals.Objects().LendDriver(&driver);
  TDoorlockServer server;
  server.SetDefaultPort(0);
  server.Activate();
  const std::string client = BinDir() + "doorlock-client";
  const std::string port = std::to_string(server.BoundPort());

  const struct {
    std::vector<std::string> args;
    int exitCode;
    std::string out;
  } cases[] = {
      {{"--port", port, "issue", "--building", "01", "--floor", "02", "--room", "0301", "--guest",
        "张三", "--checkin", "2024-05-01 14:00:00", "--checkout", "2024-05-03 12:00:00"},
       0,
       "ResultCode: 200\nResultMessage: 发卡成功\nCardNo: 4711\n"},
      {{"--port", port, "read"}, 0, "ResultCode: 200\nResultMessage: 读卡成功\nCardNo: 4711\n"},
      {{"--port", port, "erase"}, 0, "ResultCode: 200\nResultMessage: 注销卡成功 \nCardNo: 0\n"},
  };
  for (const auto& c : cases) {
    const ProcessResult run = RunProcess(client, c.args);
    std::lock_guard sync(DoorlockMutex());  // orders the handler's driver calls before our reads
    EXPECT_EQ(run.ExitCode, c.exitCode) << run.Err;
    EXPECT_EQ(run.Out, c.out);
  }
  ASSERT_EQ(driver.issues.size(), 1u);
  EXPECT_EQ(driver.issues[0].GuestName, Gbk("张三"));
  EXPECT_EQ(driver.issues[0].RoomNo, "0301");

  {
    std::lock_guard sync(DoorlockMutex());
    driver.eraseResult = false;
  }
  const ProcessResult failed = RunProcess(client, {"--port", port, "erase"});
  EXPECT_EQ(failed.ExitCode, 1);
  EXPECT_EQ(failed.Out, "ResultCode: 500\nResultMessage: 注销卡失败 \nCardNo: 0\n");

  const ProcessResult unanswered =
      RunProcess(client, {"--port", port, "send", "-"}, "<r type=\"readcard\"/>");
  EXPECT_EQ(unanswered.ExitCode, 2);

  server.Deactivate();
}
