#pragma once

#include <cstdint>
#include <mutex>
#include <string>

// Lock-encoder settings and the running card number, kept in Option.ini.
class TOption {
 public:
  explicit TOption(std::string fileName);

  void Load();
  // Writes the four keys; throws plat::EIniFileException when the file cannot be written.
  void Save();
  // The encoder library's port number for PortName: "COM1".."COM6" give 0..5, "USB"
  // gives -1, and any other text gives -2, a number no port answers to.
  int PortIndex() const;

  std::string DoorlockType = "IC";
  std::string FileName;
  std::string PortName = "COM1";
  std::string HotelId = "KPVZ4729";
  std::int64_t CurrentCardNo = 1;
};

// Option.ini is shared by TOption and TSysOption and changed from several threads:
// hold this lock around every change-and-save and every read of TOption's texts
// that may overlap one. Load and Save take it themselves.
std::recursive_mutex& OptionFileMutex();

extern TOption* Option;

// Start-up step: creates Option for "<program dir>Option.ini" and loads it.
void OptionStartup(const std::string& programDir);
