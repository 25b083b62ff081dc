#include "host/LogFileUnit.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

#include "platform/DateTime.h"
#include "platform/TextCodec.h"

TLogFile* LogFile = nullptr;

namespace {

// Free space is probed again after this much has been written, and at least once a
// second, so a fast log cannot eat far into the reserve between two probes.
constexpr std::uint64_t kRecheckBytes = 1ULL << 20;
constexpr auto kRecheckPeriod = std::chrono::seconds(1);
// Dropping ends only with this much above the reserve, so that free space hovering
// about the reserve does not fill the log with start and end lines.
constexpr std::uint64_t kResumeMargin = kRecheckBytes;

std::optional<std::uint64_t> FileSystemFreeBytes(const std::string& directory) {
  struct statvfs fs {};
  if (::statvfs(directory.c_str(), &fs) != 0)
    return std::nullopt;
  return static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string DroppingText(std::uint64_t reserve) {
  return plat::Utf8ToGbk("磁盘剩余空间不足" + std::to_string(reserve >> 20) + "MB，暂停写日志");
}

std::string ResumedText(std::uint64_t dropped) {
  return plat::Utf8ToGbk("磁盘剩余空间已恢复，继续写日志，期间丢弃" + std::to_string(dropped) +
                         "行");
}

// O_APPEND and a single write keep the line whole against other threads and
// processes. A short write (a full disk or quota) is taken back, or the next line
// would be glued onto the torn one.
void AppendWhole(const std::string& fileName, const std::string& line) {
  const int fd = ::open(fileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0)
    return;
  ssize_t n = 0;
  do {
    n = ::write(fd, line.data(), line.size());
  } while (n < 0 && errno == EINTR);
  if (n > 0 && static_cast<std::size_t>(n) < line.size()) {
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    const bool undone = end >= n && ::ftruncate(fd, end - n) == 0;
    static_cast<void>(undone);  // nothing more can be done when even that fails
  }
  ::close(fd);
}

}  // namespace

TLogFile::TLogFile(std::string fileName, TLogSpace space)
    : FileName(std::move(fileName)), space_(std::move(space)) {
  if (!space_.FreeBytes)
    space_.FreeBytes = FileSystemFreeBytes;
  if (!space_.Now)
    space_.Now = [] { return std::chrono::steady_clock::now(); };
}

void TLogFile::WriteLog(std::string_view text) {
  std::string line = plat::FormatDateTime("yyyy-mm-dd hh:nn:ss ", plat::Now());
  line.append(text);
  line.append("\r\n");
  std::lock_guard lock(mutex_);
  if (Admit(line.size()))
    AppendWhole(FileName, line);
}

bool TLogFile::Admit(std::size_t size) {
  const auto now = space_.Now();
  const bool due =
      !probed_ || now - lastProbe_ >= kRecheckPeriod || (!dropping_ && size > allowance_);
  if (due) {
    const std::uint64_t room = Probe(now);
    if (dropping_ && room >= kResumeMargin + size) {
      dropping_ = false;
      Append(ResumedText(dropped_));
      dropped_ = 0;
    } else if (!dropping_ && room < size) {
      dropping_ = true;
      Append(DroppingText(space_.Reserve));
    }
    allowance_ = std::min<std::uint64_t>(room, std::max<std::uint64_t>(kRecheckBytes, size));
  }
  if (dropping_) {
    ++dropped_;
    return false;
  }
  allowance_ -= size;
  return true;
}

// Bytes above the reserve; unknown free space counts as plenty.
std::uint64_t TLogFile::Probe(std::chrono::steady_clock::time_point now) {
  probed_ = true;
  lastProbe_ = now;
  const std::optional<std::uint64_t> free = space_.FreeBytes(DirectoryOf(FileName));
  if (!free)
    return std::numeric_limits<std::uint64_t>::max();
  return *free > space_.Reserve ? *free - space_.Reserve : 0;
}

void TLogFile::Append(const std::string& text) {
  AppendWhole(FileName, plat::FormatDateTime("yyyy-mm-dd hh:nn:ss ", plat::Now()) + text + "\r\n");
}

void WriteLog(std::string_view text) {
  if (LogFile != nullptr)
    LogFile->WriteLog(text);
}

std::string LogFileNameFor(const std::string& programDir, double now) {
  return programDir + plat::FormatDateTime("yyyymmdd", now) + ".LOG";
}
