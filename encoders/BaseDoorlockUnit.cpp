#include "encoders/BaseDoorlockUnit.h"

#include "host/OptionUnit.h"

TBaseDoorlock* Doorlock = nullptr;

namespace {
std::function<void()>& ShowOptionsHook() {
  static std::function<void()> hook;
  return hook;
}
}  // namespace

void TBaseDoorlock::ShowOptions() {}

bool TBaseDoorlock::OpenPort() {
  return false;
}

void TBaseDoorlock::Beep() {}

bool TBaseDoorlock::ClosePort() {
  return false;
}

bool TBaseDoorlock::IssueCard(const std::string&, const std::string&, const std::string&,
                              const std::string&, const std::string&, plat::TDateTime,
                              plat::TDateTime, plat::TDateTime, plat::TDateTime, bool,
                              std::int64_t&) {
  return false;
}

bool TBaseDoorlock::ReadCard(std::int64_t&) {
  return false;
}

bool TBaseDoorlock::EraseCard() {
  return false;
}

std::int64_t TBaseDoorlock::NextCardNo() {
  return Option->NextCardNo();
}

void TBaseDoorlock::ShowOptionForm() {
  if (ShowOptionsHook())
    ShowOptionsHook()();
}

std::recursive_mutex& DoorlockMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

void SetShowOptionsHook(std::function<void()> hook) {
  ShowOptionsHook() = std::move(hook);
}
