#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/LogFileUnit.h"
#include "host/OptionUnit.h"
#include "host/SysOptionUnit.h"
#include "tests/support/TempDir.h"

namespace testing_support {

// Sets the program-wide Option, SysOption and LogFile to objects on a fresh
// directory, as start-up would, and puts the old ones back afterwards.
class CoreGlobals {
 public:
  CoreGlobals();
  ~CoreGlobals();
  CoreGlobals(const CoreGlobals&) = delete;
  CoreGlobals& operator=(const CoreGlobals&) = delete;

  const TempDir& Dir() const { return dir_; }
  std::string OptionPath() const { return dir_.File("Option.ini"); }
  // The log's lines, CR LF removed, each with its time stamp (when it has one) cut off.
  std::vector<std::string> LogTexts() const;
  // The whole log file as it is on disk.
  std::string LogContent() const;

 private:
  TempDir dir_;
  std::unique_ptr<TOption> option_;
  std::unique_ptr<TSysOption> sysOption_;
  std::unique_ptr<TLogFile> log_;
  TOption* savedOption_;
  TSysOption* savedSysOption_;
  TLogFile* savedLog_;
};

}  // namespace testing_support
