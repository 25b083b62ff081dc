#include "tests/support/CoreGlobals.h"

#include <regex>

namespace testing_support {

namespace {

constexpr const char* kLogName = "test.LOG";

}  // namespace

CoreGlobals::CoreGlobals() {
  TProgramSetup setup;
  setup.LogName = kLogName;
  setup.RecordStore = false;
  objects_ = std::make_unique<TProgramObjects>(dir_.Path(), setup);
}

CoreGlobals::~CoreGlobals() = default;

std::string CoreGlobals::LogContent() const {
  return ReadFile(dir_.File(kLogName));
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
