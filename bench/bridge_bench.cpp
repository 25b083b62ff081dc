// Measures what the bridge to the maker's Windows DLLs costs: the start of its host
// under Wine, and one forwarded call against the same call on the Linux simulator, in
// the same run. Prints a Markdown section with PASS/FAIL against the target of less
// than 1 ms per call after the start.
#include <sys/utsname.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/LoadGenerator.h"
#include "encoders/EncoderLibraries.h"
#include "tests/support/BinDir.h"
#include "tests/support/ProcessRunner.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 5;
constexpr int kCallsPerRound = 400;
constexpr double kTargetMs = 1.0;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string Fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// A folder beside which the program would lie: the simulator's libraries, or the
// bridge folder with the given DLLs, sharing one Wine prefix kept between runs.
struct TInstallation {
  fs::path Dir;

  TInstallation(const std::string& name, bool bridged, const std::string& dlls) {
    Dir = fs::temp_directory_path() / ("doorlock-bridge-bench-" + name);
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    const fs::path bin = testing_support::BinDir();
    if (!bridged) {
      for (const char* library : {"libIC32.so", "libRFL32.so", "libProject2.so"})
        fs::copy_file(bin / library, Dir / library);
      return;
    }
    fs::copy(bin / "bridge", Dir, fs::copy_options::recursive);
    fs::remove_all(Dir / "maker");
    fs::copy(dlls, Dir / "maker", fs::copy_options::recursive);
    std::ofstream(Dir / "EncoderBridge.ini")
        << "[EncoderBridge]\nWinePrefix=" << DOORLOCK_BENCH_WINE_PREFIX << "\n";
  }
  ~TInstallation() { fs::remove_all(Dir); }

  std::string Path() const { return Dir.string() + "/"; }
};

struct TCallFigures {
  std::vector<double> LatenciesMs;
};

// `kRounds` rounds of each variant in turn, so that a busy spell of the shared
// machine falls on all of them alike.
std::vector<TCallFigures> TimeInTurns(const std::vector<std::function<void()>>& calls) {
  std::vector<TCallFigures> figures(calls.size());
  for (const auto& call : calls)
    call();  // warm-up: the host is running, the state file is in the cache
  for (int round = 0; round < kRounds; ++round) {
    for (std::size_t i = 0; i < calls.size(); ++i) {
      for (int n = 0; n < kCallsPerRound; ++n) {
        const auto start = Clock::now();
        calls[i]();
        figures[i].LatenciesMs.push_back(MillisecondsSince(start));
      }
    }
  }
  return figures;
}

// The first call after loading: Wine and encoder-host.exe start, then the call.
std::vector<double> StartTimes(const TInstallation& installation) {
  std::vector<double> times;
  for (int round = 0; round < kRounds; ++round) {
    TEncoderLibraries libraries(installation.Path());
    const auto start = Clock::now();
    libraries.IC32().ReturnCardNo(0);
    times.push_back(MillisecondsSince(start));
  }
  return times;
}

}  // namespace

int main() {
  if (testing_support::FindProgram("wine").empty()) {
    std::cerr << "bridge_bench: Wine is not installed (scripts/install-deps --with-bridge)\n";
    return 1;
  }
  const TInstallation linuxSim("linux", false, "");
  const TInstallation windowsSim("windows", true, testing_support::BinDir() + "bridge/maker");
  const TInstallation recording("recording", true,
                                std::string(DOORLOCK_RECORDING_DLL_DIR) + "/full");
  // Each simulator keeps its state beside itself: the Windows DLLs in their host's
  // working folder, the Linux build where ENCODER_SIM_DIR, set once the hosts run, says.
  ::unsetenv("ENCODER_SIM_DIR");

  // A first load makes the Wine prefix when there is none yet; not counted.
  { TEncoderLibraries(windowsSim.Path()).IC32().ReturnCardNo(0); }
  const std::vector<double> starts = StartTimes(windowsSim);

  const TEncoderLibraries onLinux(linuxSim.Path());
  const TEncoderLibraries viaWine(windowsSim.Path());
  const TEncoderLibraries viaWineRecording(recording.Path());
  const std::int32_t wineHandle = viaWine.IC32().OpenPort(0);
  viaWineRecording.IC32().ReturnCardNo(7);
  ::setenv("ENCODER_SIM_DIR", linuxSim.Path().c_str(), 1);
  const std::int32_t linuxHandle = onLinux.IC32().OpenPort(0);
  char hotel[8] = {'K', 'P', 'V', 'Z', '4', '7', '2', '9'};
  char end[13] = "203012311200";
  char room[8] = {1, 2, '0', '3', '0', '1', 0, 0};
  const std::vector<TCallFigures> figures = TimeInTurns({
      [&] { onLinux.IC32().ReturnCardNo(linuxHandle); },
      [&] { viaWine.IC32().ReturnCardNo(wineHandle); },
      [&] { viaWineRecording.IC32().ReturnCardNo(7); },
      [&] { onLinux.IC32().GuestCard(linuxHandle, 5, hotel, end, room); },
      [&] { viaWine.IC32().GuestCard(wineHandle, 5, hotel, end, room); },
      [&] { viaWineRecording.IC32().GuestCard(7, 5, hotel, end, room); },
  });

  utsname machine{};
  ::uname(&machine);
  std::cout << "## The bridge to the maker's Windows DLLs\n\n"
            << "Machine: " << machine.machine << ", " << std::thread::hardware_concurrency()
            << " cores, Linux " << machine.release << ". " << kRounds << " rounds of "
            << kCallsPerRound << " calls of each variant, in turns; milliseconds.\n\n"
            << "| Call | Encoder | p50 | p99 |\n|---|---|---|---|\n";
  const char* names[] = {"IC32.ReturnCardNo", "IC32.GuestCard"};
  const char* encoders[] = {"Linux simulator (in process)", "bridge: simulator DLL under Wine",
                            "bridge: recording DLL under Wine"};
  for (std::size_t i = 0; i < figures.size(); ++i) {
    std::cout << "| " << names[i / 3] << " | " << encoders[i % 3] << " | "
              << Fixed(bench::Percentile(figures[i].LatenciesMs, 0.5), 3) << " | "
              << Fixed(bench::Percentile(figures[i].LatenciesMs, 0.99), 3) << " |\n";
  }
  std::cout << "\nHost start (Wine and encoder-host.exe, existing prefix), first call included: "
            << "median " << Fixed(bench::Median(starts), 0) << " ms of " << kRounds << " starts ("
            << Fixed(*std::min_element(starts.begin(), starts.end()), 0) << " to "
            << Fixed(*std::max_element(starts.begin(), starts.end()), 0) << " ms).\n\n";
  // The bridge's own cost: what a forwarded call adds to the same call in process.
  const double added = bench::Percentile(figures[1].LatenciesMs, 0.5) -
                       bench::Percentile(figures[0].LatenciesMs, 0.5);
  std::cout << (added < kTargetMs ? "PASS" : "FAIL") << ": a forwarded call adds "
            << Fixed(added, 3) << " ms at the median (target: under " << Fixed(kTargetMs, 0)
            << " ms)\n";
  return 0;
}
