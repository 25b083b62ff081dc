#include "tests/encoders/SimulatedEncoder.h"

#include <sys/wait.h>

#include <cstdio>
#include <stdexcept>

namespace testing_support {

std::string BinDir() {
  const char* dir = std::getenv("DOORLOCK_BIN_DIR");
  if (dir == nullptr || *dir == '\0')
    throw std::runtime_error("DOORLOCK_BIN_DIR is not set");
  std::string path = dir;
  if (path.back() != '/')
    path += '/';
  return path;
}

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

TToolResult SimulatedEncoder::Tool(const std::string& arguments) const {
  const std::string command = BinDir() + "encoder-sim --dir " + dir_.Path() + " " + arguments;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr)
    throw std::runtime_error("cannot run " + command);
  TToolResult result;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
    result.Output.append(buffer, n);
  const int status = ::pclose(pipe);
  result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

void SimulatedEncoder::Do(const std::string& arguments) const {
  const TToolResult result = Tool(arguments);
  if (result.ExitCode != 0) {
    throw std::runtime_error("encoder-sim " + arguments + " failed: " + result.Output);
  }
}

std::map<std::string, std::string> SimulatedEncoder::Status() const {
  const TToolResult result = Tool("status");
  if (result.ExitCode != 0)
    throw std::runtime_error("encoder-sim status failed: " + result.Output);
  std::map<std::string, std::string> status;
  std::size_t start = 0;
  while (start < result.Output.size()) {
    std::size_t end = result.Output.find('\n', start);
    if (end == std::string::npos)
      end = result.Output.size();
    const std::string line = result.Output.substr(start, end - start);
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos)
      throw std::runtime_error("not a status line: " + line);
    status[line.substr(0, eq)] = line.substr(eq + 1);
    start = end + 1;
  }
  return status;
}

}  // namespace testing_support
