#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

// Free space the log leaves on its file system, so that Option.ini (the card
// counter) and Client.mdb can still be written when the log grows fast.
constexpr std::uint64_t kLogSpaceReserve = 64ULL << 20;

// How the log learns about free space; tests give other figures and a clock.
struct TLogSpace {
  std::uint64_t Reserve = kLogSpaceReserve;
  // Bytes free to the program on the file system of `directory`; nullopt when
  // unknown, and then lines are written. Empty: the file system's own figures.
  std::function<std::optional<std::uint64_t>(const std::string& directory)> FreeBytes;
  // Empty: the steady clock.
  std::function<std::chrono::steady_clock::time_point()> Now;
};

// The daily log: one time-stamped line per call, appended to the file named after
// the day the program started. Lines are GBK bytes ended by CR LF.
class TLogFile {
 public:
  explicit TLogFile(std::string fileName, TLogSpace space = {});

  // Writes "yyyy-mm-dd hh:nn:ss " + text + CR LF as one whole line, even when many
  // threads or two processes write at once. A file-system failure loses the line
  // silently, and a line that would leave the file system with less free space than
  // the reserve is dropped: one line says when dropping starts, one when it ends
  // and how many lines were lost. A line is never written in part.
  void WriteLog(std::string_view text);

  const std::string FileName;

 private:
  // Whether a line of `size` bytes may be written now, probing free space when due.
  bool Admit(std::size_t size);
  std::uint64_t Probe(std::chrono::steady_clock::time_point now);
  void Append(const std::string& text);

  TLogSpace space_;
  std::mutex mutex_;
  bool probed_ = false;
  std::chrono::steady_clock::time_point lastProbe_{};
  std::uint64_t allowance_ = 0;  // bytes that may be written before the next probe
  bool dropping_ = false;
  std::uint64_t dropped_ = 0;
};

extern TLogFile* LogFile;

// Writes to LogFile when it exists; a line after shut-down is dropped.
void WriteLog(std::string_view text);

// "<program dir>yyyymmdd.LOG" for the given local date-time.
std::string LogFileNameFor(const std::string& programDir, double now);
