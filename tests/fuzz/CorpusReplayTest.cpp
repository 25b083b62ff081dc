#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/RequestHarness.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> CorpusFiles() {
  std::vector<fs::path> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(DOORLOCK_FUZZ_CORPUS)) {
    if (entry.is_regular_file())
      files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

enum class Answer { Issue, Read, Erase, None, Refused };

const char* Name(Answer answer) {
  switch (answer) {
    case Answer::Issue:
      return "IssueCard failure";
    case Answer::Read:
      return "ReadCard failure";
    case Answer::Erase:
      return "EraseCard failure";
    case Answer::None:
      return "no response";
    case Answer::Refused:
      return "refused before the handler";
  }
  return "?";
}

Answer AnswerOf(const fuzzing::TRequestOutcome& outcome) {
  if (!outcome.Handled)
    return Answer::Refused;
  if (outcome.Response.empty())
    return Answer::None;
  if (outcome.Response.find("<ResultMessage>发卡失败<") != std::string::npos)
    return Answer::Issue;
  if (outcome.Response.find("<ResultMessage>读卡失败<") != std::string::npos)
    return Answer::Read;
  return Answer::Erase;
}

TEST(RequestCorpus, EveryInputKeepsTheRules) {
  const std::vector<fs::path> files = CorpusFiles();
  ASSERT_FALSE(files.empty()) << DOORLOCK_FUZZ_CORPUS;
  for (const fs::path& file : files) {
    const fuzzing::TRequestOutcome outcome = fuzzing::RunRequest(ReadBytes(file));
    EXPECT_EQ(outcome.Violation, "") << file.filename() << " (error: " << outcome.Error << ")";
  }
}

// The seeds written by hand stand for real requests: each gets what its kind gets
// from a driver that always fails, or no response at all.
TEST(RequestCorpus, SeedsGetTheAnswerOfTheirKind) {
  const struct {
    const char* file;
    Answer answer;
  } cases[] = {
      {"issue-card-one-line.xml", Answer::Issue},
      {"issue-card-indented.xml", Answer::Issue},
      {"issue-card-crlf-tabs.xml", Answer::Issue},
      {"issue-card-chinese-names.xml", Answer::Issue},
      {"issue-card-copy.xml", Answer::Issue},
      {"issue-card-copy-true.xml", Answer::Issue},
      {"issue-card-copy-words.xml", Answer::Issue},
      {"issue-card-entities.xml", Answer::Issue},
      {"issue-card-char-references.xml", Answer::Issue},
      {"issue-card-declaration-gbk.xml", Answer::Issue},
      {"issue-card-comments.xml", Answer::Issue},
      {"issue-card-processing-instructions.xml", Answer::Issue},
      {"issue-card-cdata.xml", Answer::Issue},
      {"issue-card-text-between-children.xml", Answer::Issue},
      {"issue-card-doctype.xml", Answer::Issue},
      {"issue-card-short-dates.xml", Answer::Issue},
      {"issue-card-date-blanks.xml", Answer::Issue},
      {"issue-card-time-hours-only.xml", Answer::Issue},
      {"issue-card-time-no-seconds.xml", Answer::Issue},
      {"issue-card-time-empty.xml", Answer::Issue},
      {"issue-card-leap-day.xml", Answer::Issue},
      {"issue-card-date-edges.xml", Answer::Issue},
      {"issue-card-empty-fields.xml", Answer::Issue},
      {"issue-card-self-closing-fields.xml", Answer::Issue},
      {"issue-card-sql-room.xml", Answer::Issue},
      {"issue-card-attribute-quotes.xml", Answer::Issue},
      {"issue-card-type-blanks.xml", Answer::Issue},
      {"issue-card-type-references.xml", Answer::Issue},
      {"issue-card-lead-f0-three-bytes.xml", Answer::Issue},
      {"issue-card-surrogate-bytes.xml", Answer::Issue},
      {"issue-card-byte-order-mark.xml", Answer::Issue},
      {"issue-card-unmappable-characters.xml", Answer::Issue},
      {"issue-card-deep-nesting.xml", Answer::Issue},
      {"issue-card-huge-attribute.xml", Answer::Issue},
      {"issue-card-huge-field.xml", Answer::Issue},
      {"issue-card-bad-date.xml", Answer::None},
      {"issue-card-bad-time.xml", Answer::None},
      {"issue-card-two-digit-year.xml", Answer::None},
      {"issue-card-ten-children.xml", Answer::None},
      {"issue-card-broken-utf8.xml", Answer::None},
      {"issue-card-truncated-utf8.xml", Answer::None},
      {"issue-card-four-byte-utf8.xml", Answer::None},  // 0xF0 leads three bytes, not four
      {"issue-card-latin1-bytes.xml", Answer::None},
      {"read-card.xml", Answer::Read},
      {"read-card-empty-root.xml", Answer::Read},
      {"read-card-type-blanks.xml", Answer::Read},
      {"read-card-other-root-name.xml", Answer::Read},
      {"read-card-16384-bytes.xml", Answer::Read},
      {"read-card-16385-bytes.xml", Answer::Refused},
      {"read-card-lower-case.xml", Answer::None},
      {"read-card-then-second-root.xml", Answer::None},
      {"read-card-then-text.xml", Answer::None},
      {"read-card-then-encoded-nul.xml", Answer::None},
      {"text-before-root.xml", Answer::None},
      {"erase-card.xml", Answer::Erase},
      {"erase-card-trailing-bytes.xml", Answer::Erase},
      {"unknown-type.xml", Answer::None},
      {"no-type.xml", Answer::None},
      {"empty-type.xml", Answer::None},
      {"declaration-only.xml", Answer::None},
      {"comment-only.xml", Answer::None},
      {"white-space-only.txt", Answer::None},
      {"not-xml.txt", Answer::None},
      {"mismatched-tags.xml", Answer::None},
      {"unclosed-root.xml", Answer::None},
      {"unquoted-attribute.xml", Answer::None},
      {"deep-nesting-unclosed.xml", Answer::None},
  };
  for (const auto& c : cases) {
    const fs::path file = fs::path(DOORLOCK_FUZZ_CORPUS) / c.file;
    ASSERT_TRUE(fs::exists(file)) << file;
    const fuzzing::TRequestOutcome outcome = fuzzing::RunRequest(ReadBytes(file));
    EXPECT_EQ(Name(AnswerOf(outcome)), std::string(Name(c.answer)))
        << c.file << " (error: " << outcome.Error << ")";
  }
}

}  // namespace
