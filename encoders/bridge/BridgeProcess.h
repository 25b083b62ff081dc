#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// The child processes the bridge starts (Wine with encoder-host.exe, wineboot,
// wineserver), from a program whose other threads go on meanwhile.
namespace bridge {

using TClock = std::chrono::steady_clock;

// `command` when it names a file (it holds a "/"), otherwise the first executable of
// that name on PATH; nothing when there is none.
std::optional<std::string> FindProgram(const std::string& command);

struct TSpawn {
  std::vector<std::string> Args;  // Args[0]: the program's path
  std::vector<std::string> Env;   // "KEY=value", the whole environment
  std::string Dir;                // the working directory
  int Stdin = -1;                 // each -1: /dev/null
  int Stdout = -1;
  int Stderr = -1;
};

// Starts the program in a session of its own with no descriptors of ours but its
// three standard ones. Returns its process id, or -1 with errno set.
pid_t Spawn(const TSpawn& spawn);

// Waits for the child until `deadline`; its wait status, or nothing when it still
// runs at the deadline.
std::optional<int> WaitUntil(pid_t pid, TClock::time_point deadline);

// Kills the child and reaps it.
void KillAndReap(pid_t pid);

// "exit status N" or "killed by signal N".
std::string DescribeStatus(int status);

// The environment of this process with `changes` ("KEY=value") put in.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& changes);

}  // namespace bridge
