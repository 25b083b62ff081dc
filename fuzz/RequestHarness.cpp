#include "fuzz/RequestHarness.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <vector>

#include "doorlock/DoorlockMessageHandlerUnit.h"
#include "doorlock/DoorlockMessageUnit.h"
#include "encoders/BaseDoorlockUnit.h"
#include "host/LogFileUnit.h"
#include "host/OptionUnit.h"
#include "host/ProgramObjectsUnit.h"
#include "host/SysOptionUnit.h"
#include "platform/Errors.h"
#include "platform/TextCodec.h"
#include "platform/XmlReader.h"
#include "records/DoorlockRecordManagerUnit.h"
#include "records/SqliteDatabase.h"

namespace fuzzing {
namespace {

// A long run makes millions of requests: the log is cut back past this size and
// the tables are emptied now and then, so that neither grows without bound.
constexpr std::uintmax_t kLogLimit = 1 << 20;
constexpr unsigned kRunsBetweenClearing = 256;

std::string ScratchRoot() {
  // tmpfs keeps the database's syncs cheap.
  if (::access("/dev/shm", W_OK) == 0)
    return "/dev/shm";
  const char* tmp = std::getenv("TMPDIR");
  return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadFrom(const std::string& path, std::uintmax_t offset) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uintmax_t FileSize(const std::string& path) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  return error ? 0 : size;
}

// The first row's columns as text ("NULL" for null); empty when there is no row. Read
// through a connection of our own, beside the store's, to see what a request left.
std::vector<std::string> FirstRow(TSqliteDatabase& database, const char* sql) {
  TSqliteStatement query(database, sql);
  std::vector<std::string> row;
  if (query.Step()) {
    for (int i = 0; i < query.ColumnCount(); ++i)
      row.push_back(query.ColumnIsNull(i) ? "NULL" : query.ColumnText(i));
  }
  return row;
}

long Count(TSqliteDatabase& database, const char* table) {
  const std::string sql = std::string("select count(*) from ") + table;
  const std::vector<std::string> row = FirstRow(database, sql.c_str());
  return row.empty() ? -1 : std::stol(row[0]);
}

// The program-wide objects a connection thread uses, as start-up would make them.
class TScratchSystem {
 public:
  TScratchSystem() {
    std::string pattern = ScratchRoot() + "/doorlock-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
      throw std::runtime_error("mkdtemp failed for " + pattern);
    dir_ = pattern + "/";

    TSysOption settings(dir_ + "Option.ini");
    settings.UseNativeDoorlockDb = true;
    settings.SaveDoorlockRecord = true;
    settings.DelayMinutes = 10;
    settings.DelayMinutes2 = 30;
    settings.Save();
    database_ = std::make_unique<TSqliteDatabase>(dir_ + "Client.mdb", TSqliteOpen::Create);
    database_->Execute(ReadWhole(DOORLOCK_SOURCE_DIR "/records/Client.sql"));

    TProgramSetup setup;
    setup.LogName = "fuzz.LOG";
    // No reserve: the checks need every line, and a container's /dev/shm may be
    // smaller than the reserve a hotel's disk keeps.
    setup.LogSpace.Reserve = 0;
    objects_ = std::make_unique<TProgramObjects>(dir_, setup);
    objects_->LendDriver(&doorlock_);
  }

  ~TScratchSystem() {
    objects_.reset();
    database_.reset();
    Remove();
  }

  TScratchSystem(const TScratchSystem&) = delete;
  TScratchSystem& operator=(const TScratchSystem&) = delete;

  void Remove() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // Cuts the log and empties the tables when they have grown.
  void KeepSmall() {
    if (FileSize(LogPath()) > kLogLimit)
      std::filesystem::resize_file(LogPath(), 0);
    if (++runs_ % kRunsBetweenClearing == 0)
      database_->Execute("delete from T_IssueCardRecord; delete from T_Room;");
  }

  TSqliteDatabase& Database() { return *database_; }
  const std::string& LogPath() const { return LogFile->FileName; }

 private:
  std::string dir_;
  std::unique_ptr<TSqliteDatabase> database_;
  TBaseDoorlock doorlock_;
  std::unique_ptr<TProgramObjects> objects_;
  unsigned runs_ = 0;
};

TScratchSystem& System() {
  static TScratchSystem system;
  return system;
}

class TCollectingConnection : public TConnection {
 public:
  void Write(std::string_view bytes) override { writes.emplace_back(bytes); }
  std::vector<std::string> writes;
};

// The fixed texts the checks look for: the log's in GBK, the responses in UTF-8.
struct TTexts {
  std::string Received = plat::Utf8ToGbk("收到消息: ");
  std::string Executing = plat::Utf8ToGbk("执行操作->");
  std::string Done = plat::Utf8ToGbk("完成一次操作");
  std::string IssueFailedLine = plat::Utf8ToGbk(")发卡失败");
  std::string RoomLine = plat::Utf8ToGbk("房间(");
  std::string NewRoomLine = plat::Utf8ToGbk("新建房间");
  std::string ReadFailedLine = plat::Utf8ToGbk("读卡失败");
  std::string EraseFailedLine = plat::Utf8ToGbk("注销卡失败");
};

const TTexts& Texts() {
  static const TTexts texts;
  return texts;
}

std::string FailureResponse(std::string_view message) {
  std::string bytes = "<DoorResponse><RequestID></RequestID><ResultCode>500</ResultCode>";
  bytes += "<ResultMessage>";
  bytes += message;
  bytes += "</ResultMessage><CardNo>0</CardNo></DoorResponse>";
  bytes.push_back('\0');
  return bytes;
}

enum class TRequestKind { Issue, Read, Erase };

// The one response the base driver allows for each kind of request.
bool KnownResponse(const std::string& bytes, TRequestKind& kind) {
  static const std::string issue = FailureResponse("发卡失败");
  static const std::string read = FailureResponse("读卡失败");
  static const std::string erase = FailureResponse("注销卡失败 ");
  if (bytes == issue) {
    kind = TRequestKind::Issue;
  } else if (bytes == read) {
    kind = TRequestKind::Read;
  } else if (bytes == erase) {
    kind = TRequestKind::Erase;
  } else {
    return false;
  }
  return true;
}

// How the text stands as a document, judged from its outline only: the markup
// outside the root element and the nesting that finds the root's end. What lies
// inside tags and declarations is left to the reader.
enum class TOutline { OneRoot, Broken, Unknown };

bool XmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The '>' that closes the tag opened at `open`, quoted values skipped.
std::size_t TagEnd(std::string_view text, std::size_t open) {
  char quote = 0;
  for (std::size_t i = open + 1; i < text.size(); ++i) {
    const char c = text[i];
    if (quote != 0) {
      if (c == quote)
        quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      return i;
    }
  }
  return std::string_view::npos;
}

TOutline Outline(std::string_view text) {
  if (text.find('\0') != std::string_view::npos)
    return TOutline::Broken;
  std::size_t depth = 0;
  bool rootSeen = false;
  std::size_t pos = 0;
  // Skips to just past `end`, searched from `from`; false when it never comes.
  auto skipPast = [&](std::size_t from, std::string_view end) {
    const std::size_t at = text.find(end, from);
    if (at == std::string_view::npos)
      return false;
    pos = at + end.size();
    return true;
  };
  while (pos < text.size()) {
    if (text[pos] != '<') {
      if (depth == 0 && !XmlSpace(text[pos]))
        return TOutline::Broken;  // character data outside the root
      ++pos;
      continue;
    }
    const std::string_view rest = text.substr(pos);
    if (rest.starts_with("<!--")) {
      if (!skipPast(pos + 4, "-->"))
        return TOutline::Broken;
    } else if (rest.starts_with("<?")) {
      if (!skipPast(pos + 2, "?>"))
        return TOutline::Broken;
    } else if (rest.starts_with("<![CDATA[")) {
      if (depth == 0 || !skipPast(pos + 9, "]]>"))
        return TOutline::Broken;
    } else if (rest.starts_with("<!")) {
      return TOutline::Unknown;  // a document type declaration: the reader's business
    } else if (rest.starts_with("</")) {
      if (depth == 0 || !skipPast(pos + 2, ">"))
        return TOutline::Broken;
      --depth;
    } else {
      if (depth == 0 && rootSeen)
        return TOutline::Broken;  // a second root
      const std::size_t end = TagEnd(text, pos);
      if (end == std::string_view::npos)
        return TOutline::Broken;
      rootSeen = true;
      if (text[end - 1] != '/')
        ++depth;
      pos = end + 1;
    }
  }
  return rootSeen && depth == 0 ? TOutline::OneRoot : TOutline::Broken;
}

// "yyyy-mm-dd hh:nn:ss " at pos.
bool StampAt(std::string_view log, std::size_t pos) {
  static constexpr std::string_view kShape = "0000-00-00 00:00:00 ";
  if (pos + kShape.size() > log.size())
    return false;
  for (std::size_t i = 0; i < kShape.size(); ++i) {
    const char c = log[pos + i];
    if (kShape[i] == '0' ? (c < '0' || c > '9') : c != kShape[i])
      return false;
  }
  return true;
}

constexpr std::size_t kStampSize = 20;

// One whole log line holding `text` at pos.
bool LineAt(std::string_view log, std::size_t pos, std::string_view text) {
  return StampAt(log, pos) && log.substr(pos + kStampSize, text.size()) == text &&
         log.substr(pos + kStampSize + text.size(), 2) == "\r\n";
}

std::size_t LineSize(std::string_view text) {
  return kStampSize + text.size() + 2;
}

// The lines one request left: the request first, then the lines that its fate allows.
std::string CheckLog(std::string_view log, const std::string& text, const TRequestOutcome& outcome,
                     bool answered, TRequestKind kind) {
  const TTexts& t = Texts();
  const std::string first = t.Received + "\r\n" + text;
  if (!LineAt(log, 0, first))
    return "the log does not start with the request";
  const std::string_view rest = log.substr(LineSize(first));
  const std::size_t executing = LineSize(t.Executing);
  if (!outcome.Error.empty()) {
    if (rest.empty() || (rest.size() == executing && LineAt(rest, 0, t.Executing)))
      return {};
    return "a request that ended with an error left more than its first lines in the log";
  }
  if (!LineAt(rest, 0, t.Executing))
    return "the log lacks the line before dispatch";
  const std::size_t done = LineSize(t.Done);
  if (rest.size() < executing + done || !LineAt(rest, rest.size() - done, t.Done))
    return "the log does not end with the request's last line";
  const std::string_view middle = rest.substr(executing, rest.size() - executing - done);
  if (!answered)
    return middle.empty() ? std::string() : "a request without a response logged an outcome";
  if (kind == TRequestKind::Read)
    return middle.size() == LineSize(t.ReadFailedLine) && LineAt(middle, 0, t.ReadFailedLine)
               ? std::string()
               : "the log lacks the failed read";
  if (kind == TRequestKind::Erase)
    return middle.size() == LineSize(t.EraseFailedLine) && LineAt(middle, 0, t.EraseFailedLine)
               ? std::string()
               : "the log lacks the failed erase";
  const std::string ending = t.IssueFailedLine + "\r\n";
  const bool outcomeLast = middle.ends_with(ending);
  const bool knownStart =
      StampAt(middle, 0) && (middle.substr(kStampSize).starts_with(t.RoomLine) ||
                             middle.substr(kStampSize).starts_with(t.NewRoomLine));
  return outcomeLast && knownStart ? std::string() : "the log lacks the failed issue";
}

}  // namespace

TRequestOutcome RunRequest(std::string_view bytes) {
  TRequestOutcome outcome;
  std::string_view request = bytes.substr(0, bytes.find('\0'));
  if (request.size() > kMaxRequestBytes)
    return outcome;  // the server closes such a connection before any handler runs
  outcome.Handled = true;

  TScratchSystem& system = System();
  system.KeepSmall();
  TSqliteDatabase& database = system.Database();
  const long recordsBefore = Count(database, "T_IssueCardRecord");
  const long roomsBefore = Count(database, "T_Room");
  const std::uintmax_t logBefore = FileSize(system.LogPath());

  const std::string text = DecodeRequest(request);
  TCollectingConnection connection;
  try {
    TDoorlockMessageHandler handler;
    handler.HandleMessage(connection, text);
  } catch (const plat::EXmlError& e) {
    outcome.Error = std::string("XML: ") + e.what();
  } catch (const plat::EConvertError& e) {
    outcome.Error = std::string("conversion: ") + e.what();
    if (!std::string_view(e.what()).ends_with("' is not a valid date and time"))
      outcome.Violation = "a conversion error other than the date-time one: " + outcome.Error;
  } catch (const std::exception& e) {
    outcome.Error = e.what();
    outcome.Violation = std::string("an unexpected error left the handler: ") + e.what();
  } catch (...) {
    outcome.Error = "unknown";
    outcome.Violation = "something that is no std::exception left the handler";
  }
  if (!outcome.Violation.empty())
    return outcome;

  if (connection.writes.size() > 1) {
    outcome.Violation = "more than one response";
    return outcome;
  }
  const bool answered = connection.writes.size() == 1;
  if (answered)
    outcome.Response = connection.writes.front();
  TRequestKind kind = TRequestKind::Read;
  auto fail = [&](std::string violation) {
    outcome.Violation = std::move(violation);
    return outcome;
  };

  if (answered) {
    const std::string& response = outcome.Response;
    if (response.empty() || response.back() != '\0' || response.find('\0') != response.size() - 1)
      return fail("the response does not end with exactly one 0x00 byte");
    if (!plat::IsValidUtf8(response))
      return fail("the response is not valid UTF-8");
    if (!response.starts_with("<DoorResponse>") ||
        !response.ends_with("</DoorResponse>" + std::string(1, '\0')))
      return fail("the response is no DoorResponse document");
    if (!KnownResponse(response, kind))
      return fail("the response is not the base driver's failure");
    if (!outcome.Error.empty())
      return fail("a response and an error");
  }
  if (Outline(text) == TOutline::Broken) {
    if (answered)
      return fail("a response to a text that is no well-formed document");
    if (outcome.Error.empty() || !outcome.Error.starts_with("XML: "))
      return fail("a text that is no well-formed document was not refused by the reader");
  }

  const long recordsAdded = Count(database, "T_IssueCardRecord") - recordsBefore;
  const long roomsAdded = Count(database, "T_Room") - roomsBefore;
  const bool issued = answered && kind == TRequestKind::Issue;
  if (recordsAdded != (issued ? 1 : 0))
    return fail("issued-card records added: " + std::to_string(recordsAdded));
  if (roomsAdded < 0 || roomsAdded > (issued ? 1 : 0))
    return fail("rooms added: " + std::to_string(roomsAdded));
  if (issued) {
    const std::vector<std::string> last = FirstRow(
        database, "select CardNo, CardType from T_IssueCardRecord order by RecordId desc limit 1");
    if (last != std::vector<std::string>{"0", "1"})
      return fail("the issued-card record does not hold card number 0 and card type 1");
  }

  const std::string log = ReadFrom(system.LogPath(), logBefore);
  std::string logViolation = CheckLog(log, text, outcome, answered, kind);
  if (logViolation.empty() && Outline(text) == TOutline::Broken &&
      log.size() != LineSize(Texts().Received + "\r\n" + text))
    logViolation = "a text that is no well-formed document went past the first log line";
  if (!logViolation.empty())
    return fail(logViolation);
  return outcome;
}

void RunRequestOrAbort(std::string_view bytes) {
  const TRequestOutcome outcome = RunRequest(bytes);
  if (outcome.Violation.empty())
    return;
  std::fprintf(stderr, "request harness: %s\n", outcome.Violation.c_str());
  if (!outcome.Error.empty())
    std::fprintf(stderr, "request harness: error was: %s\n", outcome.Error.c_str());
  System().Remove();
  std::abort();
}

}  // namespace fuzzing
