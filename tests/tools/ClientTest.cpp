// The command-line client, run as a process against a fake server on 127.0.0.1.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "platform/DateTime.h"
#include "tests/support/BinDir.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TempDir.h"
#include "tests/tools/FakeServer.h"

using testing_support::FakeServer;
using testing_support::ProcessResult;
using testing_support::RefusingPort;
using Action = FakeServer::Action;

namespace {

std::string ClientPath() {
  return testing_support::BinDir() + "doorlock-client";
}

ProcessResult RunClient(std::uint16_t port, std::vector<std::string> args,
                        std::string_view input = {}) {
  args.insert(args.begin(), {"--port", std::to_string(port)});
  return testing_support::RunProcess(ClientPath(), args, input);
}

std::string ResponseDocument(const std::string& code, const std::string& message,
                             const std::string& cardNo) {
  return "<DoorResponse><RequestID></RequestID><ResultCode>" + code +
         "</ResultCode><ResultMessage>" + message + "</ResultMessage><CardNo>" + cardNo +
         "</CardNo></DoorResponse>";
}

const std::string kIssued = ResponseDocument("200", "发卡成功", "42") + std::string(1, '\0');

// The request as the server would take it apart: its type and its children by position.
struct SentRequest {
  std::string Type;
  std::vector<std::string> Names;
  std::vector<std::string> Values;
};

SentRequest TakeApart(const std::string& bytes) {
  SentRequest sent;
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\0'), 1) << "one 0x00 byte";
  EXPECT_TRUE(!bytes.empty() && bytes.back() == '\0') << "the 0x00 byte ends the request";
  pugi::xml_document doc;
  EXPECT_TRUE(doc.load_buffer(bytes.data(), bytes.size() - 1)) << bytes;
  const pugi::xml_node root = doc.document_element();
  sent.Type = root.attribute("type").value();
  for (const pugi::xml_node child : root.children()) {
    sent.Names.emplace_back(child.name());
    sent.Values.emplace_back(child.child_value());
  }
  return sent;
}

TEST(ClientIssue, SendsTheElevenFieldsEscapedAsUtf8AndOneTerminator) {
  FakeServer server(Action::Answer, kIssued);
  const ProcessResult run = RunClient(
      server.Port(), {"issue", "--building", "01", "--floor", "02", "--room", "0301", "--guest",
                      "张三 & <Li>", "--checkin", "2024-05-01 14:00:00", "--checkout",
                      "2024-05-03 12:00:00", "--copy", "--register-id", "R<7>&8"});
  const FakeServer::Record record = server.Finish();

  EXPECT_EQ(record.Received,
            "<DoorRequest type=\"IssueCard\"><RequestID></RequestID>"
            "<RegisterId>R&lt;7&gt;&amp;8</RegisterId>"
            "<RoomBuildingCode>01</RoomBuildingCode><RoomFloorCode>02</RoomFloorCode>"
            "<RoomNo>0301</RoomNo>"
            "<GuestName>\xE5\xBC\xA0\xE4\xB8\x89 &amp; &lt;Li&gt;</GuestName>"
            "<CheckInDate>2024-05-01</CheckInDate><CheckInTime>14:00:00</CheckInTime>"
            "<CheckOutDate>2024-05-03</CheckOutDate><CheckOutTime>12:00:00</CheckOutTime>"
            "<IsCopy>1</IsCopy></DoorRequest>" +
                std::string(1, '\0'));
  EXPECT_EQ(run.ExitCode, 0) << run.Err;

  const SentRequest sent = TakeApart(record.Received);
  EXPECT_EQ(sent.Type, "IssueCard");
  ASSERT_EQ(sent.Values.size(), 11u);
  EXPECT_EQ(sent.Names[0], "RequestID");
  EXPECT_EQ(sent.Values[0], "");
  EXPECT_EQ(sent.Values[1], "R<7>&8");
  EXPECT_EQ(sent.Values[5], "张三 & <Li>");
}

TEST(ClientIssue, FieldsAtTheirPositions) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::map<int, std::string> expected;  // position -> value
  } cases[] = {
      {"defaults", {}, {{1, ""}, {2, "00"}, {3, "01"}, {4, "01"}, {5, "Guest"}, {10, "0"}}},
      {"short date-time forms are sent in the full form",
       {"--checkin", "2024-5-1 9:05", "--checkout", "2024-05-03"},
       {{6, "2024-05-01"}, {7, "09:05:00"}, {8, "2024-05-03"}, {9, "00:00:00"}}},
      {"check-out two days after a given check-in",
       {"--checkin", "2030-12-31 10:00:00"},
       {{6, "2030-12-31"}, {7, "10:00:00"}, {8, "2031-01-02"}, {9, "10:00:00"}}},
      {"option=value and the copy flag",
       {"--room=0301", "--guest=a=b", "--copy"},
       {{4, "0301"}, {5, "a=b"}, {10, "1"}}},
      {"a value that starts with a dash", {"--guest", "-x-"}, {{5, "-x-"}}},
      {"quotes and apostrophes", {"--guest", "O'Brien \"Jr\""}, {{5, "O'Brien \"Jr\""}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeServer server(Action::Answer, kIssued);
    std::vector<std::string> args = {"issue"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProcessResult run = RunClient(server.Port(), args);
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    const SentRequest sent = TakeApart(server.Finish().Received);
    EXPECT_EQ(sent.Type, "IssueCard");
    ASSERT_EQ(sent.Values.size(), 11u);
    for (const auto& [position, value] : c.expected) {
      EXPECT_EQ(sent.Values[position], value) << "position " << position;
    }
  }
}

TEST(ClientIssue, DefaultStayStartsNowAndLastsTwoDays) {
  FakeServer server(Action::Answer, kIssued);
  const plat::TDateTime before = plat::Now();
  const ProcessResult run = RunClient(server.Port(), {"issue"});
  const plat::TDateTime after = plat::Now();
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  const SentRequest sent = TakeApart(server.Finish().Received);
  ASSERT_EQ(sent.Values.size(), 11u);

  const plat::TDateTime checkIn = plat::StrToDateTime(sent.Values[6] + " " + sent.Values[7]);
  const plat::TDateTime checkOut = plat::StrToDateTime(sent.Values[8] + " " + sent.Values[9]);
  const double oneSecond = 1.0 / 86400;
  // Sent to the second, so the check-in may lie up to a second before the run began.
  EXPECT_GE(checkIn, before - oneSecond);
  EXPECT_LE(checkIn, after);
  EXPECT_NEAR(checkOut - checkIn, 2.0, oneSecond / 10);
}

TEST(ClientRequests, ReadAndEraseCarryOnlyTheirType) {
  const struct {
    const char* command;
    const char* type;
  } cases[] = {{"read", "ReadCard"}, {"erase", "EraseCard"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    FakeServer server(Action::Answer, kIssued);
    const ProcessResult run = RunClient(server.Port(), {c.command});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(server.Finish().Received, "<DoorRequest type=\"" + std::string(c.type) +
                                            "\"></DoorRequest>" + std::string(1, '\0'));
  }
}

TEST(ClientRequests, SendPassesTheDocumentAsItStands) {
  // Already escaped and laid out on lines: nothing may be changed or added but the 0x00.
  const std::string document =
      "<?xml version=\"1.0\"?>\n<Req type=\"ReadCard\">\n  <a>&amp;\xE5\xBC\xA0</a>\n</Req>\n";
  testing_support::TempDir dir;
  testing_support::WriteFile(dir.File("request.xml"), document);
  const struct {
    const char* name;
    std::string file;
    std::string input;
  } cases[] = {{"standard input", "-", document}, {"file", dir.File("request.xml"), ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeServer server(Action::Answer, kIssued);
    const ProcessResult run = RunClient(server.Port(), {"send", c.file}, c.input);
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(server.Finish().Received, document + std::string(1, '\0'));
  }
}

TEST(ClientOutput, PrintsTheFieldsAndExitsByResultCode) {
  const std::string issued = ResponseDocument("200", "发卡成功", "42");
  const std::string nul(1, '\0');
  const struct {
    const char* name;
    Action action;
    std::string answer;
    std::vector<std::string> extraArgs;
    std::string out;
    int exitCode;
  } cases[] = {
      {"card issued",
       Action::Answer,
       issued + nul,
       {},
       "ResultCode: 200\nResultMessage: 发卡成功\nCardNo: 42\n",
       0},
      {"card not issued",
       Action::Answer,
       ResponseDocument("500", "发卡失败", "0") + nul,
       {},
       "ResultCode: 500\nResultMessage: 发卡失败\nCardNo: 0\n",
       1},
      {"the message keeps its trailing blank",
       Action::Answer,
       ResponseDocument("200", "注销卡成功 ", "0") + nul,
       {},
       "ResultCode: 200\nResultMessage: 注销卡成功 \nCardNo: 0\n",
       0},
      {"another code is a failure",
       Action::Answer,
       ResponseDocument("404", "x", "-5") + nul,
       {},
       "ResultCode: 404\nResultMessage: x\nCardNo: -5\n",
       1},
      {"bytes after the 0x00 are not read",
       Action::Answer,
       issued + nul + "<junk",
       {},
       "ResultCode: 200\nResultMessage: 发卡成功\nCardNo: 42\n",
       0},
      {"an answer ended by the close",
       Action::AnswerAndClose,
       issued,
       {},
       "ResultCode: 200\nResultMessage: 发卡成功\nCardNo: 42\n",
       0},
      {"--xml prints the document first",
       Action::Answer,
       issued + nul,
       {"--xml"},
       issued + "\nResultCode: 200\nResultMessage: 发卡成功\nCardNo: 42\n",
       0},
      {"an answer that is no response document", Action::Answer, "hello" + nul, {}, "", 2},
      {"a document of another kind",
       Action::Answer,
       "<Other><ResultCode>200</ResultCode></Other>" + nul,
       {},
       "",
       2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeServer server(c.action, c.answer);
    std::vector<std::string> args = {"read"};
    args.insert(args.end(), c.extraArgs.begin(), c.extraArgs.end());
    const ProcessResult run = RunClient(server.Port(), args);
    const FakeServer::Record record = server.Finish();
    EXPECT_EQ(run.Out, c.out);
    EXPECT_EQ(run.ExitCode, c.exitCode) << run.Err;
    if (c.action == Action::Answer) {
      EXPECT_TRUE(record.ClientClosed) << "the client hangs up after the 0x00 byte";
    }
  }
}

TEST(ClientFailures, ServerClosingWithoutAnAnswerIsNoResponse) {
  FakeServer server(Action::Close);
  const ProcessResult run = RunClient(server.Port(), {"read"});
  const FakeServer::Record record = server.Finish();
  EXPECT_EQ(run.ExitCode, 2);
  EXPECT_EQ(run.Out, "");
  EXPECT_NE(run.Err.find("without a response"), std::string::npos) << run.Err;
  EXPECT_EQ(TakeApart(record.Received).Type, "ReadCard");
}

TEST(ClientFailures, RefusedConnectionIsAConnectionError) {
  RefusingPort port;
  const ProcessResult run = RunClient(port.Port(), {"erase"});
  EXPECT_EQ(run.ExitCode, 3);
  EXPECT_EQ(run.Out, "");
  EXPECT_NE(run.Err.find("cannot connect to 127.0.0.1:" + std::to_string(port.Port())),
            std::string::npos)
      << run.Err;
}

TEST(ClientFailures, SilentServerEndsInTheClientsOwnTimeOut) {
  FakeServer server(Action::Stay);
  const ProcessResult run = RunClient(server.Port(), {"read", "--timeout", "1"});
  const FakeServer::Record record = server.Finish();
  EXPECT_EQ(run.ExitCode, 3);
  EXPECT_EQ(run.Out, "");
  EXPECT_TRUE(record.ClientClosed);
  EXPECT_EQ(TakeApart(record.Received).Type, "ReadCard");
}

TEST(ClientUsage, HelpShowsTheUsageWithAnExample) {
  for (const char* flag : {"--help", "-h"}) {
    const ProcessResult run = testing_support::RunProcess(ClientPath(), {"read", flag});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_NE(run.Out.find("Usage: doorlock-client"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("doorlock-client issue --building"), std::string::npos) << run.Out;
    EXPECT_EQ(run.Err, "");
  }
}

TEST(ClientUsage, WrongUsageExits64WithTheUsageAndSendsNothing) {
  // Nobody listens here: a client that went on to connect would end with 3, not 64.
  RefusingPort port;
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"fly"},
      {"read", "--bogus"},
      {"read", "-x"},
      {"read", "extra"},
      {"send"},
      {"send", "a.xml", "b.xml"},
      {"send", "/nonexistent/request.xml"},
      {"read", "--room", "0301"},
      {"erase", "--copy"},
      {"read", "--xml=1"},
      {"issue", "--guest"},
      {"read", "--port", "0"},
      {"read", "--port", "65536"},
      {"read", "--port", "80a"},
      {"read", "--port", "-1"},
      {"read", "--host", ""},
      {"read", "--timeout", "0"},
      {"read", "--timeout", "-1"},
      {"read", "--timeout", "soon"},
      {"read", "--timeout", "nan"},
      {"issue", "--checkin", "2024-13-01 10:00:00"},
      {"issue", "--checkout", "tomorrow"},
      {"issue", "--guest", "\xC3\x28"},
      {"issue", "--room", "\xED\xA0\x80"},
  };
  for (const auto& args : cases) {
    std::string shown;
    for (const auto& a : args)
      shown += "[" + a + "]";
    SCOPED_TRACE(shown);
    const ProcessResult run = RunClient(port.Port(), args);
    EXPECT_EQ(run.ExitCode, 64);
    EXPECT_EQ(run.Out, "");
    EXPECT_NE(run.Err.find("Usage: doorlock-client"), std::string::npos) << run.Err;
  }
}

}  // namespace
