#pragma once

#include <sys/types.h>

#include <functional>

namespace testing_support {

// Permissions bind root only on a read-only file system, so tests of what an
// unwritable directory does run their body in a child process as "nobody" when the
// tests run as root, and as the current user otherwise.
struct UnprivilegedUser {
  uid_t Uid;
  gid_t Gid;
};
UnprivilegedUser Unprivileged();

// Exit status of a child that could not drop root's privileges.
constexpr int kCannotDropPrivileges = 77;

// Runs `body` in a child process as Unprivileged(); the child's exit status: 0 when
// `body` returned true, 1 when it returned false or threw.
int RunUnprivileged(const std::function<bool()>& body);

}  // namespace testing_support
