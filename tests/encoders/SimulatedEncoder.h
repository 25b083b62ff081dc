#pragma once

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "encoders/EncoderLibraries.h"
#include "tests/support/BinDir.h"
#include "tests/support/CoreGlobals.h"
#include "tests/support/ProcessRunner.h"

namespace testing_support {

// The simulated encoder in a fresh directory of its own (ENCODER_SIM_DIR), with the
// simulated libraries loaded through the loader and the program-wide objects set.
class SimulatedEncoder {
 public:
  SimulatedEncoder();
  ~SimulatedEncoder();
  SimulatedEncoder(const SimulatedEncoder&) = delete;
  SimulatedEncoder& operator=(const SimulatedEncoder&) = delete;

  // Runs encoder-sim as a process on this encoder's directory.
  ProcessResult Tool(const std::vector<std::string>& arguments) const;
  // Runs a verb that must succeed.
  void Do(const std::vector<std::string>& arguments) const;
  // `encoder-sim status` as key and value.
  std::map<std::string, std::string> Status() const;

  const std::string& Dir() const { return dir_.Path(); }

  CoreGlobals Globals;
  TEncoderLibraries Libraries{BinDir()};

 private:
  TempDir dir_;
  std::string savedSimDir_;
  bool hadSimDir_ = false;
};

}  // namespace testing_support
