#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

struct ProcessResult {
  int ExitCode = -1;  // the negated signal number when a signal ended the process
  std::string Out;
  std::string Err;
};

// Runs `program` with `args`, feeds it `input` on standard input and waits for it.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         std::string_view input = {});

}  // namespace testing_support
