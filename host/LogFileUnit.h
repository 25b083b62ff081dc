#pragma once

#include <string>
#include <string_view>

// The daily log: one time-stamped line per call, appended to the file named after
// the day the program started. Lines are GBK bytes ended by CR LF.
class TLogFile {
 public:
  explicit TLogFile(std::string fileName);

  // Writes "yyyy-mm-dd hh:nn:ss " + text + CR LF as one whole line, even when many
  // threads or two processes write at once. A file-system failure loses the line
  // silently.
  void WriteLog(std::string_view text);

  const std::string FileName;
};

extern TLogFile* LogFile;

// Writes to LogFile when it exists; a line after shut-down is dropped.
void WriteLog(std::string_view text);

// "<program dir>yyyymmdd.LOG" for the given local date-time.
std::string LogFileNameFor(const std::string& programDir, double now);

// Start-up and shut-down steps of the log.
void LogFileStartup(const std::string& programDir);
void LogFileShutdown();
