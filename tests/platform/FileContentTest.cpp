#include "platform/FileContent.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "tests/support/TempDir.h"
#include "tests/support/Unprivileged.h"

using plat::StoreFileContent;
using testing_support::ReadFile;
using testing_support::RunUnprivileged;
using testing_support::TempDir;
using testing_support::Unprivileged;
using testing_support::WriteFile;

namespace {

struct stat Stat(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st;
}

mode_t Mode(const std::string& path) {
  return Stat(path).st_mode & 07777;
}

std::set<std::string> Entries(const std::string& directory) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    names.insert(entry.path().filename().string());
  return names;
}

class FileContentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The unprivileged child must be able to reach the files.
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
  }

  // A directory "app" holding Option.ini with `content`, both owned by `owner`
  // (another user's only when the tests run as root), the file with `fileMode`.
  std::string MakeApp(uid_t owner, gid_t group, mode_t fileMode, const std::string& content) {
    const std::string app = dir.File("app");
    EXPECT_EQ(::mkdir(app.c_str(), 0755), 0);
    const std::string file = app + "/Option.ini";
    WriteFile(file, content);
    EXPECT_EQ(::chown(app.c_str(), owner, group), 0);
    EXPECT_EQ(::chown(file.c_str(), owner, group), 0);
    EXPECT_EQ(::chmod(file.c_str(), fileMode), 0);
    return file;
  }

  // Runs `body` as the unprivileged user; skips the test when that cannot be done.
  bool AsUnprivileged(const std::function<bool()>& body) {
    const int status = RunUnprivileged(body);
    if (status == testing_support::kCannotDropPrivileges)
      throw std::runtime_error("cannot run as an unprivileged user");
    return status == 0;
  }

  TempDir dir{TempDir::Reach::AnyUser};  // the unprivileged child works in it
  std::string path = dir.File("Option.ini");
};

}  // namespace

TEST_F(FileContentTest, ANewFileIsForItsOwnerOnly) {
  ASSERT_TRUE(StoreFileContent(path, "[SysOption]\nPassword=x\n"));
  EXPECT_EQ(ReadFile(path), "[SysOption]\nPassword=x\n");
  EXPECT_EQ(Mode(path), 0600u);  // it holds the password in plain text
}

TEST_F(FileContentTest, AReplacedFileKeepsItsModeAndOwner) {
  const bool root = ::geteuid() == 0;
  for (const mode_t mode : {0600u, 0640u, 0664u}) {
    WriteFile(path, "old content\n");
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    if (root) {
      ASSERT_EQ(::chown(path.c_str(), 1234, 1235), 0);
    }
    const struct stat before = Stat(path);

    ASSERT_TRUE(StoreFileContent(path, "new\n"));
    const struct stat after = Stat(path);
    EXPECT_EQ(ReadFile(path), "new\n");
    EXPECT_EQ(after.st_mode & 07777, mode);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_NE(after.st_ino, before.st_ino);  // replaced whole, not rewritten
    EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"Option.ini"});
    std::filesystem::remove(path);
  }
}

TEST_F(FileContentTest, ASymbolicLinkIsWrittenThrough) {
  // second.ini -> /abs/Option.ini -> conf/Option.ini (relative to the link)
  ASSERT_EQ(::mkdir(dir.File("conf").c_str(), 0755), 0);
  const std::string target = dir.File("conf/Option.ini");
  WriteFile(target, "old\n");
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  ASSERT_EQ(::symlink("conf/Option.ini", path.c_str()), 0);
  const std::string second = dir.File("second.ini");
  ASSERT_EQ(::symlink(path.c_str(), second.c_str()), 0);

  ASSERT_TRUE(StoreFileContent(second, "new\n"));
  EXPECT_EQ(ReadFile(target), "new\n");
  EXPECT_EQ(Mode(target), 0640u);
  EXPECT_TRUE(S_ISLNK(Stat(path).st_mode));
  EXPECT_TRUE(S_ISLNK(Stat(second).st_mode));
  EXPECT_EQ(std::filesystem::read_symlink(path), "conf/Option.ini");
  EXPECT_EQ(Entries(dir.File("conf")), std::set<std::string>{"Option.ini"});
  EXPECT_EQ(Entries(dir.Path()), (std::set<std::string>{"conf", "Option.ini", "second.ini"}));
}

TEST_F(FileContentTest, ADanglingLinkGetsItsTargetCreated) {
  ASSERT_EQ(::symlink("real.ini", path.c_str()), 0);
  ASSERT_TRUE(StoreFileContent(path, "new\n"));
  EXPECT_TRUE(S_ISLNK(Stat(path).st_mode));
  EXPECT_EQ(ReadFile(dir.File("real.ini")), "new\n");
  EXPECT_EQ(Mode(dir.File("real.ini")), 0600u);
}

TEST_F(FileContentTest, WhatCannotBeWrittenIsAFailure) {
  ASSERT_EQ(::symlink("b.ini", dir.File("a.ini").c_str()), 0);
  ASSERT_EQ(::symlink("a.ini", dir.File("b.ini").c_str()), 0);
  EXPECT_FALSE(StoreFileContent(dir.File("a.ini"), "x"));  // a loop of links
  EXPECT_FALSE(StoreFileContent(dir.File("missing/Option.ini"), "x"));
  ASSERT_EQ(::mkdir(dir.File("Option.ini.d").c_str(), 0755), 0);
  EXPECT_FALSE(StoreFileContent(dir.File("Option.ini.d"), "x"));  // never replaces a directory
  EXPECT_EQ(Entries(dir.Path()), (std::set<std::string>{"a.ini", "b.ini", "Option.ini.d"}));
}

// A locked-down installation: the program may not create files beside its own,
// but its Option.ini is writable.
TEST_F(FileContentTest, AReadOnlyDirectoryGetsTheFileWrittenInPlace) {
  const auto user = Unprivileged();
  const std::string file = MakeApp(user.Uid, user.Gid, 0600, "[S]\nLonger=old content\n");
  ASSERT_EQ(::chmod(dir.File("app").c_str(), 0555), 0);
  const ino_t inode = Stat(file).st_ino;

  EXPECT_TRUE(AsUnprivileged([&] { return StoreFileContent(file, "[S]\nK=new\n"); }));
  EXPECT_EQ(ReadFile(file), "[S]\nK=new\n");  // cut to the new length
  EXPECT_EQ(Stat(file).st_ino, inode);
  EXPECT_EQ(Mode(file), 0600u);
  // A file that is not there cannot be made there.
  EXPECT_FALSE(AsUnprivileged([&] { return StoreFileContent(dir.File("app/New.ini"), "x"); }));
  EXPECT_EQ(Entries(dir.File("app")), std::set<std::string>{"Option.ini"});
}

TEST_F(FileContentTest, AnOwnerThatCannotBeKeptGetsTheFileWrittenInPlace) {
  if (::geteuid() != 0)
    GTEST_SKIP() << "needs root to give the file to another user";
  const auto user = Unprivileged();
  // The directory belongs to the program's user; the shared file to root.
  const std::string file = MakeApp(user.Uid, user.Gid, 0666, "old\n");
  ASSERT_EQ(::chown(file.c_str(), 0, 0), 0);
  ASSERT_EQ(::chmod(file.c_str(), 0666), 0);
  const ino_t inode = Stat(file).st_ino;

  EXPECT_TRUE(AsUnprivileged([&] { return StoreFileContent(file, "new\n"); }));
  const struct stat after = Stat(file);
  EXPECT_EQ(ReadFile(file), "new\n");
  EXPECT_EQ(after.st_ino, inode);
  EXPECT_EQ(after.st_uid, 0u);
  EXPECT_EQ(after.st_mode & 07777, 0666u);
  EXPECT_EQ(Entries(dir.File("app")), std::set<std::string>{"Option.ini"});
}

TEST_F(FileContentTest, AFileThatIsNotWritableIsLeftAlone) {
  const auto user = Unprivileged();
  const std::string file = MakeApp(user.Uid, user.Gid, 0444, "old\n");
  EXPECT_FALSE(AsUnprivileged([&] { return StoreFileContent(file, "new\n"); }));
  EXPECT_EQ(ReadFile(file), "old\n");
  EXPECT_EQ(Entries(dir.File("app")), std::set<std::string>{"Option.ini"});
}
