#pragma once

#include <stdexcept>
#include <string>

namespace plat {

// A text that does not read as the number or date-time asked for.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace plat
