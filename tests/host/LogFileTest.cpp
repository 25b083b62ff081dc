#include "host/LogFileUnit.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/DateTime.h"
#include "tests/support/TempDir.h"

using testing_support::FileExists;
using testing_support::Gbk;
using testing_support::ReadFile;
using testing_support::TempDir;

namespace {

std::vector<std::string> Lines(const std::string& content) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    const std::size_t end = content.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(content.substr(start) + "<unterminated>");
      break;
    }
    lines.push_back(content.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

const std::regex kStamp(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} )");

std::vector<std::string> Texts(const std::string& content) {
  std::vector<std::string> texts;
  for (const std::string& line : Lines(content))
    texts.push_back(line.size() >= 20 ? line.substr(20) : "<no stamp>" + line);
  return texts;
}

// Free space as the test says, on a clock that moves only when the test moves it.
struct FakeSpace {
  std::uint64_t free = 0;
  std::chrono::steady_clock::time_point now{};
  int probes = 0;

  TLogSpace Space() {
    return TLogSpace{kLogSpaceReserve,
                     [this](const std::string&) {
                       ++probes;
                       return std::optional<std::uint64_t>(free);
                     },
                     [this] { return now; }};
  }
};

// Lowers the process's file size limit, so that a write past it is cut short as on
// a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  sighandler_t oldHandler_;
};

}  // namespace

TEST(LogFile, IsNamedAfterTheStartDate) {
  const plat::TDateTime t = plat::EncodeDateTime(2024, 5, 1, 23, 59, 59);
  EXPECT_EQ(LogFileNameFor("/opt/lock/", t), "/opt/lock/20240501.LOG");
}

TEST(LogFile, CreatesTheFileOnTheFirstLineAndAppendsAfterwards) {
  TempDir dir;
  TLogFile log(dir.File("20240501.LOG"));
  EXPECT_FALSE(FileExists(log.FileName));  // the constructor touches nothing
  log.WriteLog("\xCA\xD5\xB5\xBD");        // GBK bytes, unchanged
  log.WriteLog("");
  TLogFile again(log.FileName);  // a second start on the same day
  again.WriteLog("two\r\nlines");

  const std::vector<std::string> lines = Lines(ReadFile(log.FileName));
  ASSERT_EQ(lines.size(), 4u);
  const std::string stamp = plat::FormatDateTime("yyyy-mm-dd", plat::Now());
  EXPECT_TRUE(std::regex_match(lines[0].substr(0, 20), kStamp));
  EXPECT_EQ(lines[0].substr(0, 10), stamp);
  EXPECT_EQ(lines[0].substr(20), "\xCA\xD5\xB5\xBD");
  EXPECT_TRUE(std::regex_match(lines[1], kStamp));  // an empty text: the stamp and its blank
  EXPECT_EQ(lines[2].substr(20), "two");            // only the first line carries the stamp
  EXPECT_EQ(lines[3], "lines");
}

TEST(LogFile, ADeletedFileIsCreatedAnew) {
  TempDir dir;
  TLogFile log(dir.File("x.LOG"));
  log.WriteLog("first");
  std::remove(log.FileName.c_str());
  log.WriteLog("second");
  const std::vector<std::string> lines = Lines(ReadFile(log.FileName));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(20), "second");
}

TEST(LogFile, AnUnwritablePlaceLosesTheLineSilently) {
  TempDir dir;
  TLogFile log(dir.File("missing-dir/x.LOG"));
  EXPECT_NO_THROW(log.WriteLog("lost"));
  EXPECT_FALSE(FileExists(log.FileName));
}

TEST(LogFile, ManyThreadsWriteWholeLines) {
  TempDir dir;
  TLogFile log(dir.File("x.LOG"));
  constexpr int kThreads = 16;
  constexpr int kLines = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&log, t] {
      for (int i = 0; i < kLines; ++i) {
        log.WriteLog("thread " + std::to_string(t) + " line " + std::to_string(i) + " " +
                     std::string(100, 'a' + t));
      }
    });
  }
  for (auto& th : threads)
    th.join();

  const std::vector<std::string> lines = Lines(ReadFile(log.FileName));
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
  const std::regex whole(
      R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} thread (\d+) line \d+ ([a-p])\2{99})");
  std::vector<int> perThread(kThreads, 0);
  for (const std::string& line : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, whole)) << line;
    ++perThread[std::stoi(m[1])];
  }
  for (int count : perThread)
    EXPECT_EQ(count, kLines);
}

TEST(LogFile, AShortWriteLeavesNoTornLine) {
  TempDir dir;
  TLogFile log(dir.File("x.LOG"));
  log.WriteLog("first");
  {
    const FileSizeLimit limit(std::filesystem::file_size(log.FileName) + 10);
    log.WriteLog("a line that does not fit");
  }
  log.WriteLog("third");
  EXPECT_EQ(Texts(ReadFile(log.FileName)), (std::vector<std::string>{"first", "third"}));
}

TEST(LogFile, BelowTheReserveLinesAreDroppedWithOneLineWhenItStartsAndOneWhenItEnds) {
  TempDir dir;
  FakeSpace fake;
  TLogFile log(dir.File("x.LOG"), fake.Space());
  const std::uint64_t mib = 1 << 20;
  const struct {
    std::uint64_t free;
    const char* text;
  } steps[] = {
      {kLogSpaceReserve + 10 * mib, "written"},
      {kLogSpaceReserve - 1, "dropped 1"},
      {kLogSpaceReserve - 1, "dropped 2"},
      {kLogSpaceReserve + mib / 2, "dropped 3"},  // just above the reserve is not enough
      {kLogSpaceReserve + 10 * mib, "written again"},
  };
  for (const auto& step : steps) {
    fake.now += std::chrono::seconds(1);
    fake.free = step.free;
    log.WriteLog(step.text);
  }
  EXPECT_EQ(Texts(ReadFile(log.FileName)),
            (std::vector<std::string>{"written", Gbk("磁盘剩余空间不足64MB，暂停写日志"),
                                      Gbk("磁盘剩余空间已恢复，继续写日志，期间丢弃3行"),
                                      "written again"}));
}

TEST(LogFile, KeepsTheReserveWithinASecondOfFastLines) {
  TempDir dir;
  FakeSpace fake;
  TLogFile log(dir.File("x.LOG"), fake.Space());
  const std::uint64_t room = 5000;  // above the reserve when the file is empty
  const std::string text(98, 'x');  // with its stamp and CR LF, 120 bytes
  for (int i = 0; i < 200; ++i) {
    std::error_code ignored;
    const std::uintmax_t size = std::filesystem::file_size(log.FileName, ignored);
    fake.free = kLogSpaceReserve + room - (ignored ? 0 : size);
    log.WriteLog(text);
  }
  const std::vector<std::string> texts = Texts(ReadFile(log.FileName));
  ASSERT_EQ(texts.size(), room / 120 + 1);  // as many lines as fit, then the note
  EXPECT_EQ(texts.front(), text);
  EXPECT_EQ(texts[texts.size() - 2], text);
  EXPECT_EQ(texts.back(), Gbk("磁盘剩余空间不足64MB，暂停写日志"));
}

TEST(LogFile, ProbesFreeSpaceOnlyNowAndThen) {
  TempDir dir;
  FakeSpace fake;
  fake.free = kLogSpaceReserve + (100 << 20);
  TLogFile log(dir.File("x.LOG"), fake.Space());
  for (int i = 0; i < 1000; ++i)
    log.WriteLog("line");
  EXPECT_EQ(fake.probes, 1);
  fake.now += std::chrono::seconds(1);
  log.WriteLog("a second later");
  EXPECT_EQ(fake.probes, 2);
  EXPECT_EQ(Lines(ReadFile(log.FileName)).size(), 1001u);
}

TEST(LogFile, TheFileSystemsOwnFiguresAreUsed) {
  TempDir dir;
  TLogSpace space;
  space.Reserve = 1ULL << 62;  // more than any disk has
  TLogFile log(dir.File("x.LOG"), space);
  log.WriteLog("dropped");
  log.WriteLog("dropped too");
  EXPECT_EQ(Texts(ReadFile(log.FileName)),
            std::vector<std::string>{Gbk("磁盘剩余空间不足4398046511104MB，暂停写日志")});
}
