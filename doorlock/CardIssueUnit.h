#pragma once

#include <cstdint>
#include <string>

#include "platform/DateTime.h"

class TBaseDoorlock;
class TDoorlockRecordManager;

// The card type every issue records: a guest card.
inline constexpr std::int32_t kGuestCardType = 1;

// One guest card to write, texts in GBK. The check-in and check-out times are
// final: whatever delays a caller applies, it has applied.
struct TCardIssue {
  std::string RegisterId;
  std::string RoomBuildingCode;
  std::string RoomFloorCode;
  std::string RoomNo;
  std::string GuestName;
  plat::TDateTime CheckInTime = 0;
  plat::TDateTime CheckOutTime = 0;
  bool IsCopy = false;

  // The room's key in the record store: the three texts side by side.
  std::string RoomCode() const { return RoomBuildingCode + RoomFloorCode + RoomNo; }
};

// What the issue takes from the system options; the caller reads them once.
struct TCardIssueSettings {
  // Sets back a start taken from the time of issue, never the check-in time.
  std::int32_t DelayMinutes = 0;
  bool UseNativeDoorlockDb = false;
  bool SaveDoorlockRecord = false;
};

// Issues a guest card, holding the driver lock throughout so that no other card
// operation comes between its steps: chooses the card's start (the check-in time;
// with the room table, the time of issue less DelayMinutes, or for a copy the
// room's stored time, adding the room at once when it has none), writes the card
// through `doorlock`, stores a new card's start for the room once it is written,
// and records the issue whether or not it was written. Without a driver the card
// counts as not written and CardNo stays as it was; without a store the table
// steps are left out. An error from the driver ends it there, the room added
// before the write kept. Returns whether the card was written.
bool IssueGuestCard(const TCardIssue& issue, const TCardIssueSettings& settings,
                    TBaseDoorlock* doorlock, TDoorlockRecordManager* store, std::int64_t& CardNo);
