#pragma once

#include <stdexcept>
#include <string>

#include "encoders/IC32.h"
#include "encoders/RFL32V9.h"

// A library or one of its functions that cannot be loaded; the message names it.
class EEncoderLibraryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One opened shared library; closed when the object goes.
class TSharedLibrary {
 public:
  // Opens `name` from `dir` when the file is there, otherwise by plain name from the
  // system's library path. Throws EEncoderLibraryError "Cannot load <name>: ...".
  TSharedLibrary(const std::string& dir, const std::string& name);
  ~TSharedLibrary() noexcept;
  TSharedLibrary(const TSharedLibrary&) = delete;
  TSharedLibrary& operator=(const TSharedLibrary&) = delete;

  const std::string& Name() const { return name_; }

  // Throws EEncoderLibraryError "Cannot find <function> in <name>: ...".
  void* Symbol(const char* function) const;

  template <typename TFunction>
  void Resolve(TFunction& target, const char* function) const {
    target = reinterpret_cast<TFunction>(Symbol(function));
  }

 private:
  std::string name_;
  void* handle_ = nullptr;
};

// The lock maker's three libraries, all loaded whichever lock type is configured,
// with every function the drivers call resolved into its library's table. IC32 and
// RFL32 both export OpenPort, so each library stays in its own namespace of symbols.
class TEncoderLibraries {
 public:
  // Looks in `dir` (with its trailing "/") first, then on the system's library path.
  explicit TEncoderLibraries(const std::string& dir);
  // The program's own directory first.
  TEncoderLibraries();

  const TIC32Functions& IC32() const { return ic32Functions_; }
  const TRFL32Functions& RFL32() const { return rfl32Functions_; }
  const TProject2Functions& Project2() const { return project2Functions_; }

 private:
  TSharedLibrary ic32_;
  TSharedLibrary rfl32_;
  TSharedLibrary project2_;
  TIC32Functions ic32Functions_;
  TRFL32Functions rfl32Functions_;
  TProject2Functions project2Functions_;
};
