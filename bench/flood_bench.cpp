// How long "ReadCard" and "IssueCard" from a fresh client take while a crowd of idle
// and slow connections is held open, with the server started under the usual soft
// limit of 1024 open files; prints one Markdown report.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchEnvironment.h"
#include "bench/IdleCrowd.h"
#include "bench/LoadGenerator.h"
#include "host/DoorlockServerUnit.h"

namespace {

using namespace bench;
using Clock = std::chrono::steady_clock;

constexpr rlim_t kSoftLimit = 1024;
const int kCrowds[] = {1100, 5000};
// This process holds the largest crowd and its own requests.
constexpr rlim_t kOwnFiles = 5000 + 512;

struct TSettings {
  int Rounds = 5;
  double Seconds = 1.0;
};

const char* kUsage =
    "usage: doorlock_flood_bench [--rounds N] [--seconds S]\n"
    "  --rounds   rounds per figure, the median is reported (5)\n"
    "  --seconds  length of one round of one request kind (1)\n";

TSettings ParseSettings(int argc, char** argv) {
  TSettings settings;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    if (name == "--rounds") {
      settings.Rounds = std::stoi(argv[i + 1]);
    } else if (name == "--seconds") {
      settings.Seconds = std::stod(argv[i + 1]);
    } else {
      std::cerr << kUsage;
      std::exit(2);
    }
  }
  if (argc % 2 == 0 || settings.Rounds < 1 || settings.Seconds <= 0) {
    std::cerr << kUsage;
    std::exit(2);
  }
  return settings;
}

void WriteAll(int fd, const void* data, std::size_t size) {
  if (::write(fd, data, size) != static_cast<ssize_t>(size))
    throw std::runtime_error("pipe to the server process broke");
}

void ReadAll(int fd, void* data, std::size_t size) {
  if (::read(fd, data, size) != static_cast<ssize_t>(size))
    throw std::runtime_error("pipe from the server process broke");
}

// The interface's server with the program-wide objects (as in doorlock_bench) in a
// process of its own, started with a soft limit of 1024 open files and the given
// hard limit, as a login or a service manager starts the program.
class TServerProcess {
 public:
  explicit TServerProcess(rlim_t hardLimit) {
    int toChild[2], fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0)
      throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ < 0)
      throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      ::close(toChild[1]);
      ::close(fromChild[0]);
      int status = 0;
      try {
        Serve(hardLimit, fromChild[1], toChild[0]);
      } catch (const std::exception& e) {
        std::cerr << "server process: " << e.what() << "\n";
        status = 1;
      }
      std::fflush(nullptr);
      ::_exit(status);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    toChild_ = toChild[1];
    fromChild_ = fromChild[0];
    int info[2];
    ReadAll(fromChild_, info, sizeof info);
    port_ = info[0];
    maxConnections_ = info[1];
  }

  ~TServerProcess() {
    if (pid_ > 0) {
      ::close(toChild_);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(fromChild_);
  }
  TServerProcess(const TServerProcess&) = delete;
  TServerProcess& operator=(const TServerProcess&) = delete;

  int Port() const { return port_; }
  int MaxConnections() const { return maxConnections_; }

  // Deactivates the server; milliseconds it took, or -1 when it ended with
  // "Terminate Thread Timeout".
  double Stop() {
    const char stop = 1;
    WriteAll(toChild_, &stop, 1);
    double ms = -1;
    ReadAll(fromChild_, &ms, sizeof ms);
    ::close(toChild_);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return ms;
  }

 private:
  static void Serve(rlim_t hardLimit, int toParent, int fromParent) {
    const rlimit files{kSoftLimit, hardLimit};
    if (::setrlimit(RLIMIT_NOFILE, &files) != 0)
      throw std::runtime_error("setrlimit failed");
    TBenchEnvironment environment;
    TDoorlockServer server;
    server.SetDefaultPort(0);
    server.Activate();
    const int info[2] = {server.BoundPort(), server.MaxConnections()};
    WriteAll(toParent, info, sizeof info);
    char stop;
    ReadAll(fromParent, &stop, 1);
    const auto begin = Clock::now();
    double ms = -1;
    try {
      server.Deactivate();
      ms = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
    } catch (const ETerminateThreadTimeout&) {
    }
    WriteAll(toParent, &ms, sizeof ms);
  }

  pid_t pid_ = -1;
  int toChild_ = -1, fromChild_ = -1;
  int port_ = 0, maxConnections_ = 0;
};

struct TFigure {
  std::vector<double> P50, P99;
  std::size_t Completed = 0, Failed = 0;
  void Add(const TRoundResult& round) {
    P50.push_back(Percentile(round.LatenciesMs, 0.50));
    P99.push_back(Percentile(round.LatenciesMs, 0.99));
    Completed += round.Completed;
    Failed += round.Failed;
  }
};

struct TStage {
  std::string Idle;  // as shown
  int Held = 0;      // crowd connections the server still held after the rounds
  TFigure Read, Issue;
};

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

const std::string kOkCode = "<ResultCode>200</ResultCode>";

TStage Measure(const std::string& idle, int port, TIdleCrowd* crowd, const TSettings& settings) {
  static const std::vector<std::string> reads = {ReadCardRequest()};
  static const std::vector<std::string> issues = IssueCardRequests(kHotelRooms, 37);
  TStage stage;
  stage.Idle = idle;
  RunRound(port, reads, 1, 0.2, kOkCode);  // warm-up, not counted
  for (int round = 0; round < settings.Rounds; ++round) {
    stage.Read.Add(RunRound(port, reads, 1, settings.Seconds, kOkCode));
    stage.Issue.Add(RunRound(port, issues, 1, settings.Seconds, kOkCode));
  }
  if (crowd != nullptr)
    stage.Held = crowd->Size() - crowd->ClosedByServer();
  return stage;
}

struct TLimitRun {
  std::string Hard;
  int MaxConnections = 0;
  std::vector<TStage> Stages;
  double DeactivationMs = 0;
};

TLimitRun RunWithHardLimit(rlim_t hard, const TSettings& settings) {
  TLimitRun run;
  run.Hard = std::to_string(hard);
  TServerProcess server(hard);
  run.MaxConnections = server.MaxConnections();
  const int port = server.Port();
  std::cerr << "hard limit " << hard << ": without idle connections...\n";
  run.Stages.push_back(Measure("0 (before)", port, nullptr, settings));
  {
    TIdleCrowd crowd(port);
    for (const int count : kCrowds) {
      std::cerr << "hard limit " << hard << ": " << count << " idle connections...\n";
      crowd.GrowTo(count);
      crowd.WaitForSlowRound();
      run.Stages.push_back(Measure(std::to_string(count), port, &crowd, settings));
    }
  }
  std::cerr << "hard limit " << hard << ": without idle connections again...\n";
  run.Stages.push_back(Measure("0 (after)", port, nullptr, settings));
  // Deactivation with the largest crowd connected.
  TIdleCrowd crowd(port);
  crowd.GrowTo(kCrowds[std::size(kCrowds) - 1]);
  run.DeactivationMs = server.Stop();
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  const TSettings settings = ParseSettings(argc, argv);
  rlimit own{};
  ::getrlimit(RLIMIT_NOFILE, &own);
  if (own.rlim_max < kOwnFiles) {
    std::cerr << "the hard limit of open files is " << own.rlim_max << "; the benchmark needs "
              << kOwnFiles << "\n";
    return 1;
  }
  own.rlim_cur = own.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &own);
  std::string load;
  {
    std::FILE* file = std::fopen("/proc/loadavg", "r");
    char text[64] = {};
    if (file != nullptr && std::fgets(text, sizeof text, file) != nullptr)
      load = text;
    if (file != nullptr)
      std::fclose(file);
  }

  // The hard limit raised to is this process's own; then one equal to the soft limit,
  // where the server must make room by closing connections.
  std::vector<TLimitRun> runs;
  runs.push_back(RunWithHardLimit(own.rlim_max, settings));
  runs.push_back(RunWithHardLimit(kSoftLimit, settings));

  std::ostringstream out;
  out << "## Idle and slow connections\n\n"
      << "Server started with a soft limit of " << kSoftLimit
      << " open files. Half of each crowd sends nothing, half one byte a second. One client, "
      << "closed loop; each figure is the median of " << settings.Rounds << " rounds of "
      << settings.Seconds << " s per request kind, the kinds taking turns. Load average at start: "
      << load.substr(0, load.find(' ', load.find(' ') + 1)) << ".\n\n"
      << "| Hard limit | Ceiling | Idle connections | Held by the server | ReadCard p50 ms | "
         "ReadCard p99 ms | IssueCard p50 ms | IssueCard p99 ms | Answered | Failed |\n"
      << "|---:|---:|---|---:|---:|---:|---:|---:|---:|---:|\n";
  for (const TLimitRun& run : runs) {
    for (const TStage& stage : run.Stages) {
      out << "| " << run.Hard << " | " << run.MaxConnections << " | " << stage.Idle << " | "
          << stage.Held << " | " << Fixed(Median(stage.Read.P50), 3) << " | "
          << Fixed(Median(stage.Read.P99), 3) << " | " << Fixed(Median(stage.Issue.P50), 3) << " | "
          << Fixed(Median(stage.Issue.P99), 3) << " | "
          << stage.Read.Completed + stage.Issue.Completed << " | "
          << stage.Read.Failed + stage.Issue.Failed << " |\n";
    }
  }
  out << "\nDeactivation with " << kCrowds[std::size(kCrowds) - 1] << " connections open: ";
  for (std::size_t i = 0; i < runs.size(); ++i) {
    out << (i == 0 ? "" : "; ") << "hard limit " << runs[i].Hard << ", "
        << (runs[i].DeactivationMs < 0 ? std::string("\"Terminate Thread Timeout\"")
                                       : Fixed(runs[i].DeactivationMs, 0) + " ms");
  }
  out << ".\n";
  std::cout << out.str() << std::flush;
  return 0;
}
