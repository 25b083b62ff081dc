#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/FreePort.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TempDir.h"

namespace testing_support {

// A fresh directory holding the program, the simulated encoder's libraries and
// tool, and (unless told otherwise) an empty Client.mdb, as an installation has.
class Installation {
 public:
  explicit Installation(bool withDatabase = true);
  ~Installation();

  std::string File(const std::string& name) const { return dir_.File(name); }
  const std::string& Dir() const { return dir_.Path(); }

  // Starts the program as on a server without a desktop (no DISPLAY,
  // WAYLAND_DISPLAY or QT_QPA_PLATFORM), with `environment` ("NAME=value") on top.
  void Launch(const std::vector<std::string>& environment = {});
  // Launches it; false when it does not listen on `port` within a minute.
  bool Start(int port, const std::vector<std::string>& environment = {});
  // Waits for the exit; returns the exit status, or -1 when a signal ended it or it
  // still ran after a minute (it is then killed).
  int WaitForExit();
  // Makes Launch run the program as this user and group when the tests run as root.
  void RunAs(uid_t uid, gid_t gid) {
    runAsUid_ = uid;
    runAsGid_ = gid;
  }
  // Makes Launch give the program this limit of open files, as a login or a service
  // manager would set it.
  void LimitFiles(const rlimit& files) { files_ = files; }
  // Sends `signal`, then waits for the exit as WaitForExit does.
  int Stop(int signal = SIGTERM);
  // Runs the program in the foreground until it exits (for start-up refusals).
  ProcessResult RunToExit();
  // Kills the program at once.
  void Kill();

  // The day's log in UTF-8, one line each, time stamps cut off.
  std::vector<std::string> LogLines() const;

  ProcessResult Client(std::vector<std::string> args) const;
  ProcessResult EncoderSim(std::vector<std::string> args) const;
  std::string ProgramStderr() const;

 private:
  // Tests may run the program as another user there.
  TempDir dir_{TempDir::Reach::AnyUser};
  pid_t pid_ = -1;
  uid_t runAsUid_ = 0;  // 0: as the tests run
  gid_t runAsGid_ = 0;
  std::optional<rlimit> files_;
};

}  // namespace testing_support
