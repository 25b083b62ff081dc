#pragma once

#include <string>

namespace plat {

// The directory of the running executable, with its trailing "/".
std::string ExecutableDir();

}  // namespace plat
