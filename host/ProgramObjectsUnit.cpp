#include "host/ProgramObjectsUnit.h"

#include <vector>

#include "encoders/BaseDoorlockUnit.h"
#include "host/OptionUnit.h"
#include "host/SysOptionUnit.h"
#include "platform/DateTime.h"
#include "records/DoorlockRecordManagerUnit.h"

// The globals as the owner found them.
struct TProgramObjects::TSaved {
  TOption* Option = ::Option;
  TLogFile* LogFile = ::LogFile;
  TSysOption* SysOption = ::SysOption;
  TDoorlockRecordManager* Store = ::DoorlockRecordManager;
  TBaseDoorlock* Doorlock = ::Doorlock;
};

// Members in the order they are made; the driver may be lent rather than owned.
struct TProgramObjects::TObjects {
  std::unique_ptr<TOption> Option;
  std::unique_ptr<TLogFile> Log;
  std::unique_ptr<TSysOption> SysOption;
  std::unique_ptr<TDoorlockRecordManager> Store;
  std::unique_ptr<TBaseDoorlock> Driver;
};

namespace {

// Objects kept for the rest of the process stay reachable from here, so that a leak
// checker sees them for what they are.
std::vector<std::unique_ptr<TProgramObjects::TObjects>>& Kept() {
  static auto* kept = new std::vector<std::unique_ptr<TProgramObjects::TObjects>>();
  return *kept;
}

}  // namespace

TProgramObjects::TProgramObjects(const std::string& programDir, const TProgramSetup& setup)
    : programDir_(programDir),
      saved_(std::make_unique<TSaved>()),
      objects_(std::make_unique<TObjects>()) {
  objects_->Option = std::make_unique<TOption>(programDir + "Option.ini");
  objects_->Option->Load();
  Option = objects_->Option.get();

  const std::string logName =
      setup.LogName.empty() ? LogFileNameFor(programDir, plat::Now()) : programDir + setup.LogName;
  objects_->Log = std::make_unique<TLogFile>(logName, setup.LogSpace);
  LogFile = objects_->Log.get();

  objects_->SysOption = std::make_unique<TSysOption>(programDir + "Option.ini");
  objects_->SysOption->Load();
  SysOption = objects_->SysOption.get();

  DoorlockRecordManager = nullptr;
  if (setup.RecordStore)
    OpenRecordStore();
  Doorlock = nullptr;
}

TProgramObjects::~TProgramObjects() {
  if (!objects_)
    return;
  Doorlock = saved_->Doorlock;
  objects_->Driver.reset();
  DoorlockRecordManager = saved_->Store;
  objects_->Store.reset();
  SysOption = saved_->SysOption;
  objects_->SysOption.reset();
  LogFile = saved_->LogFile;
  objects_->Log.reset();
  Option = saved_->Option;
  objects_->Option.reset();
}

void TProgramObjects::SetDriver(std::unique_ptr<TBaseDoorlock> driver) {
  Doorlock = driver.get();
  objects_->Driver = std::move(driver);
}

void TProgramObjects::LendDriver(TBaseDoorlock* driver) {
  Doorlock = driver;
  objects_->Driver.reset();
}

void TProgramObjects::LendRecordStore(TDoorlockRecordManager* store) {
  DoorlockRecordManager = store;
  objects_->Store.reset();
}

void TProgramObjects::OpenRecordStore() {
  std::unique_ptr<TDoorlockRecordManager> store = OpenDoorlockRecordManager(programDir_);
  DoorlockRecordManager = store.get();
  objects_->Store = std::move(store);
}

void TProgramObjects::KeepForever() {
  if (objects_)
    Kept().push_back(std::move(objects_));
}
