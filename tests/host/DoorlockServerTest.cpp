#include "host/DoorlockServerUnit.h"

#include <gtest/gtest.h>

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
  ServerTest() {
    Doorlock = &driver;
    server.SetDefaultPort(0);
    server.Activate();
  }
  ~ServerTest() override { Doorlock = nullptr; }

  CoreGlobals globals;
  FakeDoorlock driver;
  TDoorlockServer server;
};

}  // namespace

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

TEST_F(ServerTest, AThreadStillRunningAfterFiveSecondsEndsDeactivationWithAnError) {
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
  for (int i = 0; i < 1000 && globals.LogTexts().back() != done; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(globals.LogTexts().back(), done);
}
