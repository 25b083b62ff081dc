#pragma once

#include <signal.h>
#include <sys/types.h>

#include <string>
#include <vector>

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

  // Starts the program without a display; false when it does not listen on `port`
  // within a minute.
  bool Start(int port);
  // Makes Start run the program as this user and group when the tests run as root.
  void RunAs(uid_t uid, gid_t gid) {
    runAsUid_ = uid;
    runAsGid_ = gid;
  }
  // SIGTERM, then waits for the exit; returns the exit status, or -1 after a kill.
  int Stop(int signal = SIGTERM);
  // Runs the program in the foreground until it exits (for start-up refusals).
  ProcessResult RunToExit();
  // Kills the program at once.
  void Kill();

  ProcessResult Client(std::vector<std::string> args) const;
  ProcessResult EncoderSim(std::vector<std::string> args) const;
  std::string ProgramStderr() const;

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  uid_t runAsUid_ = 0;  // 0: as the tests run
  gid_t runAsGid_ = 0;
};

// A TCP port nobody listens on right now.
int FreePort();

}  // namespace testing_support
