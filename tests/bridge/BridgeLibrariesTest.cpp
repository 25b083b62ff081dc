// The bridge edition of the encoder libraries loaded as the program loads them, with
// the recording DLLs under Wine: what the drivers pass arrives in the DLL byte for
// byte, and every way a call can fail gives the failure result, a line in
// EncoderBridge.log, and a working call once the cause is gone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#include "encoders/EncoderLibraries.h"
#include "encoders/VeskDoorlockUnit.h"
#include "encoders/VeskV9DoorlockUnit.h"
#include "encoders/bridge/EncoderBridge.h"
#include "encoders/simulator/SimEncoder.h"
#include "platform/DateTime.h"
#include "tests/bridge/BridgeFolder.h"
#include "tests/encoders/RecordingLibraries.h"
#include "tests/support/BinDir.h"
#include "tests/support/CoreGlobals.h"

using namespace testing_support;
namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) {
    out += kDigits[static_cast<unsigned char>(c) >> 4];
    out += kDigits[static_cast<unsigned char>(c) & 15];
  }
  return out;
}

// Which argument slots of a function carry a pointer ('p') or a value ('v').
std::string Layout(const std::string& function) {
  if (function == "IC32.GuestCard")
    return "vvppp";
  if (function == "RFL32.RoomCard")
    return "vvvvvpppvvvp";
  if (function == "RFL32.LogoutCard")
    return "vvp";
  if (function == "Project2.ReadCardData")
    return "p";
  if (function == "RFL32.OpenPort" || function == "RFL32.Buzzer")
    return "";
  return "v";
}

// A call the Linux-side recording functions saw, as the recording DLL writes it down:
// every slot in order (values as 32 bits), then the bytes of each buffer.
std::string AsRecordedInDll(const TLibraryCall& call) {
  std::string line = call.Function;
  std::string buffers;
  std::size_t value = 0;
  std::size_t buffer = 0;
  for (const char kind : Layout(call.Function)) {
    if (kind == 'v') {
      char slot[16];
      std::snprintf(slot, sizeof slot, " %08X", static_cast<std::uint32_t>(call.Args.at(value++)));
      line += slot;
    } else {
      line += " *";
      buffers += " | " + Hex(call.Buffers.at(buffer++));
    }
  }
  return line + buffers;
}

Lines AsRecordedInDll(const std::vector<TLibraryCall>& calls) {
  Lines lines;
  for (const TLibraryCall& call : calls)
    lines.push_back(AsRecordedInDll(call));
  return lines;
}

Lines Lines_(const std::string& text) {
  Lines lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    start = end == std::string::npos ? text.size() : end + 1;
  }
  return lines;
}

class BridgeLibrariesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!WineInstalled())
      GTEST_SKIP() << kNoWine;
    InstallBridge(Dir());
    UseDlls(Dir(), RecordingDlls("full"));
    WriteBridgeSettings(Dir());
    Recorder = {};
    ResetVeskPortHandle();
  }

  const std::string& Dir() const { return globals.Dir().Path(); }
  std::string Maker(const std::string& name = "") const { return Dir() + "maker/" + name; }
  Lines RecordedInDll() const { return Lines_(ReadFile(Maker("record.txt"))); }
  void ForgetRecord() const { fs::remove(Maker("record.txt")); }

  // Loaded as the program loads them, from its own folder.
  const TEncoderLibraries& Libraries() {
    if (!libraries)
      libraries = std::make_unique<TEncoderLibraries>(Dir());
    return *libraries;
  }

  CoreGlobals globals;
  std::unique_ptr<TEncoderLibraries> libraries;
};

// The same issue, read and erase through the Linux recording functions and through
// the bridge into the recording DLLs; the counter starts from the same value.
template <typename TDriver>
void Exercise(TDriver& driver, const std::string& building, const std::string& floor,
              const std::string& room) {
  Option->CurrentCardNo = 30;
  std::int64_t cardNo = 0;
  driver.OpenPort();
  const plat::TDateTime start = plat::EncodeDateTime(2024, 5, 1, 14, 7);
  const plat::TDateTime end = plat::EncodeDateTime(2030, 12, 31, 23, 59);
  driver.IssueCard("", building, floor, room, "Guest", start, start, end, end, false, cardNo);
  driver.ReadCard(cardNo);
  driver.EraseCard();
  driver.ClosePort();
}

TEST_F(BridgeLibrariesTest, IcCallsArriveInTheDllByteForByte) {
  Option->HotelId = Gbk("宾馆H-01");  // eight bytes, four of them GBK
  Recorder.OpenPortResult = 7;        // the recording DLL's handle
  TVeskDoorlock onLinux(RecordingIC32());
  Exercise(onLinux, "-1", "258", Gbk("房0301"));
  const Lines expected = AsRecordedInDll(Recorder.Calls);

  ResetVeskPortHandle();
  TVeskDoorlock bridged(Libraries().IC32());
  Exercise(bridged, "-1", "258", Gbk("房0301"));

  ASSERT_EQ(expected.size(), 5u);
  EXPECT_EQ(expected[1].substr(0, 36), "IC32.GuestCard 00000007 0000001F * *");
  EXPECT_EQ(RecordedInDll(), expected);
}

TEST_F(BridgeLibrariesTest, RfV9CallsArriveInTheDllByteForByte) {
  Option->HotelId = "-123456";
  TVeskV9Doorlock onLinux(RecordingRFL32(), RecordingProject2());
  Exercise(onLinux, "03", "12", "300");  // room byte 300 & 0xFF = 44, widened with zeros
  const Lines expected = AsRecordedInDll(Recorder.Calls);

  TVeskV9Doorlock bridged(Libraries().RFL32(), Libraries().Project2());
  Exercise(bridged, "03", "12", "300");

  ASSERT_GE(expected.size(), 6u);
  EXPECT_NE(std::find(expected.begin(), expected.end(),
                      "RFL32.LogoutCard FFFE1DC0 00000000 * | " + std::string(88, '0')),
            expected.end());
  EXPECT_EQ(RecordedInDll(), expected);
}

TEST_F(BridgeLibrariesTest, ResultsAndOutBuffersComeBack) {
  const TProject2Functions& project2 = Libraries().Project2();
  char cardData[Project2::CardDataSize];
  std::fill(std::begin(cardData), std::end(cardData), 'x');
  EXPECT_EQ(project2.ReadCardData(cardData), 1);
  EXPECT_STREQ(cardData, "SIMV9G0000002A|recorded");
  // Past the text the DLL wrote, the buffer is the caller's as it went in.
  EXPECT_EQ(cardData[Project2::CardDataSize - 1], 'x');
  EXPECT_EQ(Libraries().IC32().ReturnCardNo(7), 1234);
  // A null buffer reaches the DLL as null.
  EXPECT_EQ(project2.ReadCardData(nullptr), 1);
  EXPECT_EQ(RecordedInDll().back(), "Project2.ReadCardData null");
}

// Each case breaks the bridge in `dir` one way and mends it again.
struct FailureCase {
  const char* name;
  std::function<void(const std::string& dir)> cause;
  std::function<void(const std::string& dir)> mend;
  const char* logged;
};

void PutDll(const std::string& from, const std::string& dir) {
  fs::copy_file(from, dir + "maker/IC32.dll", fs::copy_options::overwrite_existing);
}

TEST_F(BridgeLibrariesTest, EveryFailureIsAFailedCallALogLineAndPassesWithItsCause) {
  const std::string path = std::getenv("PATH");
  const std::string fullDll = RecordingDlls("full") + "IC32.dll";
  const FailureCase cases[] = {
      {"no Wine on the path", [](auto&) { ::setenv("PATH", "/nonexistent", 1); },
       [&](auto&) { ::setenv("PATH", path.c_str(), 1); },
       "Cannot start the encoder host: Wine was not found (Wine=wine, searched "
       "PATH=/nonexistent). Install Wine"},
      {"no encoder-host.exe",
       [](auto& dir) { fs::rename(dir + "encoder-host.exe", dir + "host.away"); },
       [](auto& dir) { fs::rename(dir + "host.away", dir + "encoder-host.exe"); },
       "encoder-host.exe is missing. Copy the whole bridge folder beside the program."},
      {"no DLL", [](auto& dir) { fs::remove(dir + "maker/IC32.dll"); },
       [&](auto& dir) { PutDll(fullDll, dir); },
       "IC32.GuestCard failed: IC32.dll is not in the DLL folder "},
      {"a Linux library in the DLL's place", [](auto& dir) { PutDll(dir + "libIC32.so", dir); },
       [&](auto& dir) { PutDll(fullDll, dir); },
       "maker/IC32.dll is not a 32-bit Windows library (Windows error 193)."},
      {"no such function", [](auto& dir) { PutDll(RecordingDlls("partial") + "IC32.dll", dir); },
       [&](auto& dir) { PutDll(fullDll, dir); },
       "IC32.GuestCard failed: the library has no function GuestCard (nor GuestCard@20)."},
      {"a call past the limit",
       [](auto& dir) {
         WriteBridgeSettings(dir, "CallTimeout=1\n");
         WriteFile(dir + "maker/sleep-ms.txt", "3000");
       },
       [](auto& dir) {
         fs::remove(dir + "maker/sleep-ms.txt");
         WriteBridgeSettings(dir);
       },
       "IC32.GuestCard failed: no answer within 1 s (CallTimeout in EncoderBridge.ini); the "
       "encoder host was stopped. The next call starts it again."},
  };
  char hotel[8] = {'K', 'P', 'V', 'Z', '4', '7', '2', '9'};
  char endTime[13] = "203012312359";
  char room[8] = {1, 2, '0', '3', '0', '1', 0, 0};
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    c.cause(Dir());
    const std::int16_t failed = Libraries().IC32().GuestCard(7, 5, hotel, endTime, room);
    c.mend(Dir());
    EXPECT_EQ(failed, bridge::kCallFailed);
    EXPECT_TRUE(Logged(Dir(), c.logged)) << ReadFile(Dir() + "EncoderBridge.log");
    EXPECT_EQ(Libraries().IC32().GuestCard(7, 5, hotel, endTime, room), 0);
    libraries.reset();  // a fresh start for the next case
    fs::remove(Dir() + "EncoderBridge.log");
  }
}

TEST_F(BridgeLibrariesTest, OpenPortAndReadsFailWithTheValuesTheDriversTakeForFailure) {
  const std::string path = std::getenv("PATH");
  ::setenv("PATH", "/nonexistent", 1);
  EXPECT_EQ(Libraries().IC32().OpenPort(0), 0);
  EXPECT_EQ(Libraries().IC32().ReturnCardNo(7), 0);
  EXPECT_NE(Libraries().RFL32().OpenPort(), 0);
  char data[Project2::CardDataSize] = {};
  EXPECT_NE(Libraries().Project2().ReadCardData(data), 1);
  ::setenv("PATH", path.c_str(), 1);
}

TEST_F(BridgeLibrariesTest, AHostKilledDuringACallFailsThatCallAndTheNextStartsAfresh) {
  char data[Project2::CardDataSize] = {};
  ASSERT_EQ(Libraries().Project2().ReadCardData(data), 1);
  const int firstHost = HostPid(Dir());
  WriteFile(Maker("sleep-ms.txt"), "20000");
  auto call =
      std::async(std::launch::async, [&] { return Libraries().Project2().ReadCardData(data); });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // well inside the DLL by now
  ASSERT_GT(firstHost, 0);
  ::kill(firstHost, SIGKILL);
  EXPECT_EQ(call.get(), bridge::kCallFailed);
  EXPECT_TRUE(Logged(Dir(),
                     "Project2.ReadCardData failed: the encoder host ended during the "
                     "call (killed by signal 9). The next call starts it again."));

  fs::remove(Maker("sleep-ms.txt"));
  EXPECT_EQ(Libraries().Project2().ReadCardData(data), 1);
  EXPECT_NE(HostPid(Dir()), firstHost);
}

TEST_F(BridgeLibrariesTest, UnloadingEndsTheHostAndEverythingWineStartedForIt) {
  ASSERT_EQ(Libraries().RFL32().Buzzer(), 0);
  EXPECT_FALSE(WineProcesses(DOORLOCK_TEST_WINE_PREFIX).empty());
  libraries.reset();
  EXPECT_TRUE(Logged(Dir(), "Encoder host stopped."));
  EXPECT_EQ(WineProcesses(DOORLOCK_TEST_WINE_PREFIX), std::vector<int>{});
}

// The simulator's Windows DLLs and its Linux build share one state file; each waits
// for the other's lock, so neither loses the other's change.
TEST_F(BridgeLibrariesTest, TheSimulatorUnderWineAndOnLinuxTakeTurnsWithTheState) {
  UseDlls(Dir(), BuiltBridgeDir() + "maker/");
  ::setenv("ENCODER_SIM_DIR", Dir().c_str(), 1);
  const TEncoderLibraries onLinux(BinDir());
  ASSERT_EQ(Libraries().RFL32().Buzzer(), 0);  // the host runs: the next call goes straight in

  std::future<std::int32_t> beep;
  {
    const sim::TStateFile held(Dir());
    beep = std::async(std::launch::async, [&] { return Libraries().RFL32().Buzzer(); });
    // Long enough for the call to reach the DLL; had it not waited for the lock, its
    // beep would be counted before the state below is written over it.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    sim::TState state = held.Load();
    EXPECT_EQ(state.Beeps, 1);
    state.Beeps = 100;
    held.Save(state);
  }
  EXPECT_EQ(beep.get(), 0);
  EXPECT_EQ(sim::TStateFile(Dir()).Load().Beeps, 101);

  constexpr int kEach = 50;
  auto throughWine = std::async(std::launch::async, [&] {
    for (int i = 0; i < kEach; ++i)
      Libraries().RFL32().Buzzer();
  });
  for (int i = 0; i < kEach; ++i)
    onLinux.RFL32().Buzzer();
  throughWine.get();
  EXPECT_EQ(sim::TStateFile(Dir()).Load().Beeps, 101 + 2 * kEach);
  ::unsetenv("ENCODER_SIM_DIR");
}

TEST_F(BridgeLibrariesTest, SerialPortsAreTheDevicesTheSettingsName) {
  const std::string link = std::string(DOORLOCK_TEST_WINE_PREFIX) + "/dosdevices/com3";
  WriteBridgeSettings(Dir(), "[SerialPorts]\nCOM3=/dev/ttyUSB7\n");
  ASSERT_EQ(Libraries().IC32().OpenPort(2), 7);
  EXPECT_EQ(fs::read_symlink(link), "/dev/ttyUSB7");
  EXPECT_TRUE(Logged(Dir(), "COM3 is /dev/ttyUSB7."));
  // Wine's own mapping again, for the tests that share the prefix.
  fs::remove(link);
  fs::create_symlink("/dev/ttyS2", link);
}

}  // namespace
