#include "host/SysOptionUnit.h"

#include <mutex>

#include "host/OptionUnit.h"
#include "platform/IniFile.h"

TSysOption* SysOption = nullptr;

namespace {
constexpr const char* kSysSection = "SysOption";
constexpr const char* kLockSection = "DoorlockOption";
}  // namespace

TSysOption::TSysOption(std::string fileName) : FileName(std::move(fileName)) {}

void TSysOption::Load() {
  std::lock_guard lock(OptionFileMutex());
  const plat::TIniFile ini(FileName);
  Password = ini.ReadString(kSysSection, "Password", "qelvim");
  DoorlockPortNo = ini.ReadInteger(kSysSection, "DoorlockPortNo", 8886);
  PolicePortNo = ini.ReadInteger(kSysSection, "PolicePortNo", 8885);
  MemberPortNo = ini.ReadInteger(kSysSection, "MemberPortNo", 8883);
  ScanPortNo = ini.ReadInteger(kSysSection, "ScanPortNo", 8881);
  DelayMinutes = ini.ReadInteger(kLockSection, "DelayMinutes", 0);
  DelayMinutes2 = ini.ReadInteger(kLockSection, "DelayMinutes2", 0);
  UseNativeDoorlockDb = ini.ReadBool(kLockSection, "UseNativeDoorlockDb", false);
  SaveDoorlockRecord = ini.ReadBool(kLockSection, "SaveDoorlockRecord", false);
}

void TSysOption::Save() {
  // Same file as TOption: a save of one must not drop the other's fresh keys.
  std::lock_guard lock(OptionFileMutex());
  plat::TIniFile ini(FileName);
  ini.WriteString(kSysSection, "Password", Password);
  ini.WriteInteger(kSysSection, "DoorlockPortNo", DoorlockPortNo);
  ini.WriteInteger(kSysSection, "PolicePortNo", PolicePortNo);
  ini.WriteInteger(kSysSection, "MemberPortNo", MemberPortNo);
  ini.WriteInteger(kSysSection, "ScanPortNo", ScanPortNo);
  ini.WriteInteger(kLockSection, "DelayMinutes", DelayMinutes);
  ini.WriteInteger(kLockSection, "DelayMinutes2", DelayMinutes2);
  ini.WriteBool(kLockSection, "UseNativeDoorlockDb", UseNativeDoorlockDb);
  ini.WriteBool(kLockSection, "SaveDoorlockRecord", SaveDoorlockRecord);
  ini.UpdateFile();
}
