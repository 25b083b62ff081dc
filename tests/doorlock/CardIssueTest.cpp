// The card-issue core that the request handler and the test dialog share, against a
// recording driver and a real Client.mdb.
#include "doorlock/CardIssueUnit.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "records/DoorlockRecordManagerUnit.h"
#include "tests/support/ClientDatabase.h"
#include "tests/support/CoreGlobals.h"
#include "tests/support/FakeDoorlock.h"

using namespace testing_support;
using Rows = std::vector<std::vector<std::string>>;

namespace {

// A date-time as SQL text, exact to the last bit.
std::string Sql(plat::TDateTime t) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", t);
  return text;
}

class CardIssueTest : public ::testing::Test {
 protected:
  CardIssueTest() {
    CreateClientDatabase(dbPath);
    store.ConnectionString = "Data Source=" + dbPath + " ;";
    store.Open();
    issue.RegisterId = "R7";
    issue.RoomBuildingCode = "01";
    issue.RoomFloorCode = "02";
    issue.RoomNo = "0301";
    issue.GuestName = "G";
    // Times no minute step lands on exactly: a delay applied by mistake shows.
    issue.CheckInTime = plat::EncodeDateTime(2024, 5, 2, 13, 50, 7) + 0.123 / 86400;
    issue.CheckOutTime = plat::EncodeDateTime(2024, 5, 3, 12, 30, 9) + 0.456 / 86400;
  }

  // The records, their times compared bit for bit with the issue's and `start`
  // (SQL text).
  Rows Records(const std::string& start) {
    return QueryRows(dbPath,
                     "select RegisterId, CardNo, RoomNo, CardType, IsCopy, GuestName, "
                     "LastCheckInTime = " +
                         start + ", CheckInTime = " + Sql(issue.CheckInTime) +
                         ", CheckOutTime = " + Sql(issue.CheckOutTime) + " from T_IssueCardRecord");
  }
  // Each room with whether its stored time passes `test` (SQL).
  Rows Rooms(const std::string& test) {
    return QueryRows(dbPath, "select RoomNo, " + test + " from T_Room");
  }

  CoreGlobals globals;
  std::string dbPath = globals.Dir().File("Client.mdb");
  TDoorlockRecordManager store;
  FakeDoorlock driver;
  TCardIssue issue;
};

TEST_F(CardIssueTest, TheCallersTimesAreFinalAndTheDelayMovesOnlyAStartTakenNow) {
  std::int64_t cardNo = 0;
  ASSERT_TRUE(IssueGuestCard(issue, {45, false, true}, &driver, &store, cardNo));
  ASSERT_EQ(driver.issues.size(), 1u);
  EXPECT_EQ(driver.issues[0].StartDate, issue.CheckInTime);
  EXPECT_EQ(driver.issues[0].StartTime, issue.CheckInTime);
  EXPECT_EQ(driver.issues[0].EndDate, issue.CheckOutTime);
  EXPECT_EQ(driver.issues[0].EndTime, issue.CheckOutTime);
  EXPECT_EQ(Records(Sql(issue.CheckInTime)),
            (Rows{{"R7", "4711", "01020301", "1", "0", "G", "1", "1", "1"}}));
  EXPECT_EQ(Rooms("1"), Rows{});

  ExecuteSql(dbPath, "delete from T_IssueCardRecord");
  const plat::TDateTime before = plat::IncMinutes(plat::Now(), -45);
  ASSERT_TRUE(IssueGuestCard(issue, {45, true, true}, &driver, &store, cardNo));
  const plat::TDateTime after = plat::IncMinutes(plat::Now(), -45);
  const plat::TDateTime start = driver.issues.at(1).StartDate;
  EXPECT_GE(start, before);
  EXPECT_LE(start, after);
  EXPECT_EQ(driver.issues[1].EndDate, issue.CheckOutTime);
  EXPECT_EQ(Records(Sql(start)), (Rows{{"R7", "4711", "01020301", "1", "0", "G", "1", "1", "1"}}));
  EXPECT_EQ(Rooms("LastCheckInTime = " + Sql(start)), (Rows{{"01020301", "1"}}));
}

TEST_F(CardIssueTest, WithoutADriverTheIssueIsStillRecordedWithTheNumberLeftAlone) {
  issue.IsCopy = true;
  std::int64_t cardNo = 123;
  const plat::TDateTime before = plat::Now();
  EXPECT_FALSE(IssueGuestCard(issue, {0, true, true}, nullptr, &store, cardNo));
  EXPECT_EQ(cardNo, 123);
  // The copy's room was unknown: it is added before the write, and stays.
  EXPECT_EQ(Rooms("LastCheckInTime >= " + Sql(before)), (Rows{{"01020301", "1"}}));
  EXPECT_EQ(Records("(select LastCheckInTime from T_Room)"),
            (Rows{{"R7", "123", "01020301", "1", "1", "G", "1", "1", "1"}}));
}

}  // namespace
