#include "host/LogFileUnit.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/DateTime.h"
#include "tests/support/TempDir.h"

using testing_support::FileExists;
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
