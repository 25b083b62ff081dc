#include "platform/FileContent.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <utility>

namespace plat {
namespace {

// As the kernel's own limit on links followed in one lookup.
constexpr int kMaxLinks = 40;

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file that `path` finally names; false for a loop of links or an unreadable one.
// A name that does not exist (also at the end of a dangling link) is the file to create.
bool FollowLinks(std::string path, std::string& target) {
  for (int hops = 0; hops <= kMaxLinks; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      target = std::move(path);
      return true;
    }
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    if (n <= 0 || static_cast<std::size_t>(n) == sizeof buffer)
      return false;
    const std::string link(buffer, static_cast<std::size_t>(n));
    path = link.front() == '/' ? link : DirectoryOf(path) + "/" + link;
  }
  return false;
}

bool WriteAllAt(int fd, std::string_view data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n =
        ::pwrite(fd, data.data() + done, data.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void SyncDirectory(const std::string& directory) {
  const int dir = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

// What the platform's INI functions do: overwrite the file itself. Written before it
// is cut to length, so that on a full disk a shorter or equal content, which needs no
// new blocks, still gets in.
bool WriteInPlace(const std::string& target, std::string_view content) {
  int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT)
    fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0)
    return false;
  const bool written = WriteAllAt(fd, content) &&
                       ::ftruncate(fd, static_cast<off_t>(content.size())) == 0 && ::fsync(fd) == 0;
  return ::close(fd) == 0 && written;
}

// Gives the temporary file the old file's owner, group and mode, or the new file's mode.
bool TakeOver(int fd, const struct stat* old) {
  struct stat mine {};
  if (::fstat(fd, &mine) != 0)
    return false;
  if (old == nullptr)
    return ::fchmod(fd, 0600) == 0;
  if ((mine.st_uid != old->st_uid || mine.st_gid != old->st_gid) &&
      ::fchown(fd, old->st_uid, old->st_gid) != 0) {
    return false;
  }
  // After the owner: changing it clears the set-user and set-group bits.
  return ::fchmod(fd, old->st_mode & 07777) == 0;
}

enum class TReplace { Done, Failed, NotHere };

// The atomic way. NotHere when the directory or the owner does not allow it, so that
// writing in place may still work; Failed when the content itself could not be written.
TReplace ReplaceByRename(const std::string& target, std::string_view content,
                         const struct stat* old) {
  const std::string directory = DirectoryOf(target);
  std::string temporary = directory + "/." + NameOf(target) + "-XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0)
    return TReplace::NotHere;
  if (!TakeOver(fd, old)) {
    ::close(fd);
    ::unlink(temporary.c_str());
    return TReplace::NotHere;
  }
  const bool written = WriteAllAt(fd, content) && ::fsync(fd) == 0;
  if (::close(fd) != 0 || !written) {
    ::unlink(temporary.c_str());
    return TReplace::Failed;
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return TReplace::NotHere;  // e.g. a file mounted on its own, or a sticky directory
  }
  // The rename itself must reach the disk, or a power cut could bring back the old file.
  SyncDirectory(directory);
  return TReplace::Done;
}

}  // namespace

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool StoreFileContent(const std::string& path, std::string_view content) {
  std::string target;
  if (!FollowLinks(path, target))
    return false;
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (!exists && errno != ENOENT)
    return false;
  if (exists && (!S_ISREG(old.st_mode) || ::access(target.c_str(), W_OK) != 0))
    return false;

  switch (ReplaceByRename(target, content, exists ? &old : nullptr)) {
    case TReplace::Done:
      return true;
    case TReplace::Failed:
      return false;
    case TReplace::NotHere:
      break;
  }
  return WriteInPlace(target, content);
}

}  // namespace plat
