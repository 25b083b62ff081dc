// The helpers the other tests stand on: the process runner, temporary folders and ports.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "tests/support/FreePort.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TempDir.h"

using namespace testing_support;

namespace {

// Everything the other end of a pipe wrote, once it has closed it.
std::string ReadToEnd(int fd) {
  std::string all;
  char buffer[256];
  ssize_t n = 0;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
    all.append(buffer, static_cast<std::size_t>(n));
  return all;
}

// Sets an environment variable for the scope of the object.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name))
      old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() {
    if (old_.empty()) {
      ::unsetenv(name_);
    } else {
      ::setenv(name_, old_.c_str(), 1);
    }
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::string old_;
};

TEST(RunProcess, AProcessThatDoesNotEndIsKilledAtTheDeadline) {
  const ProcessResult run = RunProcess("sleep", {"60"}, {}, std::chrono::milliseconds(200));
  EXPECT_TRUE(run.TimedOut);
  EXPECT_EQ(run.ExitCode, -SIGKILL);
  EXPECT_NE(run.Err.find("not done within 200 ms; killed"), std::string::npos) << run.Err;
}

TEST(RunProcess, TakesInputGivesBothOutputsAndTheExitStatus) {
  const ProcessResult run =
      RunProcess("sh", {"-c", "cat; echo 'to err' >&2; exit 3"}, std::string(100000, 'x'));
  EXPECT_FALSE(run.TimedOut);
  EXPECT_EQ(run.ExitCode, 3);
  EXPECT_EQ(run.Out, std::string(100000, 'x'));
  EXPECT_EQ(run.Err, "to err\n");
  EXPECT_EQ(RunProcess("/nonexistent/program", {}).ExitCode, kExecFailed);
}

// Two descriptors that swap numbers in the child: each must arrive as itself, not be
// overwritten by the other before it is duplicated.
TEST(StartProcess, GivesEachDescriptorItsNumberAndOnlyTheEnvironmentGiven) {
  int first[2];
  int second[2];
  ASSERT_EQ(::pipe2(first, O_CLOEXEC), 0);
  ASSERT_EQ(::pipe2(second, O_CLOEXEC), 0);
  ProcessSpec spec;
  spec.Program = "bash";
  const std::string intoFirst = std::to_string(second[1]);  // first[1]'s number in the child
  const std::string intoSecond = std::to_string(first[1]);
  spec.Args = {"-c", "echo \"first $ONLY ${HOME:-no home}\" >&" + intoFirst + "; echo second >&" +
                         intoSecond};
  spec.Environment = std::vector<std::string>{"ONLY=set"};
  spec.Descriptors = {{first[1], second[1]}, {second[1], first[1]}};
  const pid_t pid = StartProcess(spec);
  ::close(first[1]);
  ::close(second[1]);
  EXPECT_EQ(ReadToEnd(first[0]), "first set no home\n");
  EXPECT_EQ(ReadToEnd(second[0]), "second\n");
  ::close(first[0]);
  ::close(second[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(TempDir, LiesInTmpdirAndFallsBackToTmpWhereOtherUsersCannotReachIt) {
  const TempDir closed(TempDir::Reach::AnyUser);  // 0700, as mkdtemp makes it
  const std::string tmpdir = closed.File("tmp");
  ASSERT_EQ(::mkdir(tmpdir.c_str(), 0755), 0);
  const ScopedVariable variable("TMPDIR", tmpdir);

  const TempDir mine;
  EXPECT_EQ(mine.Path().rfind(tmpdir + "/doorlock-test-", 0), 0u) << mine.Path();
  const TempDir shared(TempDir::Reach::AnyUser);
  EXPECT_EQ(shared.Path().rfind("/tmp/doorlock-test-", 0), 0u) << shared.Path();

  ASSERT_EQ(::chmod(closed.Path().c_str(), 0755), 0);
  const TempDir reachable(TempDir::Reach::AnyUser);
  EXPECT_EQ(reachable.Path().rfind(tmpdir + "/doorlock-test-", 0), 0u) << reachable.Path();
}

// Test processes run side by side: two of them asking at once never get the same port,
// and no port is one the kernel may hand to a client socket or a bind to port 0 meanwhile.
TEST(FreePort, TwoProcessesAskingAtOnceGetDifferentPortsOutsideTheEphemeralRange) {
  constexpr int kPorts = 200;
  int pipe[2];
  ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipe[0]);
    try {
      for (int i = 0; i < kPorts; ++i) {
        const std::string line = std::to_string(FreePort()) + "\n";
        if (::write(pipe[1], line.data(), line.size()) != static_cast<ssize_t>(line.size()))
          ::_exit(1);
      }
    } catch (...) {
      ::_exit(1);
    }
    ::_exit(0);
  }
  ::close(pipe[1]);
  std::vector<int> ours;
  for (int i = 0; i < kPorts; ++i)
    ours.push_back(FreePort());
  const std::string theirs = ReadToEnd(pipe[0]);
  ::close(pipe[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  std::set<int> all(ours.begin(), ours.end());
  std::size_t count = ours.size();
  for (std::size_t start = 0; start < theirs.size();) {
    const std::size_t end = theirs.find('\n', start);
    all.insert(std::stoi(theirs.substr(start, end - start)));
    ++count;
    start = end + 1;
  }
  EXPECT_EQ(count, 2u * kPorts);
  EXPECT_EQ(all.size(), count);

  int low = 0;
  int high = 0;
  std::ifstream("/proc/sys/net/ipv4/ip_local_port_range") >> low >> high;
  ASSERT_GT(low, 0);
  for (const int port : all)
    EXPECT_TRUE(port < low || port > high) << port << " is in " << low << "-" << high;
}

}  // namespace
