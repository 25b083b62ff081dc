#include "tests/support/CoreGlobals.h"

#include <regex>

namespace testing_support {

CoreGlobals::CoreGlobals()
    : option_(std::make_unique<TOption>(dir_.File("Option.ini"))),
      sysOption_(std::make_unique<TSysOption>(dir_.File("Option.ini"))),
      log_(std::make_unique<TLogFile>(dir_.File("test.LOG"))),
      savedOption_(Option),
      savedSysOption_(SysOption),
      savedLog_(LogFile) {
  option_->Load();
  sysOption_->Load();
  Option = option_.get();
  SysOption = sysOption_.get();
  LogFile = log_.get();
}

CoreGlobals::~CoreGlobals() {
  Option = savedOption_;
  SysOption = savedSysOption_;
  LogFile = savedLog_;
}

std::string CoreGlobals::LogContent() const {
  return ReadFile(log_->FileName);
}

std::vector<std::string> CoreGlobals::LogTexts() const {
  const std::string content = LogContent();
  std::vector<std::string> texts;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find("\r\n", start);
    if (end == std::string::npos)
      end = content.size();
    const std::string line = content.substr(start, end - start);
    // A request's own lines carry no time stamp.
    static const std::regex stamp(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} )");
    const bool stamped = line.size() >= 20 && std::regex_match(line.substr(0, 20), stamp);
    texts.push_back(stamped ? line.substr(20) : line);
    start = end + 2;
  }
  return texts;
}

}  // namespace testing_support
