#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "encoders/BaseDoorlockUnit.h"
#include "host/ProgramObjectsUnit.h"
#include "records/DoorlockRecordManagerUnit.h"

namespace bench {

// An encoder that answers at once, so that only the interface's own time is
// measured. It still steps the real card counter, which keeps the durable
// Option.ini save in the path, and logs one outcome line as the real drivers do.
class TInstantDoorlock : public TBaseDoorlock {
 public:
  bool OpenPort() override { return true; }
  bool ClosePort() override { return true; }
  bool IssueCard(const std::string& RegisterId, const std::string& RoomBuildingCode,
                 const std::string& RoomFloorCode, const std::string& RoomNo,
                 const std::string& GuestName, plat::TDateTime StartDate, plat::TDateTime StartTime,
                 plat::TDateTime EndDate, plat::TDateTime EndTime, bool IsCopy,
                 std::int64_t& CardNo) override;
  bool ReadCard(std::int64_t& CardNo) override;
  bool EraseCard() override { return true; }
};

// A fresh directory standing for the program's own, with Option.ini set as a
// hotel runs it (room table and issue records on), an empty Client.mdb, and the
// program-wide objects created on it in start-up order; all undone at the end.
class TBenchEnvironment {
 public:
  TBenchEnvironment();
  ~TBenchEnvironment();
  TBenchEnvironment(const TBenchEnvironment&) = delete;
  TBenchEnvironment& operator=(const TBenchEnvironment&) = delete;

  // With its trailing "/".
  const std::string& Dir() const { return dir_; }
  std::string File(const std::string& name) const { return dir_ + name; }
  TProgramObjects& Objects() { return *objects_; }

 private:
  std::string dir_;
  TInstantDoorlock doorlock_;
  std::unique_ptr<TProgramObjects> objects_;
};

// Creates an empty database at path from the project's schema.
void CreateDatabase(const std::string& path);

// Adds `rooms` rooms to T_Room and `records` rows to T_IssueCardRecord in one
// transaction, as years of a busy front desk would leave them.
void FillDatabase(const std::string& path, int rooms, int records);

// A store on the database at path, opened; the caller lends it to the program.
std::unique_ptr<TDoorlockRecordManager> OpenStore(const std::string& path);

// The fields of room `index` of a hotel of 5 buildings, 20 floors and 100 rooms
// a floor; GBK, as inside the system.
struct TRoom {
  std::string Building, Floor, Number;
  std::string Code() const { return Building + Floor + Number; }
};
TRoom RoomOf(int index);
constexpr int kHotelRooms = 10000;

// Framed requests (UTF-8 and the 0x00 byte) as a hotel-management system sends them.
std::string ReadCardRequest();
// A new card or a copy for room `index`, staying from today 14:00 to tomorrow 12:00.
std::string IssueCardRequest(int index, bool isCopy);
// `count` requests for every `stride`-th room round the hotel, a quarter of them
// copies. A stride prime to the hotel's size visits every room in turn.
std::vector<std::string> IssueCardRequests(int count, int stride);

}  // namespace bench
