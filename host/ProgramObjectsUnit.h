#pragma once

#include <memory>
#include <string>

#include "host/LogFileUnit.h"

class TBaseDoorlock;
class TDoorlockRecordManager;
class TOption;
class TSysOption;

// What differs from the program's own start-up: tests and tools name another log
// and leave out the record store.
struct TProgramSetup {
  // The log's file name in the program's folder; empty: the day's "yyyymmdd.LOG".
  std::string LogName;
  TLogSpace LogSpace;
  // Whether Client.mdb is opened (a failure to open it is logged and start-up goes on).
  bool RecordStore = true;
};

// The one owner of the program-wide objects. It brings them up in their fixed order,
// Option (loaded from Option.ini), LogFile, SysOption, the record store, and later the
// driver, and takes them down in reverse, setting and clearing the plain globals
// (Option, LogFile, SysOption, DoorlockRecordManager, Doorlock) that every part uses;
// the globals it found are put back, so owners may nest.
//
// Shut-down must not destroy what a connection thread still uses: when threads
// outlived the server's deactivation, KeepForever leaves every object alive for the
// rest of the process.
class TProgramObjects {
 public:
  explicit TProgramObjects(const std::string& programDir, const TProgramSetup& setup = {});
  ~TProgramObjects();
  TProgramObjects(const TProgramObjects&) = delete;
  TProgramObjects& operator=(const TProgramObjects&) = delete;

  // The program's driver, owned from now on; nullptr: none.
  void SetDriver(std::unique_ptr<TBaseDoorlock> driver);
  // A driver the caller keeps alive (tests); nullptr: none.
  void LendDriver(TBaseDoorlock* driver);
  // A record store the caller keeps alive, in place of the one opened here; nullptr:
  // none (tests).
  void LendRecordStore(TDoorlockRecordManager* store);
  // Opens Client.mdb of the program's folder as the record store, in place of the one
  // there was (tests that make the file after start-up).
  void OpenRecordStore();

  // Nothing is destroyed: the objects, and the globals that lead to them, stay as they
  // are until the process ends.
  void KeepForever();

  struct TObjects;

 private:
  struct TSaved;
  std::string programDir_;
  std::unique_ptr<TSaved> saved_;
  std::unique_ptr<TObjects> objects_;  // empty once kept forever
};
