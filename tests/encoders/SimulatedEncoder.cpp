#include "tests/encoders/SimulatedEncoder.h"

#include <stdexcept>

namespace testing_support {
namespace {

std::string Joined(const std::vector<std::string>& arguments) {
  std::string text;
  for (const std::string& a : arguments)
    text += (text.empty() ? "" : " ") + a;
  return text;
}

}  // namespace

SimulatedEncoder::SimulatedEncoder() {
  if (const char* saved = std::getenv("ENCODER_SIM_DIR")) {
    hadSimDir_ = true;
    savedSimDir_ = saved;
  }
  ::setenv("ENCODER_SIM_DIR", dir_.Path().c_str(), 1);
}

SimulatedEncoder::~SimulatedEncoder() {
  if (hadSimDir_) {
    ::setenv("ENCODER_SIM_DIR", savedSimDir_.c_str(), 1);
  } else {
    ::unsetenv("ENCODER_SIM_DIR");
  }
}

ProcessResult SimulatedEncoder::Tool(const std::vector<std::string>& arguments) const {
  std::vector<std::string> all = {"--dir", dir_.Path()};
  all.insert(all.end(), arguments.begin(), arguments.end());
  return RunProcess(BinDir() + "encoder-sim", all);
}

void SimulatedEncoder::Do(const std::vector<std::string>& arguments) const {
  const ProcessResult result = Tool(arguments);
  if (result.ExitCode != 0) {
    throw std::runtime_error("encoder-sim " + Joined(arguments) + " failed: " + result.Out +
                             result.Err);
  }
}

std::map<std::string, std::string> SimulatedEncoder::Status() const {
  const ProcessResult result = Tool({"status"});
  if (result.ExitCode != 0)
    throw std::runtime_error("encoder-sim status failed: " + result.Out + result.Err);
  std::map<std::string, std::string> status;
  std::size_t start = 0;
  while (start < result.Out.size()) {
    std::size_t end = result.Out.find('\n', start);
    if (end == std::string::npos)
      end = result.Out.size();
    const std::string line = result.Out.substr(start, end - start);
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos)
      throw std::runtime_error("not a status line: " + line);
    status[line.substr(0, eq)] = line.substr(eq + 1);
    start = end + 1;
  }
  return status;
}

}  // namespace testing_support
