#include "encoders/VeskV9DoorlockUnit.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <vector>

#include "encoders/CardNumber.h"
#include "encoders/DriverTextsUnit.h"
#include "host/LogFileUnit.h"
#include "host/OptionUnit.h"
#include "platform/StrUtils.h"
#include "platform/TextCodec.h"

namespace {

// RoomCard's fixed arguments 3 to 5, 10 and 11.
constexpr std::int32_t kRoomCardArg3 = 201;
constexpr std::int32_t kRoomCardArg4 = 1;
constexpr std::int32_t kRoomCardArg5 = 0;
constexpr std::uint8_t kRoomCardArg10 = 0;
constexpr std::uint8_t kRoomCardArg11 = 0;
constexpr std::int32_t kLogoutCardArg2 = 0;
constexpr std::int64_t kCardSlots = 16;

std::int32_t HotelNumber() {
  return plat::StrToInt(Option->Values().HotelId);
}

// "YYMMDDHHNN": the date from one date-time, the time of day from the other;
// seconds are dropped.
std::array<char, RFL32::TimeTextSize> TimeText(plat::TDateTime date, plat::TDateTime time) {
  const std::string text =
      plat::FormatDateTime("yymmdd", date) + plat::FormatDateTime("hhnn", time);
  std::array<char, RFL32::TimeTextSize> buffer{};
  std::copy_n(text.data(), std::min(text.size(), buffer.size() - 1), buffer.data());
  return buffer;
}

// Characters 7 to 14 of the card data read as hexadecimal into 32 bits, then the
// remainder by the card number range with the integer's sign. Raises the conversion error when
// they are no such number (fewer than seven characters included).
std::int64_t CardNoFromCardData(const char* CardData) {
  // The library promises a terminator; a buffer filled to the brim must not be read past.
  const std::size_t length = ::strnlen(CardData, Project2::CardDataSize);
  const std::string_view data(CardData, length);
  const std::string_view digits = length > Project2::CardNoOffset
                                      ? data.substr(Project2::CardNoOffset, Project2::CardNoDigits)
                                      : std::string_view();
  const std::int32_t value = plat::StrToInt("$" + std::string(digits));
  return value % kCardNoModulus;
}

}  // namespace

TVeskV9Doorlock::TVeskV9Doorlock(const TRFL32Functions& RFL32Functions,
                                 const TProject2Functions& Project2Functions)
    : rfl32_(RFL32Functions), project2_(Project2Functions) {}

void TVeskV9Doorlock::ShowOptions() {
  // Not under the driver lock: the dialog is modal and requests must go on meanwhile.
  ShowOptionForm();
}

bool TVeskV9Doorlock::OpenPort() {
  std::lock_guard lock(DoorlockMutex());
  const std::string portName = Option->Values().PortName;
  if (rfl32_.OpenPort() == 0) {
    WriteLog(DriverTexts().PortOpened + portName);
    Beep();
    return true;
  }
  WriteLog(DriverTexts().PortNotOpened + portName);
  return false;
}

void TVeskV9Doorlock::Beep() {
  std::lock_guard lock(DoorlockMutex());
  rfl32_.Buzzer();
}

bool TVeskV9Doorlock::ClosePort() {
  // The library keeps no port open between calls.
  std::lock_guard lock(DoorlockMutex());
  return true;
}

bool TVeskV9Doorlock::IssueCard(const std::string&, const std::string& RoomBuildingCode,
                                const std::string& RoomFloorCode, const std::string& RoomNo,
                                const std::string&, plat::TDateTime StartDate,
                                plat::TDateTime StartTime, plat::TDateTime EndDate,
                                plat::TDateTime EndTime, bool, std::int64_t& CardNo) {
  std::lock_guard lock(DoorlockMutex());
  const std::int32_t hotelId = HotelNumber();
  const auto cardSlot = static_cast<std::int32_t>(NextCardNo() % kCardSlots);
  std::array<char, RFL32::TimeTextSize> startTime = TimeText(StartDate, StartTime);
  std::array<char, RFL32::TimeTextSize> endTime = TimeText(EndDate, EndTime);
  const std::string roomCode = RoomBuildingCode + RoomFloorCode + RoomNo;
  const std::int32_t roomNumber = plat::StrToInt(roomCode);

  std::vector<char> roomCodeText(roomCode.begin(), roomCode.end());
  roomCodeText.push_back('\0');
  std::array<char, RFL32::RoomCardBufferSize> buffer{};
  const std::int16_t result = rfl32_.RoomCard(
      hotelId, cardSlot, kRoomCardArg3, kRoomCardArg4, kRoomCardArg5, startTime.data(),
      endTime.data(), roomCodeText.data(), static_cast<std::uint8_t>(roomNumber & 0xFF),
      kRoomCardArg10, kRoomCardArg11, buffer.data());
  if (result != 0) {
    WriteLog(DriverTexts().IssueFailed + std::to_string(result));
    return false;
  }
  Beep();
  std::array<char, Project2::CardDataSize> cardData{};
  project2_.ReadCardData(cardData.data());
  CardNo = CardNoFromCardData(cardData.data());
  WriteLog(DriverTexts().Issued + std::to_string(CardNo));
  return true;
}

bool TVeskV9Doorlock::ReadCard(std::int64_t& CardNo) {
  std::lock_guard lock(DoorlockMutex());
  std::array<char, Project2::CardDataSize> cardData{};
  const std::int32_t result = project2_.ReadCardData(cardData.data());
  if (result != 1) {
    WriteLog(DriverTexts().ReadFailed + std::to_string(result));
    return false;
  }
  Beep();
  CardNo = CardNoFromCardData(cardData.data());
  WriteLog(DriverTexts().Read + std::to_string(CardNo));
  return true;
}

bool TVeskV9Doorlock::EraseCard() {
  std::lock_guard lock(DoorlockMutex());
  std::array<char, RFL32::LogoutCardBufferSize> buffer{};
  if (rfl32_.LogoutCard(HotelNumber(), kLogoutCardArg2, buffer.data()) != 0) {
    WriteLog(DriverTexts().EraseFailed);
    return false;
  }
  WriteLog(DriverTexts().Erased);
  Beep();
  return true;
}
