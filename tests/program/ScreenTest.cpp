// The program with and without a screen: a port it cannot listen on, and a stop
// signal while its start-up message is open.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "platform/TextCodec.h"
#include "tests/program/Installation.h"

using namespace testing_support;

namespace {

// A listening socket on a free loopback port, as another program holding the port.
class HeldPort {
 public:
  HeldPort() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd_, 1) != 0)
      ADD_FAILURE() << "cannot hold a port";
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~HeldPort() { ::close(fd_); }
  HeldPort(const HeldPort&) = delete;
  HeldPort& operator=(const HeldPort&) = delete;

  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// An X server of its own (Xvfb), for as long as the object lives; Name() is empty
// when none could be started.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    const std::string server = FindProgram("Xvfb");
    if (server.empty())
      return;
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0)
      return;
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    // Xvfb picks a free display and writes its number to descriptor 3.
    ProcessSpec spec;
    spec.Program = server;
    spec.Args = {"-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "1024x768x24"};
    spec.Descriptors = {{ready[1], 3}, {null, STDOUT_FILENO}, {null, STDERR_FILENO}};
    pid_ = StartProcess(spec);
    ::close(null);
    ::close(ready[1]);
    std::string number;
    pollfd p{ready[0], POLLIN, 0};
    char c = 0;
    while (::poll(&p, 1, 60000) == 1 && ::read(ready[0], &c, 1) == 1 && c != '\n')
      number += c;
    ::close(ready[0]);
    if (!number.empty())
      name_ = ":" + number;
  }
  ~VirtualDisplay() {
    if (pid_ <= 0)
      return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  const std::string& Name() const { return name_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

void Configure(const Installation& install, int port) {
  WriteFile(install.File("Option.ini"),
            "[SysOption]\nDoorlockPortNo=" + std::to_string(port) + "\n");
}

std::string LogText(const Installation& install) {
  std::string all;
  for (const auto& e : std::filesystem::directory_iterator(install.Dir())) {
    if (e.path().extension() == ".LOG")
      all += plat::GbkToUtf8(ReadFile(e.path()));
  }
  return all;
}

// However the program comes to have no screen.
const std::vector<std::vector<std::string>> kHeadless = {
    {},
    {"QT_QPA_PLATFORM=offscreen"},
    {"QT_QPA_PLATFORM=minimal"},
    {"QT_QPA_PLATFORM=offscreen", "DISPLAY=:99"},
};

std::string Describe(const std::vector<std::string>& environment) {
  std::string text = "environment:";
  for (const std::string& v : environment)
    text += " " + v;
  return text;
}

}  // namespace

TEST(Screen, WithoutAScreenAPortInUseIsReportedOnStandardErrorAndEndsWithStatus1) {
  const HeldPort held;
  for (const auto& environment : kHeadless) {
    SCOPED_TRACE(Describe(environment));
    Installation install;
    Configure(install, held.Port());
    install.Launch(environment);
    EXPECT_EQ(install.WaitForExit(), 1);
    const std::string errors = install.ProgramStderr();
    EXPECT_NE(errors.find("the window is not shown"), std::string::npos) << errors;
    EXPECT_NE(errors.find("Cannot listen on port " + std::to_string(held.Port())),
              std::string::npos)
        << errors;
  }
}

TEST(Screen, WithoutAScreenOneStopSignalEndsTheProgram) {
  for (const auto& environment : kHeadless) {
    SCOPED_TRACE(Describe(environment));
    Installation install;
    const int port = FreePort();
    Configure(install, port);
    ASSERT_TRUE(install.Start(port, environment)) << install.ProgramStderr();
    EXPECT_NE(install.ProgramStderr().find("the window is not shown"), std::string::npos)
        << install.ProgramStderr();
    EXPECT_EQ(install.Stop(), 0);
  }
}

TEST(Screen, AStopSignalWhileTheStartUpMessageIsOpenEndsTheProgramInOrder) {
  const VirtualDisplay display;
  if (display.Name().empty())
    GTEST_SKIP() << "no Xvfb to give the program a screen";
  const HeldPort held;
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    Installation install;
    Configure(install, held.Port());
    install.Launch({"DISPLAY=" + display.Name()});
    // The encoder's port is opened after the stop signals are taken over and just
    // before the window is created; the signal is handled in the message's loop.
    bool opened = false;
    for (int i = 0; i < 600 && !opened; ++i) {
      opened = LogText(install).find("串口打开成功: COM1") != std::string::npos;
      if (!opened)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(opened) << install.ProgramStderr();
    EXPECT_EQ(install.Stop(signal), 0) << install.ProgramStderr();
    EXPECT_EQ(install.ProgramStderr().find("the window is not shown"), std::string::npos)
        << install.ProgramStderr();
  }
}
