#include "tests/support/ProcessRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace testing_support {
namespace {

struct Pipe {
  int Read = -1;
  int Write = -1;
  Pipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
      throw std::runtime_error("pipe2 failed");
    Read = fds[0];
    Write = fds[1];
  }
};

void CloseFd(int& fd) {
  if (fd >= 0)
    ::close(fd);
  fd = -1;
}

}  // namespace

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         std::string_view input) {
  // A child that exits before reading its input must not take the test down with it.
  ::signal(SIGPIPE, SIG_IGN);
  Pipe in, out, err;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid < 0)
    throw std::runtime_error("fork failed");
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec: the test process has threads.
    ::dup2(in.Read, STDIN_FILENO);
    ::dup2(out.Write, STDOUT_FILENO);
    ::dup2(err.Write, STDERR_FILENO);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  CloseFd(in.Read);
  CloseFd(out.Write);
  CloseFd(err.Write);
  if (input.empty()) {
    CloseFd(in.Write);
  } else {
    ::fcntl(in.Write, F_SETFL, O_NONBLOCK);
  }

  ProcessResult result;
  std::size_t written = 0;
  while (out.Read >= 0 || err.Read >= 0) {
    pollfd fds[3] = {{out.Read, POLLIN, 0}, {err.Read, POLLIN, 0}, {in.Write, POLLOUT, 0}};
    if (::poll(fds, 3, -1) < 0) {
      if (errno == EINTR)
        continue;
      break;
    }
    char buffer[4096];
    const auto drain = [&](pollfd& p, int& fd, std::string& into) {
      if (p.fd < 0 || p.revents == 0)
        return;
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n > 0) {
        into.append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        CloseFd(fd);
      }
    };
    drain(fds[0], out.Read, result.Out);
    drain(fds[1], err.Read, result.Err);
    if (fds[2].fd >= 0 && fds[2].revents != 0) {
      const ssize_t n = ::write(in.Write, input.data() + written, input.size() - written);
      if (n > 0)
        written += static_cast<std::size_t>(n);
      if (n < 0 && errno != EINTR && errno != EAGAIN)
        CloseFd(in.Write);
      if (written == input.size())
        CloseFd(in.Write);
    }
  }
  CloseFd(in.Write);

  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  return result;
}

}  // namespace testing_support
