#include "host/DoorlockServerUnit.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <future>
#include <thread>

#include "encoders/BaseDoorlockUnit.h"
#include "tests/support/CoreGlobals.h"
#include "tests/support/FakeDoorlock.h"
#include "tests/support/TestClient.h"

using namespace testing_support;

namespace {

const std::string kRead = std::string("<r type=\"ReadCard\"/>") + '\0';

class ServerTest : public ::testing::Test {
 protected:
  explicit ServerTest(int maxConnections = 0) {
    globals.Objects().LendDriver(&driver);
    server.SetDefaultPort(0);
    server.SetMaxConnections(maxConnections);
    server.Activate();
  }
  CoreGlobals globals;
  FakeDoorlock driver;
  TDoorlockServer server;
};

// A server that holds few connections, so that a handful of clients fill it.
template <int kMax>
class FullServerTest : public ServerTest {
 protected:
  FullServerTest() : ServerTest(kMax) {}
};
using ServerOfThreeTest = FullServerTest<3>;
using ServerOfTwoTest = FullServerTest<2>;

// Blocks the fake encoder's ReadCard until released, and tells when a request got there.
class BlockedRead {
 public:
  explicit BlockedRead(FakeDoorlock& driver) : released_(release_.get_future().share()) {
    std::lock_guard sync(DoorlockMutex());  // orders this before a connection thread's read
    driver.onRead = [this] {
      if (!entered_.exchange(true))
        enteredPromise_.set_value();
      released_.wait();
    };
  }
  ~BlockedRead() { Release(); }
  void WaitUntilEntered() { enteredPromise_.get_future().wait(); }
  void Release() {
    if (!done_)
      release_.set_value();
    done_ = true;
  }

 private:
  std::atomic<bool> entered_{false};
  std::promise<void> enteredPromise_;
  std::promise<void> release_;
  std::shared_future<void> released_;
  bool done_ = false;
};

}  // namespace

TEST(ServerLimitsTest, ActivationRaisesTheOpenFileLimitAndLeavesAReserveBesideConnections) {
  rlimit before{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
  if (before.rlim_max < 2048)
    GTEST_SKIP() << "the hard limit of open files is " << before.rlim_max << ", too low to tell";
  rlimit lowered = before;
  lowered.rlim_cur = 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);

  CoreGlobals globals;
  TDoorlockServer server;
  server.SetDefaultPort(0);
  EXPECT_EQ(server.MaxConnections(), 0);
  server.Activate();
  rlimit after{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &after), 0);
  const rlim_t hard = before.rlim_max;
  EXPECT_EQ(after.rlim_cur, hard);
  // Beside what is open now, a reserve for the program's own files.
  EXPECT_GT(server.MaxConnections(), static_cast<int>(hard) - 200);
  EXPECT_LE(server.MaxConnections(), static_cast<int>(hard) - 64 - 4);
  server.Deactivate();
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &before), 0);
}

TEST_F(ServerTest, TwoClientsAreServedWhileAThirdHoldsAnIdleConnection) {
  TestClient idle(server.BoundPort());
  ASSERT_TRUE(idle.Connected());
  TestClient slow(server.BoundPort());
  ASSERT_TRUE(slow.Send("<r type=\"Read"));  // its thread waits for the rest
  // Another client is answered meanwhile: each connection has a thread of its own.
  EXPECT_EQ(Exchange(server.BoundPort(), kRead), FramedResponse("200", "读卡成功", 4711));
  ASSERT_TRUE(slow.Send("Card\"/>" + std::string(1, '\0')));
  EXPECT_EQ(slow.ReadAll(), FramedResponse("200", "读卡成功", 4711));

  // Deactivation shuts the idle connection down and does not wait for it.
  EXPECT_NO_THROW(server.Deactivate());
  EXPECT_FALSE(server.Active());
  EXPECT_TRUE(idle.ServerClosed());
}

TEST_F(ServerTest, StopsListeningAndCanStartAgainOnTheSamePortAtOnce) {
  const int port = server.BoundPort();
  ASSERT_EQ(Exchange(port, kRead), FramedResponse("200", "读卡成功", 4711));
  server.Deactivate();
  EXPECT_FALSE(TestClient(port).Connected());

  // The served connection may sit in TIME_WAIT; address reuse lets the port bind.
  TDoorlockServer again;
  again.SetDefaultPort(port);
  EXPECT_NO_THROW(again.Activate());
  EXPECT_EQ(again.BoundPort(), port);
  EXPECT_EQ(Exchange(port, kRead), FramedResponse("200", "读卡成功", 4711));
}

TEST_F(ServerTest, APortInUseIsRefusedWithAMessageNamingIt) {
  TDoorlockServer second;
  second.SetDefaultPort(server.BoundPort());
  try {
    second.Activate();
    FAIL() << "a second server bound the same port";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("port " + std::to_string(server.BoundPort())),
              std::string::npos)
        << e.what();
  }
  EXPECT_FALSE(second.Active());
}

TEST_F(ServerTest, ManyConnectionsAtOnceAreAllAnswered) {
  constexpr int kClients = 32;
  std::vector<std::future<std::string>> answers;
  for (int i = 0; i < kClients; ++i) {
    answers.push_back(std::async(std::launch::async,
                                 [port = server.BoundPort()] { return Exchange(port, kRead); }));
  }
  for (auto& answer : answers)
    EXPECT_EQ(answer.get(), FramedResponse("200", "读卡成功", 4711));
}

TEST_F(ServerTest, TwoHundredIdleConnectionsNeitherBlockServiceNorDeactivation) {
  std::vector<std::unique_ptr<TestClient>> idle;
  for (int i = 0; i < 200; ++i) {
    idle.push_back(std::make_unique<TestClient>(server.BoundPort()));
    ASSERT_TRUE(idle.back()->Connected());
  }
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(Exchange(server.BoundPort(), kRead), FramedResponse("200", "读卡成功", 4711));
  }
  // Within its wait, or it would raise "Terminate Thread Timeout".
  EXPECT_NO_THROW(server.Deactivate());
  for (auto& client : idle)
    EXPECT_TRUE(client->ServerClosed());
}

TEST_F(ServerTest, AThreadStillRunningAfterTheWaitEndsDeactivationWithAnError) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::promise<void> entered;
  {
    std::lock_guard sync(DoorlockMutex());  // orders this before the connection thread's read
    driver.onRead = [&] {
      entered.set_value();
      released.wait();
    };
  }
  TestClient client(server.BoundPort());
  ASSERT_TRUE(client.Send(kRead));
  entered.get_future().wait();  // the request is inside the driver now

  server.SetDeactivationWait(std::chrono::milliseconds(200));
  try {
    server.Deactivate();
    ADD_FAILURE() << "deactivation did not report the running thread";
  } catch (const ETerminateThreadTimeout& e) {
    EXPECT_STREQ(e.what(), "Terminate Thread Timeout");
  }
  EXPECT_FALSE(server.Active());
  release.set_value();
  // The thread finishes on its own; wait for its last log line before the fixture goes.
  const std::string done = Gbk("完成一次操作");
  const auto lastLine = [&] {
    const std::vector<std::string> texts = globals.LogTexts();
    return texts.empty() ? std::string() : texts.back();
  };
  for (int i = 0; i < 1000 && (lastLine() != done || ConnectionThreadsRunning() > 0); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(lastLine(), done);
  EXPECT_EQ(ConnectionThreadsRunning(), 0);
}

TEST_F(ServerOfThreeTest, ANewClientAtTheCeilingClosesTheConnectionThatWaitedLongest) {
  const int port = server.BoundPort();
  TestClient first(port);  // sends nothing
  TestClient second(port);
  ASSERT_TRUE(second.Send("<r type=\"Read"));  // slow: half a request
  TestClient third(port);
  ASSERT_TRUE(first.Connected() && third.Connected());

  // Full: each newcomer takes the place of the one that has waited longest.
  TestClient fourth(port);
  ASSERT_TRUE(fourth.Connected());
  EXPECT_TRUE(first.ServerClosed());
  TestClient fifth(port);
  ASSERT_TRUE(fifth.Connected());
  EXPECT_TRUE(second.ServerClosed());  // half a request is not a request

  // Those that were spared are served as ever, the newcomers included.
  ASSERT_TRUE(third.Send(kRead));
  EXPECT_EQ(third.ReadAll(), FramedResponse("200", "读卡成功", 4711));
  ASSERT_TRUE(fourth.Send(kRead));
  EXPECT_EQ(fourth.ReadAll(), FramedResponse("200", "读卡成功", 4711));
  // A full server still deactivates at once, closing what is left.
  EXPECT_NO_THROW(server.Deactivate());
  EXPECT_TRUE(fifth.ServerClosed());
}

TEST_F(ServerOfTwoTest, AConnectionWhoseRequestIsWholeIsNeverClosedToMakeRoom) {
  const int port = server.BoundPort();
  BlockedRead blocked(driver);
  TestClient inEncoder(port);  // the oldest, but its request is being carried out
  ASSERT_TRUE(inEncoder.Send(kRead));
  blocked.WaitUntilEntered();
  TestClient idle(port);
  ASSERT_TRUE(idle.Connected());

  auto fresh = std::async(std::launch::async, [port] { return Exchange(port, kRead); });
  EXPECT_TRUE(idle.ServerClosed());  // the one waiting for its request made room
  blocked.Release();
  EXPECT_EQ(inEncoder.ReadAll(), FramedResponse("200", "读卡成功", 4711));
  EXPECT_EQ(fresh.get(), FramedResponse("200", "读卡成功", 4711));
}

namespace {

// Entries of a /proc directory: the process's open descriptors or its threads.
int Entries(const char* path) {
  DIR* const dir = ::opendir(path);
  int count = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] != '.')
      ++count;
  }
  ::closedir(dir);
  return count;
}
int OpenDescriptors() {
  return Entries("/proc/self/fd") - 1;  // the directory's own
}
int Threads() {
  return Entries("/proc/self/task");
}

// In a child process of its own: the process runs out of descriptors below the
// server's ceiling, as when files are opened beyond the reserve or the system's
// table is full. The exit status is the number of faults found.
[[noreturn]] void RunOutOfDescriptorsWithIdleClients() {
  constexpr int kIdle = 10;
  CoreGlobals globals;
  FakeDoorlock driver;
  globals.Objects().LendDriver(&driver);
  TDoorlockServer server;
  server.SetDefaultPort(0);
  server.SetMaxConnections(1000);  // the ceiling is not what stops it here
  server.Activate();
  const int port = server.BoundPort();
  const int threads = Threads();
  // Loads what the first request needs once (the text converters' modules).
  if (Exchange(port, kRead) != FramedResponse("200", "读卡成功", 4711))
    std::_Exit(100);
  const auto waitForThreads = [threads](int connections) {
    for (int i = 0; i < 1000 && Threads() != threads + connections; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  };
  waitForThreads(0);  // the first connection's thread has ended
  std::vector<std::unique_ptr<TestClient>> idle;
  for (int i = 0; i < kIdle; ++i)
    idle.push_back(std::make_unique<TestClient>(port));
  waitForThreads(kIdle);  // each idle connection has its own

  // Every descriptor taken but one, for the next client's own socket.
  rlimit limit{};
  ::getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = std::min<rlim_t>(OpenDescriptors() + 16, limit.rlim_max);
  ::setrlimit(RLIMIT_NOFILE, &limit);
  std::vector<int> filler;
  for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
    filler.push_back(fd);
  ::close(filler.back());

  int faults = 0;
  // The server takes the connection, closing the oldest idle one for it.
  if (Exchange(port, kRead) != FramedResponse("200", "读卡成功", 4711)) {
    std::fputs("the new client got no answer\n", stderr);
    ++faults;
  }
  if (!idle.front()->ServerClosed()) {
    std::fputs("the oldest idle connection is still open\n", stderr);
    ++faults;
  }
  std::_Exit(faults);
}

}  // namespace

TEST(ServerLimitsTest, AnAcceptWithoutADescriptorClosesTheConnectionThatWaitedLongest) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "ThreadSanitizer's runtime opens files of its own now and then, so the "
                  "process's last free descriptor cannot be told apart from its";
#endif
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(RunOutOfDescriptorsWithIdleClients(), ::testing::ExitedWithCode(0), "");
}
