#include "tests/support/Unprivileged.h"

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {

UnprivilegedUser Unprivileged() {
  if (::geteuid() != 0)
    return {::geteuid(), ::getegid()};
  const passwd* nobody = ::getpwnam("nobody");
  return nobody != nullptr ? UnprivilegedUser{nobody->pw_uid, nobody->pw_gid}
                           : UnprivilegedUser{65534, 65534};
}

int RunUnprivileged(const std::function<bool()>& body) {
  const UnprivilegedUser user = Unprivileged();
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(user.Gid) != 0 || ::setuid(user.Uid) != 0)) {
      ::_exit(kCannotDropPrivileges);
    }
    bool ok = false;
    try {
      ok = body();
    } catch (...) {
      ok = false;
    }
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
    return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace testing_support
