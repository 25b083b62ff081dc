#include "encoders/VeskV9DoorlockUnit.h"

#include <gtest/gtest.h>

#include "platform/DateTime.h"
#include "platform/Errors.h"
#include "tests/encoders/RecordingLibraries.h"
#include "tests/support/CoreGlobals.h"

using namespace std::string_literals;
using testing_support::CoreGlobals;
using testing_support::Gbk;
using testing_support::Recorder;
using testing_support::RecordingProject2;
using testing_support::RecordingRFL32;
using Strings = std::vector<std::string>;
using Args = std::vector<std::int64_t>;

namespace {

// Card data whose characters 7 to 14 are `digits`.
std::string CardData(const std::string& digits) {
  return "SIMV9G" + digits + "|C=0";
}

class VeskV9DoorlockTest : public ::testing::Test {
 protected:
  VeskV9DoorlockTest() {
    Recorder = {};
    Option->HotelId = "12345";
  }

  // An issue as both callers make it: the start in both start arguments, the end in both end
  // arguments.
  bool Issue(const std::string& building, const std::string& floor, const std::string& room,
             std::int64_t& cardNo) {
    return driver.IssueCard("", building, floor, room, "Test", start, start, end, end, false,
                            cardNo);
  }

  std::int64_t SavedCardNo() const {
    TOption saved(globals.OptionPath());
    saved.Load();
    return saved.CurrentCardNo;
  }

  // Expects `call` to raise a conversion error with `message`.
  template <typename TCall>
  void ExpectConvertError(TCall call, const std::string& message) {
    try {
      call();
      ADD_FAILURE() << "no conversion error";
    } catch (const plat::EConvertError& e) {
      EXPECT_EQ(e.what(), message);
    }
  }

  CoreGlobals globals;
  TVeskV9Doorlock driver{RecordingRFL32(), RecordingProject2()};
  const plat::TDateTime start = plat::EncodeDateTime(2024, 5, 1, 14, 30, 59);
  const plat::TDateTime end = plat::EncodeDateTime(2024, 5, 3, 12, 0);
};

TEST_F(VeskV9DoorlockTest, OpenPortTakesOnlyZeroAsReadyAndBeepsThen) {
  const struct {
    std::int32_t result;
    bool ready;
  } cases[] = {{0, true}, {1, false}, {-1, false}, {2147483647, false}};
  Option->PortName = "USB";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.result);
    Recorder = {};
    Recorder.RFOpenPortResult = c.result;
    EXPECT_EQ(driver.OpenPort(), c.ready);
    EXPECT_EQ(Recorder.Functions(),
              c.ready ? (Strings{"RFL32.OpenPort", "RFL32.Buzzer"}) : Strings{"RFL32.OpenPort"});
    EXPECT_EQ(globals.LogTexts().back(),
              Gbk(c.ready ? "串口打开成功: " : "串口打开失败: ") + "USB");
  }
}

TEST_F(VeskV9DoorlockTest, IssueSendsTheTwelveArgumentsAndReadsTheNumberBack) {
  Option->CurrentCardNo = 31;
  Recorder.CardData = CardData("0000002A");
  std::int64_t cardNo = -1;
  EXPECT_TRUE(Issue("00", "01", "01", cardNo));

  EXPECT_EQ(Recorder.Functions(),
            (Strings{"RFL32.RoomCard", "RFL32.Buzzer", "Project2.ReadCardData"}));
  const auto& call = Recorder.Only("RFL32.RoomCard");
  // Hotel, slot (32 modulo 16), 201, 1, 0, then the bytes of arguments 9 to 11.
  EXPECT_EQ(call.Args, (Args{12345, 0, 201, 1, 0, 101, 0, 0}));
  EXPECT_EQ(call.Buffers,
            (Strings{"2405011430\0"s, "2405031200\0"s, "000101\0"s, std::string(41, '\0')}));
  EXPECT_EQ(Recorder.Only("Project2.ReadCardData").Buffers[0], std::string(151, '\0'));
  EXPECT_EQ(SavedCardNo(), 32);
  EXPECT_EQ(cardNo, 42);
  EXPECT_EQ(globals.LogTexts(), Strings{Gbk("发卡成功,卡号为:") + "42"});
}

TEST_F(VeskV9DoorlockTest, TimeTextsTakeTheDateFromTheFirstAndTheTimeOfDayFromTheSecond) {
  const plat::TDateTime startDate = plat::EncodeDateTime(2009, 1, 2, 8, 0);
  const plat::TDateTime startTime = plat::EncodeDateTime(2023, 12, 31, 23, 45, 59);
  const plat::TDateTime endDate = plat::EncodeDateTime(2100, 11, 30, 0, 0);
  const plat::TDateTime endTime = plat::EncodeDateTime(1999, 6, 7, 0, 5);
  std::int64_t cardNo = 0;
  EXPECT_TRUE(driver.IssueCard("", "0", "1", "01", "", startDate, startTime, endDate, endTime,
                               false, cardNo));
  const auto& buffers = Recorder.Only("RFL32.RoomCard").Buffers;
  EXPECT_EQ(buffers[0], "0901022345\0"s);
  EXPECT_EQ(buffers[1], "0011300005\0"s);
}

TEST_F(VeskV9DoorlockTest, TheRoomCodeGoesAsTextAndItsLowByte) {
  const struct {
    std::string building, floor, room, text;
    std::int64_t byte;
  } cases[] = {
      {"0", "03", "00", "00300", 44},  // 300 - 256
      {"1", "2", "345", "12345", 57},  // 12345 = 0x3039
      {"-", "0", "1", "-01", 255},     // -1
      {"", "", "0x1FF", "0x1FF", 255}, {" 1", "0", "1", " 101", 101},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Recorder = {};
    std::int64_t cardNo = 0;
    EXPECT_TRUE(Issue(c.building, c.floor, c.room, cardNo));
    const auto& call = Recorder.Only("RFL32.RoomCard");
    EXPECT_EQ(call.Buffers[2], c.text + '\0');
    EXPECT_EQ(call.Args[5], c.byte);
  }
}

TEST_F(VeskV9DoorlockTest, TheCardSlotIsTheCounterStepModuloSixteen) {
  const struct {
    std::int64_t counter, saved, slot;
  } cases[] = {{31, 32, 0}, {0, 1, 1}, {46, 47, 15}, {16777213, 0, 0}, {-3, -2, -2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.counter);
    Recorder = {};
    Option->CurrentCardNo = c.counter;
    std::int64_t cardNo = 0;
    EXPECT_TRUE(Issue("0", "1", "01", cardNo));
    EXPECT_EQ(Recorder.Only("RFL32.RoomCard").Args[1], c.slot);
    EXPECT_EQ(SavedCardNo(), c.saved);
  }
}

TEST_F(VeskV9DoorlockTest, AHotelCodeThatIsNoNumberStopsIssueAndEraseBeforeAnything) {
  Option->HotelId = "KPVZ4729";  // the default
  Option->CurrentCardNo = 5;
  std::int64_t cardNo = 77;
  ExpectConvertError([&] { Issue("0", "1", "01", cardNo); },
                     "'KPVZ4729' is not a valid integer value");
  ExpectConvertError([&] { driver.EraseCard(); }, "'KPVZ4729' is not a valid integer value");
  EXPECT_EQ(cardNo, 77);
  EXPECT_EQ(Option->CurrentCardNo, 5);
  EXPECT_FALSE(testing_support::FileExists(globals.OptionPath()));
  EXPECT_TRUE(Recorder.Calls.empty());
  EXPECT_TRUE(globals.LogTexts().empty());
}

TEST_F(VeskV9DoorlockTest, ARoomCodeThatIsNoNumberRaisesAfterTheCounterStep) {
  const struct {
    std::string building, floor, room;
  } cases[] = {{"A", "01", "01"}, {"99", "99", "999999"}, {"", "", ""}};
  for (const auto& c : cases) {
    const std::string roomCode = c.building + c.floor + c.room;
    SCOPED_TRACE(roomCode);
    Recorder = {};
    Option->CurrentCardNo = 8;
    std::int64_t cardNo = 77;
    ExpectConvertError([&] { Issue(c.building, c.floor, c.room, cardNo); },
                       "'" + roomCode + "' is not a valid integer value");
    EXPECT_EQ(SavedCardNo(), 9);
    EXPECT_EQ(cardNo, 77);
    EXPECT_TRUE(Recorder.Calls.empty());
    EXPECT_TRUE(globals.LogTexts().empty());
  }
}

TEST_F(VeskV9DoorlockTest, AFailedWriteLogsItsSignedCodeAndLeavesTheCardNumber) {
  for (const std::int16_t code : {std::int16_t{3}, std::int16_t{-2}}) {
    SCOPED_TRACE(code);
    Recorder = {};
    Recorder.RoomCardResult = code;
    std::int64_t cardNo = 77;
    EXPECT_FALSE(Issue("0", "1", "01", cardNo));
    EXPECT_EQ(cardNo, 77);
    EXPECT_EQ(Recorder.Functions(), Strings{"RFL32.RoomCard"});  // no beep, no read
    EXPECT_EQ(globals.LogTexts().back(), Gbk("发卡失败") + std::to_string(code));
  }
}

TEST_F(VeskV9DoorlockTest, CardDataCharactersSevenToFourteenAreTheHexadecimalNumber) {
  const struct {
    std::string data;
    std::int64_t cardNo;
  } cases[] = {
      {CardData("0000000A"), 10},
      {CardData("FFFFFFFF"), -1},
      {CardData("10000000"), 32},  // 268435456 - 16 * 16777214
      {CardData("7FFFFFFF"), 255},
      {CardData("80000000"), -256},  // the remainder keeps the sign
      {CardData("00fffffe"), 0},
      {"SIMV9GABC", 2748},  // fewer characters, fewer digits
      {"SIMV9G1", 1},
      // The whole buffer without a terminator: nothing past it is read.
      {"SIMV9G0000000B" + std::string(137, 'x'), 11},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.data);
    Recorder = {};
    Recorder.CardData = c.data;
    std::int64_t cardNo = 0;
    EXPECT_TRUE(driver.ReadCard(cardNo));
    EXPECT_EQ(cardNo, c.cardNo);
    EXPECT_EQ(Recorder.Functions(), (Strings{"Project2.ReadCardData", "RFL32.Buzzer"}));
    EXPECT_EQ(globals.LogTexts().back(), Gbk("读卡成功,卡号为:") + std::to_string(c.cardNo));
  }
}

TEST_F(VeskV9DoorlockTest, CardDataThatIsNoNumberRaisesAfterTheBuzzer) {
  const struct {
    std::string data, message;
  } cases[] = {
      {"SIMV9G0000000G", "'$0000000G' is not a valid integer value"},
      {"SIMV9G -000001", "'$ -000001' is not a valid integer value"},
      {"SIMV9G", "'$' is not a valid integer value"},
      {"", "'$' is not a valid integer value"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.data);
    Recorder = {};
    Recorder.CardData = c.data;
    std::int64_t cardNo = 77;
    ExpectConvertError([&] { driver.ReadCard(cardNo); }, c.message);
    EXPECT_EQ(cardNo, 77);
    EXPECT_EQ(Recorder.Functions(), (Strings{"Project2.ReadCardData", "RFL32.Buzzer"}));
    EXPECT_TRUE(globals.LogTexts().empty());
  }

  // After a write, too: the card is written and the buzzer sounded, but no number is set.
  Recorder = {};
  Recorder.ReadCardDataResult = 0;
  Recorder.CardData = "";
  std::int64_t cardNo = 77;
  ExpectConvertError([&] { Issue("0", "1", "01", cardNo); }, "'$' is not a valid integer value");
  EXPECT_EQ(cardNo, 77);
  EXPECT_EQ(Recorder.Functions(),
            (Strings{"RFL32.RoomCard", "RFL32.Buzzer", "Project2.ReadCardData"}));
  EXPECT_TRUE(globals.LogTexts().empty());
}

TEST_F(VeskV9DoorlockTest, AReadOtherThanOneFailsWithItsCodeAndLeavesTheCardNumber) {
  for (const std::int32_t result : {0, 2, -3}) {
    SCOPED_TRACE(result);
    Recorder = {};
    Recorder.ReadCardDataResult = result;
    std::int64_t cardNo = 77;
    EXPECT_FALSE(driver.ReadCard(cardNo));
    EXPECT_EQ(cardNo, 77);
    EXPECT_EQ(Recorder.Functions(), Strings{"Project2.ReadCardData"});
    EXPECT_EQ(globals.LogTexts().back(), Gbk("读卡失败") + std::to_string(result));
  }
}

TEST_F(VeskV9DoorlockTest, EraseCancelsWithTheHotelNumberAndLogsEitherWay) {
  EXPECT_TRUE(driver.EraseCard());
  EXPECT_EQ(Recorder.Functions(), (Strings{"RFL32.LogoutCard", "RFL32.Buzzer"}));
  const auto& call = Recorder.Only("RFL32.LogoutCard");
  EXPECT_EQ(call.Args, (Args{12345, 0}));
  EXPECT_EQ(call.Buffers, Strings{std::string(44, '\0')});

  Recorder = {};
  Recorder.LogoutCardResult = -1;
  EXPECT_FALSE(driver.EraseCard());
  EXPECT_EQ(Recorder.Functions(), Strings{"RFL32.LogoutCard"});
  EXPECT_EQ(globals.LogTexts(), (Strings{Gbk("注销卡成功"), Gbk("注销卡失败")}));
}

TEST_F(VeskV9DoorlockTest, CloseDoesNothingAndAWriteStillReachesTheLibrary) {
  EXPECT_TRUE(driver.ClosePort());
  EXPECT_TRUE(Recorder.Calls.empty());
  std::int64_t cardNo = 0;
  EXPECT_TRUE(Issue("0", "1", "01", cardNo));
  Recorder.BuzzerResult = -1;  // not looked at
  driver.Beep();
  EXPECT_EQ(Recorder.Functions(),
            (Strings{"RFL32.RoomCard", "RFL32.Buzzer", "Project2.ReadCardData", "RFL32.Buzzer"}));
  EXPECT_EQ(globals.LogTexts().size(), 1u);
}

TEST_F(VeskV9DoorlockTest, LibraryCallsRunUnderTheDriverLockButTheOptionsDialogDoesNot) {
  std::int64_t cardNo = 0;
  driver.OpenPort();
  driver.ClosePort();
  driver.Beep();
  Issue("0", "1", "01", cardNo);
  driver.ReadCard(cardNo);
  driver.EraseCard();
  ASSERT_EQ(Recorder.Calls.size(), 10u);
  for (const auto& call : Recorder.Calls)
    EXPECT_TRUE(call.DriverLocked) << call.Function;

  bool lockedWhileShown = true;
  SetShowOptionsHook([&] { lockedWhileShown = testing_support::DriverLockHeld(); });
  driver.ShowOptions();
  SetShowOptionsHook(nullptr);
  EXPECT_FALSE(lockedWhileShown);
}

}  // namespace
