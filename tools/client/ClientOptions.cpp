#include "tools/client/ClientOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>

#include "platform/Errors.h"
#include "platform/TextCodec.h"

namespace client {
namespace {

constexpr std::int64_t kStayMinutes = 2 * 1440;
// Beyond this a time-out no longer fits the millisecond arithmetic comfortably.
constexpr double kMaxTimeoutSeconds = 1'000'000;

std::uint16_t ParsePort(const std::string& text) {
  if (text.empty() || text.size() > 5 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    throw UsageError("--port needs a number from 1 to 65535, not '" + text + "'");
  }
  const int port = std::stoi(text);
  if (port < 1 || port > 65535) {
    throw UsageError("--port needs a number from 1 to 65535, not '" + text + "'");
  }
  return static_cast<std::uint16_t>(port);
}

std::chrono::milliseconds ParseTimeout(const std::string& text) {
  char* end = nullptr;
  errno = 0;
  const double seconds = text.empty() ? 0 : std::strtod(text.c_str(), &end);
  if (text.empty() || errno != 0 || *end != '\0' || !std::isfinite(seconds) || seconds <= 0 ||
      seconds > kMaxTimeoutSeconds) {
    throw UsageError("--timeout needs a positive number of seconds, not '" + text + "'");
  }
  return std::chrono::milliseconds(static_cast<std::int64_t>(std::ceil(seconds * 1000)));
}

plat::TDateTime ParseDateTime(const std::string& option, const std::string& text) {
  try {
    return plat::StrToDateTime(text);
  } catch (const plat::EConvertError&) {
    throw UsageError(option + " needs a date and time as \"yyyy-MM-dd hh:mm:ss\", not '" + text +
                     "'");
  }
}

Command ParseCommand(const std::string& word) {
  static const std::map<std::string, Command> kCommands = {{"issue", Command::Issue},
                                                           {"read", Command::Read},
                                                           {"erase", Command::Erase},
                                                           {"send", Command::Send}};
  const auto found = kCommands.find(word);
  if (found == kCommands.end())
    throw UsageError("unknown command '" + word + "'");
  return found->second;
}

// Collects the command line before the options are checked against the command.
class ArgumentReader {
 public:
  explicit ArgumentReader(const std::vector<std::string>& args) : args_(args) {}

  void Read() {
    for (index_ = 0; index_ < args_.size(); ++index_) {
      const std::string& arg = args_[index_];
      if (arg == "-h" || arg == "--help") {
        help_ = true;
      } else if (arg.size() > 2 && arg.starts_with("--")) {
        Option(arg);
      } else if (arg.size() > 1 && arg.starts_with("-")) {
        throw UsageError("unknown option '" + arg + "'");
      } else {
        positionals_.push_back(arg);
      }
    }
  }

  bool Help() const { return help_; }
  const std::vector<std::string>& Positionals() const { return positionals_; }
  const std::map<std::string, std::string>& Values() const { return values_; }

 private:
  void Option(const std::string& arg) {
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (name == "--copy" || name == "--xml") {
      if (equals != std::string::npos)
        throw UsageError(name + " takes no value");
      values_[name] = "";
      return;
    }
    static const char* const kValued[] = {"--host",     "--port",       "--timeout", "--building",
                                          "--floor",    "--room",       "--guest",   "--checkin",
                                          "--checkout", "--register-id"};
    bool known = false;
    for (const char* valued : kValued)
      known = known || name == valued;
    if (!known)
      throw UsageError("unknown option '" + name + "'");
    if (equals != std::string::npos) {
      values_[name] = arg.substr(equals + 1);
    } else if (index_ + 1 < args_.size()) {
      values_[name] = args_[++index_];
    } else {
      throw UsageError(name + " needs a value");
    }
  }

  const std::vector<std::string>& args_;
  std::size_t index_ = 0;
  bool help_ = false;
  std::vector<std::string> positionals_;
  std::map<std::string, std::string> values_;
};

bool IsIssueOption(const std::string& name) {
  return name == "--building" || name == "--floor" || name == "--room" || name == "--guest" ||
         name == "--checkin" || name == "--checkout" || name == "--copy" || name == "--register-id";
}

void ReadIssueFields(const std::map<std::string, std::string>& values, plat::TDateTime now,
                     IssueFields& issue) {
  const auto take = [&](const std::string& name, std::string& field) {
    const auto found = values.find(name);
    if (found == values.end())
      return;
    // The server decodes UTF-8 strictly and answers nothing to anything else.
    if (!plat::IsValidUtf8(found->second))
      throw UsageError(name + " is not valid UTF-8 text");
    field = found->second;
  };
  take("--register-id", issue.RegisterId);
  take("--building", issue.Building);
  take("--floor", issue.Floor);
  take("--room", issue.Room);
  take("--guest", issue.Guest);
  issue.IsCopy = values.contains("--copy");

  const auto checkIn = values.find("--checkin");
  issue.CheckIn = checkIn == values.end() ? now : ParseDateTime("--checkin", checkIn->second);
  const auto checkOut = values.find("--checkout");
  // Counted from the check-in, so that a check-in in the future alone still gives a stay.
  issue.CheckOut = checkOut == values.end() ? plat::IncMinutes(issue.CheckIn, kStayMinutes)
                                            : ParseDateTime("--checkout", checkOut->second);
}

}  // namespace

Options ParseArguments(const std::vector<std::string>& args, plat::TDateTime now) {
  ArgumentReader reader(args);
  reader.Read();
  Options options;
  if (reader.Help()) {
    options.Help = true;
    return options;
  }

  const auto& positionals = reader.Positionals();
  if (positionals.empty())
    throw UsageError("no command given");
  options.Cmd = ParseCommand(positionals[0]);
  const std::size_t expected = options.Cmd == Command::Send ? 2 : 1;
  if (positionals.size() < expected)
    throw UsageError("send needs a FILE, or - for standard input");
  if (positionals.size() > expected)
    throw UsageError("unexpected argument '" + positionals[expected] + "'");
  if (options.Cmd == Command::Send)
    options.File = positionals[1];

  const auto& values = reader.Values();
  for (const auto& [name, value] : values) {
    if (IsIssueOption(name) && options.Cmd != Command::Issue) {
      throw UsageError(name + " applies only to the issue command");
    }
  }
  if (const auto host = values.find("--host"); host != values.end()) {
    if (host->second.empty())
      throw UsageError("--host needs an address");
    options.Host = host->second;
  }
  if (const auto port = values.find("--port"); port != values.end()) {
    options.Port = ParsePort(port->second);
  }
  if (const auto timeout = values.find("--timeout"); timeout != values.end()) {
    options.Timeout = ParseTimeout(timeout->second);
  }
  options.PrintXml = values.contains("--xml");
  if (options.Cmd == Command::Issue)
    ReadIssueFields(values, now, options.Issue);
  return options;
}

std::string UsageText() {
  return R"(Usage: doorlock-client [OPTIONS] COMMAND

Sends one request to the door lock interface and prints its answer.

Commands:
  issue               issue a guest card for a room and a stay ("IssueCard")
  read                read the number of the card on the encoder ("ReadCard")
  erase               cancel the card on the encoder ("EraseCard")
  send FILE           send the request document in FILE as it stands, followed
                      by the 0x00 byte; FILE "-" reads standard input

Options of issue:
  --building CODE     room building code (default 00)
  --floor CODE        room floor code (default 01)
  --room NUMBER       room number within its floor (default 01)
  --guest NAME        guest name (default Guest)
  --checkin TIME      check-in as "yyyy-MM-dd hh:mm:ss" (default now)
  --checkout TIME     check-out as "yyyy-MM-dd hh:mm:ss"
                      (default two days after the check-in)
  --copy              a further card for a stay that already has one
  --register-id ID    the stay's registration identifier (default empty)

Options:
  --host HOST         server address (default 127.0.0.1)
  --port PORT         server port (default 8886)
  --timeout SECONDS   limit for the whole exchange, connect included (default 30)
  --xml               also print the raw response document
  -h, --help          show this text

Prints ResultCode, ResultMessage and CardNo, one per line as "key: value".

Exit status:
  0   the result code is 200
  1   any other result code (500 for a failed operation)
  2   no response: the server closed the connection without one
  3   connection error, or no answer within the time-out
  64  wrong usage

Example:
  doorlock-client issue --building 01 --floor 02 --room 0301 --guest "Zhang San" \
      --checkin "2024-05-01 14:00:00" --checkout "2024-05-03 12:00:00"
)";
}

}  // namespace client
