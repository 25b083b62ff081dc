#include "encoders/VeskDoorlockUnit.h"

#include <algorithm>
#include <array>
#include <mutex>

#include "host/LogFileUnit.h"
#include "host/OptionUnit.h"
#include "platform/StrUtils.h"
#include "platform/TextCodec.h"

namespace {

// The library's handle for the process: 0 at start, set by every OpenPort, the
// failing ones included, and handed to every later call.
std::int32_t PortHandle = 0;

struct TPortOption {
  std::string Name;
  int Index;
};

TPortOption ReadPortOption() {
  std::lock_guard lock(OptionFileMutex());
  return {Option->PortName, Option->PortIndex()};
}

std::string ReadHotelId() {
  std::lock_guard lock(OptionFileMutex());
  return Option->HotelId;
}

struct TTexts {
  std::string PortOpened = plat::Utf8ToGbk("串口打开成功: ");
  std::string PortNotOpened = plat::Utf8ToGbk("串口打开失败: ");
  std::string IssueFailed = plat::Utf8ToGbk("发卡失败");
  std::string Issued = plat::Utf8ToGbk("发卡成功,卡号为:");
  std::string ReadFailed = plat::Utf8ToGbk("读卡失败");
  std::string Read = plat::Utf8ToGbk("读卡成功,卡号为:");
};

const TTexts& Texts() {
  static const TTexts texts;
  return texts;
}

// Copies at most `size` bytes of `text`; the rest of the field stays zero.
void CopyField(char* field, std::size_t size, const std::string& text) {
  std::copy_n(text.data(), std::min(size, text.size()), field);
}

}  // namespace

// For tests only: a fresh process starts with handle 0.
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
  const TPortOption port = ReadPortOption();
  PortHandle = functions_.OpenPort(port.Index);
  if (PortHandle >= 1) {
    WriteLog(Texts().PortOpened + port.Name);
    Beep();
    return true;
  }
  WriteLog(Texts().PortNotOpened + port.Name);
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
  CopyField(hotelCode.data(), hotelCode.size(), ReadHotelId());

  std::array<char, IC32::RoomSize> room{};
  room[0] = static_cast<char>(plat::StrToInt(RoomBuildingCode) & 0xFF);
  room[1] = static_cast<char>(plat::StrToInt(RoomFloorCode) & 0xFF);
  CopyField(room.data() + IC32::RoomNoOffset, IC32::RoomNoSize, RoomNo);

  // The counter keeps the number below 16777214, so it fits the library's 32 bits.
  const std::int16_t result = functions_.GuestCard(PortHandle, static_cast<std::int32_t>(CardNo),
                                                   hotelCode.data(), endTime.data(), room.data());
  if (result != 0) {
    WriteLog(Texts().IssueFailed + std::to_string(result));
    return false;
  }
  Beep();
  WriteLog(Texts().Issued + std::to_string(CardNo));
  return true;
}

bool TVeskDoorlock::ReadCard(std::int64_t& CardNo) {
  std::lock_guard lock(DoorlockMutex());
  CardNo = functions_.ReturnCardNo(PortHandle);
  if (CardNo == 0) {
    WriteLog(Texts().ReadFailed + std::to_string(CardNo));
    return false;
  }
  Beep();
  WriteLog(Texts().Read + std::to_string(CardNo));
  return true;
}

bool TVeskDoorlock::EraseCard() {
  std::lock_guard lock(DoorlockMutex());
  if (functions_.CardClear(PortHandle) != 0)
    return false;
  Beep();
  return true;
}
