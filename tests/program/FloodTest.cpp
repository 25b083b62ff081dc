// A crowd of connections that never deliver a request, against the built program
// started with the usual limit of 1024 open files.
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <regex>
#include <thread>
#include <vector>

#include "platform/IniFile.h"
#include "tests/program/Installation.h"
#include "tests/support/TestClient.h"

using namespace testing_support;

namespace {

constexpr int kFirstCrowd = 1100;
constexpr int kSecondCrowd = 5000;
// The test's own descriptors beside the crowd's.
constexpr rlim_t kClientFiles = kSecondCrowd + 512;

// How many connections wait in the accept queue of the socket listening on `port`,
// or -1 when the kernel does not tell.
int AcceptQueueLength(int port) {
  const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
  if (fd < 0)
    return -1;
  struct {
    nlmsghdr header;
    inet_diag_req_v2 request;
  } query{};
  query.header.nlmsg_len = sizeof query;
  query.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  query.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  query.request.sdiag_family = AF_INET;
  query.request.sdiag_protocol = IPPROTO_TCP;
  query.request.idiag_states = 1U << TCP_LISTEN;
  int length = -1;
  if (::send(fd, &query, sizeof query, 0) == static_cast<ssize_t>(sizeof query)) {
    alignas(nlmsghdr) char buffer[8192];
    bool done = false;
    while (!done) {
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0)
        break;
      int left = static_cast<int>(n);
      for (auto* message = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(message, left);
           message = NLMSG_NEXT(message, left)) {
        if (message->nlmsg_type == NLMSG_DONE || message->nlmsg_type == NLMSG_ERROR) {
          done = true;
          break;
        }
        const auto* socket = static_cast<const inet_diag_msg*>(NLMSG_DATA(message));
        if (ntohs(socket->id.idiag_sport) == port)
          length = static_cast<int>(socket->idiag_rqueue);
      }
    }
  }
  ::close(fd);
  return length;
}

// Connections to 127.0.0.1:port that never finish a request: every other one sends
// nothing, the others one byte a second. All are closed at the end.
class IdleCrowd {
 public:
  explicit IdleCrowd(int port) : port_(port), sender_([this] { SendSlowly(); }) {}
  ~IdleCrowd() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    sender_.join();
    for (const int fd : fds_)
      ::close(fd);
  }
  IdleCrowd(const IdleCrowd&) = delete;
  IdleCrowd& operator=(const IdleCrowd&) = delete;

  // Connects until the crowd counts `count`; false when some connection failed.
  // A connection attempt that finds the short listen backlog full is dropped and
  // tried again only a second later, so each waits for room in it.
  bool GrowTo(int count) {
    while (Size() < count) {
      if (!WaitForRoomInBacklog())
        return false;
      const int fd = Connect();
      if (fd < 0)
        return false;
      std::lock_guard lock(mutex_);
      fds_.push_back(fd);
    }
    return true;
  }

  // Returns once every slow connection has sent another byte.
  void WaitForSlowRound() {
    std::unique_lock lock(mutex_);
    const int round = rounds_;
    wake_.wait(lock, [&] { return rounds_ >= round + 2; });  // the next one whole
  }

  // How many of the connections the server has ended.
  int ClosedByServer() {
    std::vector<pollfd> polls;
    {
      std::lock_guard lock(mutex_);
      for (const int fd : fds_)
        polls.push_back({fd, POLLRDHUP, 0});
    }
    ::poll(polls.data(), polls.size(), 0);
    return static_cast<int>(std::count_if(polls.begin(), polls.end(), [](const pollfd& p) {
      return (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
    }));
  }

 private:
  int Size() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(fds_.size());
  }

  // False when the server stops taking connections (a generous deadline).
  bool WaitForRoomInBacklog() const {
    for (int i = 0; i < 50000; ++i) {
      if (AcceptQueueLength(port_) < 8)
        return true;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
  }

  int Connect() const {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
      return -1;
    timeval guard{10, 0};  // connect gives up after this
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &guard, sizeof guard);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port_));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ::close(fd);
      return -1;
    }
    return fd;
  }

  void SendSlowly() {
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stop_; })) {
      for (std::size_t i = 1; i < fds_.size(); i += 2)
        ::send(fds_[i], "<", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
      ++rounds_;
      wake_.notify_all();
    }
  }

  const int port_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<int> fds_;
  bool stop_ = false;
  int rounds_ = 0;  // of the slow connections' sending
  std::thread sender_;
};

// The card number of a "200" answer with the given message, or -1.
long long AnsweredCardNo(const std::string& response, const std::string& messageUtf8) {
  const std::regex answered(
      "<DoorResponse><RequestID></RequestID><ResultCode>200</ResultCode><ResultMessage>" +
      messageUtf8 + "</ResultMessage><CardNo>(-?\\d+)</CardNo></DoorResponse>\\x00");
  std::smatch m;
  return std::regex_match(response, m, answered) ? std::stoll(m[1]) : -1;
}

struct Limit {
  const char* name;
  bool hardAsSoft;  // else the hard limit is the test's own, well above the crowd
};
void PrintTo(const Limit& limit, std::ostream* out) {
  *out << limit.name;
}

class FloodTest : public ::testing::TestWithParam<Limit> {
 protected:
  void SetUp() override {
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved_), 0);
    if (saved_.rlim_max < kClientFiles) {
      GTEST_SKIP() << "the hard limit of open files is " << saved_.rlim_max << "; holding "
                   << kSecondCrowd << " connections takes at least " << kClientFiles;
    }
    rlimit raised = saved_;
    raised.rlim_cur = saved_.rlim_max;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &raised), 0);
  }
  void TearDown() override { ::setrlimit(RLIMIT_NOFILE, &saved_); }

  // One "IssueCard" and one "ReadCard" of the card it made, from a fresh client;
  // both must be answered, the issue with the next card number.
  void ExpectServed(const std::string& stage) {
    const std::string issue = IssueCardRequest("01", "02", "0301", "G", "2024-05-01", "14:00:00",
                                               "2030-05-03", "12:00:00", "0") +
                              '\0';
    const std::string issueAnswer = Exchange(port, issue);
    const long long issued = AnsweredCardNo(issueAnswer, "发卡成功");
    EXPECT_EQ(issued, lastAnswered + 1) << stage << ": " << issueAnswer;
    lastAnswered = std::max(lastAnswered, issued);
    const std::string read = std::string("<DoorRequest type=\"ReadCard\"/>") + '\0';
    const std::string readAnswer = Exchange(port, read);
    EXPECT_EQ(AnsweredCardNo(readAnswer, "读卡成功"), lastAnswered) << stage << ": " << readAnswer;
  }

  Installation install;
  int port = FreePort();
  long long lastAnswered = 100;  // the card number last answered
  rlimit saved_{};
};

}  // namespace

TEST_P(FloodTest, IdleAndSlowConnectionsLockNobodyOutAndUseUpNoCardNumber) {
  WriteFile(install.File("Option.ini"),
            "[DoorlockOption]\nDoorlockType=IC\nCurrentCardNo=100\nUseNativeDoorlockDb=1\n"
            "SaveDoorlockRecord=1\n[SysOption]\nDoorlockPortNo=" +
                std::to_string(port) + "\n");
  const rlimit files{1024, GetParam().hardAsSoft ? 1024 : saved_.rlim_max};
  install.LimitFiles(files);
  ASSERT_TRUE(install.Start(port)) << install.ProgramStderr();
  {
    IdleCrowd crowd(port);
    ExpectServed("alone");
    ASSERT_TRUE(crowd.GrowTo(kFirstCrowd)) << "the program stopped taking connections";
    crowd.WaitForSlowRound();
    ExpectServed("beside 1100 idle connections");
    ASSERT_TRUE(crowd.GrowTo(kSecondCrowd)) << "the program stopped taking connections";
    crowd.WaitForSlowRound();
    ExpectServed("beside 5000 idle connections");
    ExpectServed("again");
    if (GetParam().hardAsSoft) {
      // Room was made by ending the connections that waited longest.
      EXPECT_GE(crowd.ClosedByServer(), kSecondCrowd - 1024);
    } else {
      // With room enough, nobody's connection is cut short.
      EXPECT_EQ(crowd.ClosedByServer(), 0);
    }
    // The stop signal ends the program with the crowd still connected.
    EXPECT_EQ(install.Stop(), 0);
  }
  EXPECT_EQ(install.ProgramStderr().find("Terminate Thread Timeout"), std::string::npos)
      << install.ProgramStderr();
  // Every card number used up was answered.
  EXPECT_EQ(
      plat::TIniFile(install.File("Option.ini")).ReadInteger("DoorlockOption", "CurrentCardNo", -1),
      lastAnswered);
}

INSTANTIATE_TEST_SUITE_P(Limits, FloodTest,
                         ::testing::Values(Limit{"HardLimitAbove", false},
                                           Limit{"HardLimitAlso1024", true}),
                         [](const auto& limit) { return std::string(limit.param.name); });
