#include "host/OptionUnit.h"

#include "encoders/CardNumber.h"
#include "platform/IniFile.h"

TOption* Option = nullptr;

namespace {
constexpr const char* kSection = "DoorlockOption";
// The same section: names match without regard to case.
constexpr const char* kCardNoSection = "DoorLockOption";
}  // namespace

std::mutex& OptionFileMutex() {
  static std::mutex mutex;
  return mutex;
}

int TOptionValues::PortIndex() const {
  static constexpr const char* kPorts[] = {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6"};
  for (int i = 0; i < 6; ++i) {
    if (PortName == kPorts[i])
      return i;
  }
  return PortName == "USB" ? -1 : -2;
}

TOption::TOption(std::string fileName) : FileName(std::move(fileName)) {}

void TOption::Load() {
  std::lock_guard lock(OptionFileMutex());
  const plat::TIniFile ini(FileName);
  DoorlockType = ini.ReadString(kSection, "DoorlockType", "IC");
  PortName = ini.ReadString(kSection, "PortName", "COM1");
  HotelId = ini.ReadString(kSection, "HotelId", "KPVZ4729");
  CurrentCardNo = ini.ReadInteger(kCardNoSection, "CurrentCardNo", 1);
}

void TOption::Save() {
  std::lock_guard lock(OptionFileMutex());
  SaveLocked();
}

TOptionValues TOption::Values() const {
  std::lock_guard lock(OptionFileMutex());
  return *this;
}

std::int64_t TOption::NextCardNo() {
  std::lock_guard lock(OptionFileMutex());
  CurrentCardNo = (CurrentCardNo + 1) % kCardNoModulus;
  SaveLocked();
  return CurrentCardNo;
}

void TOption::SaveLocked() {
  plat::TIniFile ini(FileName);
  ini.WriteString(kSection, "DoorlockType", DoorlockType);
  ini.WriteString(kSection, "PortName", PortName);
  ini.WriteString(kSection, "HotelId", HotelId);
  // The file holds 32 bits; the counter stays within the card number range.
  ini.WriteInteger(kCardNoSection, "CurrentCardNo", static_cast<std::int32_t>(CurrentCardNo));
  ini.UpdateFile();
}
