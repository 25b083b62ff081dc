// The door lock test dialog against a recording driver and a real Client.mdb.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <cmath>
#include <future>

#include "encoders/BaseDoorlockUnit.h"
#include "host/SysOptionUnit.h"
#include "platform/DateTime.h"
#include "platform/Errors.h"
#include "records/DoorlockRecordManagerUnit.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/ClientDatabase.h"
#include "tests/support/FakeDoorlock.h"
#include "tools/DoorlockTestFormUnit.h"

using namespace gui_testing;
using testing_support::CreateClientDatabase;
using testing_support::ExecuteSql;
using testing_support::FakeDoorlock;
using testing_support::QueryRows;

namespace {

constexpr double kSecond = 1.0 / 86400;
const QString kCheckIn = QStringLiteral("2020-01-02 03:04:05");
const QString kCheckOut = QStringLiteral("2020-01-04 12:00:00");

class DoorlockTestFormTest : public GuiTest {
 protected:
  DoorlockTestFormTest() {
    CreateClientDatabase(dbPath);
    globals.Objects().OpenRecordStore();
    globals.Objects().LendDriver(&driver);
    form.show();
  }

  QLineEdit& Edit(const char* name) { return Child<QLineEdit>(form, name); }
  void Press(const char* button) { Click(Child<QPushButton>(form, button)); }

  std::string dbPath = globals.Dir().File("Client.mdb");
  FakeDoorlock driver;
  TDoorlockTestForm form;
};

TEST_F(DoorlockTestFormTest, OpensWithTheDefaultRoomAndAStayFromAnHourBackToTwoDaysOn) {
  const plat::TDateTime before = plat::Now();
  TDoorlockTestForm fresh;
  const plat::TDateTime after = plat::Now();
  auto& start = Child<QLineEdit>(fresh, "CheckInDateTimeTxt");
  auto& end = Child<QLineEdit>(fresh, "CheckOutDateTimeTxt");

  EXPECT_EQ(Child<QLineEdit>(fresh, "RoomBuildingCodeTxt").text(), QStringLiteral("00"));
  EXPECT_EQ(Child<QLineEdit>(fresh, "RoomFloorCodeTxt").text(), QStringLiteral("01"));
  EXPECT_EQ(Child<QLineEdit>(fresh, "RoomNoTxt").text(), QStringLiteral("01"));
  EXPECT_EQ(Child<QLineEdit>(fresh, "CardNoTxt").text(), QString());
  EXPECT_FALSE(Child<QCheckBox>(fresh, "IsCopyCheckBox").isChecked());
  const QRegularExpression toTheSecond(
      QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
  EXPECT_TRUE(toTheSecond.match(start.text()).hasMatch()) << start.text().toStdString();
  EXPECT_TRUE(toTheSecond.match(end.text()).hasMatch()) << end.text().toStdString();
  const plat::TDateTime startTime = plat::StrToDateTime(start.text().toStdString());
  const plat::TDateTime endTime = plat::StrToDateTime(end.text().toStdString());
  EXPECT_GE(startTime, before - 1.0 / 24 - kSecond);
  EXPECT_LE(startTime, after - 1.0 / 24 + kSecond);
  EXPECT_EQ(std::llround((endTime - startTime) / kSecond), 49 * 3600);
}

// What a write leaves in T_Room for the room, against what it held before.
enum class RoomAfter { None, Stored, Start };
enum class StartFrom { Typed, Now, Stored };

TEST_F(DoorlockTestFormTest, WriteChoosesTheStartKeepsTheRoomAndRecordsTheIssue) {
  const plat::TDateTime stored = plat::EncodeDateTime(2019, 5, 6, 12, 0, 0);  // exact in SQL text
  const struct {
    const char* name;
    bool useNative, isCopy, roomKnown, written, cardNoOnFailure;
    StartFrom start;
    RoomAfter room;
  } cases[] = {
      {"own db off", false, false, false, true, true, StartFrom::Typed, RoomAfter::None},
      {"own db off, copy", false, true, true, true, true, StartFrom::Typed, RoomAfter::Stored},
      {"new card", true, false, false, true, true, StartFrom::Now, RoomAfter::Start},
      {"new card, known room", true, false, true, true, true, StartFrom::Now, RoomAfter::Start},
      {"new card not written", true, false, false, false, false, StartFrom::Now, RoomAfter::None},
      {"copy, unknown room, not written", true, true, false, false, true, StartFrom::Now,
       RoomAfter::Start},
      {"copy, known room", true, true, true, true, true, StartFrom::Stored, RoomAfter::Stored},
  };
  SysOption->DelayMinutes = 30;
  SysOption->DelayMinutes2 = 90;  // never applied by the dialog
  SysOption->SaveDoorlockRecord = true;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ExecuteSql(dbPath, "delete from T_Room; delete from T_IssueCardRecord;");
    if (c.roomKnown) {
      ExecuteSql(dbPath, "insert into T_Room(RoomNo, LastCheckInTime) values('000101', " +
                             std::to_string(stored) + ")");
    }
    SysOption->UseNativeDoorlockDb = c.useNative;
    driver.issues.clear();
    driver.issueResult = c.written;
    driver.setCardNoOnFailure = c.cardNoOnFailure;
    Edit("CheckInDateTimeTxt").setText(kCheckIn);
    Edit("CheckOutDateTimeTxt").setText(kCheckOut);
    Child<QCheckBox>(form, "IsCopyCheckBox").setChecked(c.isCopy);

    const plat::TDateTime before = plat::Now();
    Press("WriteCardBtn");
    const plat::TDateTime after = plat::Now();

    const plat::TDateTime checkIn = plat::StrToDateTime(kCheckIn.toStdString());
    const plat::TDateTime checkOut = plat::StrToDateTime(kCheckOut.toStdString());
    ASSERT_EQ(driver.issues.size(), 1u);
    const FakeDoorlock::Issue& issue = driver.issues[0];
    EXPECT_EQ(issue.RegisterId, "");
    EXPECT_EQ(issue.RoomBuildingCode, "00");
    EXPECT_EQ(issue.RoomFloorCode, "01");
    EXPECT_EQ(issue.RoomNo, "01");
    EXPECT_EQ(issue.GuestName, "Test");
    EXPECT_EQ(issue.IsCopy, c.isCopy);
    EXPECT_EQ(issue.StartTime, issue.StartDate);
    EXPECT_EQ(issue.EndDate, checkOut);
    EXPECT_EQ(issue.EndTime, checkOut);
    const plat::TDateTime start = issue.StartDate;
    switch (c.start) {
      case StartFrom::Typed:
        EXPECT_EQ(start, checkIn);
        break;
      case StartFrom::Stored:
        EXPECT_NEAR(start, stored, 1e-9);
        break;
      case StartFrom::Now:
        EXPECT_GE(start, plat::IncMinutes(before, -30) - 1e-9);
        EXPECT_LE(start, plat::IncMinutes(after, -30) + 1e-9);
        break;
    }

    const auto rooms = QueryRows(dbPath, "select RoomNo, LastCheckInTime from T_Room");
    if (c.room == RoomAfter::None) {
      EXPECT_TRUE(rooms.empty());
    } else {
      ASSERT_EQ(rooms.size(), 1u);
      EXPECT_EQ(rooms[0][0], "000101");
      EXPECT_NEAR(std::stod(rooms[0][1]), c.room == RoomAfter::Stored ? stored : start, 1e-8);
    }

    const auto records = QueryRows(
        dbPath,
        "select RegisterId, CardNo, RoomNo, CardType, LastCheckInTime, CheckInTime, CheckOutTime, "
        "IsCopy, GuestName, OpratingTime from T_IssueCardRecord");
    ASSERT_EQ(records.size(), 1u);
    const auto& r = records[0];
    EXPECT_EQ(r[0], "");
    EXPECT_EQ(r[1], c.written || c.cardNoOnFailure ? "4711" : "0");
    EXPECT_EQ(r[2], "000101");
    EXPECT_EQ(r[3], "1");
    EXPECT_NEAR(std::stod(r[4]), start, 1e-8);
    EXPECT_NEAR(std::stod(r[5]), checkIn, 1e-8);
    EXPECT_NEAR(std::stod(r[6]), checkOut, 1e-8);
    EXPECT_EQ(r[7], c.isCopy ? "1" : "0");
    EXPECT_EQ(r[8], "Test");
    EXPECT_GE(std::stod(r[9]), before - 1e-8);
    EXPECT_LE(std::stod(r[9]), after + 1e-8);
  }
  EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(DoorlockTestFormTest, WithoutSaveDoorlockRecordNothingIsRecorded) {
  Press("WriteCardBtn");
  EXPECT_EQ(driver.issues.size(), 1u);
  EXPECT_TRUE(QueryRows(dbPath, "select * from T_IssueCardRecord").empty());
}

TEST_F(DoorlockTestFormTest, ATextThatIsNoDateTimeStopsTheWriteBeforeAnythingIsDone) {
  SysOption->UseNativeDoorlockDb = true;
  SysOption->SaveDoorlockRecord = true;
  Child<QCheckBox>(form, "IsCopyCheckBox").setChecked(true);
  const struct {
    const char* box;
    QString text;
  } cases[] = {{"CheckInDateTimeTxt", QStringLiteral("2020-13-01 10:00:00")},
               {"CheckOutDateTimeTxt", QStringLiteral("明天")}};
  for (const auto& c : cases) {
    Edit(c.box).setText(c.text);
    Press("WriteCardBtn");
    Edit(c.box).setText(kCheckIn);
    EXPECT_EQ(messages.Texts().back(),
              QStringLiteral("'%1' is not a valid date and time").arg(c.text));
    EXPECT_EQ(messages.Messages().back().icon, QMessageBox::Critical);
  }
  EXPECT_TRUE(form.isVisible());
  EXPECT_TRUE(driver.calls.empty());
  EXPECT_TRUE(QueryRows(dbPath, "select * from T_Room").empty());
  EXPECT_TRUE(QueryRows(dbPath, "select * from T_IssueCardRecord").empty());
}

TEST_F(DoorlockTestFormTest, ADriverErrorStopsTheWriteButTheRoomAddedForTheCopyStays) {
  SysOption->UseNativeDoorlockDb = true;
  SysOption->SaveDoorlockRecord = true;
  Child<QCheckBox>(form, "IsCopyCheckBox").setChecked(true);
  Edit("RoomBuildingCodeTxt").setText(QString());
  driver.onIssue = [] { throw plat::EConvertError("'' is not a valid integer value"); };
  Press("WriteCardBtn");
  EXPECT_EQ(messages.Texts(), std::vector{QStringLiteral("'' is not a valid integer value")});
  EXPECT_TRUE(form.isVisible());
  const auto rooms = QueryRows(dbPath, "select RoomNo from T_Room");
  ASSERT_EQ(rooms.size(), 1u);
  EXPECT_EQ(rooms[0][0], "0101");
  EXPECT_TRUE(QueryRows(dbPath, "select * from T_IssueCardRecord").empty());
}

TEST_F(DoorlockTestFormTest, ReadShowsTheCardNumberOrZero) {
  const struct {
    bool read;
    std::int64_t cardNo;
    QString shown;
  } cases[] = {{true, 123, QStringLiteral("123")},
               {true, 16777213, QStringLiteral("16777213")},
               {false, 55, QStringLiteral("0")}};
  for (const auto& c : cases) {
    driver.readResult = c.read;
    driver.readCardNo = c.cardNo;
    Edit("CardNoTxt").setText(QStringLiteral("stale"));
    Press("ReadCardBtn");
    EXPECT_EQ(Edit("CardNoTxt").text(), c.shown);
  }
}

TEST_F(DoorlockTestFormTest, ThePortBuzzerAndEraseButtonsCallTheDriver) {
  for (const char* button : {"OpenPortBtn", "beepBtn", "ClosePortBtn", "EraseCardBtn"}) {
    Press(button);
  }
  EXPECT_EQ(driver.calls, (std::vector<std::string>{"OpenPort", "Beep", "ClosePort", "EraseCard"}));
  EXPECT_TRUE(form.isVisible());
}

TEST_F(DoorlockTestFormTest, EnterPressesTheFocusedButtonAndNothingElse) {
  const struct {
    const char* focus;
    Qt::Key key;
    std::vector<std::string> calls;
  } cases[] = {
      {"OpenPortBtn", Qt::Key_Return, {"OpenPort"}},
      {"beepBtn", Qt::Key_Enter, {"Beep"}},
      {"ClosePortBtn", Qt::Key_Return, {"ClosePort"}},
      {"WriteCardBtn", Qt::Key_Return, {"IssueCard"}},
      {"ReadCardBtn", Qt::Key_Return, {"ReadCard"}},
      {"EraseCardBtn", Qt::Key_Enter, {"EraseCard"}},
      // The dialog has no default button: Enter elsewhere presses none.
      {"RoomNoTxt", Qt::Key_Return, {}},
      {"CheckOutDateTimeTxt", Qt::Key_Enter, {}},
      {"IsCopyCheckBox", Qt::Key_Return, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.focus);
    driver.calls.clear();
    driver.readCardNo = 77;
    Edit("CardNoTxt").clear();
    Child<QWidget>(form, c.focus).setFocus(Qt::TabFocusReason);
    ASSERT_EQ(FocusName(form), c.focus);
    PressEnter(form, c.key);
    EXPECT_EQ(driver.calls, c.calls);
    EXPECT_EQ(Edit("CardNoTxt").text(),
              c.calls == std::vector<std::string>{"ReadCard"} ? QStringLiteral("77") : QString());
  }
  EXPECT_TRUE(form.isVisible());
  EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(DoorlockTestFormTest, CardOperationsHoldTheDriverAgainstRequests) {
  auto heldElsewhere = [] {
    return std::async(std::launch::async,
                      [] {
                        const bool free = DoorlockMutex().try_lock();
                        if (free)
                          DoorlockMutex().unlock();
                        return !free;
                      })
        .get();
  };
  bool heldDuringIssue = false;
  bool heldDuringRead = false;
  driver.onIssue = [&] { heldDuringIssue = heldElsewhere(); };
  driver.onRead = [&] { heldDuringRead = heldElsewhere(); };
  Press("WriteCardBtn");
  Press("ReadCardBtn");
  EXPECT_TRUE(heldDuringIssue);
  EXPECT_TRUE(heldDuringRead);
  EXPECT_FALSE(heldElsewhere());
}

TEST_F(DoorlockTestFormTest, WithoutADriverOrAStoreTheButtonsDoNoHarm) {
  globals.Objects().LendDriver(nullptr);
  globals.Objects().LendRecordStore(nullptr);
  SysOption->UseNativeDoorlockDb = true;
  SysOption->SaveDoorlockRecord = true;
  Child<QCheckBox>(form, "IsCopyCheckBox").setChecked(true);
  for (const char* button :
       {"OpenPortBtn", "beepBtn", "ClosePortBtn", "WriteCardBtn", "ReadCardBtn", "EraseCardBtn"}) {
    Press(button);
  }
  EXPECT_EQ(Edit("CardNoTxt").text(), QStringLiteral("0"));
  EXPECT_TRUE(messages.Messages().empty());

  globals.Objects().LendDriver(&driver);
  Press("WriteCardBtn");  // the store is unset: the card is still written
  EXPECT_EQ(driver.issues.size(), 1u);
}

}  // namespace
