#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "host/OptionUnit.h"
#include "host/SysOptionUnit.h"
#include "platform/IniFile.h"
#include "tests/support/TempDir.h"

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

class OptionFileTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir.File("Option.ini");
};

TEST_F(OptionFileTest, WithoutAFileBothObjectsHoldTheDefaultsAndWriteNothing) {
  TOption option(path);
  option.Load();
  EXPECT_EQ(option.DoorlockType, "IC");
  EXPECT_EQ(option.PortName, "COM1");
  EXPECT_EQ(option.HotelId, "KPVZ4729");
  EXPECT_EQ(option.CurrentCardNo, 1);

  TSysOption sys(path);
  sys.Load();
  EXPECT_EQ(sys.Password, "qelvim");
  EXPECT_EQ(sys.DoorlockPortNo, 8886);
  EXPECT_EQ(sys.PolicePortNo, 8885);
  EXPECT_EQ(sys.MemberPortNo, 8883);
  EXPECT_EQ(sys.ScanPortNo, 8881);
  EXPECT_EQ(sys.DelayMinutes, 0);
  EXPECT_EQ(sys.DelayMinutes2, 0);
  EXPECT_FALSE(sys.UseNativeDoorlockDb);
  EXPECT_FALSE(sys.SaveDoorlockRecord);
  EXPECT_FALSE(FileExists(path));
}

TEST_F(OptionFileTest, ALowerCaseSectionHeaderSuppliesAllEightLockKeys) {
  WriteFile(path,
            "[doorlockoption]\nDoorlockType=RF-V9\nPortName=COM3\nHotelId=123\nCurrentCardNo=0x1F\n"
            "DelayMinutes=10\nDelayMinutes2=30\nUseNativeDoorlockDb=2\nSaveDoorlockRecord=True\n"
            "[SysOption]\nPassword=\n");
  TOption option(path);
  option.Load();
  EXPECT_EQ(option.DoorlockType, "RF-V9");
  EXPECT_EQ(option.PortName, "COM3");
  EXPECT_EQ(option.HotelId, "123");
  EXPECT_EQ(option.CurrentCardNo, 31);
  TSysOption sys(path);
  sys.Load();
  EXPECT_EQ(sys.DelayMinutes, 10);
  EXPECT_EQ(sys.DelayMinutes2, 30);
  EXPECT_TRUE(sys.UseNativeDoorlockDb);  // 2 is a non-zero number
  EXPECT_FALSE(sys.SaveDoorlockRecord);  // the word reads as the default
  EXPECT_EQ(sys.Password, "");           // present and empty: the empty password
}

TEST_F(OptionFileTest, CardNumberValues) {
  const struct {
    const char* value;
    std::int64_t expected;
  } cases[] = {{"0x1F", 31}, {"$1f", 31}, {"abc", 1}, {"", 1}, {"-3", -3}, {"16777213", 16777213}};
  for (const auto& c : cases) {
    WriteFile(path, std::string("[DoorLockOption]\nCurrentCardNo=") + c.value + "\n");
    TOption option(path);
    option.Load();
    EXPECT_EQ(option.CurrentCardNo, c.expected) << c.value;
  }
}

TEST_F(OptionFileTest, SaveWritesTheFourKeysUnderOneSectionAndReadsBack) {
  TOption option(path);
  option.Load();
  option.CurrentCardNo = 16777213;
  option.HotelId = "\xBE\xC6\xB5\xEA";  // GBK text is stored as its bytes
  option.Save();
  EXPECT_EQ(ReadFile(path),
            "[DoorlockOption]\nDoorlockType=IC\nPortName=COM1\nHotelId=\xBE\xC6\xB5\xEA\n"
            "CurrentCardNo=16777213\n");
  TOption again(path);
  again.Load();
  EXPECT_EQ(again.CurrentCardNo, 16777213);
  EXPECT_EQ(again.HotelId, "\xBE\xC6\xB5\xEA");
}

TEST_F(OptionFileTest, APasswordChangeWritesAllNineKeysWithTheirValuesInMemory) {
  WriteFile(path, "[SysOption]\nPassword=old\nPolicePortNo=1234\n");
  TSysOption sys(path);
  sys.Load();
  sys.Password = "new";
  sys.Save();
  EXPECT_EQ(ReadFile(path),
            "[SysOption]\nPassword=new\nPolicePortNo=1234\nDoorlockPortNo=8886\n"
            "MemberPortNo=8883\nScanPortNo=8881\n[DoorlockOption]\nDelayMinutes=0\n"
            "DelayMinutes2=0\nUseNativeDoorlockDb=0\nSaveDoorlockRecord=0\n");
}

TEST_F(OptionFileTest, EachSaveLeavesTheOtherObjectsKeysAlone) {
  TOption option(path);
  option.Load();
  option.Save();
  WriteFile(path, ReadFile(path) + "DelayMinutes=15\n");
  TSysOption sys(path);
  sys.Load();
  EXPECT_EQ(sys.DelayMinutes, 15);
  option.CurrentCardNo = 9;
  option.Save();  // rewrites its own keys only
  sys.Load();
  EXPECT_EQ(sys.DelayMinutes, 15);
}

TEST_F(OptionFileTest, AFailedSaveRaisesAndKeepsTheFieldsAndTheOldFile) {
  TOption option(path);
  option.Load();
  option.Save();
  const std::string before = ReadFile(path);

  TOption broken(dir.File("gone/Option.ini"));
  broken.CurrentCardNo = 7;
  try {
    broken.Save();
    FAIL() << "expected a write error";
  } catch (const plat::EIniFileException& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + dir.File("gone/Option.ini"));
  }
  EXPECT_EQ(broken.CurrentCardNo, 7);
  EXPECT_EQ(ReadFile(path), before);
}

TEST_F(OptionFileTest, ConcurrentSavesOfBothObjectsLoseNoKey) {
  TOption option(path);
  TSysOption sys(path);
  std::thread cards([&] {
    for (int i = 0; i < 50; ++i)
      option.NextCardNo();
  });
  std::thread passwords([&] {
    for (int i = 0; i < 50; ++i)
      sys.Save();
  });
  cards.join();
  passwords.join();
  const plat::TIniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("DoorlockOption", "CurrentCardNo", 0), 51);
  EXPECT_EQ(ini.ReadString("SysOption", "Password", ""), "qelvim");
  EXPECT_EQ(ini.ReadString("DoorlockOption", "SaveDoorlockRecord", ""), "0");
}

TEST_F(OptionFileTest, ACopyIsNeverHalfOfAChangeNorBehindTheCounter) {
  TOption option(path);
  // The three texts agree from the start, so that any copy that disagrees is torn.
  option.Change([](TOptionValues& values) {
    values.DoorlockType = values.PortName = values.HotelId = "BB";
  });
  std::thread dialog([&] {
    for (int i = 0; i < 40; ++i) {
      const std::string text = i % 2 == 0 ? "A" : "BB";
      option.Change([&](TOptionValues& values) {
        values.DoorlockType = text;
        values.PortName = text;
        values.HotelId = text;
      });
    }
  });
  std::thread cards([&] {
    for (int i = 0; i < 40; ++i)
      option.NextCardNo();
  });
  std::int64_t lastCardNo = 1;
  for (int i = 0; i < 200; ++i) {
    const TOptionValues values = option.Values();
    EXPECT_EQ(values.PortName, values.DoorlockType);
    EXPECT_EQ(values.HotelId, values.DoorlockType);
    EXPECT_GE(values.CurrentCardNo, lastCardNo);
    lastCardNo = values.CurrentCardNo;
  }
  dialog.join();
  cards.join();
  EXPECT_EQ(option.Values().CurrentCardNo, 41);
  EXPECT_EQ(plat::TIniFile(path).ReadString("DoorlockOption", "HotelId", ""), "BB");
}

TEST(PortIndex, MapsPortNamesExactly) {
  const struct {
    const char* name;
    int expected;
  } cases[] = {{"COM1", 0},  {"COM3", 2}, {"COM6", 5},  {"USB", -1},
               {"com3", -2}, {"", -2},    {"COM7", -2}, {"usb", -2}};
  for (const auto& c : cases) {
    TOption option("unused");
    option.PortName = c.name;
    EXPECT_EQ(option.PortIndex(), c.expected) << c.name;
  }
}
