#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "encoders/BaseDoorlockUnit.h"

namespace testing_support {

// A driver that records what it is asked and answers as it is told.
class FakeDoorlock : public TBaseDoorlock {
 public:
  struct Issue {
    std::string RegisterId, RoomBuildingCode, RoomFloorCode, RoomNo, GuestName;
    plat::TDateTime StartDate, StartTime, EndDate, EndTime;
    bool IsCopy;
  };

  bool OpenPort() override;
  bool ClosePort() override;
  void Beep() override;
  bool IssueCard(const std::string& RegisterId, const std::string& RoomBuildingCode,
                 const std::string& RoomFloorCode, const std::string& RoomNo,
                 const std::string& GuestName, plat::TDateTime StartDate, plat::TDateTime StartTime,
                 plat::TDateTime EndDate, plat::TDateTime EndTime, bool IsCopy,
                 std::int64_t& CardNo) override;
  bool ReadCard(std::int64_t& CardNo) override;
  bool EraseCard() override;

  // How it answers.
  bool issueResult = true;
  std::int64_t issueCardNo = 4711;  // set as the IC driver does, written or not
  bool setCardNoOnFailure = true;
  std::function<void()> onIssue;  // runs inside IssueCard, e.g. to raise
  std::function<void()> onRead;   // runs inside ReadCard, e.g. to block
  bool readResult = true;
  std::int64_t readCardNo = 4711;
  bool eraseResult = true;

  // What it was asked.
  std::vector<Issue> issues;
  std::vector<std::string> calls;  // "OpenPort", "IssueCard", ... in order
  std::mutex mutex;
};

}  // namespace testing_support
