// Requests sent over 127.0.0.1 to the real listening server, handled with a
// recording driver and a real Client.mdb.
#include <gtest/gtest.h>

#include "doorlock/DoorlockMessageHandlerUnit.h"
#include "host/DoorlockServerUnit.h"
#include "platform/TextCodec.h"
#include "records/DoorlockRecordManagerUnit.h"
#include "tests/support/ClientDatabase.h"
#include "tests/support/CoreGlobals.h"
#include "tests/support/FakeDoorlock.h"
#include "tests/support/TestClient.h"

using namespace testing_support;
using Rows = std::vector<std::vector<std::string>>;
using Lines = std::vector<std::string>;

namespace {

const std::string kIssue = IssueCardRequest("01", "02", "0301", "王小明", "2024-05-02", "14:00:00",
                                            "2024-05-03", "12:00:00", "0");

std::string Framed(const std::string& request) {
  return request + std::string(1, '\0');
}

class ServedRequestTest : public ::testing::Test {
 protected:
  ServedRequestTest() {
    CreateClientDatabase(dbPath);
    store.ConnectionString = "Data Source=" + dbPath + " ;";
    store.Open();
    globals.Objects().LendRecordStore(&store);
    globals.Objects().LendDriver(&driver);
    server.SetDefaultPort(0);
    server.Activate();
  }
  ~ServedRequestTest() override { server.Deactivate(); }

  std::string Send(const std::string& bytes) {
    std::string response = Exchange(server.BoundPort(), bytes);
    // The handler's driver calls end inside this lock: taking it orders them before
    // whatever the test reads or changes next.
    std::lock_guard sync(DoorlockMutex());
    return response;
  }
  Rows Rooms() { return QueryRows(dbPath, "select RoomNo, LastCheckInTime from T_Room"); }
  Rows Records(const std::string& columns) {
    return QueryRows(dbPath, "select " + columns + " from T_IssueCardRecord order by RecordId");
  }
  // The log without the request's own text, which follows the first line.
  Lines LogLines() {
    Lines lines = globals.LogTexts();
    Lines result;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      result.push_back(lines[i]);
      if (lines[i] == Gbk("收到消息: "))
        ++i;  // skip the request line
    }
    return result;
  }

  CoreGlobals globals;
  std::string dbPath = globals.Dir().File("Client.mdb");
  TDoorlockRecordManager store;
  FakeDoorlock driver;
  TDoorlockServer server;
};

}  // namespace

TEST_F(ServedRequestTest, AnIssuedCardIsAnsweredAndLogged) {
  EXPECT_EQ(Send(Framed(kIssue)), FramedResponse("200", "发卡成功", 4711));
  const Lines log = globals.LogTexts();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[0], Gbk("收到消息: "));
  EXPECT_EQ(log[1], plat::Utf8ToGbk(kIssue));  // the request, on a line of its own
  EXPECT_EQ(log[2], Gbk("执行操作->"));
  EXPECT_EQ(log[3], Gbk("房间(0301)发卡成功"));
  EXPECT_EQ(log[4], Gbk("完成一次操作"));
  ASSERT_EQ(driver.issues.size(), 1u);
  const FakeDoorlock::Issue& issue = driver.issues[0];
  EXPECT_EQ(issue.RegisterId, "R1");
  EXPECT_EQ(issue.RoomBuildingCode, "01");
  EXPECT_EQ(issue.RoomFloorCode, "02");
  EXPECT_EQ(issue.RoomNo, "0301");
  EXPECT_EQ(issue.GuestName, Gbk("王小明"));
  EXPECT_FALSE(issue.IsCopy);
}

TEST_F(ServedRequestTest, EachOutcomeOfEachType) {
  const std::string read = "<DoorRequest type=\"ReadCard\"/>";
  const std::string erase = "<DoorRequest type=\"EraseCard\"></DoorRequest>";
  struct Case {
    const char* name;
    std::function<void(FakeDoorlock&)> setUp;
    std::string request;
    std::string response;
    std::string outcomeLine;
  } cases[] = {
      {"issue fails, number left", [](FakeDoorlock& d) { d.issueResult = false; }, kIssue,
       FramedResponse("500", "发卡失败", 4711), "房间(0301)发卡失败"},
      {"issue fails, no number",
       [](FakeDoorlock& d) {
         d.issueResult = false;
         d.setCardNoOnFailure = false;
       },
       kIssue, FramedResponse("500", "发卡失败", 0), "房间(0301)发卡失败"},
      {"read", [](FakeDoorlock& d) { d.readCardNo = -16777213; }, read,
       FramedResponse("200", "读卡成功", -16777213), "读卡成功，卡号为：-16777213"},
      {"read card 0", [](FakeDoorlock& d) { d.readCardNo = 0; }, read,
       FramedResponse("200", "读卡成功", 0), "读卡成功，卡号为：0"},
      {"read fails", [](FakeDoorlock& d) { d.readResult = false; }, read,
       FramedResponse("500", "读卡失败", 0), "读卡失败"},
      {"erase", [](FakeDoorlock&) {}, erase, FramedResponse("200", "注销卡成功 ", 0), "注销卡成功"},
      {"erase fails", [](FakeDoorlock& d) { d.eraseResult = false; }, erase,
       FramedResponse("500", "注销卡失败 ", 0), "注销卡失败"},
  };
  for (const Case& c : cases) {
    FakeDoorlock fresh;
    c.setUp(fresh);
    globals.Objects().LendDriver(&fresh);
    const std::size_t before = LogLines().size();
    EXPECT_EQ(Send(Framed(c.request)), c.response) << c.name;
    const Lines log = LogLines();
    ASSERT_EQ(log.size(), before + 4) << c.name;
    EXPECT_EQ(log[before + 1], Gbk("执行操作->")) << c.name;
    EXPECT_EQ(log[before + 2], Gbk(c.outcomeLine)) << c.name;
    EXPECT_EQ(log[before + 3], Gbk("完成一次操作")) << c.name;
  }
  globals.Objects().LendDriver(&driver);
}

TEST_F(ServedRequestTest, WithoutADriverEveryOperationFails) {
  globals.Objects().LendDriver(nullptr);
  EXPECT_EQ(Send(Framed(kIssue)), FramedResponse("500", "发卡失败", 0));
  EXPECT_EQ(Send(Framed("<r type=\"ReadCard\"/>")), FramedResponse("500", "读卡失败", 0));
  EXPECT_EQ(Send(Framed("<r type=\"EraseCard\"/>")), FramedResponse("500", "注销卡失败 ", 0));
  EXPECT_TRUE(driver.calls.empty());
}

TEST_F(ServedRequestTest, TypeIsTrimmedButCompardExactly) {
  EXPECT_EQ(Send(Framed("<r type=\" \tReadCard\r\n\"/>")), FramedResponse("200", "读卡成功", 4711));
  EXPECT_EQ(Send(Framed("<r type=\"readcard\"/>")), "");
  EXPECT_EQ(LogLines().back(), Gbk("完成一次操作"));
}

TEST_F(ServedRequestTest, RequestIdIsNeverCopiedAndOnlyOneRequestIsRead) {
  // Position 0 carries an identifier; whatever follows the 0x00 byte is ignored.
  const std::string response = Send(Framed(kIssue) + Framed("<r type=\"EraseCard\"/>"));
  EXPECT_EQ(response, FramedResponse("200", "发卡成功", 4711));
  EXPECT_EQ(driver.calls, Lines{"IssueCard"});
}

TEST_F(ServedRequestTest, RequestsThatGetNoResponse) {
  const std::string tenChildren =
      "<DoorRequest type=\"IssueCard\"><a/><b>R</b><c>01</c><d>02</d><e>03</e><f>G</f>"
      "<g>2024-05-02</g><h>14:00:00</h><i>2024-05-03</i><j>12:00:00</j></DoorRequest>";
  const Lines parsedOnly = {Gbk("收到消息: ")};
  const Lines stopped = {Gbk("收到消息: "), Gbk("执行操作->")};
  const Lines unknown = {Gbk("收到消息: "), Gbk("执行操作->"), Gbk("完成一次操作")};
  const struct {
    const char* name;
    std::string bytes;
    Lines log;
  } cases[] = {
      {"broken UTF-8", Framed("<r type=\"ReadCard\">\xC3\x41</r>"), parsedOnly},
      {"empty", Framed(""), parsedOnly},
      {"no root", Framed("just text"), parsedOnly},
      {"not well formed", Framed("<r type=\"ReadCard\">"), parsedOnly},
      {"unknown type", Framed("<r type=\"Format\"/>"), unknown},
      {"no type", Framed("<r/>"), unknown},
      {"lower case type", Framed("<r type=\"readcard\"/>"), unknown},
      {"ten children", Framed(tenChildren), stopped},
      {"check-in not a date",
       Framed(IssueCardRequest("01", "02", "03", "G", "2024-13-02", "", "2024-05-03", "", "0")),
       stopped},
      {"check-out time not a time",
       Framed(IssueCardRequest("01", "02", "03", "G", "2024-05-02", "", "2024-05-03", "noon", "0")),
       stopped},
  };
  for (const auto& c : cases) {
    const std::size_t before = LogLines().size();
    EXPECT_EQ(Send(c.bytes), "") << c.name;
    const Lines log = LogLines();
    EXPECT_EQ(Lines(log.begin() + static_cast<std::ptrdiff_t>(before), log.end()), c.log) << c.name;
  }
  EXPECT_TRUE(driver.calls.empty());
  EXPECT_EQ(Rooms(), Rows{});
}

TEST_F(ServedRequestTest, FramingLimits) {
  // Exactly 16384 bytes before the 0x00 byte are read and handled.
  std::string request = "<r type=\"ReadCard\">";
  const std::string tail = "</r>";
  request += std::string(16384 - request.size() - tail.size(), ' ') + tail;
  ASSERT_EQ(request.size(), 16384u);
  EXPECT_EQ(Send(Framed(request)), FramedResponse("200", "读卡成功", 4711));

  // 16385 bytes without a 0x00 byte: closed without a response and without a log line.
  const std::size_t lines = LogLines().size();
  EXPECT_EQ(Send(std::string(16385, 'x')), "");
  // A client that ends its side before the 0x00 byte.
  EXPECT_EQ(Send("<r type=\"ReadCard\"/>"), "");
  EXPECT_EQ(LogLines().size(), lines);
  EXPECT_EQ(driver.calls, Lines{"ReadCard"});
}

namespace {

plat::TDateTime At(int y, int m, int d, int h, int n) {
  return plat::EncodeDateTime(y, m, d, h, n);
}

// A date-time as SQL text, exact to the last bit.
std::string Sql(plat::TDateTime t) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", t);
  return text;
}

}  // namespace

TEST_F(ServedRequestTest, WithoutTheRoomTableTheCardCarriesTheRequestsTimesMoved) {
  SysOption->DelayMinutes = 10;
  SysOption->DelayMinutes2 = 30;
  ASSERT_EQ(Send(Framed(kIssue)), FramedResponse("200", "发卡成功", 4711));
  const FakeDoorlock::Issue& issue = driver.issues.at(0);
  EXPECT_DOUBLE_EQ(issue.StartDate, At(2024, 5, 2, 13, 50));
  EXPECT_DOUBLE_EQ(issue.StartTime, At(2024, 5, 2, 13, 50));
  EXPECT_DOUBLE_EQ(issue.EndDate, At(2024, 5, 3, 12, 30));
  EXPECT_DOUBLE_EQ(issue.EndTime, At(2024, 5, 3, 12, 30));
  EXPECT_EQ(Rooms(), Rows{});
}

TEST_F(ServedRequestTest, ANewCardStartsNowAndItsStartIsStoredOnlyWhenWritten) {
  SysOption->UseNativeDoorlockDb = true;
  SysOption->DelayMinutes = 15;
  driver.issueResult = false;
  const plat::TDateTime before = plat::IncMinutes(plat::Now(), -15);
  ASSERT_EQ(Send(Framed(kIssue)), FramedResponse("500", "发卡失败", 4711));
  EXPECT_EQ(Rooms(), Rows{});  // a failed write leaves the room table alone

  driver.issueResult = true;
  ASSERT_EQ(Send(Framed(kIssue)), FramedResponse("200", "发卡成功", 4711));
  const plat::TDateTime after = plat::IncMinutes(plat::Now(), -15);
  const FakeDoorlock::Issue& issue = driver.issues.at(1);
  EXPECT_GE(issue.StartDate, before);
  EXPECT_LE(issue.StartDate, after);
  EXPECT_EQ(issue.StartTime, issue.StartDate);
  EXPECT_DOUBLE_EQ(store.GetLastCheckInTime("01020301"), issue.StartDate);
  EXPECT_EQ(Rooms().size(), 1u);
}

TEST_F(ServedRequestTest, ACopyStartsAtTheRoomsStoredTime) {
  SysOption->UseNativeDoorlockDb = true;
  SysOption->DelayMinutes = 15;
  store.AddRoom("01020301", At(2024, 5, 1, 9, 0));
  const std::string copy = IssueCardRequest("01", "02", "0301", "G", "2024-05-02", "14:00:00",
                                            "2024-05-03", "12:00:00", "True");
  ASSERT_EQ(Send(Framed(copy)), FramedResponse("200", "发卡成功", 4711));
  EXPECT_DOUBLE_EQ(driver.issues.at(0).StartDate, At(2024, 5, 1, 9, 0));
  EXPECT_TRUE(driver.issues.at(0).IsCopy);
  EXPECT_DOUBLE_EQ(store.GetLastCheckInTime("01020301"), At(2024, 5, 1, 9, 0));  // unchanged
}

TEST_F(ServedRequestTest, ACopyForAnUnknownRoomAddsTheRoomBeforeWritingEvenWhenTheWriteFails) {
  SysOption->UseNativeDoorlockDb = true;
  driver.issueResult = false;
  Rows roomsAtWrite;
  driver.onIssue = [&] { roomsAtWrite = Rooms(); };
  const plat::TDateTime before = plat::Now();
  const std::string copy = IssueCardRequest("01", "02", "0301", "G", "2024-05-02", "14:00:00",
                                            "2024-05-03", "12:00:00", "1");
  ASSERT_EQ(Send(Framed(copy)), FramedResponse("500", "发卡失败", 4711));
  ASSERT_EQ(roomsAtWrite.size(), 1u);
  const plat::TDateTime stored = store.GetLastCheckInTime("01020301");
  EXPECT_GE(stored, before);
  EXPECT_DOUBLE_EQ(driver.issues.at(0).StartDate, stored);
  EXPECT_EQ(Rooms().size(), 1u);
  EXPECT_EQ(LogLines(), (Lines{Gbk("收到消息: "), Gbk("执行操作->"), Gbk("新建房间01020301"),
                               Gbk("房间(0301)发卡失败"), Gbk("完成一次操作")}));
}

TEST_F(ServedRequestTest, EveryIssueThatReachesTheDriverIsRecorded) {
  SysOption->SaveDoorlockRecord = true;
  SysOption->DelayMinutes = 10;
  SysOption->DelayMinutes2 = 30;
  ASSERT_EQ(Send(Framed(kIssue)), FramedResponse("200", "发卡成功", 4711));
  driver.issueResult = false;
  driver.issueCardNo = 4712;
  const std::string copy = IssueCardRequest("01", "02", "0301", "G", "2024-05-02", "14:00:00",
                                            "2024-05-03", "12:00:00", "1", "");
  ASSERT_EQ(Send(Framed(copy)), FramedResponse("500", "发卡失败", 4712));
  const std::string in = Sql(At(2024, 5, 2, 13, 50));
  EXPECT_EQ(Records("RegisterId, CardNo, RoomNo, CardType, IsCopy, GuestName, "
                    "LastCheckInTime = CheckInTime, abs(CheckInTime - " +
                    in +
                    ") < 1e-9, "
                    "abs(CheckOutTime - " +
                    Sql(At(2024, 5, 3, 12, 30)) +
                    ") < 1e-9, "
                    "OpratingTime > 45000"),
            (Rows{{"R1", "4711", "01020301", "1", "0", Gbk("王小明"), "1", "1", "1", "1"},
                  {"", "4712", "01020301", "1", "1", "G", "1", "1", "1", "1"}}));
}

TEST_F(ServedRequestTest, ADriverErrorEndsTheRequestWithoutAResponseOrRecord) {
  SysOption->SaveDoorlockRecord = true;
  driver.onIssue = [] { throw std::runtime_error("'A' is not a valid integer value"); };
  EXPECT_EQ(Send(Framed(kIssue)), "");
  EXPECT_EQ(LogLines(), (Lines{Gbk("收到消息: "), Gbk("执行操作->")}));
  EXPECT_EQ(Records("count(*)"), Rows{{"0"}});
  driver.onIssue = nullptr;
  EXPECT_EQ(Send(Framed(kIssue)), FramedResponse("200", "发卡成功", 4711));  // still serving
}

namespace {

class BrokenConnection : public TConnection {
 public:
  void Write(std::string_view) override { throw std::runtime_error("Broken pipe"); }
};

}  // namespace

TEST(DoorlockMessageHandler, ALostResponseStillEndsTheRequestInTheLog) {
  CoreGlobals globals;
  FakeDoorlock driver;
  globals.Objects().LendDriver(&driver);
  BrokenConnection connection;
  TDoorlockMessageHandler handler;
  EXPECT_NO_THROW(handler.HandleMessage(connection, "<r type=\"EraseCard\"/>"));
  EXPECT_EQ(globals.LogTexts().back(), Gbk("完成一次操作"));
}
