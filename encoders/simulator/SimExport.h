#pragma once

#include <cstdint>
#include <exception>

#include "encoders/simulator/SimEncoder.h"

// The simulated libraries export only the maker's functions.
#if defined(_WIN32)
#define SIM_EXPORT extern "C" __declspec(dllexport)
#else
#define SIM_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace sim {

// One call of a simulated function: the encoder's state is loaded under its lock, a
// failure code set for `function` is returned without effect, and otherwise `body`
// runs and the state is saved when it changed. Nothing escapes into the caller:
// trouble with the state file gives `stateError`.
template <typename TResult, typename TBody>
TResult Call(const char* function, TResult stateError, TBody body) {
  try {
    const TStateFile file(DefaultDir());
    TState state = file.Load();
    if (const std::int32_t code = state.Failure(function); code != 0) {
      return static_cast<TResult>(code);
    }
    const TState before = state;
    const TResult result = body(state);
    if (!(state == before))
      file.Save(state);
    return result;
  } catch (const std::exception&) {
    return stateError;
  }
}

}  // namespace sim
