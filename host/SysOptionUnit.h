#pragma once

#include <cstdint>
#include <string>

// System settings: the administrator password, the request server's port, the
// card time offsets and the two switches of the card database.
class TSysOption {
 public:
  explicit TSysOption(std::string fileName);

  void Load();
  // Writes the nine keys; throws plat::EIniFileException when the file cannot be written.
  void Save();

  std::int32_t DoorlockPortNo = 8886;
  bool UseNativeDoorlockDb = false;
  bool SaveDoorlockRecord = false;
  std::int32_t PolicePortNo = 8885;
  std::int32_t MemberPortNo = 8883;
  std::int32_t ScanPortNo = 8881;
  std::string FileName;
  std::string Password = "qelvim";
  std::int32_t DelayMinutes = 0;
  std::int32_t DelayMinutes2 = 0;
};

extern TSysOption* SysOption;
