#pragma once

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/DateTime.h"

namespace client {

enum class Command { Issue, Read, Erase, Send };

// The room and stay of an "IssueCard" request, as the user gave them (UTF-8).
struct IssueFields {
  std::string RegisterId;
  std::string Building = "00";
  std::string Floor = "01";
  std::string Room = "01";
  std::string Guest = "Guest";
  plat::TDateTime CheckIn = 0;
  plat::TDateTime CheckOut = 0;
  bool IsCopy = false;
};

struct Options {
  bool Help = false;
  Command Cmd = Command::Issue;
  std::string Host = "127.0.0.1";
  std::uint16_t Port = 8886;
  std::chrono::milliseconds Timeout{30'000};
  bool PrintXml = false;
  IssueFields Issue;
  std::string File;  // for "send"; "-" is standard input
};

// Wrong command line; the message says what is wrong.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The arguments after the program name. `now` fills the default check-in.
Options ParseArguments(const std::vector<std::string>& args, plat::TDateTime now);

std::string UsageText();

}  // namespace client
