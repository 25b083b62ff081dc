#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "platform/DateTime.h"

// The one interface through which the system drives the card encoder. The base
// bodies do nothing and report failure; each driver overrides all seven.
class TBaseDoorlock {
 public:
  virtual ~TBaseDoorlock() = default;

  virtual void ShowOptions();
  virtual bool OpenPort();
  virtual void Beep();
  virtual bool ClosePort();
  // Texts are GBK. Callers pass the card's start as both StartDate and StartTime,
  // its end as both EndDate and EndTime.
  virtual bool IssueCard(const std::string& RegisterId, const std::string& RoomBuildingCode,
                         const std::string& RoomFloorCode, const std::string& RoomNo,
                         const std::string& GuestName, plat::TDateTime StartDate,
                         plat::TDateTime StartTime, plat::TDateTime EndDate,
                         plat::TDateTime EndTime, bool IsCopy, std::int64_t& CardNo);
  virtual bool ReadCard(std::int64_t& CardNo);
  virtual bool EraseCard();

  // The shared card counter step, Option's (TOption::NextCardNo): the drivers take
  // every new card number here.
  std::int64_t NextCardNo();

 protected:
  // Shows the lock options dialog through the hook the windows set.
  static void ShowOptionForm();
};

// The program's one driver; empty when none was created.
extern TBaseDoorlock* Doorlock;

// Driver operations run one at a time: every caller holds this lock for a whole card
// operation (a request's room lookup, card write, room update and record included).
// The drivers take it too in each of their operations, so that a caller that does
// not (start-up, shut-down) is served one at a time as well. That is why it is
// recursive, and the only lock that is: the holder of a whole card operation calls
// the driver, and a driver's operation calls its own Beep.
//
// The lock order, for every thread: this driver lock, then Option.ini's
// (OptionFileMutex, taken by the card counter step), then the record store's. The
// log's lock is taken last and holds nothing else. No lock is ever taken against
// this order: the store and Option.ini never call the driver, and neither calls
// the other.
std::recursive_mutex& DoorlockMutex();

// Set by the windows at start-up; the core never includes a window header.
void SetShowOptionsHook(std::function<void()> hook);
