#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

class EIniFileException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An INI file that reads and writes like the Windows private-profile functions:
// section and key names match without regard to case (the first match wins),
// a value is the text after "=" with surrounding blanks removed and at most 2047
// characters, a key already present keeps its line, a new key goes after the last
// line of its section, and a new section goes to the end of the file.
//
// The file is read once by the constructor. Writes change the copy in memory;
// UpdateFile stores the whole file through StoreFileContent (FileContent.h): as a
// rule atomically (temporary file beside it, flushed, renamed over the old one), so
// a crash or a full disk leaves either the old file or the new one, whole; in place
// where the directory does not allow that. A symbolic link is written through, and
// the file keeps its mode and owner (a new one gets 0600).
class TIniFile {
 public:
  static constexpr std::size_t kMaxValueLength = 2047;

  explicit TIniFile(std::string fileName);

  const std::string& FileName() const { return fileName_; }

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view fallback) const;
  // Decimal, or hexadecimal after "$" or "0x"; empty or not a number gives the fallback.
  std::int32_t ReadInteger(std::string_view section, std::string_view key,
                           std::int32_t fallback) const;
  // An integer, any non-zero number being true; anything else gives the fallback.
  bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;

  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);

  // Throws EIniFileException "Unable to write to <file>" when the file cannot be written.
  void UpdateFile();

 private:
  struct Location {
    std::size_t sectionLine = 0;  // index of the header line
    std::size_t end = 0;          // one past the section's last line
    bool found = false;
  };

  Location FindSection(std::string_view section) const;
  // Index of the key's line inside the section, or npos.
  std::size_t FindKey(const Location& where, std::string_view key) const;

  std::string fileName_;
  std::vector<std::string> lines_;
  std::string eol_ = "\n";
  bool unreadable_ = false;  // present but not readable: never overwrite it
};

}  // namespace plat
