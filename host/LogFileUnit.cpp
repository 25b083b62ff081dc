#include "host/LogFileUnit.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/DateTime.h"

TLogFile* LogFile = nullptr;

TLogFile::TLogFile(std::string fileName) : FileName(std::move(fileName)) {}

void TLogFile::WriteLog(std::string_view text) {
  std::string line = plat::FormatDateTime("yyyy-mm-dd hh:nn:ss ", plat::Now());
  line.append(text);
  line.append("\r\n");
  // O_APPEND and a single write keep the line whole against other threads and
  // processes; a short write is finished by later writes, still at the end.
  const int fd = ::open(FileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0)
    return;
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
}

void WriteLog(std::string_view text) {
  if (LogFile != nullptr)
    LogFile->WriteLog(text);
}

std::string LogFileNameFor(const std::string& programDir, double now) {
  return programDir + plat::FormatDateTime("yyyymmdd", now) + ".LOG";
}

void LogFileStartup(const std::string& programDir) {
  LogFile = new TLogFile(LogFileNameFor(programDir, plat::Now()));
}

void LogFileShutdown() {
  delete LogFile;
  LogFile = nullptr;
}
