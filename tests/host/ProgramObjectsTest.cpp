// The one owner of the program-wide objects: the start-up order, the globals put
// back at the end, and a shut-down that destroys nothing under a connection thread
// that outlived the server's wait.
#include "host/ProgramObjectsUnit.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "encoders/BaseDoorlockUnit.h"
#include "host/DoorlockServerUnit.h"
#include "host/OptionUnit.h"
#include "host/SysOptionUnit.h"
#include "records/DoorlockRecordManagerUnit.h"
#include "tests/support/ClientDatabase.h"
#include "tests/support/FakeDoorlock.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestClient.h"

using namespace testing_support;
using Rows = std::vector<std::vector<std::string>>;

namespace {

TEST(ProgramObjects, StartUpMakesEveryObjectFromTheFolderAndTheEndPutsTheGlobalsBack) {
  TempDir dir;
  WriteFile(dir.File("Option.ini"),
            "[DoorlockOption]\nHotelId=H1\n[SysOption]\nDoorlockPortNo=9999\n");
  TOption* const option = Option;
  TLogFile* const logFile = LogFile;
  TDoorlockRecordManager* const store = DoorlockRecordManager;
  {
    TProgramSetup setup;
    setup.LogName = "start.LOG";
    TProgramObjects objects(dir.Path(), setup);
    ASSERT_NE(Option, nullptr);
    EXPECT_EQ(Option->HotelId, "H1");  // loaded from the folder's Option.ini
    ASSERT_NE(SysOption, nullptr);
    EXPECT_EQ(SysOption->DoorlockPortNo, 9999);
    ASSERT_NE(DoorlockRecordManager, nullptr);
    EXPECT_EQ(DoorlockRecordManager->DatabasePath, dir.File("Client.mdb"));
    EXPECT_EQ(Doorlock, nullptr);
    WriteLog("a line");
    // No Client.mdb there: the store's failure is logged first, then the line.
    const std::string log = ReadFile(dir.File("start.LOG"));
    EXPECT_NE(log.find("unable to open database file"), std::string::npos);
    EXPECT_LT(log.find("unable to open database file"), log.find("a line"));
  }
  EXPECT_EQ(Option, option);
  EXPECT_EQ(LogFile, logFile);
  EXPECT_EQ(DoorlockRecordManager, store);
}

// A card write that outlasts the server's wait: the program keeps every object for
// the thread, which then finishes its request on them. Destroyed instead, the thread
// would write through freed objects (AddressSanitizer reports it) or lose its work.
TEST(ProgramObjects, KeptForeverTheyServeTheThreadThatOutlivedTheServer) {
  TempDir dir;
  WriteFile(dir.File("Option.ini"),
            "[DoorlockOption]\nSaveDoorlockRecord=1\nUseNativeDoorlockDb=1\n");
  CreateClientDatabase(dir.File("Client.mdb"));
  auto objects = std::make_unique<TProgramObjects>(dir.Path());
  FakeDoorlock driver;
  std::promise<void> entered;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  driver.onIssue = [&] {
    entered.set_value();
    released.wait();
  };
  objects->LendDriver(&driver);

  TDoorlockServer server;
  server.SetDefaultPort(0);
  server.SetDeactivationWait(std::chrono::milliseconds(100));
  server.Activate();
  auto answer = std::async(std::launch::async, [port = server.BoundPort()] {
    return Exchange(port, IssueCardRequest("01", "02", "0301", "Guest", "2024-05-01", "14:00:00",
                                           "2024-05-03", "12:00:00", "0") +
                              std::string(1, '\0'));
  });
  ASSERT_EQ(entered.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);

  EXPECT_THROW(server.Deactivate(), ETerminateThreadTimeout);
  ASSERT_EQ(ConnectionThreadsRunning(), 1);
  objects->KeepForever();  // what the program does when threads outlived the wait
  objects.reset();

  release.set_value();
  answer.wait();
  for (int i = 0; i < 3000 && ConnectionThreadsRunning() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(ConnectionThreadsRunning(), 0);
  // The request went to its end on the kept objects: the room and the record are
  // stored, the last line is logged.
  EXPECT_EQ(QueryRows(dir.File("Client.mdb"), "select RoomNo from T_Room"), (Rows{{"01020301"}}));
  EXPECT_EQ(QueryRows(dir.File("Client.mdb"), "select count(*) from T_IssueCardRecord"),
            (Rows{{"1"}}));
  const std::string log = ReadFile(LogFile->FileName);
  EXPECT_EQ(log.substr(log.size() - 14), Gbk("完成一次操作") + "\r\n");
}

}  // namespace
