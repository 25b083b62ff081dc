#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "encoders/IC32.h"
#include "encoders/RFL32V9.h"

namespace testing_support {

// One call of a maker's function as a driver made it: the scalar arguments widened
// to 64 bits and each buffer argument as the bytes it held at the call.
struct TLibraryCall {
  std::string Function;
  std::vector<std::int64_t> Args;
  std::vector<std::string> Buffers;
  // Whether the driver lock was held (by the calling thread) during the call.
  bool DriverLocked = false;
};

// What the recording functions answer, and everything they were called with.
struct TLibraryRecorder {
  std::int32_t OpenPortResult = 1;
  std::int32_t ClosePortResult = 0;
  std::int16_t GuestCardResult = 0;
  std::int32_t ReturnCardNoResult = 1;
  std::int16_t CardClearResult = 0;
  std::int32_t RFOpenPortResult = 0;
  std::int32_t BuzzerResult = 0;
  std::int16_t RoomCardResult = 0;
  std::int16_t LogoutCardResult = 0;
  std::int32_t ReadCardDataResult = 1;
  // The bytes ReadCardData copies into its buffer (at most the buffer's 151).
  std::string CardData = "SIMV9G0000002A";

  std::vector<TLibraryCall> Calls;

  std::vector<std::string> Functions() const;
  const TLibraryCall& Only(const std::string& function) const;
};

// The one recorder the recording functions write to; tests reset it.
extern TLibraryRecorder Recorder;

// Whether some thread holds the driver lock, asked from another thread (the lock is
// recursive, so the holder itself could always take it again).
bool DriverLockHeld();

TIC32Functions RecordingIC32();
TRFL32Functions RecordingRFL32();
TProject2Functions RecordingProject2();

}  // namespace testing_support
