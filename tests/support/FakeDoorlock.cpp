#include "tests/support/FakeDoorlock.h"

namespace testing_support {

bool FakeDoorlock::OpenPort() {
  std::lock_guard lock(mutex);
  calls.push_back("OpenPort");
  return true;
}

bool FakeDoorlock::ClosePort() {
  std::lock_guard lock(mutex);
  calls.push_back("ClosePort");
  return true;
}

void FakeDoorlock::Beep() {
  std::lock_guard lock(mutex);
  calls.push_back("Beep");
}

bool FakeDoorlock::IssueCard(const std::string& RegisterId, const std::string& RoomBuildingCode,
                             const std::string& RoomFloorCode, const std::string& RoomNo,
                             const std::string& GuestName, plat::TDateTime StartDate,
                             plat::TDateTime StartTime, plat::TDateTime EndDate,
                             plat::TDateTime EndTime, bool IsCopy, std::int64_t& CardNo) {
  {
    std::lock_guard lock(mutex);
    calls.push_back("IssueCard");
    issues.push_back({RegisterId, RoomBuildingCode, RoomFloorCode, RoomNo, GuestName, StartDate,
                      StartTime, EndDate, EndTime, IsCopy});
  }
  if (onIssue)
    onIssue();
  if (issueResult || setCardNoOnFailure)
    CardNo = issueCardNo;
  return issueResult;
}

bool FakeDoorlock::ReadCard(std::int64_t& CardNo) {
  {
    std::lock_guard lock(mutex);
    calls.push_back("ReadCard");
  }
  if (onRead)
    onRead();
  if (readResult)
    CardNo = readCardNo;
  return readResult;
}

bool FakeDoorlock::EraseCard() {
  std::lock_guard lock(mutex);
  calls.push_back("EraseCard");
  return eraseResult;
}

}  // namespace testing_support
