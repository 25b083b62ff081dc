#include "tests/program/Installation.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <stdexcept>
#include <thread>

#include "platform/TextCodec.h"
#include "tests/support/BinDir.h"
#include "tests/support/ClientDatabase.h"
#include "tests/support/TestClient.h"

namespace testing_support {
namespace {

bool Listening(int port) {
  return TestClient(port).Connected();
}

}  // namespace

Installation::Installation(bool withDatabase) {
  for (const char* name :
       {"doorlock-interface", "libIC32.so", "libRFL32.so", "libProject2.so", "encoder-sim"}) {
    std::filesystem::copy_file(BinDir() + name, dir_.File(name));
  }
  if (withDatabase)
    CreateClientDatabase(dir_.File("Client.mdb"));
}

Installation::~Installation() {
  if (pid_ > 0)
    Kill();
}

void Installation::Launch(const std::vector<std::string>& environment) {
  // As on a server without a desktop; the simulated encoder keeps its state here.
  std::vector<std::string> variables;
  for (char** v = environ; *v != nullptr; ++v) {
    const std::string variable = *v;
    const std::string name = variable.substr(0, variable.find('='));
    if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "QT_QPA_PLATFORM" &&
        name != "ENCODER_SIM_DIR")
      variables.push_back(variable);
  }
  variables.insert(variables.end(), environment.begin(), environment.end());

  // Standard error to a file the tests read; the program outlives this call, so it is
  // started rather than run to its end.
  const int errors =
      ::open(dir_.File("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  if (errors < 0 || null < 0)
    throw std::runtime_error("cannot open the program's standard files");
  ProcessSpec spec;
  spec.Program = dir_.File("doorlock-interface");
  spec.Environment = std::move(variables);
  spec.Descriptors = {{null, STDIN_FILENO}, {null, STDOUT_FILENO}, {errors, STDERR_FILENO}};
  spec.FileLimit = files_;
  spec.Uid = runAsUid_;
  spec.Gid = runAsGid_;
  try {
    pid_ = StartProcess(spec);
  } catch (...) {
    ::close(errors);
    ::close(null);
    throw;
  }
  ::close(errors);
  ::close(null);
}

bool Installation::Start(int port, const std::vector<std::string>& environment) {
  Launch(environment);
  for (int i = 0; i < 600; ++i) {
    if (Listening(port))
      return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

int Installation::WaitForExit() {
  if (pid_ <= 0)
    return -1;
  for (int i = 0; i < 600; ++i) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  Kill();
  return -1;
}

int Installation::Stop(int signal) {
  if (pid_ <= 0)
    return -1;
  ::kill(pid_, signal);
  return WaitForExit();
}

void Installation::Kill() {
  if (pid_ <= 0)
    return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

ProcessResult Installation::RunToExit() {
  return RunProcess(dir_.File("doorlock-interface"), {});
}

std::vector<std::string> Installation::LogLines() const {
  std::string content;
  for (const auto& entry : std::filesystem::directory_iterator(Dir())) {
    if (entry.path().extension() == ".LOG")
      content += ReadFile(entry.path());
  }
  std::vector<std::string> lines;
  static const std::regex stamp(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} )");
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find("\r\n", start);
    if (end == std::string::npos)
      end = content.size();
    std::string line = plat::GbkToUtf8(content.substr(start, end - start));
    if (line.size() >= 20 && std::regex_match(line.substr(0, 20), stamp))
      line = line.substr(20);
    lines.push_back(line);
    start = end + 2;
  }
  return lines;
}

ProcessResult Installation::Client(std::vector<std::string> args) const {
  return RunProcess(BinDir() + "doorlock-client", args);
}

ProcessResult Installation::EncoderSim(std::vector<std::string> args) const {
  return RunProcess(dir_.File("encoder-sim"), args);
}

std::string Installation::ProgramStderr() const {
  return ReadFile(dir_.File("stderr.txt"));
}

}  // namespace testing_support
