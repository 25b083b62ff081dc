#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/DateTime.h"
#include "records/SqliteDatabase.h"

// The system's own database, Client.mdb beside the program: T_Room (a room's last
// check-in time) and T_IssueCardRecord (every card issue recorded). Each operation
// runs one statement; every failure is written to the log as one line and never
// reaches the caller. Operations run one at a time.
class TDoorlockRecordManager {
 public:
  TDoorlockRecordManager();
  ~TDoorlockRecordManager();
  TDoorlockRecordManager(const TDoorlockRecordManager&) = delete;
  TDoorlockRecordManager& operator=(const TDoorlockRecordManager&) = delete;

  // Opens the database named by the "Data Source=" piece of ConnectionString.
  // A failure is logged; every later operation tries again.
  void Open();

  // 0 when the room has no row, its time is null, or the select fails.
  plat::TDateTime GetLastCheckInTime(const std::string& RoomCode);
  // Adds the room through AddRoom when no row was changed.
  void UpdateLastCheckInTime(const std::string& RoomCode, plat::TDateTime LastCheckInTime);
  // Always inserts, then logs "新建房间" + RoomCode.
  void AddRoom(const std::string& RoomCode, plat::TDateTime LastCheckInTime);
  void AddIssueCardRecord(const std::string& RegisterId, const std::string& CardNo,
                          const std::string& RoomNo, std::int32_t CardType,
                          plat::TDateTime LastCheckInTime, plat::TDateTime CheckInTime,
                          plat::TDateTime CheckOutTime, bool IsCopy, const std::string& GuestName,
                          plat::TDateTime OpratingTime);

  std::string DatabasePath;
  std::string ConnectionString;

 private:
  // Opens Connection when it is closed; throws with the database's message.
  void Connect();
  // Closes Connection when the file at its path is no longer the one it has open
  // (deleted, or another file put there), so that Connect opens the path anew
  // instead of writing on into a file nobody will see again.
  void CloseWhenReplaced();
  // Runs one operation under the store's lock, logging any failure. Operations
  // never call each other: the lock is not recursive.
  template <typename Operation>
  void Run(Operation&& operation);
  // AddRoom's statement, for a caller that already runs under the lock.
  void InsertRoom(const std::string& RoomCode, plat::TDateTime LastCheckInTime);

  std::optional<TSqliteDatabase> Connection;  // stays open between operations
  std::string openPath_;                      // the file Connection has open
  // Device and inode found at openPath_ just before it was opened; unknown (the file
  // appeared in between) counts as replaced.
  std::uint64_t openDevice_ = 0;
  std::uint64_t openInode_ = 0;
  bool openIdentityKnown_ = false;
  std::mutex mutex_;  // the last lock but the log's, see DoorlockMutex()
};

extern TDoorlockRecordManager* DoorlockRecordManager;

// The store for "<program dir>Client.mdb", opened; a failure to open it is logged and
// the store is returned all the same (each operation tries again).
std::unique_ptr<TDoorlockRecordManager> OpenDoorlockRecordManager(const std::string& programDir);
