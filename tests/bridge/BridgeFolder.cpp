#include "tests/bridge/BridgeFolder.h"

#include <filesystem>
#include <regex>

#include "encoders/bridge/BridgeProcess.h"
#include "tests/support/BinDir.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace testing_support {

bool WineInstalled() {
  return bridge::FindProgram("wine").has_value();
}

std::string BuiltBridgeDir() {
  return BinDir() + "bridge/";
}

std::string RecordingDlls(const std::string& kind) {
  return std::string(DOORLOCK_RECORDING_DLL_DIR) + "/" + kind + "/";
}

void InstallBridge(const std::string& dir) {
  fs::copy(BuiltBridgeDir(), dir,
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

void UseDlls(const std::string& dir, const std::string& from) {
  const fs::path maker = fs::path(dir) / "maker";
  fs::remove_all(maker);
  fs::create_directories(maker);
  fs::copy(from, maker, fs::copy_options::recursive);
}

void WriteBridgeSettings(const std::string& dir, const std::string& extra, bool ownPrefix) {
  // One prefix for all tests: making one takes a while. The tests that use it run
  // one at a time, as the bridge ends Wine in its prefix when it stops.
  const std::string prefix =
      ownPrefix ? std::string() : "WinePrefix=" + std::string(DOORLOCK_TEST_WINE_PREFIX) + "\n";
  WriteFile(dir + "EncoderBridge.ini", "[EncoderBridge]\n" + prefix + extra);
}

std::vector<std::string> BridgeLog(const std::string& dir) {
  const std::string content = ReadFile(dir + "EncoderBridge.log");
  static const std::regex stamp(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} )");
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string::npos)
      end = content.size();
    std::string line = content.substr(start, end - start);
    if (line.size() >= 20 && std::regex_match(line.substr(0, 20), stamp))
      line = line.substr(20);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

bool Logged(const std::string& dir, const std::string& part) {
  for (const std::string& line : BridgeLog(dir)) {
    if (line.find(part) != std::string::npos)
      return true;
  }
  return false;
}

int HostPid(const std::string& dir) {
  static const std::regex started(R"(Starting the encoder host \(process (\d+)\))");
  int pid = -1;
  for (const std::string& line : BridgeLog(dir)) {
    std::smatch match;
    if (std::regex_search(line, match, started))
      pid = std::stoi(match[1]);
  }
  return pid;
}

std::vector<int> WineProcesses(const std::string& prefix) {
  std::vector<int> pids;
  const std::string wanted = "WINEPREFIX=" + prefix;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos)
      continue;
    const std::string environment = ReadFile(entry.path() / "environ");
    std::size_t start = 0;
    while (start < environment.size()) {
      const std::size_t end = environment.find('\0', start);
      if (environment.compare(start, end - start, wanted) == 0)
        pids.push_back(std::stoi(name));
      if (end == std::string::npos)
        break;
      start = end + 1;
    }
  }
  return pids;
}

}  // namespace testing_support
