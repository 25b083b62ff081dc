#include "encoders/VeskDoorlockUnit.h"

#include <algorithm>
#include <array>
#include <mutex>

#include "encoders/DriverTextsUnit.h"
#include "host/LogFileUnit.h"
#include "host/OptionUnit.h"
#include "platform/StrUtils.h"
#include "platform/TextCodec.h"

namespace {

// The library's handle for the process: 0 at start, set by every OpenPort, the
// failing ones included, and handed to every later call.
std::int32_t PortHandle = 0;

// Copies at most `size` bytes of `text`; the rest of the field stays zero.
void CopyField(char* field, std::size_t size, const std::string& text) {
  std::copy_n(text.data(), std::min(size, text.size()), field);
}

}  // namespace

void ResetVeskPortHandle() {
  std::lock_guard lock(DoorlockMutex());
  PortHandle = 0;
}

TVeskDoorlock::TVeskDoorlock(const TIC32Functions& Functions) : functions_(Functions) {}

void TVeskDoorlock::ShowOptions() {
  // Not under the driver lock: the dialog is modal and requests must go on meanwhile.
  ShowOptionForm();
}

bool TVeskDoorlock::OpenPort() {
  std::lock_guard lock(DoorlockMutex());
  const TOptionValues option = Option->Values();
  PortHandle = functions_.OpenPort(option.PortIndex());
  if (PortHandle >= 1) {
    WriteLog(DriverTexts().PortOpened + option.PortName);
    Beep();
    return true;
  }
  WriteLog(DriverTexts().PortNotOpened + option.PortName);
  return false;
}

void TVeskDoorlock::Beep() {
  std::lock_guard lock(DoorlockMutex());
  // The IC encoder has no buzzer to sound.
}

bool TVeskDoorlock::ClosePort() {
  std::lock_guard lock(DoorlockMutex());
  functions_.ClosePort(PortHandle);
  return true;
}

bool TVeskDoorlock::IssueCard(const std::string&, const std::string& RoomBuildingCode,
                              const std::string& RoomFloorCode, const std::string& RoomNo,
                              const std::string&, plat::TDateTime, plat::TDateTime,
                              plat::TDateTime EndDate, plat::TDateTime, bool,
                              std::int64_t& CardNo) {
  std::lock_guard lock(DoorlockMutex());
  CardNo = NextCardNo();

  std::array<char, IC32::EndTimeSize> endTime{};
  CopyField(endTime.data(), IC32::EndTimeSize - 1, plat::FormatDateTime("yyyymmddhhnn", EndDate));

  std::array<char, IC32::HotelCodeSize> hotelCode{};
  CopyField(hotelCode.data(), hotelCode.size(), Option->Values().HotelId);

  std::array<char, IC32::RoomSize> room{};
  room[0] = static_cast<char>(plat::StrToInt(RoomBuildingCode) & 0xFF);
  room[1] = static_cast<char>(plat::StrToInt(RoomFloorCode) & 0xFF);
  CopyField(room.data() + IC32::RoomNoOffset, IC32::RoomNoSize, RoomNo);

  // The counter keeps the number within the card number range: it fits the library's 32 bits.
  const std::int16_t result = functions_.GuestCard(PortHandle, static_cast<std::int32_t>(CardNo),
                                                   hotelCode.data(), endTime.data(), room.data());
  if (result != 0) {
    WriteLog(DriverTexts().IssueFailed + std::to_string(result));
    return false;
  }
  Beep();
  WriteLog(DriverTexts().Issued + std::to_string(CardNo));
  return true;
}

bool TVeskDoorlock::ReadCard(std::int64_t& CardNo) {
  std::lock_guard lock(DoorlockMutex());
  CardNo = functions_.ReturnCardNo(PortHandle);
  if (CardNo == 0) {
    WriteLog(DriverTexts().ReadFailed + std::to_string(CardNo));
    return false;
  }
  Beep();
  WriteLog(DriverTexts().Read + std::to_string(CardNo));
  return true;
}

bool TVeskDoorlock::EraseCard() {
  std::lock_guard lock(DoorlockMutex());
  if (functions_.CardClear(PortHandle) != 0)
    return false;
  Beep();
  return true;
}
