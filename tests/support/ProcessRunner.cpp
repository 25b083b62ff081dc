#include "tests/support/ProcessRunner.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace testing_support {
namespace {

using Clock = std::chrono::steady_clock;

// A descriptor closed when the object goes.
class Fd {
 public:
  Fd() = default;
  ~Fd() { Close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;

  int Get() const { return fd_; }
  void Reset(int fd) {
    Close();
    fd_ = fd;
  }
  void Close() {
    if (fd_ >= 0)
      ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

struct Pipe {
  Fd Read;
  Fd Write;
  Pipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
      throw std::runtime_error("pipe2 failed");
    Read.Reset(fds[0]);
    Write.Reset(fds[1]);
  }
};

// The child's part, between fork and exec: async-signal-safe calls only, on what the
// parent prepared.
[[noreturn]] void RunChild(const std::string& path, char* const* argv, char* const* envp,
                           const ProcessSpec& spec, std::vector<int>& moved, int firstFree) {
  // Each given descriptor is first moved above every number it is to take, so that
  // one whose number is another's target is not overwritten before it is duplicated.
  for (std::size_t i = 0; i < spec.Descriptors.size(); ++i) {
    moved[i] = ::fcntl(spec.Descriptors[i].first, F_DUPFD_CLOEXEC, firstFree);
    if (moved[i] < 0)
      ::_exit(kSetupFailed);
  }
  // dup2 leaves close-on-exec off on the new number.
  for (std::size_t i = 0; i < spec.Descriptors.size(); ++i) {
    if (::dup2(moved[i], spec.Descriptors[i].second) < 0)
      ::_exit(kSetupFailed);
  }
  if (spec.FileLimit && ::setrlimit(RLIMIT_NOFILE, &*spec.FileLimit) != 0)
    ::_exit(kSetupFailed);
  if (spec.Uid != 0 && ::geteuid() == 0 &&
      (::setgroups(0, nullptr) != 0 || ::setgid(spec.Gid) != 0 || ::setuid(spec.Uid) != 0)) {
    ::_exit(kSetupFailed);
  }
  ::execve(path.c_str(), argv, envp);
  ::_exit(kExecFailed);
}

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

}  // namespace

std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos)
    return name;
  const char* path = std::getenv("PATH");
  const std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const std::size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
    const std::string candidate = dir + "/" + name;
    struct stat st {};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0)
      return candidate;
    start = end + 1;
  }
  return {};
}

pid_t StartProcess(const ProcessSpec& spec) {
  std::string path = FindProgram(spec.Program);
  if (path.empty())
    path = spec.Program;  // the exec fails, and the child ends with kExecFailed
  std::vector<std::string> args = spec.Args;
  args.insert(args.begin(), spec.Program);
  std::vector<char*> argv;
  for (std::string& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> variables;
  std::vector<char*> envp;
  if (spec.Environment) {
    variables = *spec.Environment;
    for (std::string& v : variables)
      envp.push_back(v.data());
    envp.push_back(nullptr);
  }
  char* const* environment = spec.Environment ? envp.data() : environ;

  int firstFree = 3;
  for (const auto& [from, to] : spec.Descriptors)
    firstFree = std::max(firstFree, to + 1);
  std::vector<int> moved(spec.Descriptors.size(), -1);

  const pid_t pid = ::fork();
  if (pid < 0)
    throw std::runtime_error("fork failed");
  if (pid == 0)
    RunChild(path, argv.data(), environment, spec, moved, firstFree);
  return pid;
}

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         std::string_view input, std::chrono::milliseconds deadline) {
  const Clock::time_point end = Clock::now() + deadline;
  // A child that exits before reading its input must not take the test down with it.
  ::signal(SIGPIPE, SIG_IGN);
  Pipe in, out, err;
  ProcessSpec spec;
  spec.Program = program;
  spec.Args = args;
  spec.Descriptors = {{in.Read.Get(), STDIN_FILENO},
                      {out.Write.Get(), STDOUT_FILENO},
                      {err.Write.Get(), STDERR_FILENO}};
  const pid_t pid = StartProcess(spec);
  in.Read.Close();
  out.Write.Close();
  err.Write.Close();
  if (input.empty()) {
    in.Write.Close();
  } else {
    ::fcntl(in.Write.Get(), F_SETFL, O_NONBLOCK);
  }

  ProcessResult result;
  std::size_t written = 0;
  while (out.Read.Get() >= 0 || err.Read.Get() >= 0) {
    const int left = MillisecondsLeft(end);
    if (left == 0) {
      result.TimedOut = true;
      break;
    }
    pollfd fds[3] = {
        {out.Read.Get(), POLLIN, 0}, {err.Read.Get(), POLLIN, 0}, {in.Write.Get(), POLLOUT, 0}};
    if (::poll(fds, 3, left) < 0) {
      if (errno == EINTR)
        continue;
      break;
    }
    char buffer[4096];
    const auto drain = [&](const pollfd& p, Fd& fd, std::string& into) {
      if (p.fd < 0 || p.revents == 0)
        return;
      const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
      if (n > 0) {
        into.append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        fd.Close();
      }
    };
    drain(fds[0], out.Read, result.Out);
    drain(fds[1], err.Read, result.Err);
    if (fds[2].fd >= 0 && fds[2].revents != 0) {
      const ssize_t n = ::write(in.Write.Get(), input.data() + written, input.size() - written);
      if (n > 0)
        written += static_cast<std::size_t>(n);
      if ((n < 0 && errno != EINTR && errno != EAGAIN) || written == input.size())
        in.Write.Close();
    }
  }
  in.Write.Close();

  // Its output has ended; the process itself gets what is left of the deadline.
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid)
      break;
    if (done < 0 && errno != EINTR)
      throw std::runtime_error("waitpid failed");
    if (result.TimedOut || MillisecondsLeft(end) == 0) {
      result.TimedOut = true;
      ::kill(pid, SIGKILL);
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  if (result.TimedOut) {
    result.Err += "\n[" + program + ": not done within " + std::to_string(deadline.count()) +
                  " ms; killed]\n";
  }
  return result;
}

}  // namespace testing_support
