#include "encoders/bridge/BridgeProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace bridge {
namespace {

std::vector<char*> Pointers(const std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (const std::string& text : texts)
    pointers.push_back(const_cast<char*>(text.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

bool IsExecutableFile(const std::string& path) {
  return ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::optional<std::string> FindProgram(const std::string& command) {
  if (command.empty())
    return std::nullopt;
  if (command.find('/') != std::string::npos)
    return IsExecutableFile(command) ? std::optional(command) : std::nullopt;
  const char* path = std::getenv("PATH");
  const std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos)
      end = dirs.size();
    const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
    const std::string candidate = dir + "/" + command;
    if (IsExecutableFile(candidate))
      return candidate;
    start = end + 1;
  }
  return std::nullopt;
}

pid_t Spawn(const TSpawn& spawn) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const int streams[3] = {spawn.Stdin, spawn.Stdout, spawn.Stderr};
  for (int target = 0; target < 3; ++target) {
    if (streams[target] >= 0) {
      posix_spawn_file_actions_adddup2(&actions, streams[target], target);
    } else {
      posix_spawn_file_actions_addopen(&actions, target, "/dev/null",
                                       target == 0 ? O_RDONLY : O_WRONLY, 0);
    }
  }
  // Nothing of the program (its listening socket above all) may live on in Wine.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  if (!spawn.Dir.empty())
    posix_spawn_file_actions_addchdir_np(&actions, spawn.Dir.c_str());

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // A session of its own: the terminal's Ctrl+C is the program's to handle, and the
  // program's signal mask and ignored signals are not Wine's.
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> argv = Pointers(spawn.Args);
  std::vector<char*> envp = Pointers(spawn.Env);
  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    errno = error;
    return -1;
  }
  return pid;
}

std::optional<int> WaitUntil(pid_t pid, TClock::time_point deadline) {
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid)
      return status;
    if (done < 0 && errno != EINTR)
      return 0;  // not ours any more: nothing left to wait for
    if (TClock::now() >= deadline)
      return std::nullopt;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
}

void KillAndReap(pid_t pid) {
  ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

std::string DescribeStatus(int status) {
  if (WIFEXITED(status))
    return "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status))
    return "killed by signal " + std::to_string(WTERMSIG(status));
  return "status " + std::to_string(status);
}

std::vector<std::string> EnvironmentWith(const std::vector<std::string>& changes) {
  std::vector<std::string> env;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string key = text.substr(0, text.find('=') + 1);
    bool replaced = false;
    for (const std::string& change : changes)
      replaced = replaced || change.rfind(key, 0) == 0;
    if (!replaced)
      env.push_back(text);
  }
  env.insert(env.end(), changes.begin(), changes.end());
  return env;
}

}  // namespace bridge
