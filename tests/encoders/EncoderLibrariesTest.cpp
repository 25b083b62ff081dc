#include "encoders/EncoderLibraries.h"

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/encoders/SimulatedEncoder.h"
#include "tests/support/TempDir.h"

using testing_support::BinDir;
using testing_support::TempDir;

namespace {

// A program directory holding only the named libraries of the build.
void LinkLibraries(const TempDir& dir, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    std::filesystem::create_symlink(BinDir() + name, dir.File(name));
  }
}

std::string LoadError(const std::string& dir) {
  try {
    TEncoderLibraries libraries(dir);
  } catch (const EEncoderLibraryError& e) {
    return e.what();
  }
  return "<loaded>";
}

// What `library`, loaded from the program's folder, exports as `function`; null when
// the library is not loaded or has no such function.
const void* Exported(const char* library, const char* function) {
  // RTLD_NOLOAD hands back the handle of the library already loaded, and loads nothing.
  void* handle = ::dlopen((BinDir() + library).c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
  if (handle == nullptr)
    return nullptr;
  const void* address = ::dlsym(handle, function);
  ::dlclose(handle);
  return address;
}

template <typename TFunction>
const void* Address(TFunction function) {
  return reinterpret_cast<const void*>(function);
}

TEST(EncoderLibraries, ResolveEveryFunctionIntoItsOwnLibrarysTable) {
  TEncoderLibraries libraries(BinDir());
  const TIC32Functions& ic32 = libraries.IC32();
  const TRFL32Functions& rfl32 = libraries.RFL32();
  const struct {
    const char* library;
    const char* function;
    const void* resolved;
  } cases[] = {
      {"libIC32.so", "OpenPort", Address(ic32.OpenPort)},
      {"libIC32.so", "ClosePort", Address(ic32.ClosePort)},
      {"libIC32.so", "GuestCard", Address(ic32.GuestCard)},
      {"libIC32.so", "ReturnCardNo", Address(ic32.ReturnCardNo)},
      {"libIC32.so", "CardClear", Address(ic32.CardClear)},
      {"libRFL32.so", "OpenPort", Address(rfl32.OpenPort)},
      {"libRFL32.so", "Buzzer", Address(rfl32.Buzzer)},
      {"libRFL32.so", "RoomCard", Address(rfl32.RoomCard)},
      {"libRFL32.so", "LogoutCard", Address(rfl32.LogoutCard)},
      {"libProject2.so", "ReadCardData", Address(libraries.Project2().ReadCardData)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.library) + " " + c.function);
    const void* exported = Exported(c.library, c.function);
    ASSERT_NE(exported, nullptr);
    EXPECT_EQ(c.resolved, exported);
  }
  // Both export OpenPort; each table holds its own library's.
  EXPECT_NE(reinterpret_cast<const void*>(ic32.OpenPort),
            reinterpret_cast<const void*>(rfl32.OpenPort));
}

TEST(EncoderLibraries, AMissingLibraryIsNamed) {
  const struct {
    std::initializer_list<const char*> present;
    const char* missing;
  } cases[] = {
      {{"libRFL32.so", "libProject2.so"}, "libIC32.so"},
      {{"libIC32.so", "libProject2.so"}, "libRFL32.so"},
      {{"libIC32.so", "libRFL32.so"}, "libProject2.so"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.missing);
    TempDir dir;
    LinkLibraries(dir, c.present);
    const std::string error = LoadError(dir.Path());
    EXPECT_EQ(error.rfind(std::string("Cannot load ") + c.missing + ": not in " + dir.Path(), 0),
              0u)
        << error;
  }
}

TEST(EncoderLibraries, AMissingFunctionIsNamedWithItsLibrary) {
  TempDir dir;
  LinkLibraries(dir, {"libRFL32.so", "libProject2.so"});
  // A library with an OpenPort but nothing else of IC32.
  std::filesystem::create_symlink(BinDir() + "libRFL32.so", dir.File("libIC32.so"));
  const std::string error = LoadError(dir.Path());
  EXPECT_EQ(error.rfind("Cannot find ClosePort in libIC32.so: ", 0), 0u) << error;
}

TEST(EncoderLibraries, ALibraryInTheProgramDirectoryIsTakenBeforeTheLibraryPath) {
  TempDir dir;
  LinkLibraries(dir, {"libRFL32.so", "libProject2.so"});
  testing_support::WriteFile(dir.File("libIC32.so"), "not a shared library");
  const std::string error = LoadError(dir.Path());
  EXPECT_EQ(error.rfind("Cannot load libIC32.so: " + dir.Path() + "libIC32.so", 0), 0u) << error;
}

}  // namespace
