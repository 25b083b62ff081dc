#include "encoders/VeskDoorlockUnit.h"

#include <gtest/gtest.h>

#include "platform/DateTime.h"
#include "platform/Errors.h"
#include "platform/IniFile.h"
#include "tests/encoders/RecordingLibraries.h"
#include "tests/support/CoreGlobals.h"

using namespace std::string_literals;
using testing_support::CoreGlobals;
using testing_support::Gbk;
using testing_support::Recorder;
using testing_support::RecordingIC32;
using Strings = std::vector<std::string>;

namespace {

class VeskDoorlockTest : public ::testing::Test {
 protected:
  VeskDoorlockTest() {
    Recorder = {};
    ResetVeskPortHandle();
  }

  // An issue as the test dialog makes it, for the given room.
  bool Issue(const std::string& building, const std::string& floor, const std::string& room,
             std::int64_t& cardNo) {
    const plat::TDateTime start = plat::EncodeDateTime(2020, 1, 1, 1, 1);
    return driver.IssueCard("", building, floor, room, "Test", start, start, end, start, false,
                            cardNo);
  }

  std::int64_t SavedCardNo() const {
    TOption saved(globals.OptionPath());
    saved.Load();
    return saved.CurrentCardNo;
  }

  CoreGlobals globals;
  TVeskDoorlock driver{RecordingIC32()};
  const plat::TDateTime end = plat::EncodeDateTime(2024, 5, 3, 12, 0);
};

TEST_F(VeskDoorlockTest, OpenPortPassesThePortNumberAndTakesOnlyOneOrMoreAsOpened) {
  const struct {
    const char* portName;
    std::int32_t portNo;
    std::int32_t handle;
    bool opened;
  } cases[] = {
      {"COM1", 0, 1, true},
      {"COM6", 5, 77, true},
      {"USB", -1, 3, true},
      {"COM3", 2, 0, false},
      {"COM2", 1, -4, false},
      {"com3", -2, 0, false},  // not a port name: a number no port answers
                               // to
      {"", -2, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.portName);
    Recorder = {};
    Recorder.OpenPortResult = c.handle;
    Option->PortName = c.portName;
    const auto logged = globals.LogTexts().size();

    EXPECT_EQ(driver.OpenPort(), c.opened);
    EXPECT_EQ(Recorder.Functions(), Strings{"IC32.OpenPort"});  // Beep asks nothing of it
    EXPECT_EQ(Recorder.Calls[0].Args, std::vector<std::int64_t>{c.portNo});
    const Strings log = globals.LogTexts();
    ASSERT_EQ(log.size(), logged + 1);
    EXPECT_EQ(log.back(), Gbk(c.opened ? "串口打开成功: " : "串口打开失败: ") + c.portName);
  }
}

TEST_F(VeskDoorlockTest, EveryCallGetsTheHandleOfTheLastOpeningFailedOrNot) {
  std::int64_t cardNo = 0;
  driver.ReadCard(cardNo);  // before any opening the handle is 0

  Recorder.OpenPortResult = 9;
  driver.OpenPort();
  driver.ClosePort();
  Issue("0", "1", "01", cardNo);
  TVeskDoorlock other(RecordingIC32());  // the handle belongs to the process
  other.ReadCard(cardNo);
  other.EraseCard();

  Recorder.OpenPortResult = -4;
  other.OpenPort();
  driver.ReadCard(cardNo);

  Strings functions;
  std::vector<std::int64_t> handles;
  for (const auto& call : Recorder.Calls) {
    if (call.Function == "IC32.OpenPort")
      continue;
    functions.push_back(call.Function);
    handles.push_back(call.Args[0]);
  }
  EXPECT_EQ(functions, (Strings{"IC32.ReturnCardNo", "IC32.ClosePort", "IC32.GuestCard",
                                "IC32.ReturnCardNo", "IC32.CardClear", "IC32.ReturnCardNo"}));
  EXPECT_EQ(handles, (std::vector<std::int64_t>{0, 9, 9, 9, 9, -4}));
}

TEST_F(VeskDoorlockTest, IssueSendsTheThreeBuffersByteForByteAndLogsTheNewNumber) {
  Recorder.OpenPortResult = 5;
  driver.OpenPort();
  Option->CurrentCardNo = 41;
  std::int64_t cardNo = -1;
  // Only the end date counts, and its seconds are dropped, not rounded.
  const plat::TDateTime endAt = plat::EncodeDateTime(2024, 5, 1, 9, 5, 59);
  const plat::TDateTime other = plat::EncodeDateTime(2030, 12, 31, 23, 59);
  EXPECT_TRUE(
      driver.IssueCard("R1", "00", "01", "01", "Guest", other, other, endAt, other, true, cardNo));

  EXPECT_EQ(cardNo, 42);
  EXPECT_EQ(SavedCardNo(), 42);
  const auto& call = Recorder.Only("IC32.GuestCard");
  EXPECT_EQ(call.Args, (std::vector<std::int64_t>{5, 42}));
  EXPECT_EQ(call.Buffers, (Strings{"KPVZ4729"s, "202405010905\0"s, "\x00\x01"s + "01\0\0\0\0"s}));
  EXPECT_EQ(globals.LogTexts().back(), Gbk("发卡成功,卡号为:") + "42");
}

TEST_F(VeskDoorlockTest, HotelCodeAndRoomFieldsTakeTheirBytesAndFillWithZeros) {
  const struct {
    std::string hotelId, building, floor, roomNo;
    std::string hotelField, roomField;
  } cases[] = {
      {"KPVZ4729XYZ", "256", "-1", "12345678", "KPVZ4729"s, "\x00\xFF"s + "123456"},
      {"12", "02", "0x1F", "", "12\0\0\0\0\0\0"s, "\x02\x1F\0\0\0\0\0\0"s},
      {"", " 7", "$10", "A", "\0\0\0\0\0\0\0\0"s, "\x07\x10"s + "A\0\0\0\0\0"s},
      {Gbk("酒店"), "-2", "+3", Gbk("贵宾室"), Gbk("酒店") + "\0\0\0\0"s,
       "\xFE\x03"s + Gbk("贵宾室")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.building + "/" + c.floor + "/" + c.roomNo);
    Recorder = {};
    Option->HotelId = c.hotelId;
    std::int64_t cardNo = 0;
    EXPECT_TRUE(Issue(c.building, c.floor, c.roomNo, cardNo));
    const auto& buffers = Recorder.Only("IC32.GuestCard").Buffers;
    EXPECT_EQ(buffers[0], c.hotelField);
    EXPECT_EQ(buffers[1], "202405031200\0"s);
    EXPECT_EQ(buffers[2], c.roomField);
  }
}

TEST_F(VeskDoorlockTest, TheCardNumberIsTheCounterStep) {
  const struct {
    std::int64_t counter, cardNo;
  } cases[] = {{1, 2}, {16777212, 16777213}, {16777213, 0}, {-3, -2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.counter);
    Recorder = {};
    Option->CurrentCardNo = c.counter;
    std::int64_t cardNo = 99;
    EXPECT_TRUE(Issue("0", "1", "01", cardNo));
    EXPECT_EQ(cardNo, c.cardNo);
    EXPECT_EQ(Recorder.Only("IC32.GuestCard").Args[1], c.cardNo);
    EXPECT_EQ(SavedCardNo(), c.cardNo);
  }
}

TEST_F(VeskDoorlockTest, AFailedWriteLogsItsSignedCodeAndKeepsTheNewNumber) {
  for (const std::int16_t code : {std::int16_t{7}, std::int16_t{-3}, std::int16_t{-32768}}) {
    SCOPED_TRACE(code);
    Recorder = {};
    Recorder.GuestCardResult = code;
    Option->CurrentCardNo = 10;
    std::int64_t cardNo = 0;
    EXPECT_FALSE(Issue("0", "1", "01", cardNo));
    EXPECT_EQ(cardNo, 11);
    EXPECT_EQ(SavedCardNo(), 11);
    EXPECT_EQ(globals.LogTexts().back(), Gbk("发卡失败") + std::to_string(code));
  }
}

TEST_F(VeskDoorlockTest, ARoomCodeThatIsNoNumberRaisesAfterTheCounterStep) {
  const struct {
    const char *building, *floor, *message;
  } cases[] = {
      {"A1", "01", "'A1' is not a valid integer value"},
      {"0", "", "'' is not a valid integer value"},
      {"0", "4294967296", "'4294967296' is not a valid integer value"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    Recorder = {};
    Option->CurrentCardNo = 20;
    std::int64_t cardNo = 0;
    try {
      Issue(c.building, c.floor, "01", cardNo);
      ADD_FAILURE() << "no conversion error";
    } catch (const plat::EConvertError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_EQ(cardNo, 21);
    EXPECT_EQ(SavedCardNo(), 21);
    EXPECT_TRUE(Recorder.Calls.empty());
    EXPECT_TRUE(globals.LogTexts().empty());
  }
}

TEST_F(VeskDoorlockTest, ACounterThatCannotBeSavedStopsTheIssueBeforeAnythingIsSent) {
  Option->FileName = globals.Dir().File("missing/Option.ini");
  Option->CurrentCardNo = 5;
  std::int64_t cardNo = 77;
  EXPECT_THROW(Issue("0", "1", "01", cardNo), plat::EIniFileException);
  EXPECT_EQ(cardNo, 77);
  EXPECT_EQ(Option->CurrentCardNo, 6);
  EXPECT_TRUE(Recorder.Calls.empty());
}

TEST_F(VeskDoorlockTest, ReadTakesAnyNonZeroNumberAndNegativeOnesAsARead) {
  const struct {
    std::int32_t result;
    bool read;
    const char* line;
  } cases[] = {
      {0, false, "读卡失败0"},
      {42, true, "读卡成功,卡号为:42"},
      {-5, true, "读卡成功,卡号为:-5"},
      {-2147483647 - 1, true, "读卡成功,卡号为:-2147483648"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.result);
    Recorder = {};
    Recorder.ReturnCardNoResult = c.result;
    std::int64_t cardNo = 99;
    EXPECT_EQ(driver.ReadCard(cardNo), c.read);
    EXPECT_EQ(cardNo, c.result);  // set also when nothing was read
    EXPECT_EQ(globals.LogTexts().back(), Gbk(c.line));
  }
}

TEST_F(VeskDoorlockTest, EraseAndCloseReportNothingToTheLog) {
  Recorder.CardClearResult = 0;
  EXPECT_TRUE(driver.EraseCard());
  Recorder.CardClearResult = 1;
  EXPECT_FALSE(driver.EraseCard());
  Recorder.CardClearResult = -1;
  EXPECT_FALSE(driver.EraseCard());
  Recorder.ClosePortResult = -1;  // not looked at
  driver.ClosePort();
  driver.Beep();
  EXPECT_EQ(Recorder.Functions(),
            (Strings{"IC32.CardClear", "IC32.CardClear", "IC32.CardClear", "IC32.ClosePort"}));
  EXPECT_TRUE(globals.LogTexts().empty());
}

TEST_F(VeskDoorlockTest, LibraryCallsRunUnderTheDriverLockButTheOptionsDialogDoesNot) {
  std::int64_t cardNo = 0;
  driver.OpenPort();
  driver.ClosePort();
  Issue("0", "1", "01", cardNo);
  driver.ReadCard(cardNo);
  driver.EraseCard();
  ASSERT_EQ(Recorder.Calls.size(), 5u);
  for (const auto& call : Recorder.Calls)
    EXPECT_TRUE(call.DriverLocked) << call.Function;

  bool shown = false;
  bool lockedWhileShown = true;
  SetShowOptionsHook([&] {
    shown = true;
    lockedWhileShown = testing_support::DriverLockHeld();
  });
  driver.ShowOptions();
  SetShowOptionsHook(nullptr);
  EXPECT_TRUE(shown);
  EXPECT_FALSE(lockedWhileShown);
}

}  // namespace
