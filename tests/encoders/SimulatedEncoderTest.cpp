#include "tests/encoders/SimulatedEncoder.h"

#include <gtest/gtest.h>

#include <thread>

#include "encoders/VeskDoorlockUnit.h"
#include "encoders/VeskV9DoorlockUnit.h"
#include "platform/DateTime.h"
#include "tests/encoders/RecordingLibraries.h"

using namespace std::string_literals;
using testing_support::Gbk;
using testing_support::ReadFile;
using testing_support::SimulatedEncoder;
using Status = std::map<std::string, std::string>;
using Strings = std::vector<std::string>;

namespace {

const Status kResetStatus = {{"connected", "1"}, {"card", "blank"},  {"card_no", "10597059"},
                             {"hotel", ""},      {"room", ""},       {"start", ""},
                             {"end", ""},        {"cancelled", "0"}, {"beeps", "0"}};

class SimulatedEncoderTest : public ::testing::Test {
 protected:
  SimulatedEncoderTest() { ResetVeskPortHandle(); }

  bool IssueIC(std::int64_t& cardNo, const std::string& roomNo = "01") {
    return ic.IssueCard("", "00", "01", roomNo, "Test", start, start, end, end, false, cardNo);
  }
  bool IssueV9(std::int64_t& cardNo) {
    return v9.IssueCard("", "00", "01", "01", "Test", start, start, end, end, false, cardNo);
  }
  Strings Log() const { return sim.Globals.LogTexts(); }

  SimulatedEncoder sim;
  TVeskDoorlock ic{sim.Libraries.IC32()};
  TVeskV9Doorlock v9{sim.Libraries.RFL32(), sim.Libraries.Project2()};
  const plat::TDateTime start = plat::EncodeDateTime(2024, 5, 1, 14, 30, 59);
  const plat::TDateTime end = plat::EncodeDateTime(2024, 5, 3, 12, 0);
};

TEST_F(SimulatedEncoderTest, AnICCardIsIssuedReadAndErasedEndToEnd) {
  Option->PortName = "COM2";
  Option->CurrentCardNo = 41;
  ASSERT_TRUE(ic.OpenPort());
  std::int64_t cardNo = 0;
  ASSERT_TRUE(IssueIC(cardNo));
  EXPECT_EQ(cardNo, 42);
  EXPECT_EQ(sim.Status(), (Status{{"connected", "1"},
                                  {"card", "IC"},
                                  {"card_no", "42"},
                                  {"hotel", "KPVZ4729"},
                                  {"room", "0-1-01"},
                                  {"start", ""},
                                  {"end", "2024-05-03 12:00"},
                                  {"cancelled", "0"},
                                  {"beeps", "0"}}));

  std::int64_t read = 0;
  ASSERT_TRUE(ic.ReadCard(read));
  EXPECT_EQ(read, 42);
  ASSERT_TRUE(ic.EraseCard());
  EXPECT_EQ(sim.Status()["cancelled"], "1");

  ic.ClosePort();
  EXPECT_FALSE(ic.ReadCard(read));  // a closed port refuses its old handle
  EXPECT_EQ(Log(), (Strings{Gbk("串口打开成功: COM2"), Gbk("发卡成功,卡号为:42"),
                            Gbk("读卡成功,卡号为:42"), Gbk("读卡失败0")}));
}

TEST_F(SimulatedEncoderTest, AnRFV9CardIsIssuedReadAndErasedEndToEnd) {
  sim.Do({"insert", "--serial", "0x0000ABCD"});
  Option->HotelId = "12345";
  Option->PortName = "USB";
  ASSERT_TRUE(v9.OpenPort());
  std::int64_t cardNo = 0;
  ASSERT_TRUE(IssueV9(cardNo));
  EXPECT_EQ(cardNo, 0xABCD);  // the card's own serial
  EXPECT_EQ(sim.Status(), (Status{{"connected", "1"},
                                  {"card", "RF-V9"},
                                  {"card_no", "43981"},
                                  {"hotel", "12345"},
                                  {"room", "000101"},
                                  {"start", "2024-05-01 14:30"},
                                  {"end", "2024-05-03 12:00"},
                                  {"cancelled", "0"},
                                  {"beeps", "2"}}));

  std::int64_t read = 0;
  ASSERT_TRUE(v9.ReadCard(read));
  EXPECT_EQ(read, 43981);
  ASSERT_TRUE(v9.EraseCard());
  const Status status = sim.Status();
  EXPECT_EQ(status.at("cancelled"), "1");
  EXPECT_EQ(status.at("beeps"), "4");
  EXPECT_EQ(Log(), (Strings{Gbk("串口打开成功: USB"), Gbk("发卡成功,卡号为:43981"),
                            Gbk("读卡成功,卡号为:43981"), Gbk("注销卡成功")}));
}

TEST_F(SimulatedEncoderTest, AFreshDirectoryAndResetAreTheSameEncoder) {
  EXPECT_EQ(sim.Status(), kResetStatus);
  sim.Do({"disconnect"});
  sim.Do({"fail", "ReadCardData", "9"});
  sim.Do({"remove"});
  v9.Beep();
  EXPECT_NE(sim.Status(), kResetStatus);
  sim.Do({"reset"});
  EXPECT_EQ(sim.Status(), kResetStatus);
  std::int64_t cardNo = 0;
  EXPECT_TRUE(v9.ReadCard(cardNo));  // the failure is gone too
}

TEST_F(SimulatedEncoderTest, ADisconnectedEncoderAnswersNothing) {
  Option->HotelId = "12345";
  ASSERT_TRUE(ic.OpenPort());
  sim.Do({"disconnect"});
  EXPECT_EQ(sim.Status()["connected"], "0");
  std::int64_t cardNo = 0;
  EXPECT_FALSE(ic.OpenPort());
  EXPECT_FALSE(v9.OpenPort());
  EXPECT_FALSE(IssueV9(cardNo));
  EXPECT_FALSE(v9.ReadCard(cardNo));
  v9.Beep();
  EXPECT_EQ(sim.Status()["beeps"], "0");

  sim.Do({"connect"});
  std::int64_t read = 0;
  EXPECT_FALSE(ic.ReadCard(read));  // the port was lost with the encoder
  EXPECT_TRUE(ic.OpenPort());
  EXPECT_TRUE(v9.OpenPort());
  EXPECT_EQ(Log(),
            (Strings{Gbk("串口打开成功: COM1"), Gbk("串口打开失败: COM1"),
                     Gbk("串口打开失败: COM1"), Gbk("发卡失败-1"), Gbk("读卡失败-1"),
                     Gbk("读卡失败0"), Gbk("串口打开成功: COM1"), Gbk("串口打开成功: COM1")}));
}

TEST_F(SimulatedEncoderTest, WithoutACardWritingReadingAndErasingFail) {
  Option->HotelId = "12345";
  sim.Do({"remove"});
  EXPECT_EQ(sim.Status(), (Status{{"connected", "1"},
                                  {"card", "none"},
                                  {"card_no", ""},
                                  {"hotel", ""},
                                  {"room", ""},
                                  {"start", ""},
                                  {"end", ""},
                                  {"cancelled", "0"},
                                  {"beeps", "0"}}));
  ASSERT_TRUE(ic.OpenPort());
  std::int64_t cardNo = 0;
  EXPECT_FALSE(IssueIC(cardNo));
  EXPECT_FALSE(ic.ReadCard(cardNo));
  EXPECT_FALSE(ic.EraseCard());
  EXPECT_FALSE(IssueV9(cardNo));
  EXPECT_FALSE(v9.ReadCard(cardNo));
  EXPECT_FALSE(v9.EraseCard());
  EXPECT_EQ(Log(), (Strings{Gbk("串口打开成功: COM1"), Gbk("发卡失败-3"), Gbk("读卡失败0"),
                            Gbk("发卡失败-3"), Gbk("读卡失败-3"), Gbk("注销卡失败")}));
  EXPECT_EQ(sim.Status()["card"], "none");
}

TEST_F(SimulatedEncoderTest, AFailureCodeIsReturnedWithoutEffectUntilCleared) {
  Option->HotelId = "12345";
  ASSERT_TRUE(ic.OpenPort());
  std::int64_t cardNo = 0;

  sim.Do({"fail", "IC32.GuestCard", "7"});
  EXPECT_FALSE(IssueIC(cardNo));
  sim.Do({"fail", "RoomCard", "-7"});
  EXPECT_FALSE(IssueV9(cardNo));
  EXPECT_EQ(sim.Status()["card"], "blank");
  sim.Do({"fail", "GuestCard", "0"});
  EXPECT_TRUE(IssueIC(cardNo));

  sim.Do({"fail", "ReturnCardNo", "-9"});  // any non-zero number counts as a read
  EXPECT_TRUE(ic.ReadCard(cardNo));
  EXPECT_EQ(cardNo, -9);
  sim.Do({"fail", "Project2.ReadCardData", "5"});
  EXPECT_FALSE(v9.ReadCard(cardNo));

  sim.Do({"fail", "CardClear", "3"});
  sim.Do({"fail", "LogoutCard", "2"});
  EXPECT_FALSE(ic.EraseCard());
  EXPECT_FALSE(v9.EraseCard());
  EXPECT_EQ(sim.Status()["cancelled"], "0");

  sim.Do({"fail", "Buzzer", "1"});
  v9.Beep();
  EXPECT_EQ(sim.Status()["beeps"], "0");

  sim.Do({"fail", "OpenPort", "-2"});  // both libraries' OpenPort
  EXPECT_FALSE(ic.OpenPort());
  EXPECT_FALSE(v9.OpenPort());
  sim.Do({"fail", "IC32.OpenPort", "0"});
  EXPECT_TRUE(ic.OpenPort());
  EXPECT_FALSE(v9.OpenPort());

  EXPECT_EQ(Log(), (Strings{Gbk("串口打开成功: COM1"), Gbk("发卡失败7"), Gbk("发卡失败-7"),
                            Gbk("发卡成功,卡号为:4"), Gbk("读卡成功,卡号为:-9"), Gbk("读卡失败5"),
                            Gbk("注销卡失败"), Gbk("串口打开失败: COM1"), Gbk("串口打开失败: COM1"),
                            Gbk("串口打开成功: COM1"), Gbk("串口打开失败: COM1")}));
}

TEST_F(SimulatedEncoderTest, AnICPortAnswersOnlyToItsOpenHandle) {
  const TIC32Functions& lib = sim.Libraries.IC32();
  char hotel[8] = {'1', '2'};
  char endTime[13] = "202405031200";
  char room[8] = {0, 1, '0', '1'};
  EXPECT_EQ(lib.OpenPort(6), 0);
  EXPECT_EQ(lib.OpenPort(-2), 0);
  const std::int32_t first = lib.OpenPort(-1);
  const std::int32_t second = lib.OpenPort(5);
  EXPECT_GE(first, 1);
  EXPECT_GE(second, 1);
  EXPECT_NE(first, second);

  EXPECT_NE(lib.GuestCard(first, 5, hotel, endTime, room), 0);
  EXPECT_EQ(lib.ReturnCardNo(first), 0);
  EXPECT_EQ(lib.GuestCard(second, 5, hotel, endTime, room), 0);
  EXPECT_EQ(lib.ReturnCardNo(second), 5);
  EXPECT_EQ(lib.ClosePort(second), 0);
  EXPECT_EQ(lib.ReturnCardNo(second), 0);
  EXPECT_NE(lib.CardClear(second), 0);
  EXPECT_EQ(sim.Status()["hotel"], "12");  // the field up to its first zero byte
}

TEST_F(SimulatedEncoderTest, AnRFV9CardNumberIsTakenFromTheSerial) {
  const struct {
    const char* serial;
    std::int64_t cardNo;
  } cases[] = {
      {"10", 10}, {"0xFFFFFFFF", -1}, {"0x10000000", 32}, {"16777214", 0}, {"4294967295", -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.serial);
    sim.Do({"insert", "--serial", c.serial});
    EXPECT_EQ(sim.Status()["card_no"], std::to_string(c.cardNo));
    std::int64_t cardNo = 0;
    EXPECT_TRUE(v9.ReadCard(cardNo));
    EXPECT_EQ(cardNo, c.cardNo);
  }
}

TEST_F(SimulatedEncoderTest, GbkBytesStayBytesInTheStateFileAndTheStatus) {
  Option->HotelId = Gbk("酒店");
  ASSERT_TRUE(ic.OpenPort());
  std::int64_t cardNo = 0;
  ASSERT_TRUE(IssueIC(cardNo, Gbk("贵宾")));
  const Status status = sim.Status();
  EXPECT_EQ(status.at("hotel"), Gbk("酒店"));
  EXPECT_EQ(status.at("room"), "0-1-" + Gbk("贵宾"));
  const std::string state = ReadFile(sim.Dir() + "EncoderSim.ini");
  EXPECT_NE(state.find(Gbk("酒店")), std::string::npos);
  EXPECT_NE(state.find(Gbk("贵宾")), std::string::npos);
}

TEST_F(SimulatedEncoderTest, ConcurrentCallsLoseNoChange) {
  constexpr int kThreads = 4;
  constexpr int kBeeps = 25;
  const RFL32::TBuzzer buzzer = sim.Libraries.RFL32().Buzzer;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([buzzer] {
      for (int i = 0; i < kBeeps; ++i)
        buzzer();
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(sim.Status()["beeps"], std::to_string(kThreads * kBeeps));
}

TEST_F(SimulatedEncoderTest, TheToolExplainsItselfAndRefusesWhatItCannotDo) {
  const testing_support::ProcessResult help = sim.Tool({"--help"});
  EXPECT_EQ(help.ExitCode, 0);
  EXPECT_NE(help.Out.find("usage: encoder-sim"), std::string::npos);

  const std::vector<std::string> refused[] = {{},
                                              {"bogus"},
                                              {"status", "now"},
                                              {"fail"},
                                              {"fail", "NoSuch", "1"},
                                              {"fail", "GuestCard", "x"},
                                              {"fail", "GuestCard", "40000"},
                                              {"insert", "--serial", "-1"},
                                              {"insert", "--serial", "0x100000000"},
                                              {"insert", "--serial", "0XABCD"},
                                              {"insert", "5"},
                                              {"--dir"}};
  for (const std::vector<std::string>& arguments : refused) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    const testing_support::ProcessResult result = sim.Tool(arguments);
    EXPECT_EQ(result.ExitCode, 2);
    EXPECT_NE((result.Out + result.Err).find("usage: encoder-sim"), std::string::npos);
  }
  EXPECT_EQ(sim.Tool({"fail", "ReturnCardNo", "40000"}).ExitCode, 0);  // a 32-bit result
  EXPECT_EQ(sim.Tool({"--dir", sim.Dir() + "missing", "status"}).ExitCode, 1);
}

}  // namespace
