#include "tests/program/Installation.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/support/ClientDatabase.h"
#include "tests/support/TestClient.h"

namespace testing_support {
namespace {

std::string BinDir() {
  return std::getenv("DOORLOCK_BIN_DIR");
}

bool Listening(int port) {
  return TestClient(port).Connected();
}

}  // namespace

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

Installation::Installation(bool withDatabase) {
  for (const char* name :
       {"doorlock-interface", "libIC32.so", "libRFL32.so", "libProject2.so", "encoder-sim"}) {
    std::filesystem::copy_file(BinDir() + "/" + name, dir_.File(name));
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
  std::vector<char*> envp;
  for (std::string& v : variables)
    envp.push_back(v.data());
  envp.push_back(nullptr);

  const std::string program = dir_.File("doorlock-interface");
  const std::string errors = dir_.File("stderr.txt");
  pid_ = ::fork();
  if (pid_ == 0) {
    // Only async-signal-safe calls between fork and exec: the test process has threads.
    const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(err, STDERR_FILENO);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDIN_FILENO);
    ::dup2(null, STDOUT_FILENO);
    if (files_ && ::setrlimit(RLIMIT_NOFILE, &*files_) != 0)
      ::_exit(126);
    if (runAsUid_ != 0 && ::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(runAsGid_) != 0 || ::setuid(runAsUid_) != 0)) {
      ::_exit(126);
    }
    char* const argv[] = {const_cast<char*>(program.c_str()), nullptr};
    ::execve(program.c_str(), argv, envp.data());
    ::_exit(127);
  }
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

ProcessResult Installation::Client(std::vector<std::string> args) const {
  return RunProcess(BinDir() + "/doorlock-client", args);
}

ProcessResult Installation::EncoderSim(std::vector<std::string> args) const {
  return RunProcess(dir_.File("encoder-sim"), args);
}

std::string Installation::ProgramStderr() const {
  return ReadFile(dir_.File("stderr.txt"));
}

}  // namespace testing_support
