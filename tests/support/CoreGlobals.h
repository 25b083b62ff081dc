#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/LogFileUnit.h"
#include "host/OptionUnit.h"
#include "host/ProgramObjectsUnit.h"
#include "host/SysOptionUnit.h"
#include "tests/support/TempDir.h"

namespace testing_support {

// The program-wide objects on a fresh directory, made by the program's own owner:
// Option and SysOption on Option.ini there, the log "test.LOG", and no record store
// until a test opens one. The globals go back to what they were at the end.
class CoreGlobals {
 public:
  CoreGlobals();
  ~CoreGlobals();
  CoreGlobals(const CoreGlobals&) = delete;
  CoreGlobals& operator=(const CoreGlobals&) = delete;

  const TempDir& Dir() const { return dir_; }
  std::string OptionPath() const { return dir_.File("Option.ini"); }
  TProgramObjects& Objects() { return *objects_; }
  // The log's lines, CR LF removed, each with its time stamp (when it has one) cut off.
  std::vector<std::string> LogTexts() const;
  // The whole log file as it is on disk.
  std::string LogContent() const;

 private:
  TempDir dir_;
  std::unique_ptr<TProgramObjects> objects_;
};

}  // namespace testing_support
