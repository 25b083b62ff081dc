#pragma once

#include <string>
#include <vector>

// The bridge edition as a test puts it beside a program: the built bridge folder,
// a choice of Windows DLLs in its DLL folder, and EncoderBridge.ini.
namespace testing_support {

// Whether Wine can be started; the bridge's tests skip without it.
bool WineInstalled();
inline constexpr const char* kNoWine =
    "Wine is not installed: scripts/install-deps --with-bridge brings it";

// The built bridge folder and the recording DLLs ("full", or "partial": an IC32.dll
// without GuestCard).
std::string BuiltBridgeDir();
std::string RecordingDlls(const std::string& kind);

// Copies the whole built bridge folder into `dir` (the simulated encoder's DLLs in
// maker/), over the simulator's libraries where they lie.
void InstallBridge(const std::string& dir);
// Empties `dir`'s DLL folder and fills it with the DLLs of `from`.
void UseDlls(const std::string& dir, const std::string& from);
// EncoderBridge.ini: the tests' shared Wine prefix (unless `ownPrefix`), then `extra`.
void WriteBridgeSettings(const std::string& dir, const std::string& extra = "",
                         bool ownPrefix = false);

// EncoderBridge.log's lines, time stamps cut off.
std::vector<std::string> BridgeLog(const std::string& dir);
bool Logged(const std::string& dir, const std::string& part);
// The process id of the newest host the log tells of.
int HostPid(const std::string& dir);
// The processes whose environment names `prefix` as their Wine prefix.
std::vector<int> WineProcesses(const std::string& prefix);

}  // namespace testing_support
