#include "doorlock/CardIssueUnit.h"

#include <mutex>

#include "encoders/BaseDoorlockUnit.h"
#include "records/DoorlockRecordManagerUnit.h"

namespace {

plat::TDateTime ChooseStart(const TCardIssue& issue, const TCardIssueSettings& settings,
                            const std::string& roomCode, TDoorlockRecordManager* store) {
  if (!settings.UseNativeDoorlockDb)
    return issue.CheckInTime;
  // A copy starts with the room's stay, as its first card did.
  plat::TDateTime start = 0;
  if (issue.IsCopy && store != nullptr)
    start = store->GetLastCheckInTime(roomCode);
  if (start == 0) {
    start = plat::IncMinutes(plat::Now(), -settings.DelayMinutes);
    // A copy for a room the table does not know starts the room's stay now.
    if (issue.IsCopy && store != nullptr)
      store->AddRoom(roomCode, start);
  }
  return start;
}

}  // namespace

bool IssueGuestCard(const TCardIssue& issue, const TCardIssueSettings& settings,
                    TBaseDoorlock* doorlock, TDoorlockRecordManager* store, std::int64_t& CardNo) {
  const std::string roomCode = issue.RoomCode();
  std::lock_guard lock(DoorlockMutex());
  const plat::TDateTime start = ChooseStart(issue, settings, roomCode, store);

  bool written = false;
  if (doorlock != nullptr) {
    written = doorlock->IssueCard(issue.RegisterId, issue.RoomBuildingCode, issue.RoomFloorCode,
                                  issue.RoomNo, issue.GuestName, start, start, issue.CheckOutTime,
                                  issue.CheckOutTime, issue.IsCopy, CardNo);
  }
  // Later copies for the room carry this start.
  if (written && settings.UseNativeDoorlockDb && !issue.IsCopy && store != nullptr)
    store->UpdateLastCheckInTime(roomCode, start);
  if (settings.SaveDoorlockRecord && store != nullptr) {
    store->AddIssueCardRecord(issue.RegisterId, std::to_string(CardNo), roomCode, kGuestCardType,
                              start, issue.CheckInTime, issue.CheckOutTime, issue.IsCopy,
                              issue.GuestName, plat::Now());
  }
  return written;
}
