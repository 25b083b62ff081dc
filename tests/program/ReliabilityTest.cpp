// Load, crashes and bad input against the built program.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <regex>
#include <set>
#include <thread>

#include "platform/IniFile.h"
#include "platform/TextCodec.h"
#include "tests/program/Installation.h"
#include "tests/support/ClientDatabase.h"
#include "tests/support/TestClient.h"

using namespace testing_support;
using Rows = std::vector<std::vector<std::string>>;

namespace {

std::string Framed(const std::string& request) {
  return request + std::string(1, '\0');
}

std::string Issue(const std::string& room, const std::string& guest = "G") {
  return Framed(IssueCardRequest("01", "02", room, guest, "2024-05-01", "14:00:00", "2030-05-03",
                                 "12:00:00", "0"));
}

// The card number of a "200" issue answer, or -1.
long long IssuedCardNo(const std::string& response) {
  static const std::regex issued(
      "<DoorResponse><RequestID></RequestID><ResultCode>200</ResultCode><ResultMessage>"
      "\xE5\x8F\x91\xE5\x8D\xA1\xE6\x88\x90\xE5\x8A\x9F</ResultMessage><CardNo>(-?\\d+)</CardNo>"
      "</DoorResponse>\\x00");
  std::smatch m;
  return std::regex_match(response, m, issued) ? std::stoll(m[1]) : -1;
}

std::int32_t Counter(const Installation& install) {
  return plat::TIniFile(install.File("Option.ini"))
      .ReadInteger("DoorlockOption", "CurrentCardNo", -1);
}

std::string LogContent(const Installation& install) {
  std::string all;
  for (const auto& e : std::filesystem::directory_iterator(install.Dir())) {
    if (e.path().extension() == ".LOG")
      all += ReadFile(e.path());
  }
  return all;
}

class ReliabilityTest : public ::testing::Test {
 protected:
  void Configure(const std::string& extra) {
    WriteFile(install.File("Option.ini"),
              "[DoorlockOption]\nDoorlockType=IC\nCurrentCardNo=100\n" + extra +
                  "[SysOption]\nDoorlockPortNo=" + std::to_string(port) + "\n");
  }
  std::string Send(const std::string& bytes) { return Exchange(port, bytes); }
  std::string Records() {
    return QueryRows(install.File("Client.mdb"), "select count(*) from T_IssueCardRecord")[0][0];
  }

  Installation install;
  int port = FreePort();
};

}  // namespace

TEST_F(ReliabilityTest, SixtyFourClientsIssuingAtOnceGetSixtyFourDifferentCards) {
  Configure("UseNativeDoorlockDb=1\nSaveDoorlockRecord=1\n");
  ASSERT_TRUE(install.Start(port)) << install.ProgramStderr();
  constexpr int kClients = 64;
  std::vector<std::string> answers(kClients);
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&, i] { answers[i] = Send(Issue(std::to_string(1000 + i))); });
  }
  for (auto& c : clients)
    c.join();
  EXPECT_EQ(install.Stop(), 0);

  std::set<long long> numbers;
  for (const std::string& answer : answers)
    numbers.insert(IssuedCardNo(answer));
  EXPECT_EQ(numbers.size(), static_cast<std::size_t>(kClients));
  EXPECT_EQ(*numbers.begin(), 101);
  EXPECT_EQ(*numbers.rbegin(), 100 + kClients);
  EXPECT_EQ(Counter(install), 100 + kClients);
  EXPECT_EQ(Records(), std::to_string(kClients));
  EXPECT_EQ(
      QueryRows(install.File("Client.mdb"), "select count(distinct CardNo) from T_IssueCardRecord"),
      (Rows{{std::to_string(kClients)}}));

  // Every line whole: a time-stamped line, or a request's own text after "收到消息: ".
  const std::string log = LogContent(install);
  ASSERT_EQ(log.substr(log.size() - 2), "\r\n");
  const std::regex stamped(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} [^\r\n]*)");
  const std::regex request(R"(<DoorRequest type="IssueCard">.*</DoorRequest>)");
  int done = 0;
  std::size_t start = 0;
  while (start < log.size()) {
    const std::size_t end = log.find("\r\n", start);
    const std::string line = log.substr(start, end - start);
    EXPECT_TRUE(std::regex_match(line, stamped) || std::regex_match(line, request)) << line;
    if (line.find(plat::Utf8ToGbk("完成一次操作")) != std::string::npos)
      ++done;
    start = end + 2;
  }
  EXPECT_EQ(done, kClients);
}

TEST_F(ReliabilityTest, AKilledProgramNeverHandsOutACardNumberTwice) {
  Configure("UseNativeDoorlockDb=1\nSaveDoorlockRecord=1\n");
  ASSERT_TRUE(install.Start(port)) << install.ProgramStderr();
  std::atomic<long long> highest{-1};
  std::atomic<int> answered{0};
  std::atomic<bool> stop{false};
  std::vector<std::thread> clients;
  for (int i = 0; i < 4; ++i) {
    clients.emplace_back([&, i] {
      while (!stop) {
        const long long number = IssuedCardNo(Send(Issue(std::to_string(2000 + i))));
        if (number < 0)
          continue;
        long long seen = highest;
        while (number > seen && !highest.compare_exchange_weak(seen, number)) {
        }
        ++answered;
      }
    });
  }
  // Bounded, so that a program that stops answering fails the test rather than hangs it.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (answered < 40 && std::chrono::steady_clock::now() < giveUp)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const int answeredBeforeTheKill = answered;
  install.Kill();  // SIGKILL while requests are in flight
  stop = true;
  for (auto& c : clients)
    c.join();
  ASSERT_GE(answeredBeforeTheKill, 40) << install.ProgramStderr();

  // Whole files after the crash, and a counter at or past every number answered.
  EXPECT_GE(Counter(install), highest.load());
  EXPECT_EQ(QueryRows(install.File("Client.mdb"), "pragma integrity_check"), Rows{{"ok"}});

  ASSERT_TRUE(install.Start(port)) << install.ProgramStderr();
  const long long next = IssuedCardNo(Send(Issue("0301")));
  EXPECT_GT(next, highest.load());
  EXPECT_EQ(install.Stop(), 0);
}

TEST_F(ReliabilityTest, BadInputGetsWhatTheProtocolGivesItAndServiceGoesOn) {
  Configure("SaveDoorlockRecord=1\n");
  ASSERT_TRUE(install.Start(port)) << install.ProgramStderr();
  std::string nested = "<r type=\"ReadCard\">";
  for (int i = 0; i < 2000; ++i)
    nested += "<a>";
  for (int i = 0; i < 2000; ++i)
    nested += "</a>";
  nested += "</r>";
  const std::string hugeAttribute =
      "<r type=\"ReadCard\" note=\"" + std::string(16000, 'x') + "\"/>";
  const std::string sqlRoom = "01'); drop table T_Room;--";
  const std::string tooFew =
      "<r type=\"IssueCard\"><a/><b/><c>01</c><d>02</d><e>03</e><f/><g>2024-05-01</g>"
      "<h/><i>2024-05-03</i><j/></r>";

  const struct {
    const char* name;
    std::string bytes;
    bool answered;  // a response, else silence
    int cards;      // card numbers used up
    int records;    // T_IssueCardRecord rows added
  } cases[] = {
      {"bad UTF-8", Framed("<r type=\"ReadCard\">\xC3(</r>"), false, 0, 0},
      {"four-byte character", Issue("0301", "\xF0\x9F\x98\x80"), false, 0, 0},
      {"0xF0 leading three bytes", Issue("0301", "\xF0\x9F\x98"), true, 1, 1},
      {"no root", Framed("hello"), false, 0, 0},
      {"unknown type", Framed("<r type=\"Format\"/>"), false, 0, 0},
      {"lower-case type", Framed("<r type=\"issuecard\"/>"), false, 0, 0},
      {"too few children", Framed(tooFew), false, 0, 0},
      {"date that does not convert",
       Framed(IssueCardRequest("01", "02", "03", "G", "2024-02-30", "", "2024-05-03", "", "0")),
       false, 0, 0},
      {"16385 bytes without terminator", std::string(16385, '<'), false, 0, 0},
      {"closing half-way", "<r type=\"IssueCard\"><a/>", false, 0, 0},
      {"deeply nested", Framed(nested), true, 0, 0},
      {"huge attribute", Framed(hugeAttribute), true, 0, 0},
      {"SQL in the room code", Issue(sqlRoom), true, 1, 1},
  };
  int counter = 100;
  int records = 0;
  for (const auto& c : cases) {
    const std::string response = Send(c.bytes);
    EXPECT_EQ(!response.empty(), c.answered) << c.name;
    counter += c.cards;
    records += c.records;
    EXPECT_EQ(Counter(install), counter) << c.name;
    EXPECT_EQ(Records(), std::to_string(records)) << c.name;
    // Still serving.
    EXPECT_NE(Send(Framed("<r type=\"EraseCard\"/>")), "") << c.name;
  }
  EXPECT_EQ(QueryRows(install.File("Client.mdb"),
                      "select count(*) from T_Room union all select GuestName from "
                      "T_IssueCardRecord where CardNo='101' union all select RoomNo from "
                      "T_IssueCardRecord where CardNo='102'"),
            (Rows{{"0"}, {"?"}, {"0102" + sqlRoom}}));
  EXPECT_EQ(install.Stop(), 0);
}
