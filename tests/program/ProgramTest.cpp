// The complete program, started from a directory of its own as an installation
// runs it, driven over TCP with the command-line client, and stopped by a signal.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "platform/IniFile.h"
#include "platform/TextCodec.h"
#include "tests/program/Installation.h"
#include "tests/support/ClientDatabase.h"
#include "tests/support/TestClient.h"

using namespace testing_support;
using Rows = std::vector<std::vector<std::string>>;
using Lines = std::vector<std::string>;

namespace {

std::map<std::string, std::string> Status(const Installation& install) {
  std::map<std::string, std::string> status;
  const ProcessResult run = install.EncoderSim({"status"});
  std::size_t start = 0;
  while (start < run.Out.size()) {
    const std::size_t end = run.Out.find('\n', start);
    const std::string line = run.Out.substr(start, end - start);
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos)
      status[line.substr(0, eq)] = line.substr(eq + 1);
    start = end == std::string::npos ? run.Out.size() : end + 1;
  }
  return status;
}

bool Contains(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string Answer(const std::string& code, const std::string& message, long long cardNo) {
  return "ResultCode: " + code + "\nResultMessage: " + message +
         "\nCardNo: " + std::to_string(cardNo) + "\n";
}

void ExpectFilesWhole(const Installation& install) {
  const std::string log = [&] {
    std::string all;
    for (const auto& e : std::filesystem::directory_iterator(install.Dir())) {
      if (e.path().extension() == ".LOG")
        all += ReadFile(e.path());
    }
    return all;
  }();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
  EXPECT_EQ(QueryRows(install.File("Client.mdb"), "pragma integrity_check"), Rows{{"ok"}});
}

}  // namespace

TEST(Program, IssuesReadsAndErasesAnIcCard) {
  Installation install;
  const int port = FreePort();
  WriteFile(install.File("Option.ini"),
            "[DoorlockOption]\nDoorlockType=IC\nPortName=COM1\nHotelId=KPVZ4729\n"
            "CurrentCardNo=41\nUseNativeDoorlockDb=1\nSaveDoorlockRecord=1\n[SysOption]\n"
            "DoorlockPortNo=" +
                std::to_string(port) + "\n");
  ASSERT_TRUE(install.Start(port)) << install.ProgramStderr();

  const ProcessResult issued =
      install.Client({"--port", std::to_string(port), "issue", "--building", "01", "--floor", "02",
                      "--room", "0301", "--guest", "张三", "--checkin", "2024-05-01 14:00:00",
                      "--checkout", "2030-05-03 12:00:00"});
  EXPECT_EQ(issued.Out, Answer("200", "发卡成功", 42)) << issued.Err;
  EXPECT_EQ(
      plat::TIniFile(install.File("Option.ini")).ReadInteger("DoorlockOption", "CurrentCardNo", 0),
      42);
  std::map<std::string, std::string> card = Status(install);
  EXPECT_EQ(card["card"], "IC");
  EXPECT_EQ(card["card_no"], "42");
  EXPECT_EQ(card["hotel"], "KPVZ4729");
  EXPECT_EQ(card["room"], "1-2-0301");
  EXPECT_EQ(card["end"], "2030-05-03 12:00");
  EXPECT_EQ(card["cancelled"], "0");

  const std::string port_ = std::to_string(port);
  EXPECT_EQ(install.Client({"--port", port_, "read"}).Out, Answer("200", "读卡成功", 42));
  EXPECT_EQ(install.Client({"--port", port_, "erase"}).Out, Answer("200", "注销卡成功 ", 0));
  EXPECT_EQ(Status(install)["cancelled"], "1");

  EXPECT_EQ(install.Stop(), 0);
  const std::string db = install.File("Client.mdb");
  EXPECT_EQ(QueryRows(db, "select RoomNo, LastCheckInTime > 45000 from T_Room"),
            (Rows{{"01020301", "1"}}));
  EXPECT_EQ(
      QueryRows(db, "select CardNo, RoomNo, CardType, IsCopy, GuestName from T_IssueCardRecord"),
      (Rows{{"42", "01020301", "1", "0", plat::Utf8ToGbk("张三")}}));

  EXPECT_EQ(
      install.LogLines(),
      (Lines{"串口打开成功: COM1", "收到消息: ",
             "<DoorRequest type=\"IssueCard\"><RequestID></RequestID><RegisterId></RegisterId>"
             "<RoomBuildingCode>01</RoomBuildingCode><RoomFloorCode>02</RoomFloorCode>"
             "<RoomNo>0301</RoomNo><GuestName>张三</GuestName><CheckInDate>2024-05-01"
             "</CheckInDate><CheckInTime>14:00:00</CheckInTime><CheckOutDate>2030-05-03"
             "</CheckOutDate><CheckOutTime>12:00:00</CheckOutTime><IsCopy>0</IsCopy>"
             "</DoorRequest>",
             "执行操作->", "发卡成功,卡号为:42", "新建房间01020301", "房间(0301)发卡成功",
             "完成一次操作", "收到消息: ", "<DoorRequest type=\"ReadCard\"></DoorRequest>",
             "执行操作->", "读卡成功,卡号为:42", "读卡成功，卡号为：42", "完成一次操作",
             "收到消息: ", "<DoorRequest type=\"EraseCard\"></DoorRequest>", "执行操作->",
             "注销卡成功", "完成一次操作"}));
  ExpectFilesWhole(install);
}

TEST(Program, IssuesReadsAndErasesAnRfV9Card) {
  Installation install;
  const int port = FreePort();
  WriteFile(install.File("Option.ini"),
            "[DoorlockOption]\nDoorlockType=RF-V9\nHotelId=12345\n[SysOption]\nDoorlockPortNo=" +
                std::to_string(port) + "\n");
  ASSERT_EQ(install.EncoderSim({"insert", "--serial", "0x0000ABCD"}).ExitCode, 0);
  ASSERT_TRUE(install.Start(port)) << install.ProgramStderr();
  const std::string p = std::to_string(port);

  EXPECT_EQ(install
                .Client({"--port", p, "issue", "--building", "01", "--floor", "02", "--room",
                         "0301", "--checkout", "2030-05-03 12:00:00"})
                .Out,
            Answer("200", "发卡成功", 0xABCD));
  std::map<std::string, std::string> card = Status(install);
  EXPECT_EQ(card["card"], "RF-V9");
  EXPECT_EQ(card["hotel"], "12345");
  EXPECT_EQ(card["room"], "01020301");
  EXPECT_EQ(card["end"], "2030-05-03 12:00");
  EXPECT_EQ(
      plat::TIniFile(install.File("Option.ini")).ReadInteger("DoorlockOption", "CurrentCardNo", 0),
      2);
  EXPECT_EQ(install.Client({"--port", p, "read"}).Out, Answer("200", "读卡成功", 0xABCD));
  EXPECT_EQ(install.Client({"--port", p, "erase"}).Out, Answer("200", "注销卡成功 ", 0));
  EXPECT_EQ(Status(install)["cancelled"], "1");
  EXPECT_EQ(install.Stop(SIGINT), 0);

  const Lines log = install.LogLines();
  EXPECT_EQ(log.at(0), "串口打开成功: COM1");
  EXPECT_TRUE(Contains(log, "发卡成功,卡号为:43981"));
  EXPECT_TRUE(Contains(log, "读卡成功，卡号为：43981"));
  EXPECT_TRUE(Contains(log, "注销卡成功"));
  ExpectFilesWhole(install);
}

TEST(Program, WithoutAnOptionFileRunsTheIcDriverOnTheDefaults) {
  if (TestClient(8886).Connected())
    GTEST_SKIP() << "port 8886 is taken on this machine";
  Installation install;
  ASSERT_TRUE(install.Start(8886)) << install.ProgramStderr();
  EXPECT_NE(install.ProgramStderr().find("the window is not shown"), std::string::npos);
  EXPECT_FALSE(FileExists(install.File("Option.ini")));  // nothing written before a card
  EXPECT_EQ(install.Client({"issue"}).Out, Answer("200", "发卡成功", 2));
  EXPECT_EQ(install.Stop(), 0);
  EXPECT_EQ(ReadFile(install.File("Option.ini")),
            "[DoorlockOption]\nDoorlockType=IC\nPortName=COM1\nHotelId=KPVZ4729\n"
            "CurrentCardNo=2\n");
  EXPECT_EQ(install.LogLines().at(0), "串口打开成功: COM1");
}

TEST(Program, WithoutClientMdbStillServesAndLogsTheDatabasesMessage) {
  Installation install(/*withDatabase=*/false);
  const int port = FreePort();
  WriteFile(install.File("Option.ini"),
            "[DoorlockOption]\nSaveDoorlockRecord=1\n[SysOption]\n"
            "DoorlockPortNo=" +
                std::to_string(port) + "\n");
  ASSERT_TRUE(install.Start(port)) << install.ProgramStderr();
  EXPECT_EQ(install.Client({"--port", std::to_string(port), "issue"}).Out,
            Answer("200", "发卡成功", 2));
  EXPECT_EQ(install.Stop(), 0);
  const std::string failure = "unable to open database file: " + install.File("Client.mdb");
  const Lines log = install.LogLines();
  EXPECT_EQ(std::count(log.begin(), log.end(), failure), 2);  // at start-up and at the record
  EXPECT_FALSE(FileExists(install.File("Client.mdb")));
}

TEST(Program, AnUnknownLockTypeRunsWithoutADriverAndSaysSo) {
  Installation install;
  const int port = FreePort();
  WriteFile(install.File("Option.ini"),
            "[DoorlockOption]\nDoorlockType=ic\n[SysOption]\nDoorlockPortNo=" +
                std::to_string(port) + "\n");
  ASSERT_TRUE(install.Start(port)) << install.ProgramStderr();
  const ProcessResult read = install.Client({"--port", std::to_string(port), "read"});
  EXPECT_EQ(read.Out, Answer("500", "读卡失败", 0));
  EXPECT_EQ(read.ExitCode, 1);
  EXPECT_EQ(install.Stop(), 0);
  const Lines log = install.LogLines();
  EXPECT_EQ(log.at(0), "未知的门锁类型，不使用门锁: ic");
  EXPECT_FALSE(Contains(log, "串口打开成功: COM1"));
}

TEST(Program, AMissingLibraryStopsTheStartAndNamesIt) {
  for (const char* library : {"libIC32.so", "libRFL32.so", "libProject2.so"}) {
    Installation install;
    std::filesystem::remove(install.File(library));
    const ProcessResult run = install.RunToExit();
    EXPECT_NE(run.ExitCode, 0) << library;
    EXPECT_NE(run.Err.find(library), std::string::npos) << run.Err;
    // Nothing was touched: no settings, no log, no encoder state.
    for (const auto& entry : std::filesystem::directory_iterator(install.Dir())) {
      const std::string name = entry.path().filename();
      EXPECT_TRUE(name == "doorlock-interface" || name == "encoder-sim" || name == "Client.mdb" ||
                  name.rfind("lib", 0) == 0)
          << name;
    }
  }
}
