#include "records/DoorlockRecordManagerUnit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "tests/support/BinDir.h"
#include "tests/support/ClientDatabase.h"
#include "tests/support/CoreGlobals.h"
#include "tests/support/ProcessRunner.h"

using testing_support::CoreGlobals;
using testing_support::CreateClientDatabase;
using testing_support::ExecuteSql;
using testing_support::Gbk;
using testing_support::QueryRows;

namespace {

using Rows = std::vector<std::vector<std::string>>;

class RecordStoreTest : public ::testing::Test {
 protected:
  RecordStoreTest() {
    CreateClientDatabase(dbPath);
    store.DatabasePath = dbPath;
    store.ConnectionString = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + dbPath +
                             " ;Persist Security Info=False;Jet OLEDB:Database Password=";
    store.Open();
  }

  Rows Rooms() {
    return QueryRows(dbPath, "select RoomNo, LastCheckInTime from T_Room order by rowid");
  }

  CoreGlobals globals;
  std::string dbPath = globals.Dir().File("Client.mdb");
  TDoorlockRecordManager store;
};

}  // namespace

TEST_F(RecordStoreTest, ARoomWithoutAStoredTimeReadsAsZero) {
  ExecuteSql(dbPath,
             "insert into T_Room values ('null-time', NULL);"
             "insert into T_Room values ('zero-time', 0);");
  EXPECT_EQ(store.GetLastCheckInTime("no-row"), 0.0);
  EXPECT_EQ(store.GetLastCheckInTime("null-time"), 0.0);
  EXPECT_EQ(store.GetLastCheckInTime("zero-time"), 0.0);
  EXPECT_TRUE(globals.LogTexts().empty());
}

TEST_F(RecordStoreTest, UpdateAddsAMissingRoomAndLogsIt) {
  const std::string room = Gbk("A座") + "0101";
  store.UpdateLastCheckInTime(room, 45413.5);
  EXPECT_EQ(Rooms(), (Rows{{room, "45413.5"}}));
  EXPECT_EQ(globals.LogTexts(), std::vector<std::string>{Gbk("新建房间") + room});
  EXPECT_DOUBLE_EQ(store.GetLastCheckInTime(room), 45413.5);

  store.UpdateLastCheckInTime(room, 45414.25);  // now it changes the row
  EXPECT_EQ(Rooms(), (Rows{{room, "45414.25"}}));
  EXPECT_EQ(globals.LogTexts().size(), 1u);
}

TEST_F(RecordStoreTest, SeveralRowsOfOneRoom) {
  store.AddRoom("000101", 10.0);
  store.AddRoom("000101", 20.0);  // always inserts
  EXPECT_EQ(Rooms().size(), 2u);
  EXPECT_DOUBLE_EQ(store.GetLastCheckInTime("000101"), 10.0);  // the first row
  store.UpdateLastCheckInTime("000101", 30.0);                 // changes both, adds none
  EXPECT_EQ(Rooms(), (Rows{{"000101", "30.0"}, {"000101", "30.0"}}));
  EXPECT_EQ(globals.LogTexts(),
            (std::vector<std::string>{Gbk("新建房间") + "000101", Gbk("新建房间") + "000101"}));
}

TEST_F(RecordStoreTest, ARoomCodeWithQuotesIsLookedUpLikeAnyOther) {
  const std::string room = "1' or '1'='1";
  store.AddRoom("000101", 10.0);
  EXPECT_EQ(store.GetLastCheckInTime(room), 0.0);  // matches nothing, changes nothing
  store.UpdateLastCheckInTime(room, 40.0);
  EXPECT_DOUBLE_EQ(store.GetLastCheckInTime(room), 40.0);
  EXPECT_DOUBLE_EQ(store.GetLastCheckInTime("000101"), 10.0);
  EXPECT_EQ(globals.LogTexts(),
            (std::vector<std::string>{Gbk("新建房间") + "000101", Gbk("新建房间") + room}));
}

TEST_F(RecordStoreTest, AddIssueCardRecordStoresEveryColumnWithItsKind) {
  store.AddIssueCardRecord("R-7", "16777213", "000101", 1, 45413.5, 45413.25, 45415.5, true,
                           Gbk("王小明"), 45413.75);
  store.AddIssueCardRecord("", "0", "000101", 1, 1.0, 2.0, 3.0, false, "Test", 4.0);
  EXPECT_EQ(QueryRows(dbPath,
                      "select RegisterId, CardNo, typeof(CardNo), RoomNo, CardType, "
                      "typeof(CardType), LastCheckInTime, typeof(LastCheckInTime), CheckInTime, "
                      "CheckOutTime, IsCopy, GuestName, OpratingTime from T_IssueCardRecord "
                      "order by RecordId"),
            (Rows{{"R-7", "16777213", "text", "000101", "1", "integer", "45413.5", "real",
                   "45413.25", "45415.5", "1", Gbk("王小明"), "45413.75"},
                  {"", "0", "text", "000101", "1", "integer", "1.0", "real", "2.0", "3.0", "0",
                   "Test", "4.0"}}));
  EXPECT_TRUE(globals.LogTexts().empty());  // nothing is logged on success
}

TEST_F(RecordStoreTest, FailuresAreLoggedAndNeverReachTheCaller) {
  ExecuteSql(dbPath, "drop table T_IssueCardRecord; drop table T_Room;");
  EXPECT_EQ(store.GetLastCheckInTime("000101"), 0.0);
  store.UpdateLastCheckInTime("000101", 1.0);
  store.AddRoom("000101", 1.0);
  store.AddIssueCardRecord("", "1", "000101", 1, 1, 1, 1, false, "Test", 1);
  EXPECT_EQ(globals.LogTexts(), (std::vector<std::string>{
                                    "no such table: T_Room", "no such table: T_Room",
                                    "no such table: T_Room", "no such table: T_IssueCardRecord"}));
}

TEST(RecordStoreStartup, AMissingDatabaseIsLoggedAtEveryTryUntilItAppears) {
  CoreGlobals globals;
  const std::string dir = globals.Dir().Path();
  globals.Objects().OpenRecordStore();
  ASSERT_NE(DoorlockRecordManager, nullptr);
  EXPECT_EQ(DoorlockRecordManager->DatabasePath, dir + "Client.mdb");
  EXPECT_EQ(DoorlockRecordManager->ConnectionString,
            "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + dir +
                "Client.mdb ;Persist Security Info=False;Jet OLEDB:Database Password=");
  EXPECT_FALSE(testing_support::FileExists(dir + "Client.mdb"));  // never created by the store

  DoorlockRecordManager->AddRoom("000101", 1.0);
  const std::string failure = "unable to open database file: " + dir + "Client.mdb";
  EXPECT_EQ(globals.LogTexts(), (std::vector<std::string>{failure, failure}));

  CreateClientDatabase(dir + "Client.mdb");
  DoorlockRecordManager->AddRoom("000101", 1.0);
  EXPECT_EQ(globals.LogTexts().back(), Gbk("新建房间") + "000101");
  EXPECT_EQ(QueryRows(dir + "Client.mdb", "select count(*) from T_Room"), (Rows{{"1"}}));
}

TEST(RecordStoreStartup, AFileThatIsNoDatabaseIsReportedAtOpening) {
  CoreGlobals globals;
  const std::string path = globals.Dir().File("Client.mdb");
  testing_support::WriteFile(path, std::string(4096, 'x'));
  TDoorlockRecordManager store;
  store.ConnectionString = "Data Source=" + path + " ;";
  store.Open();
  EXPECT_EQ(globals.LogTexts(), std::vector<std::string>{"file is not a database: " + path});
}

TEST_F(RecordStoreTest, ADeletedDatabaseIsNoticedAndOpenedAgainWhenItIsBack) {
  store.AddRoom("000101", 1.0);
  ASSERT_TRUE(std::filesystem::remove(dbPath));
  store.AddRoom("000102", 2.0);  // not into the deleted file
  const std::string failure = "unable to open database file: " + dbPath;
  EXPECT_EQ(globals.LogTexts(), (std::vector<std::string>{Gbk("新建房间") + "000101", failure}));

  CreateClientDatabase(dbPath);
  store.AddRoom("000103", 3.0);
  EXPECT_EQ(Rooms(), (Rows{{"000103", "3.0"}}));
  EXPECT_EQ(globals.LogTexts().back(), Gbk("新建房间") + "000103");
}

// As an operator puts a copy in place: written beside it, then moved over it.
TEST_F(RecordStoreTest, AnotherFilePutInPlaceIsTheOneUsedFromTheNextOperation) {
  store.AddRoom("old-room", 1.0);  // the old file's rows are still in its write-ahead log
  const std::string copy = globals.Dir().File("copy.mdb");
  CreateClientDatabase(copy);
  ExecuteSql(copy, "insert into T_Room values ('new-room', 45413.5)");
  ASSERT_EQ(std::rename(copy.c_str(), dbPath.c_str()), 0);

  EXPECT_DOUBLE_EQ(store.GetLastCheckInTime("new-room"), 45413.5);
  EXPECT_EQ(store.GetLastCheckInTime("old-room"), 0.0);
  store.AddRoom("added", 2.0);
  EXPECT_EQ(Rooms(), (Rows{{"new-room", "45413.5"}, {"added", "2.0"}}));
  EXPECT_EQ(QueryRows(dbPath, "pragma integrity_check"), (Rows{{"ok"}}));

  // A file that is no database put there is reported as at start-up.
  testing_support::WriteFile(copy, std::string(4096, 'x'));
  ASSERT_EQ(std::rename(copy.c_str(), dbPath.c_str()), 0);
  store.AddRoom("lost", 3.0);
  EXPECT_EQ(globals.LogTexts().back(), "file is not a database: " + dbPath);
}

TEST(RecordStoreStartup, ThePathInTheLogIsGbkLikeEveryLine) {
  CoreGlobals globals;
  const std::string path = globals.Dir().File("客房/Client.mdb");
  TDoorlockRecordManager store;
  store.ConnectionString = "Data Source=" + path + " ;";
  store.Open();
  EXPECT_EQ(globals.LogTexts(),
            std::vector<std::string>{"unable to open database file: " + Gbk(path)});
}

TEST_F(RecordStoreTest, ManyThreadsLoseNoRow) {
  constexpr int kThreads = 8;
  constexpr int kPerThread = 25;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < kPerThread; ++i) {
        const std::string room = "room" + std::to_string(t);
        store.UpdateLastCheckInTime(room, t * 100.0 + i);
        store.AddIssueCardRecord("", std::to_string(t * kPerThread + i), room, 1, 0, 0, 0, false,
                                 "Test", 0);
        EXPECT_DOUBLE_EQ(store.GetLastCheckInTime(room), t * 100.0 + i);
      }
    });
  }
  for (auto& th : threads)
    th.join();
  EXPECT_EQ(QueryRows(dbPath, "select count(*), count(distinct CardNo) from T_IssueCardRecord"),
            (Rows{{"200", "200"}}));
  // Each room was added once, by its own thread's first update.
  EXPECT_EQ(QueryRows(dbPath, "select count(*), count(distinct RoomNo) from T_Room"),
            (Rows{{"8", "8"}}));
}

TEST(ClientDatabase, TheBuiltDatabaseHoldsBothTables) {
  const testing_support::ProcessResult run =
      testing_support::RunProcess("sqlite3", {testing_support::BinDir() + "Client.mdb", ".tables"});
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_NE(run.Out.find("T_IssueCardRecord"), std::string::npos);
  EXPECT_NE(run.Out.find("T_Room"), std::string::npos);
}
