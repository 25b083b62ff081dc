#include "encoders/EncoderLibraries.h"

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

TEST(EncoderLibraries, ResolveEveryFunctionIntoItsOwnLibrarysTable) {
  TEncoderLibraries libraries(BinDir());
  const TIC32Functions& ic32 = libraries.IC32();
  const TRFL32Functions& rfl32 = libraries.RFL32();
  for (const void* function :
       {reinterpret_cast<const void*>(ic32.OpenPort), reinterpret_cast<const void*>(ic32.ClosePort),
        reinterpret_cast<const void*>(ic32.GuestCard),
        reinterpret_cast<const void*>(ic32.ReturnCardNo),
        reinterpret_cast<const void*>(ic32.CardClear),
        reinterpret_cast<const void*>(rfl32.OpenPort), reinterpret_cast<const void*>(rfl32.Buzzer),
        reinterpret_cast<const void*>(rfl32.RoomCard),
        reinterpret_cast<const void*>(rfl32.LogoutCard),
        reinterpret_cast<const void*>(libraries.Project2().ReadCardData)}) {
    EXPECT_NE(function, nullptr);
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
