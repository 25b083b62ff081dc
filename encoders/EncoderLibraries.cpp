#include "encoders/EncoderLibraries.h"

#include <dlfcn.h>
#include <unistd.h>

#include "platform/Paths.h"

namespace {

std::string LastDlError() {
  const char* error = ::dlerror();
  return error != nullptr ? error : "unknown error";
}

}  // namespace

TSharedLibrary::TSharedLibrary(const std::string& dir, const std::string& name) : name_(name) {
  // Local binding keeps the two libraries' OpenPort apart; binding everything now
  // makes a broken library fail here rather than in the middle of a card write.
  constexpr int kFlags = RTLD_NOW | RTLD_LOCAL;
  const std::string local = dir + name;
  if (::access(local.c_str(), F_OK) == 0) {
    handle_ = ::dlopen(local.c_str(), kFlags);
    if (handle_ == nullptr)
      throw EEncoderLibraryError("Cannot load " + name + ": " + LastDlError());
    return;
  }
  handle_ = ::dlopen(name.c_str(), kFlags);
  if (handle_ == nullptr) {
    throw EEncoderLibraryError("Cannot load " + name + ": not in " + dir +
                               " nor on the library path (" + LastDlError() + ")");
  }
}

TSharedLibrary::~TSharedLibrary() noexcept {
  if (handle_ != nullptr)
    ::dlclose(handle_);
}

void* TSharedLibrary::Symbol(const char* function) const {
  ::dlerror();
  void* address = ::dlsym(handle_, function);
  if (address == nullptr) {
    throw EEncoderLibraryError(std::string("Cannot find ") + function + " in " + name_ + ": " +
                               LastDlError());
  }
  return address;
}

TEncoderLibraries::TEncoderLibraries(const std::string& dir)
    : ic32_(dir, IC32::LibraryName),
      rfl32_(dir, RFL32::LibraryName),
      project2_(dir, Project2::LibraryName) {
  ic32_.Resolve(ic32Functions_.OpenPort, "OpenPort");
  ic32_.Resolve(ic32Functions_.ClosePort, "ClosePort");
  ic32_.Resolve(ic32Functions_.GuestCard, "GuestCard");
  ic32_.Resolve(ic32Functions_.ReturnCardNo, "ReturnCardNo");
  ic32_.Resolve(ic32Functions_.CardClear, "CardClear");
  rfl32_.Resolve(rfl32Functions_.OpenPort, "OpenPort");
  rfl32_.Resolve(rfl32Functions_.Buzzer, "Buzzer");
  rfl32_.Resolve(rfl32Functions_.RoomCard, "RoomCard");
  rfl32_.Resolve(rfl32Functions_.LogoutCard, "LogoutCard");
  project2_.Resolve(project2Functions_.ReadCardData, "ReadCardData");
}

TEncoderLibraries::TEncoderLibraries() : TEncoderLibraries(plat::ExecutableDir()) {}
