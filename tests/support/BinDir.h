#pragma once

#include <string>

namespace testing_support {

// The build's program folder (with its trailing "/"), where the program, its encoder
// libraries, Client.mdb and the tools lie: $DOORLOCK_BIN_DIR when set, else the
// folder of the build the tests were compiled in, so that a test run by hand outside
// ctest finds it too.
std::string BinDir();

}  // namespace testing_support
