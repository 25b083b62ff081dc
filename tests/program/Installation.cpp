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

bool Installation::Start(int port) {
  const std::string program = dir_.File("doorlock-interface");
  const std::string errors = dir_.File("stderr.txt");
  pid_ = ::fork();
  if (pid_ == 0) {
    const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(err, STDERR_FILENO);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDIN_FILENO);
    ::dup2(null, STDOUT_FILENO);
    // As on a server without a desktop; the simulated encoder keeps its state here.
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("QT_QPA_PLATFORM");
    ::unsetenv("ENCODER_SIM_DIR");
    if (runAsUid_ != 0 && ::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(runAsGid_) != 0 || ::setuid(runAsUid_) != 0)) {
      ::_exit(126);
    }
    ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
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

int Installation::Stop(int signal) {
  if (pid_ <= 0)
    return -1;
  ::kill(pid_, signal);
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
