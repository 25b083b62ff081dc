#include "encoders/bridge/EncoderBridge.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>

#include "encoders/bridge/BridgeProcess.h"
#include "encoders/bridge/BridgeProtocol.h"
#include "platform/IniFile.h"

namespace bridge {
namespace {

using namespace std::chrono_literals;

constexpr const char* kSettingsFile = "EncoderBridge.ini";
constexpr const char* kLogFile = "EncoderBridge.log";
constexpr const char* kHostFile = "encoder-host.exe";
constexpr const char* kSection = "EncoderBridge";
constexpr const char* kPortsSection = "SerialPorts";
constexpr int kComPorts = 6;
// Nobody at a front desk can answer Wine's offers to install Mono or Gecko, and the
// bridge wants no menu entries made for it.
constexpr const char* kDllOverrides = "mscoree,mshtml=;winemenubuilder.exe=d";
// How long a host that was asked to end may take before it is killed, and how long
// Wine may take to wind down its prefix.
constexpr auto kHostExitWait = 2s;
constexpr auto kWineserverWait = 5s;

// The folder of this library, with its "/": in an installation, the program's.
std::string OwnDir() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&Forward), &info) == 0 || info.dli_fname == nullptr)
    return "./";
  const std::string path = info.dli_fname;
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

std::string Absolute(const std::string& dir, const std::string& path) {
  return !path.empty() && path[0] == '/' ? path : dir + path;
}

struct TSettings {
  std::string Dir;
  std::string DllFolder;
  std::string Wine;
  std::string WinePrefix;
  std::chrono::seconds CallTimeout{30};
  std::chrono::seconds StartTimeout{60};
  std::chrono::seconds PrefixTimeout{300};
  std::array<std::string, kComPorts> ComPorts;

  // EncoderBridge.ini of `dir`, read afresh at each start of the host so that an
  // installer's correction takes effect at the next call.
  static TSettings Load(const std::string& dir) {
    const plat::TIniFile ini(dir + kSettingsFile);
    TSettings settings;
    settings.Dir = dir;
    settings.DllFolder = Absolute(dir, ini.ReadString(kSection, "DllFolder", "maker"));
    settings.Wine = ini.ReadString(kSection, "Wine", "wine");
    settings.WinePrefix = Absolute(dir, ini.ReadString(kSection, "WinePrefix", "wine-prefix"));
    const auto seconds = [&](const char* key, std::chrono::seconds fallback) {
      const std::int32_t value =
          ini.ReadInteger(kSection, key, static_cast<std::int32_t>(fallback.count()));
      return value > 0 ? std::chrono::seconds(value) : fallback;
    };
    settings.CallTimeout = seconds("CallTimeout", settings.CallTimeout);
    settings.StartTimeout = seconds("StartTimeout", settings.StartTimeout);
    settings.PrefixTimeout = seconds("PrefixTimeout", settings.PrefixTimeout);
    for (int i = 0; i < kComPorts; ++i)
      settings.ComPorts[i] = ini.ReadString(kPortsSection, "COM" + std::to_string(i + 1), "");
    return settings;
  }
};

// EncoderBridge.log: one time-stamped line per event, each written whole.
class TBridgeLog {
 public:
  explicit TBridgeLog(std::string path) : path_(std::move(path)) {}

  void Write(const std::string& text) const {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S ", &local);
    const std::string line = stamp + text + "\n";
    const int fd = Open();
    if (fd < 0)
      return;
    [[maybe_unused]] const ssize_t n = ::write(fd, line.data(), line.size());
    ::close(fd);
  }

  // For Wine's own messages, which go to the same file.
  int Open() const {
    return ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  }

 private:
  std::string path_;
};

enum class TReadStatus { Ok, Ended, TimedOut, Broken };

// A whole frame from `fd` before `deadline`.
TReadStatus ReadFrame(int fd, TClock::time_point deadline, std::string& body) {
  std::string bytes;
  std::size_t wanted = 4;
  while (bytes.size() < wanted) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - TClock::now());
    if (left.count() <= 0)
      return TReadStatus::TimedOut;
    pollfd ready{fd, POLLIN, 0};
    const int polled =
        ::poll(&ready, 1, static_cast<int>(std::min<long long>(left.count(), 60000)));
    if (polled < 0 && errno != EINTR)
      return TReadStatus::Broken;
    if (polled <= 0)
      continue;
    char chunk[4096];
    const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, wanted - bytes.size()));
    if (n == 0)
      return TReadStatus::Ended;
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN)
        continue;
      return TReadStatus::Broken;
    }
    bytes.append(chunk, static_cast<std::size_t>(n));
    if (wanted == 4 && bytes.size() == 4) {
      const std::uint32_t length =
          FrameLength(reinterpret_cast<const unsigned char*>(bytes.data()));
      if (length == 0 || length > kMaxFrame)
        return TReadStatus::Broken;
      wanted += length;
    }
  }
  body = bytes.substr(4);
  return TReadStatus::Ok;
}

// Writes the whole frame; false when the host has gone. A host that is gone must not
// take the program with it through SIGPIPE, so the signal is held back for this
// thread and dropped.
bool WriteFrame(int fd, const std::string& frame) {
  sigset_t pipe;
  sigset_t old;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  ::pthread_sigmask(SIG_BLOCK, &pipe, &old);
  bool ok = true;
  std::size_t done = 0;
  while (ok && done < frame.size()) {
    const ssize_t n = ::write(fd, frame.data() + done, frame.size() - done);
    if (n > 0)
      done += static_cast<std::size_t>(n);
    else if (n < 0 && errno != EINTR)
      ok = false;
  }
  if (!ok && errno == EPIPE) {
    const timespec now{0, 0};
    while (::sigtimedwait(&pipe, nullptr, &now) == SIGPIPE) {
    }
  }
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return ok;
}

std::string Seconds(TClock::duration duration) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", std::chrono::duration<double>(duration).count());
  return text;
}

// One running encoder-host.exe and the Wine prefix it runs in.
class THost {
 public:
  THost(const TSettings& settings, pid_t pid, int toHost, int fromHost)
      : settings_(settings), pid_(pid), toHost_(toHost), fromHost_(fromHost) {}
  ~THost() { Kill(); }

  // The host closed its output: it is ending, give it a moment to tell how.
  static constexpr auto kEndingGrace = 500ms;
  THost(const THost&) = delete;
  THost& operator=(const THost&) = delete;

  const TSettings& Settings() const { return settings_; }
  pid_t Pid() const { return pid_; }
  int ToHost() const { return toHost_; }
  int FromHost() const { return fromHost_; }

  // Asks the host to end (end of its input), waits a little, then kills it.
  void End() {
    if (pid_ <= 0)
      return;
    ::close(toHost_);
    toHost_ = -1;
    if (!WaitUntil(pid_, TClock::now() + kHostExitWait))
      KillAndReap(pid_);
    Forget();
  }

  // Reaps a host that has ended, or kills one that has not within `grace`; says how
  // it ended.
  std::string Kill(TClock::duration grace = TClock::duration::zero()) {
    if (pid_ <= 0)
      return {};
    std::string how;
    if (const std::optional<int> status = WaitUntil(pid_, TClock::now() + grace)) {
      how = DescribeStatus(*status);
    } else {
      KillAndReap(pid_);
      how = "killed";
    }
    Forget();
    return how;
  }

 private:
  void Forget() {
    if (toHost_ >= 0)
      ::close(toHost_);
    ::close(fromHost_);
    toHost_ = fromHost_ = -1;
    pid_ = -1;
  }

  TSettings settings_;
  pid_t pid_;
  int toHost_;
  int fromHost_;
};

class TBridge {
 public:
  TBridge() : dir_(OwnDir()), log_(dir_ + kLogFile) {}

  ~TBridge() {
    // A call still running in another thread must not keep the program from ending:
    // the host is killed under it, and its call returns the failure.
    std::unique_lock lock(mutex_, std::defer_lock);
    if (!lock.try_lock_for(kHostExitWait)) {
      if (const pid_t pid = hostPid_.load(); pid > 0)
        ::kill(pid, SIGKILL);
      lock.lock();
    }
    Stop();
  }

  std::uint32_t Forward(const char* library, const char* function,
                        std::span<const std::uint32_t> slots, std::span<const TArgBuffer> buffers,
                        std::uint32_t failure) {
    const std::string name = std::string(library) + "." + function;
    std::lock_guard lock(mutex_);
    if (!host_ && !Start())
      return failure;

    TCall call{library, function, {slots.begin(), slots.end()}, {}};
    for (const TArgBuffer& buffer : buffers) {
      call.Buffers.push_back(
          {buffer.Slot, buffer.Data == nullptr,
           buffer.Data != nullptr ? std::string(buffer.Data, buffer.Size) : std::string()});
    }
    if (!WriteFrame(host_->ToHost(), EncodeCall(call))) {
      Lost(name + " failed: the encoder host had ended (" + host_->Kill(THost::kEndingGrace) +
           ").");
      return failure;
    }
    std::string body;
    switch (ReadFrame(host_->FromHost(), TClock::now() + host_->Settings().CallTimeout, body)) {
      case TReadStatus::Ok:
        break;
      case TReadStatus::TimedOut:
        host_->Kill();
        Lost(name + " failed: no answer within " +
             std::to_string(host_->Settings().CallTimeout.count()) +
             " s (CallTimeout in EncoderBridge.ini); the encoder host was stopped.");
        return failure;
      case TReadStatus::Ended:
      case TReadStatus::Broken:
        Lost(name + " failed: the encoder host ended during the call (" +
             host_->Kill(THost::kEndingGrace) + ").");
        return failure;
    }
    try {
      if (KindOf(body) == TMessage::Error) {
        log_.Write(name + " failed: " + Explain(DecodeError(body), function, slots.size()));
        return failure;
      }
      const TResult result = DecodeResult(body);
      if (result.Buffers.size() != buffers.size())
        throw EProtocolError("buffers missing from the answer");
      for (std::size_t i = 0; i < buffers.size(); ++i) {
        if (buffers[i].Data != nullptr)
          std::memcpy(buffers[i].Data, result.Buffers[i].data(),
                      std::min(buffers[i].Size, result.Buffers[i].size()));
      }
      return result.Value;
    } catch (const EProtocolError& e) {
      host_->Kill();
      Lost(name + " failed: the encoder host gave an answer that makes no sense (" + e.what() +
           ").");
      return failure;
    }
  }

 private:
  // After a failed call the host is gone; the next call starts a fresh one.
  void Lost(const std::string& text) {
    log_.Write(text + " The next call starts it again.");
    host_.reset();
    hostPid_ = -1;
  }

  std::string Explain(const THostError& error, const char* function, std::size_t slots) const {
    const std::string& folder = host_->Settings().DllFolder;
    const std::string file = folder + "/" + error.Detail;
    switch (error.Kind) {
      case THostErrorKind::LibraryMissing:
        return error.Detail + " is not in the DLL folder " + folder +
               ". Put the maker's DLLs there (DllFolder in EncoderBridge.ini).";
      case THostErrorKind::NotWindowsLibrary:
        return file + " is not a 32-bit Windows library (Windows error " +
               std::to_string(error.Code) + ").";
      case THostErrorKind::LibraryNotLoaded:
        return file + " could not be loaded (Windows error " + std::to_string(error.Code) +
               (error.Code == 126 ? ": a DLL it needs may be missing from its folder)." : ").");
      case THostErrorKind::FunctionMissing:
        return "the library has no function " + error.Detail + " (nor " + error.Detail + "@" +
               std::to_string(4 * slots) + ").";
      case THostErrorKind::BadRequest:
        break;
    }
    return std::string("the encoder host refused the call to ") + function + " (" + error.Detail +
           ").";
  }

  std::vector<std::string> WineEnvironment(const TSettings& settings, bool creating) const {
    std::vector<std::string> changes = {"WINEPREFIX=" + settings.WinePrefix};
    const char* debug = std::getenv("WINEDEBUG");
    changes.push_back("WINEDEBUG=" + std::string(debug != nullptr ? debug : "-all"));
    const char* overrides = std::getenv("WINEDLLOVERRIDES");
    changes.push_back(
        "WINEDLLOVERRIDES=" + std::string(kDllOverrides) +
        (overrides != nullptr && *overrides != '\0' ? ";" + std::string(overrides) : ""));
    // The maker's DLLs are 32-bit; a prefix of that kind alone is smaller and quicker.
    if (creating)
      changes.push_back("WINEARCH=win32");
    return EnvironmentWith(changes);
  }

  // Runs a program of Wine's (`args`) to its end, its messages into the log.
  std::optional<int> RunWine(const TSettings& settings, const std::vector<std::string>& args,
                             bool creating, TClock::time_point deadline) const {
    const int logFd = log_.Open();
    const pid_t pid =
        Spawn({args, WineEnvironment(settings, creating), settings.Dir, -1, logFd, logFd});
    if (logFd >= 0)
      ::close(logFd);
    if (pid < 0)
      return std::nullopt;
    std::optional<int> status = WaitUntil(pid, deadline);
    if (!status)
      KillAndReap(pid);
    return status;
  }

  // Wine's server: it keeps the prefix's processes and writes its registry.
  static std::optional<std::string> Wineserver(const std::string& wine) {
    if (wine.find('/') != std::string::npos) {
      if (auto beside = FindProgram(wine.substr(0, wine.rfind('/') + 1) + "wineserver"))
        return beside;
    }
    return FindProgram("wineserver");
  }

  bool MakePrefix(const TSettings& settings, const std::string& wine) const {
    struct stat info {};
    if (::stat((settings.WinePrefix + "/system.reg").c_str(), &info) == 0)
      return true;
    log_.Write("Creating the Wine prefix " + settings.WinePrefix +
               " (first start; this can take a minute).");
    // Wine makes a prefix only in a folder of the account's own, and the program's
    // folder of an installation belongs to root; a prefix folder made here is ours.
    if (::mkdir(settings.WinePrefix.c_str(), 0700) != 0 && errno != EEXIST) {
      log_.Write("Could not create the Wine prefix " + settings.WinePrefix + ": " +
                 std::strerror(errno) + ".");
      return false;
    }
    const auto started = TClock::now();
    const auto deadline = started + settings.PrefixTimeout;
    std::optional<int> status = RunWine(settings, {wine, "wineboot", "--init"}, true, deadline);
    // The registry reaches the prefix's files when Wine's server ends.
    const std::optional<std::string> server = Wineserver(wine);
    if (status && *status == 0 && server)
      status = RunWine(settings, {*server, "-w"}, true, deadline);
    std::string trouble;
    if (!status) {
      trouble = "Wine did not finish within " + std::to_string(settings.PrefixTimeout.count()) +
                " s (PrefixTimeout in EncoderBridge.ini)";
    } else if (*status != 0) {
      trouble = "wineboot ended with " + DescribeStatus(*status) +
                " (Wine's own messages, if any, are above)";
    } else if (::stat((settings.WinePrefix + "/system.reg").c_str(), &info) != 0) {
      trouble = "Wine left no system.reg in it";
    }
    if (!trouble.empty()) {
      log_.Write("Could not create the Wine prefix " + settings.WinePrefix + ": " + trouble + ".");
      return false;
    }
    log_.Write("Wine prefix ready in " + Seconds(TClock::now() - started) + ".");
    return true;
  }

  // Wine reaches a serial port through the prefix's device links, comN.
  void LinkSerialPorts(const TSettings& settings) const {
    for (int i = 0; i < kComPorts; ++i) {
      const std::string& device = settings.ComPorts[i];
      if (device.empty())
        continue;
      const std::string name = "COM" + std::to_string(i + 1);
      const std::string link = settings.WinePrefix + "/dosdevices/com" + std::to_string(i + 1);
      char current[4096];
      const ssize_t n = ::readlink(link.c_str(), current, sizeof current);
      if (n >= 0 && std::string(current, static_cast<std::size_t>(n)) == device)
        continue;
      ::unlink(link.c_str());
      if (::symlink(device.c_str(), link.c_str()) == 0) {
        log_.Write(name + " is " + device + ".");
      } else {
        log_.Write("Cannot link " + name + " to " + device + " in " + link + ": " +
                   std::strerror(errno) + ".");
      }
    }
  }

  bool Start() {
    const TSettings settings = TSettings::Load(dir_);
    const std::string hostPath = settings.Dir + kHostFile;
    if (::access(hostPath.c_str(), R_OK) != 0) {
      log_.Write("Cannot start the encoder host: " + hostPath +
                 " is missing. Copy the whole bridge folder beside the program.");
      return false;
    }
    const std::optional<std::string> wine = FindProgram(settings.Wine);
    if (!wine) {
      const char* path = std::getenv("PATH");
      log_.Write("Cannot start the encoder host: Wine was not found (Wine=" + settings.Wine +
                 (settings.Wine.find('/') == std::string::npos
                      ? ", searched PATH=" + std::string(path != nullptr ? path : "")
                      : std::string(", no such executable file")) +
                 "). Install Wine (apt-get install wine wine32:i386) or set Wine in "
                 "EncoderBridge.ini to its full path.");
      return false;
    }
    if (!MakePrefix(settings, *wine))
      return false;
    LinkSerialPorts(settings);

    int toHost[2];
    int fromHost[2];
    if (::pipe2(toHost, O_CLOEXEC) != 0) {
      log_.Write(std::string("Cannot start the encoder host: ") + std::strerror(errno) + ".");
      return false;
    }
    if (::pipe2(fromHost, O_CLOEXEC) != 0) {
      log_.Write(std::string("Cannot start the encoder host: ") + std::strerror(errno) + ".");
      ::close(toHost[0]);
      ::close(toHost[1]);
      return false;
    }
    const auto started = TClock::now();
    const int logFd = log_.Open();
    const pid_t pid = Spawn({{*wine, hostPath, settings.DllFolder},
                             WineEnvironment(settings, false),
                             settings.Dir,
                             toHost[0],
                             fromHost[1],
                             logFd});
    const int spawnError = errno;
    if (logFd >= 0)
      ::close(logFd);
    ::close(toHost[0]);
    ::close(fromHost[1]);
    if (pid < 0) {
      ::close(toHost[1]);
      ::close(fromHost[0]);
      log_.Write("Cannot start the encoder host: " + *wine + ": " + std::strerror(spawnError) +
                 ".");
      return false;
    }
    log_.Write("Starting the encoder host (process " + std::to_string(pid) + "): " + *wine + " " +
               hostPath + " (DLL folder " + settings.DllFolder + ", Wine prefix " +
               settings.WinePrefix + ").");
    host_.emplace(settings, pid, toHost[1], fromHost[0]);
    hostPid_ = pid;

    std::string body;
    switch (ReadFrame(host_->FromHost(), started + settings.StartTimeout, body)) {
      case TReadStatus::Ok:
        break;
      case TReadStatus::TimedOut:
        host_->Kill();
        Lost("The encoder host did not answer within " +
             std::to_string(settings.StartTimeout.count()) +
             " s of starting (StartTimeout in EncoderBridge.ini); it was stopped.");
        return false;
      case TReadStatus::Ended:
      case TReadStatus::Broken:
        Lost("The encoder host did not start: Wine ended with " + host_->Kill(THost::kEndingGrace) +
             " before the host answered (Wine's own messages, if any, are above).");
        return false;
    }
    try {
      const THello hello = DecodeHello(body);
      if (hello.Version != kProtocolVersion) {
        host_->Kill();
        Lost(hostPath + " speaks protocol " + std::to_string(hello.Version) + ", this bridge " +
             std::to_string(kProtocolVersion) + ": copy the whole bridge folder again.");
        return false;
      }
      log_.Write("Encoder host ready in " + Seconds(TClock::now() - started) + " (" +
                 hello.Description + ").");
      return true;
    } catch (const EProtocolError& e) {
      host_->Kill();
      Lost("The encoder host did not start: its first answer makes no sense (" +
           std::string(e.what()) + ").");
      return false;
    }
  }

  // Ends the host and whatever Wine started for it in the prefix.
  void Stop() {
    if (!host_)
      return;
    const TSettings settings = host_->Settings();
    host_->End();
    host_.reset();
    hostPid_ = -1;
    const std::optional<std::string> wine = FindProgram(settings.Wine);
    if (const std::optional<std::string> server = Wineserver(wine.value_or(settings.Wine)))
      RunWine(settings, {*server, "-k"}, false, TClock::now() + kWineserverWait);
    log_.Write("Encoder host stopped.");
  }

  std::timed_mutex mutex_;
  const std::string dir_;
  const TBridgeLog log_;
  std::optional<THost> host_;
  std::atomic<pid_t> hostPid_{-1};
};

TBridge& Bridge() {
  static TBridge bridge;
  return bridge;
}

}  // namespace

std::uint32_t Forward(const char* library, const char* function,
                      std::span<const std::uint32_t> slots, std::span<const TArgBuffer> buffers,
                      std::uint32_t failure) {
  return Bridge().Forward(library, function, slots, buffers, failure);
}

}  // namespace bridge
