#include "encoders/BaseDoorlockUnit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "platform/IniFile.h"
#include "tests/support/CoreGlobals.h"

using testing_support::CoreGlobals;

TEST(BaseDoorlock, EveryOperationFailsAndLeavesTheCardNumberAlone) {
  TBaseDoorlock base;
  std::int64_t cardNo = 77;
  EXPECT_FALSE(base.OpenPort());
  EXPECT_FALSE(base.ClosePort());
  EXPECT_FALSE(base.IssueCard("", "00", "01", "01", "Test", 1, 1, 2, 2, false, cardNo));
  EXPECT_EQ(cardNo, 77);
  EXPECT_FALSE(base.ReadCard(cardNo));
  EXPECT_EQ(cardNo, 77);
  EXPECT_FALSE(base.EraseCard());
  base.Beep();

  bool shown = false;
  SetShowOptionsHook([&] { shown = true; });
  base.ShowOptions();  // the base shows nothing, even with a hook set
  EXPECT_FALSE(shown);
  SetShowOptionsHook(nullptr);
}

TEST(NextCardNo, StepsWrapsAndSavesBeforeReturning) {
  const struct {
    std::int64_t before;
    std::int64_t after;
  } cases[] = {{1, 2}, {16777212, 16777213}, {16777213, 0}, {0, 1}, {-3, -2}, {-1, 0}};
  for (const auto& c : cases) {
    CoreGlobals globals;
    Option->CurrentCardNo = c.before;
    TBaseDoorlock driver;
    EXPECT_EQ(driver.NextCardNo(), c.after) << c.before;
    EXPECT_EQ(Option->CurrentCardNo, c.after);
    EXPECT_EQ(
        plat::TIniFile(globals.OptionPath()).ReadInteger("DoorlockOption", "CurrentCardNo", 99),
        c.after);
  }
}

TEST(NextCardNo, AFailingSaveRaisesAndKeepsTheNewValueInMemory) {
  CoreGlobals globals;
  Option->FileName = globals.Dir().File("missing-dir/Option.ini");
  Option->CurrentCardNo = 41;
  TBaseDoorlock driver;
  EXPECT_THROW(driver.NextCardNo(), plat::EIniFileException);
  EXPECT_EQ(Option->CurrentCardNo, 42);
}

TEST(NextCardNo, ConcurrentStepsNeverRepeatANumber) {
  CoreGlobals globals;
  constexpr int kThreads = 8;
  constexpr int kSteps = 40;
  std::vector<std::vector<std::int64_t>> taken(kThreads);
  std::vector<std::thread> threads;
  TBaseDoorlock driver;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kSteps; ++i)
        taken[t].push_back(driver.NextCardNo());
    });
  }
  // The lock options dialog saves on the main thread meanwhile.
  for (int i = 0; i < 20; ++i)
    Option->Change([i](TOptionValues& option) { option.HotelId = "H" + std::to_string(i); });
  for (auto& th : threads)
    th.join();
  std::vector<std::int64_t> all;
  for (const auto& v : taken)
    all.insert(all.end(), v.begin(), v.end());
  std::sort(all.begin(), all.end());
  EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
  EXPECT_EQ(all.front(), 2);
  EXPECT_EQ(all.back(), 1 + kThreads * kSteps);
  const plat::TIniFile ini(globals.OptionPath());
  EXPECT_EQ(ini.ReadInteger("DoorlockOption", "CurrentCardNo", 0), 1 + kThreads * kSteps);
  EXPECT_EQ(ini.ReadString("DoorlockOption", "HotelId", ""), "H19");
}
