#include "platform/IniFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "tests/support/TempDir.h"

using plat::EIniFileException;
using plat::TIniFile;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

class IniFileTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir.File("Option.ini");
};

TEST_F(IniFileTest, NamesMatchWithoutRegardToCase) {
  WriteFile(path, "[doorlockoption]\nHOTELID=H1\n[DoorLockOption]\nHotelId=second\n");
  const TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("DoorlockOption", "HotelId", "x"), "H1");  // first match wins
  EXPECT_EQ(ini.ReadString("Other", "HotelId", "x"), "x");
  EXPECT_EQ(ini.ReadString("DoorlockOption", "Missing", "dflt"), "dflt");
}

TEST_F(IniFileTest, ReadsValuesAsThePrivateProfileFunctionsDo) {
  std::string longValue(3000, 'a');
  WriteFile(path, "[S]\r\nEmpty=\r\n  Spaced  =  a b  \r\nLong=" + longValue +
                      "\r\nEq=a=b\r\nKeyOnly\r\n");
  const TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("S", "Empty", "default"), "");  // present and empty is empty
  EXPECT_EQ(ini.ReadString("S", "Spaced", ""), "a b");
  EXPECT_EQ(ini.ReadString("S", "Long", ""), std::string(2047, 'a'));
  EXPECT_EQ(ini.ReadString("S", "Eq", ""), "a=b");
  EXPECT_EQ(ini.ReadString("S", "KeyOnly", "d"), "d");
}

TEST_F(IniFileTest, ReadsIntegersAndBooleans) {
  WriteFile(path,
            "[S]\nHex=0x1F\nDollar=$1f\nNeg=-3\nWord=abc\nEmpty=\nBig=99999999999\n"
            "Two=2\nTrueWord=True\nZero=0\n");
  const TIniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("S", "Hex", 1), 31);
  EXPECT_EQ(ini.ReadInteger("S", "Dollar", 1), 31);
  EXPECT_EQ(ini.ReadInteger("S", "Neg", 1), -3);
  EXPECT_EQ(ini.ReadInteger("S", "Word", 1), 1);
  EXPECT_EQ(ini.ReadInteger("S", "Empty", 1), 1);
  EXPECT_EQ(ini.ReadInteger("S", "Big", 1), 1);
  EXPECT_TRUE(ini.ReadBool("S", "Two", false));
  EXPECT_FALSE(ini.ReadBool("S", "TrueWord", false));  // words are not numbers
  EXPECT_TRUE(ini.ReadBool("S", "TrueWord", true));
  EXPECT_FALSE(ini.ReadBool("S", "Zero", true));
}

TEST_F(IniFileTest, WritesKeepLinesInPlaceAndAppendNewOnes) {
  WriteFile(path,
            "; settings\n[DoorLockOption]\nPortName=COM1\nCurrentCardNo=5\n\n[SysOption]\n"
            "Password=x\n");
  TIniFile ini(path);
  ini.WriteInteger("DoorlockOption", "CURRENTCARDNO", 6);  // keeps its line and spelling
  ini.WriteString("doorlockoption", "HotelId", "H");       // end of its section
  ini.WriteBool("New", "Flag", true);                      // new section at the end
  ini.UpdateFile();
  EXPECT_EQ(ReadFile(path),
            "; settings\n[DoorLockOption]\nPortName=COM1\nCurrentCardNo=6\nHotelId=H\n\n"
            "[SysOption]\nPassword=x\n[New]\nFlag=1\n");
}

TEST_F(IniFileTest, KeepsWindowsLineEndsOfAnExistingFile) {
  WriteFile(path, "[S]\r\nA=1\r\n");
  TIniFile ini(path);
  ini.WriteString("S", "B", "2");
  ini.UpdateFile();
  EXPECT_EQ(ReadFile(path), "[S]\r\nA=1\r\nB=2\r\n");
}

TEST_F(IniFileTest, ANewFileGetsTheSectionNameOfItsFirstWrite) {
  TIniFile ini(path);
  EXPECT_FALSE(testing_support::FileExists(path));  // reading creates nothing
  ini.WriteString("DoorlockOption", "DoorlockType", "IC");
  ini.WriteInteger("DoorLockOption", "CurrentCardNo", 2);
  ini.UpdateFile();
  EXPECT_EQ(ReadFile(path), "[DoorlockOption]\nDoorlockType=IC\nCurrentCardNo=2\n");
}

TEST_F(IniFileTest, AFailedWriteLeavesTheOldFileWhole) {
  const std::string missingDir = dir.File("no-such-dir/Option.ini");
  TIniFile ini(missingDir);
  ini.WriteString("S", "K", "v");
  try {
    ini.UpdateFile();
    FAIL() << "expected a write error";
  } catch (const EIniFileException& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + missingDir);
  }

  // A path that is a directory cannot be replaced; the directory stays.
  const std::string asDir = dir.File("Option.ini.d");
  ASSERT_EQ(::mkdir(asDir.c_str(), 0755), 0);
  TIniFile onDir(asDir);
  onDir.WriteString("S", "K", "v");
  EXPECT_THROW(onDir.UpdateFile(), EIniFileException);
}

TEST_F(IniFileTest, UpdateLeavesNoTemporaryFilesBehind) {
  TIniFile ini(path);
  for (int i = 0; i < 5; ++i) {
    ini.WriteInteger("S", "N", i);
    ini.UpdateFile();
  }
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path()))
    ++entries;
  EXPECT_EQ(entries, 1);
  EXPECT_EQ(TIniFile(path).ReadInteger("S", "N", -1), 4);
}
