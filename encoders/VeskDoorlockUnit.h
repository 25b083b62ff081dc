#pragma once

#include "encoders/BaseDoorlockUnit.h"
#include "encoders/IC32.h"

// The IC card encoder over libIC32.so. The port handle the library hands out is
// kept once for the process, not per driver object.
class TVeskDoorlock : public TBaseDoorlock {
 public:
  explicit TVeskDoorlock(const TIC32Functions& Functions);

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
  TIC32Functions functions_;
};

// Test seam: puts the process-wide port handle back to 0, as a fresh process has it.
void ResetVeskPortHandle();
