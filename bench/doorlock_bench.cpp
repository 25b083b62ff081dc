// Measures the request path of the door lock interface against a minimal server of
// the same protocol, and prints one Markdown report with PASS/FAIL per target.

#include <sys/resource.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/BaselineServer.h"
#include "bench/BenchEnvironment.h"
#include "bench/LoadGenerator.h"
#include "doorlock/DoorlockMessageHandlerUnit.h"
#include "doorlock/DoorlockMessageUnit.h"
#include "host/DoorlockServerUnit.h"
#include "host/LogFileUnit.h"
#include "host/OptionUnit.h"
#include "host/SysOptionUnit.h"
#include "platform/DateTime.h"
#include "platform/TextCodec.h"
#include "platform/XmlReader.h"
#include "records/DoorlockRecordManagerUnit.h"

namespace {

using namespace bench;
using Clock = std::chrono::steady_clock;

struct TSettings {
  int Rounds = 5;
  double Seconds = 2.0;
  int IdleConnections = 1000;
  int GrowthRooms = kHotelRooms;
  int GrowthRecords = 1000000;
  int ProfileCalls = 200;
};

const char* kUsage =
    "usage: doorlock_bench [--rounds N] [--seconds S] [--idle N] [--records N] [--calls N]\n"
    "  --rounds   rounds per figure, the median is reported (5)\n"
    "  --seconds  length of one load round (2)\n"
    "  --idle     idle connections for the memory figure (1000)\n"
    "  --records  T_IssueCardRecord rows for the growth figure (1000000)\n"
    "  --calls    calls per timed piece of the profile (200)\n";

TSettings ParseSettings(int argc, char** argv) {
  TSettings settings;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (i + 1 >= argc) {
      std::cerr << kUsage;
      std::exit(2);
    }
    const std::string value = argv[++i];
    if (name == "--rounds") {
      settings.Rounds = std::stoi(value);
    } else if (name == "--seconds") {
      settings.Seconds = std::stod(value);
    } else if (name == "--idle") {
      settings.IdleConnections = std::stoi(value);
    } else if (name == "--records") {
      settings.GrowthRecords = std::stoi(value);
    } else if (name == "--calls") {
      settings.ProfileCalls = std::stoi(value);
    } else {
      std::cerr << kUsage;
      std::exit(2);
    }
  }
  if (settings.Rounds < 1 || settings.Seconds <= 0 || settings.IdleConnections < 1 ||
      settings.ProfileCalls < 1) {
    std::cerr << kUsage;
    std::exit(2);
  }
  return settings;
}

// Both ends of every connection live in this process.
void RaiseFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
}

std::string FirstLineStartingWith(const std::string& path, const std::string& prefix) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(prefix, 0) == 0)
      return line;
  }
  return {};
}

std::string MachineLine() {
  std::string cpu = FirstLineStartingWith("/proc/cpuinfo", "model name");
  const std::size_t colon = cpu.find(':');
  cpu = colon == std::string::npos ? "unknown CPU" : cpu.substr(colon + 2);
  utsname name{};
  ::uname(&name);
  std::string load;
  std::getline(std::ifstream("/proc/loadavg"), load);
  std::ostringstream line;
  line << std::thread::hardware_concurrency() << " cores (" << cpu << "), Linux " << name.release
       << "; load average at start: " << load.substr(0, load.find(' ', load.find(' ') + 1));
  return line.str();
}

long StatusKiB(const char* key) {
  const std::string line = FirstLineStartingWith("/proc/self/status", key);
  return line.empty() ? -1 : std::atol(line.c_str() + std::strlen(key));
}

int ThreadCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
    ++count;
  return count;
}

bool WaitFor(const std::function<bool()>& condition) {
  const auto giveUp = Clock::now() + std::chrono::seconds(60);
  while (!condition()) {
    if (Clock::now() > giveUp)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// ---- Memory -------------------------------------------------------------------

struct TMemoryFigure {
  long BeforeKiB = 0, WithKiB = 0;
  int Connections = 0;
  double PerConnectionKiB() const {
    return Connections > 0 ? static_cast<double>(WithKiB - BeforeKiB) / Connections : 0;
  }
};

// Measured once, before any load: glibc keeps the stacks of ended threads for
// reuse, so a repeat would find them already resident and report too little.
TMemoryFigure MeasureIdleConnections(int port, int count) {
  TMemoryFigure figure;
  const int threadsBefore = ThreadCount();
  figure.BeforeKiB = StatusKiB("VmRSS:");
  {
    TIdleClients idle(port, count);
    if (!WaitFor([&] { return ThreadCount() >= threadsBefore + count; }))
      throw std::runtime_error("the server did not take every idle connection");
    figure.WithKiB = StatusKiB("VmRSS:");
    figure.Connections = count;
  }
  WaitFor([&] { return ThreadCount() <= threadsBefore; });
  return figure;
}

// ---- Profile of one "IssueCard" -----------------------------------------------

class TDiscardConnection : public TConnection {
 public:
  void Write(std::string_view) override {}
};

struct TPiece {
  TPiece() = default;
  TPiece(std::string name, double callsPerRequest, std::function<void()> call)
      : Name(std::move(name)), CallsPerRequest(callsPerRequest), Call(std::move(call)) {}

  std::string Name;
  double CallsPerRequest = 0;
  std::function<void()> Call;
  std::vector<double> MicrosPerCall;
};

double MicrosOf(const std::function<void()>& call) {
  const auto begin = Clock::now();
  call();
  const std::chrono::duration<double, std::micro> took = Clock::now() - begin;
  return took.count();
}

std::string FileTail(const std::string& path, std::uintmax_t from) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(from));
  std::ostringstream rest;
  rest << in.rdbuf();
  return rest.str();
}

// Log lines written by one whole request: the request's own text follows the first
// line's stamp on lines of its own, so only stamped lines count.
int StampedLines(const std::string& text) {
  static const std::regex stamp(R"((^|\r\n)\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} )");
  return static_cast<int>(
      std::distance(std::sregex_iterator(text.begin(), text.end(), stamp), std::sregex_iterator()));
}

struct TProfile {
  TPiece Whole;
  std::vector<TPiece> Pieces;  // the parts of Whole, in the order it runs them
  TPiece CopyLookup;           // what a copy does in place of the room update
  const TPiece& Piece(const std::string& name) const {
    for (const TPiece& piece : Pieces) {
      if (piece.Name == name)
        return piece;
    }
    throw std::logic_error("no piece " + name);
  }
};

const std::string kSavePiece = "Option.ini save (fsync + rename)";

// The pieces and the whole request take turns call by call, so that a slow spell
// of the shared disk falls on all of them alike.
TProfile ProfileIssueCard(int calls) {
  const std::string framed = IssueCardRequest(0, false);
  const std::string bytes = framed.substr(0, framed.size() - 1);
  const std::string text = DecodeRequest(bytes);
  TDoorlockRecordManager& store = *DoorlockRecordManager;
  const std::string roomCode = RoomOf(0).Code();
  const std::string guest = plat::Utf8ToGbk("张伟");
  const TResponse response{"", "200", plat::Utf8ToGbk("发卡成功"), 1234567};
  auto connection = std::make_shared<TDiscardConnection>();

  TProfile profile;
  profile.Whole = {"whole request, decoding included", 1, [bytes, connection] {
                     TDoorlockMessageHandler handler;
                     handler.HandleMessage(*connection, DecodeRequest(bytes));
                   }};
  profile.Whole.Call();  // adds the room, so that every timed call finds it
  const std::uintmax_t logBefore = std::filesystem::file_size(LogFile->FileName);
  profile.Whole.Call();
  const int logLines = StampedLines(FileTail(LogFile->FileName, logBefore));

  profile.Pieces = {
      {"UTF-8 decoding to GBK", 1,
       [bytes] {
         volatile std::size_t size = DecodeRequest(bytes).size();
         (void)size;
       }},
      {"XML parse, fields and dates", 1,
       [text] {
         plat::TXmlDocument document;
         document.Parse(text);
         const plat::TXmlElement root = document.Root();
         volatile bool issue = RequestType(root.Attribute("type")) == "IssueCard";
         namespace F = IssueCardField;
         std::string fields;
         for (std::size_t i = F::RegisterId; i <= F::GuestName; ++i)
           fields += root.Child(i).Text();
         volatile double in =
             RequestDateTime(root.Child(F::CheckInDate).Text(), root.Child(F::CheckInTime).Text());
         volatile double out = RequestDateTime(root.Child(F::CheckOutDate).Text(),
                                               root.Child(F::CheckOutTime).Text());
         volatile bool copy = RequestBoolean(root.Child(F::IsCopy).Text());
         (void)issue, (void)in, (void)out, (void)copy;
       }},
      {"log line (open, append, close)", static_cast<double>(logLines),
       [] { WriteLog("Card written: 1234567"); }},
      {kSavePiece, 1, [] { Option->Save(); }},
      {"T_Room update", 1,
       [&store, roomCode] { store.UpdateLastCheckInTime(roomCode, plat::Now()); }},
      {"T_IssueCardRecord insert", 1,
       [&store, roomCode, guest] {
         const plat::TDateTime now = plat::Now();
         store.AddIssueCardRecord("R100000", "1234567", roomCode, 1, now, now, now + 1, false,
                                  guest, now);
       }},
      {"response framing", 1,
       [response] {
         volatile std::size_t size = FrameResponse(response).size();
         (void)size;
       }},
  };
  profile.CopyLookup = {"T_Room lookup", 0, [&store, roomCode] {
                          volatile double time = store.GetLastCheckInTime(roomCode);
                          (void)time;
                        }};

  std::vector<TPiece*> all{&profile.Whole, &profile.CopyLookup};
  for (TPiece& piece : profile.Pieces)
    all.push_back(&piece);
  for (TPiece* piece : all) {
    piece->Call();  // first call outside: caches, lazily built tables
    piece->MicrosPerCall.reserve(static_cast<std::size_t>(calls));
  }
  for (int i = 0; i < calls; ++i) {
    for (TPiece* piece : all)
      piece->MicrosPerCall.push_back(MicrosOf(piece->Call));
  }
  return profile;
}

// ---- Load ---------------------------------------------------------------------

struct TScenario {
  std::string Name;
  int Port;
  std::vector<std::string> Requests;
  std::string Expect;
};

struct TFigure {
  std::vector<double> Rps, P50, P99;
  std::size_t Failed = 0;
  void Add(const TRoundResult& round) {
    Rps.push_back(round.RequestsPerSecond());
    P50.push_back(Percentile(round.LatenciesMs, 0.50));
    P99.push_back(Percentile(round.LatenciesMs, 0.99));
    Failed += round.Failed;
  }
};

const std::string kOkCode = "<ResultCode>200</ResultCode>";
// Rooms the growth rounds issue cards for.
constexpr int kGrowthRooms = 64;

}  // namespace

int main(int argc, char** argv) {
  const TSettings settings = ParseSettings(argc, argv);
  RaiseFileLimit();
  const std::string machine = MachineLine();
  std::cerr << "setting up...\n";

  TBenchEnvironment environment;
  TDoorlockServer server;
  server.SetDefaultPort(SysOption->DoorlockPortNo);
  server.Activate();
  TResponse fixed{"", "200", plat::Utf8ToGbk("读卡成功"), 1234567};
  TBaselineServer baseline(FrameResponse(fixed));

  std::cerr << "memory with " << settings.IdleConnections << " idle connections...\n";
  const TMemoryFigure memory = MeasureIdleConnections(server.BoundPort(), settings.IdleConnections);

  std::cerr << "profile of one IssueCard...\n";
  const TProfile profile = ProfileIssueCard(settings.ProfileCalls);

  const std::vector<TScenario> scenarios = {
      {"Baseline server", baseline.Port(), {ReadCardRequest()}, kOkCode},
      {"ReadCard", server.BoundPort(), {ReadCardRequest()}, kOkCode},
      {"IssueCard", server.BoundPort(), IssueCardRequests(kHotelRooms, 37), kOkCode},
  };
  const int concurrencies[] = {1, 8, 64};
  std::map<std::pair<int, int>, TFigure> figures;  // (scenario, clients)
  for (const int clients : concurrencies) {
    std::cerr << "load at " << clients << " clients...\n";
    for (const TScenario& scenario : scenarios)  // warm-up, not counted
      RunRound(scenario.Port, scenario.Requests, clients, 0.2, scenario.Expect);
    // Rounds interleave the paths, so a neighbour's build slows them alike.
    for (int round = 0; round < settings.Rounds; ++round) {
      for (std::size_t s = 0; s < scenarios.size(); ++s) {
        const TScenario& scenario = scenarios[s];
        figures[{static_cast<int>(s), clients}].Add(
            RunRound(scenario.Port, scenario.Requests, clients, settings.Seconds, scenario.Expect));
      }
    }
  }

  std::cerr << "growth: filling " << settings.GrowthRooms << " rooms and " << settings.GrowthRecords
            << " records...\n";
  const std::string emptyPath = environment.File("Empty.mdb");
  const std::string fullPath = environment.File("Full.mdb");
  CreateDatabase(emptyPath);
  CreateDatabase(fullPath);
  const auto fillBegin = Clock::now();
  FillDatabase(fullPath, settings.GrowthRooms, settings.GrowthRecords);
  const std::chrono::duration<double> fillTook = Clock::now() - fillBegin;
  const auto emptyStore = OpenStore(emptyPath);
  const auto fullStore = OpenStore(fullPath);
  TDoorlockRecordManager* const ownStore = DoorlockRecordManager;
  // The same rooms against both, spread over the hotel; once each first, so that
  // the empty database holds them too and both take the same steps.
  const std::vector<std::string> growthRequests = IssueCardRequests(kGrowthRooms, 157);
  TFigure emptyFigure, fullFigure;
  std::cerr << "growth rounds...\n";
  for (TDoorlockRecordManager* store : {emptyStore.get(), fullStore.get()}) {
    DoorlockRecordManager = store;
    if (SendEach(server.BoundPort(), growthRequests, kOkCode) != growthRequests.size())
      throw std::runtime_error("growth warm-up: a request was not answered");
  }
  for (int round = 0; round < settings.Rounds; ++round) {
    DoorlockRecordManager = emptyStore.get();
    emptyFigure.Add(RunRound(server.BoundPort(), growthRequests, 1, settings.Seconds, kOkCode));
    DoorlockRecordManager = fullStore.get();
    fullFigure.Add(RunRound(server.BoundPort(), growthRequests, 1, settings.Seconds, kOkCode));
  }
  DoorlockRecordManager = ownStore;

  // ---- Report -----------------------------------------------------------------
  std::ostringstream out;
  out << "## Door lock interface benchmark\n\n"
      << "Machine: " << machine << ".\n"
      << "Each figure is the median of " << settings.Rounds << " rounds of " << settings.Seconds
      << " s; the paths' rounds are interleaved, the baseline measured in the same run.\n\n";

  out << "### Request path\n\n"
      << "| Path | Clients | Requests/s | p50 ms | p99 ms | vs baseline | Failed |\n"
      << "|---|---:|---:|---:|---:|---:|---:|\n";
  for (const int clients : concurrencies) {
    const double baseRps = Median(figures[{0, clients}].Rps);
    for (std::size_t s = 0; s < scenarios.size(); ++s) {
      const TFigure& figure = figures[{static_cast<int>(s), clients}];
      const double rps = Median(figure.Rps);
      out << "| " << scenarios[s].Name << " | " << clients << " | " << Fixed(rps, 0) << " | "
          << Fixed(Median(figure.P50), 3) << " | " << Fixed(Median(figure.P99), 3) << " | "
          << Fixed(baseRps > 0 ? rps / baseRps : 0, 2) << " | " << figure.Failed << " |\n";
    }
  }

  const double emptyRps = Median(emptyFigure.Rps);
  const double fullRps = Median(fullFigure.Rps);
  const double growth = fullRps > 0 ? emptyRps / fullRps : 0;
  out << "\n### Growth of the database (IssueCard, 1 client)\n\n"
      << "| Client.mdb | Requests/s | p50 ms | p99 ms | Failed |\n"
      << "|---|---:|---:|---:|---:|\n"
      << "| empty but for the " << kGrowthRooms << " rooms issued | " << Fixed(emptyRps, 0) << " | "
      << Fixed(Median(emptyFigure.P50), 3) << " | " << Fixed(Median(emptyFigure.P99), 3) << " | "
      << emptyFigure.Failed << " |\n"
      << "| " << settings.GrowthRooms << " rooms, " << settings.GrowthRecords << " records | "
      << Fixed(fullRps, 0) << " | " << Fixed(Median(fullFigure.P50), 3) << " | "
      << Fixed(Median(fullFigure.P99), 3) << " | " << fullFigure.Failed << " |\n\n"
      << "Growth ratio (empty throughput / full throughput): " << Fixed(growth, 3)
      << ". Filling took " << Fixed(fillTook.count(), 1) << " s (one transaction, not timed).\n";

  out << "\n### Memory\n\n"
      << "| Idle connections | VmRSS before KiB | VmRSS with them KiB | KiB per connection |\n"
      << "|---:|---:|---:|---:|\n"
      << "| " << memory.Connections << " | " << memory.BeforeKiB << " | " << memory.WithKiB << " | "
      << Fixed(memory.PerConnectionKiB(), 1) << " |\n\n"
      << "Measured once, before any load.\n";

  const double wholeMicros = Median(profile.Whole.MicrosPerCall);
  out << "\n### Profile of one IssueCard (new card, in process, no network)\n\n"
      << "The whole request and each piece alone, taking turns, " << settings.ProfileCalls
      << " calls each.\n\n"
      << "| Piece | Calls per request | µs per call (p50) | µs per call (p99) | µs per request "
         "| Share |\n"
      << "|---|---:|---:|---:|---:|---:|\n";
  double summed = 0;
  for (const TPiece& piece : profile.Pieces) {
    const double perCall = Median(piece.MicrosPerCall);
    const double perRequest = perCall * piece.CallsPerRequest;
    summed += perRequest;
    out << "| " << piece.Name << " | " << Fixed(piece.CallsPerRequest, 0) << " | "
        << Fixed(perCall, 1) << " | " << Fixed(Percentile(piece.MicrosPerCall, 0.99), 1) << " | "
        << Fixed(perRequest, 1) << " | " << Fixed(100 * perRequest / wholeMicros, 1) << " % |\n";
  }
  out << "| the rest (whole less the pieces) | | | | " << Fixed(wholeMicros - summed, 1) << " | "
      << Fixed(100 * (wholeMicros - summed) / wholeMicros, 1) << " % |\n"
      << "| **" << profile.Whole.Name << "** | 1 | " << Fixed(wholeMicros, 1) << " | "
      << Fixed(Percentile(profile.Whole.MicrosPerCall, 0.99), 1) << " | " << Fixed(wholeMicros, 1)
      << " | 100 % |\n\n"
      << "A copy looks its room up instead of updating it (T_Room lookup, p50 "
      << Fixed(Median(profile.CopyLookup.MicrosPerCall), 1) << " µs).\n";

  const TPiece& save = profile.Piece(kSavePiece);
  out << "\n### Durable card counter save\n\n"
      << "| Operation | µs per call (p50) | µs per call (p99) |\n"
      << "|---|---:|---:|\n"
      << "| " << save.Name << " | " << Fixed(Median(save.MicrosPerCall), 1) << " | "
      << Fixed(Percentile(save.MicrosPerCall, 0.99), 1) << " |\n";

  const double readRatio = Median(figures[{1, 8}].Rps) / std::max(1.0, Median(figures[{0, 8}].Rps));
  const auto verdict = [](bool pass) { return pass ? "PASS" : "FAIL"; };
  out << "\n### Targets\n\n"
      << "- " << verdict(readRatio >= 0.5)
      << ": ReadCard at 8 clients, throughput vs baseline >= 0.50: " << Fixed(readRatio, 2) << "\n"
      << "- " << verdict(growth > 0 && growth <= 1.2)
      << ": growth ratio <= 1.20: " << Fixed(growth, 3) << "\n"
      << "- " << verdict(memory.PerConnectionKiB() <= 64)
      << ": resident memory per idle connection <= 64 KiB: " << Fixed(memory.PerConnectionKiB(), 1)
      << " KiB\n";
  std::cout << out.str() << std::flush;
  return 0;
}
