#pragma once

#include "encoders/BaseDoorlockUnit.h"
#include "encoders/RFL32V9.h"

// The RF-V9 card encoder: libRFL32.so writes and cancels cards, libProject2.so reads
// them back. The card number is the one the written card carries, not the counter.
class TVeskV9Doorlock : public TBaseDoorlock {
 public:
  TVeskV9Doorlock(const TRFL32Functions& RFL32Functions,
                  const TProject2Functions& Project2Functions);

  void ShowOptions() override;
  bool OpenPort() override;
  void Beep() override;
  bool ClosePort() override;
  bool IssueCard(const std::string& RegisterId, const std::string& RoomBuildingCode,
                 const std::string& RoomFloorCode, const std::string& RoomNo,
                 const std::string& GuestName, plat::TDateTime StartDate, plat::TDateTime StartTime,
                 plat::TDateTime EndDate, plat::TDateTime EndTime, bool IsCopy,
                 std::int64_t& CardNo) override;
  bool ReadCard(std::int64_t& CardNo) override;
  bool EraseCard() override;

 private:
  TRFL32Functions rfl32_;
  TProject2Functions project2_;
};
