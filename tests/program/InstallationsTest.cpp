// The program on installations that are unusual but real.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <set>

#include "platform/IniFile.h"
#include "tests/program/Installation.h"
#include "tests/support/Unprivileged.h"

using namespace testing_support;

namespace {

ino_t Inode(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_ino;
}

std::set<std::string> Entries(const std::string& directory) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    names.insert(entry.path().filename().string());
  return names;
}

}  // namespace

// A locked-down installation: the program's user may not create files in its
// directory, but may write Option.ini and the simulated encoder's state file.
TEST(Installations, AReadOnlyDirectoryWithAWritableOptionFileStillIssuesCards) {
  Installation install;
  const int port = FreePort();
  const UnprivilegedUser user = Unprivileged();
  WriteFile(install.File("Option.ini"),
            "[DoorlockOption]\nCurrentCardNo=41\n[SysOption]\n"
            "DoorlockPortNo=" +
                std::to_string(port) + "\n");
  WriteFile(install.File("EncoderSim.ini"), "");
  WriteFile(install.File("EncoderSim.lock"), "");
  for (const char* name : {"Option.ini", "EncoderSim.ini", "EncoderSim.lock"}) {
    ASSERT_EQ(::chown(install.File(name).c_str(), user.Uid, user.Gid), 0);
    ASSERT_EQ(::chmod(install.File(name).c_str(), 0600), 0);
  }
  ASSERT_EQ(::chmod(install.Dir().c_str(), 0555), 0);
  const std::set<std::string> before = Entries(install.Dir());
  const ino_t inode = Inode(install.File("Option.ini"));

  install.RunAs(user.Uid, user.Gid);
  ASSERT_TRUE(install.Start(port)) << install.ProgramStderr();
  const ProcessResult issued = install.Client(
      {"--port", std::to_string(port), "issue", "--building", "01", "--floor", "02", "--room",
       "0301", "--checkin", "2024-05-01 14:00:00", "--checkout", "2030-05-03 12:00:00"});
  EXPECT_EQ(issued.Out, "ResultCode: 200\nResultMessage: 发卡成功\nCardNo: 42\n") << issued.Err;
  EXPECT_EQ(install.Stop(), 0);

  EXPECT_EQ(
      plat::TIniFile(install.File("Option.ini")).ReadInteger("DoorlockOption", "CurrentCardNo", 0),
      42);
  EXPECT_EQ(Inode(install.File("Option.ini")), inode);  // written in place
  std::set<std::string> after = Entries(install.Dir());
  after.erase("stderr.txt");  // the test's own capture of the program's errors
  EXPECT_EQ(after, before);
}
