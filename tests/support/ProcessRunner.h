#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testing_support {

// How a child process is set up. Everything is prepared in the parent, so that the
// child does only async-signal-safe calls between fork and exec: the test process
// has threads, and another thread may hold the allocator's lock at the fork.
struct ProcessSpec {
  std::string Program;  // a path, or a name looked up on PATH
  std::vector<std::string> Args;
  // The child's whole environment ("NAME=value"); the test process's own when unset.
  std::optional<std::vector<std::string>> Environment;
  // Descriptors of the parent the child gets, each as {parent's, child's number};
  // the others the child has are those of the parent without close-on-exec.
  std::vector<std::pair<int, int>> Descriptors;
  // A limit of open files the child starts with.
  std::optional<rlimit> FileLimit;
  // When the tests run as root, the user and group the child runs as (0: root).
  uid_t Uid = 0;
  gid_t Gid = 0;
};

// Exit status of a child whose set-up failed before the program started.
constexpr int kSetupFailed = 126;
// Exit status of a child whose program could not be started.
constexpr int kExecFailed = 127;

// Starts the program as `spec` says and returns its process id at once.
pid_t StartProcess(const ProcessSpec& spec);

// The full path of `name` found on PATH (a name holding "/" is returned as it is);
// empty when it is not there.
std::string FindProgram(const std::string& name);

struct ProcessResult {
  int ExitCode = -1;  // the negated signal number when a signal ended the process
  bool TimedOut = false;
  std::string Out;
  std::string Err;
};

// Long enough for any tool run by the tests on a busy machine under the sanitizers.
constexpr std::chrono::seconds kProcessDeadline{120};

// Runs `program` with `args`, feeds it `input` on standard input and waits for it.
// A process that has not ended by the deadline is killed; TimedOut then says so, and
// Err ends with a line that tells it.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         std::string_view input = {},
                         std::chrono::milliseconds deadline = kProcessDeadline);

}  // namespace testing_support
