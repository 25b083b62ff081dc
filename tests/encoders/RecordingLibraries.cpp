#include "tests/encoders/RecordingLibraries.h"

#include <algorithm>
#include <cstring>
#include <future>
#include <stdexcept>

#include "encoders/BaseDoorlockUnit.h"

namespace testing_support {

TLibraryRecorder Recorder;

namespace {

std::string Bytes(const char* buffer, std::size_t size) {
  return buffer == nullptr ? std::string("<null>") : std::string(buffer, size);
}

// The text up to and with its zero byte.
std::string Terminated(const char* text) {
  return text == nullptr ? std::string("<null>") : std::string(text, std::strlen(text) + 1);
}

void Record(std::string function, std::vector<std::int64_t> args,
            std::vector<std::string> buffers = {}) {
  Recorder.Calls.push_back(
      {std::move(function), std::move(args), std::move(buffers), DriverLockHeld()});
}

std::int32_t ENCODER_CALL IC32OpenPort(std::int32_t PortNo) {
  Record("IC32.OpenPort", {PortNo});
  return Recorder.OpenPortResult;
}

std::int32_t ENCODER_CALL IC32ClosePort(std::int32_t Handle) {
  Record("IC32.ClosePort", {Handle});
  return Recorder.ClosePortResult;
}

std::int16_t ENCODER_CALL IC32GuestCard(std::int32_t Handle, std::int32_t CardNo, char* HotelCode,
                                        char* EndTime, char* Room) {
  Record("IC32.GuestCard", {Handle, CardNo},
         {Bytes(HotelCode, IC32::HotelCodeSize), Bytes(EndTime, IC32::EndTimeSize),
          Bytes(Room, IC32::RoomSize)});
  return Recorder.GuestCardResult;
}

std::int32_t ENCODER_CALL IC32ReturnCardNo(std::int32_t Handle) {
  Record("IC32.ReturnCardNo", {Handle});
  return Recorder.ReturnCardNoResult;
}

std::int16_t ENCODER_CALL IC32CardClear(std::int32_t Handle) {
  Record("IC32.CardClear", {Handle});
  return Recorder.CardClearResult;
}

std::int32_t ENCODER_CALL RFL32OpenPort() {
  Record("RFL32.OpenPort", {});
  return Recorder.RFOpenPortResult;
}

std::int32_t ENCODER_CALL RFL32Buzzer() {
  Record("RFL32.Buzzer", {});
  return Recorder.BuzzerResult;
}

std::int16_t ENCODER_CALL RFL32RoomCard(std::int32_t HotelId, std::int32_t CardSlot,
                                        std::int32_t Arg3, std::int32_t Arg4, std::int32_t Arg5,
                                        char* StartTime, char* EndTime, char* RoomCode,
                                        std::uint8_t RoomByte, std::uint8_t Arg10,
                                        std::uint8_t Arg11, char* Buffer) {
  Record("RFL32.RoomCard", {HotelId, CardSlot, Arg3, Arg4, Arg5, RoomByte, Arg10, Arg11},
         {Bytes(StartTime, RFL32::TimeTextSize), Bytes(EndTime, RFL32::TimeTextSize),
          Terminated(RoomCode), Bytes(Buffer, RFL32::RoomCardBufferSize)});
  return Recorder.RoomCardResult;
}

std::int16_t ENCODER_CALL RFL32LogoutCard(std::int32_t HotelId, std::int32_t Arg2, char* Buffer) {
  Record("RFL32.LogoutCard", {HotelId, Arg2}, {Bytes(Buffer, RFL32::LogoutCardBufferSize)});
  return Recorder.LogoutCardResult;
}

std::int32_t ENCODER_CALL Project2ReadCardData(char* CardData) {
  Record("Project2.ReadCardData", {}, {Bytes(CardData, Project2::CardDataSize)});
  const std::size_t size = std::min(Recorder.CardData.size(), Project2::CardDataSize);
  std::memcpy(CardData, Recorder.CardData.data(), size);
  return Recorder.ReadCardDataResult;
}

}  // namespace

bool DriverLockHeld() {
  return !std::async(std::launch::async, [] {
            std::unique_lock lock(DoorlockMutex(), std::try_to_lock);
            return lock.owns_lock();
          }).get();
}

std::vector<std::string> TLibraryRecorder::Functions() const {
  std::vector<std::string> names;
  for (const TLibraryCall& call : Calls)
    names.push_back(call.Function);
  return names;
}

const TLibraryCall& TLibraryRecorder::Only(const std::string& function) const {
  const TLibraryCall* found = nullptr;
  for (const TLibraryCall& call : Calls) {
    if (call.Function != function)
      continue;
    if (found != nullptr)
      throw std::logic_error(function + " was called more than once");
    found = &call;
  }
  if (found == nullptr)
    throw std::logic_error(function + " was not called");
  return *found;
}

TIC32Functions RecordingIC32() {
  return {IC32OpenPort, IC32ClosePort, IC32GuestCard, IC32ReturnCardNo, IC32CardClear};
}

TRFL32Functions RecordingRFL32() {
  return {RFL32OpenPort, RFL32Buzzer, RFL32RoomCard, RFL32LogoutCard};
}

TProject2Functions RecordingProject2() {
  return {Project2ReadCardData};
}

}  // namespace testing_support
