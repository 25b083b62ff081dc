#include "platform/IniFile.h"

#include <fstream>
#include <utility>

#include "platform/FileContent.h"
#include "platform/StrUtils.h"

namespace plat {
namespace {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
    s.remove_suffix(1);
  return s;
}

// The name inside "[...]", or false when the line is no section header.
bool SectionName(std::string_view line, std::string_view& name) {
  line = TrimBlanks(line);
  if (line.empty() || line.front() != '[')
    return false;
  const std::size_t close = line.find(']');
  if (close == std::string_view::npos)
    return false;
  name = TrimBlanks(line.substr(1, close - 1));
  return true;
}

// Splits "key=value"; false when the line holds no "=".
bool KeyValue(std::string_view line, std::string_view& key, std::string_view& value) {
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos)
    return false;
  key = TrimBlanks(line.substr(0, eq));
  value = TrimBlanks(line.substr(eq + 1));
  return true;
}

}  // namespace

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {
  std::ifstream in(fileName_, std::ios::binary);
  if (!in) {
    unreadable_ = PathExists(fileName_);
    return;
  }
  std::string line;
  bool first = true;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
      if (first)
        eol_ = "\r\n";  // keep a file's own line ends
    }
    first = false;
    lines_.push_back(std::move(line));
  }
  if (in.bad())
    unreadable_ = true;
}

TIniFile::Location TIniFile::FindSection(std::string_view section) const {
  Location where;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    std::string_view name;
    if (!SectionName(lines_[i], name))
      continue;
    if (where.found) {
      where.end = i;
      return where;
    }
    if (EqualsAsciiNoCase(name, section)) {
      where.found = true;
      where.sectionLine = i;
    }
  }
  where.end = lines_.size();
  return where;
}

std::size_t TIniFile::FindKey(const Location& where, std::string_view key) const {
  for (std::size_t i = where.sectionLine + 1; i < where.end; ++i) {
    std::string_view k, v;
    if (KeyValue(lines_[i], k, v) && EqualsAsciiNoCase(k, key))
      return i;
  }
  return std::string::npos;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view fallback) const {
  const Location where = FindSection(section);
  if (!where.found)
    return std::string(fallback);
  const std::size_t at = FindKey(where, key);
  if (at == std::string::npos)
    return std::string(fallback);
  std::string_view k, v;
  KeyValue(lines_[at], k, v);
  return std::string(v.substr(0, kMaxValueLength));
}

std::int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key,
                                   std::int32_t fallback) const {
  return StrToIntDef(ReadString(section, key, ""), fallback);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  const Location where = FindSection(section);
  if (!where.found) {
    lines_.push_back("[" + std::string(section) + "]");
    lines_.push_back(std::string(key) + "=" + std::string(value));
    return;
  }
  const std::size_t at = FindKey(where, key);
  if (at != std::string::npos) {
    std::string_view k, v;
    KeyValue(lines_[at], k, v);
    lines_[at] = std::string(k) + "=" + std::string(value);
    return;
  }
  // After the section's last non-blank line, so blank separators stay below it.
  std::size_t insertAt = where.end;
  while (insertAt > where.sectionLine + 1 && TrimBlanks(lines_[insertAt - 1]).empty())
    --insertAt;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt),
                std::string(key) + "=" + std::string(value));
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void TIniFile::UpdateFile() {
  const std::string failure = "Unable to write to " + fileName_;
  if (unreadable_)
    throw EIniFileException(failure);

  std::string content;
  for (const std::string& line : lines_)
    content += line + eol_;

  if (!StoreFileContent(fileName_, content))
    throw EIniFileException(failure);
}

}  // namespace plat
