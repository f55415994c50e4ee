// The port component on the Linux device layer, over real pseudo-terminal pairs. The test
// thread is the user-interface thread: it serves hand-overs explicitly (PumpUntil).
#include <time.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "../support/port_fixture.h"
#include "pty_fixture.h"

namespace {

using namespace platform;
using talvik_test::PtyPortTest;
using talvik_test::PumpUntil;
using talvik_test::RaisedMessage;

double CpuSeconds(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// CPU time of every thread of the process but the calling one.
double OtherThreadsCpu() { return CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - CpuSeconds(CLOCK_THREAD_CPUTIME_ID); }

class ComponentOnPtyTest : public PtyPortTest {
 protected:
  void SetUp() override {
    PtyPortTest::SetUp();
    SetMainThread();
    port.SetPort("TestPort");
  }
  void TearDown() override {
    port.Close();
    SetExceptionReport(nullptr);
  }
  TBComPort port{services};
};

TEST_F(ComponentOnPtyTest, OpeningAPortThatIsInUseOrMissingFailsWithItsMessage) {
  port.Open();
  ASSERT_TRUE(port.Connected());
  TBComPort second(services);
  second.SetPort("TestPort");
  EXPECT_EQ(RaisedMessage([&] { second.Open(); }), "Порт занят другой программой");
  EXPECT_FALSE(second.Connected());

  TBComPort missing(services);
  missing.SetPort("COM7");
  EXPECT_EQ(RaisedMessage([&] { missing.Open(); }), "Попытка открыть несуществующий COM-порт");
  EXPECT_FALSE(missing.Connected());

  // Closed, the port can be taken by the other object.
  port.Close();
  second.Open();
  EXPECT_TRUE(second.Connected());
}

TEST_F(ComponentOnPtyTest, ReadTextDeliversEveryByteValueInOrder) {
  std::string received;
  int batches = 0;
  port.OnRxChar = [&](TBComPort* sender, int count) {
    std::string chunk;
    const int n = sender->ReadText(chunk, count);
    EXPECT_EQ(n, static_cast<int>(chunk.size()));
    received += chunk;
    ++batches;
  };
  port.Open();
  std::string sent;
  for (int i = 0; i < 256; ++i) sent.push_back(static_cast<char>(i));
  pty.Write(sent);
  ASSERT_TRUE(PumpUntil([&] { return received.size() >= sent.size(); })) << received.size();
  EXPECT_EQ(received, sent);
  EXPECT_GE(batches, 1);
}

TEST_F(ComponentOnPtyTest, ALostDeviceIsReportedAndThePortStillCloses) {
  std::vector<std::string> reports;
  SetExceptionReport([&](std::exception_ptr e, void* sender) {
    EXPECT_EQ(sender, &port);
    reports.push_back(ExceptionMessage(e));
  });
  port.OnRxChar = [&](TBComPort* sender, int count) {
    std::string chunk;
    sender->ReadText(chunk, count);
  };
  port.Open();
  pty.CloseMaster();  // the instrument's end goes away
  ASSERT_TRUE(PumpUntil([&] { return !reports.empty(); }));
  EXPECT_EQ(reports, std::vector<std::string>{"Ошибка чтения из порта"});
  EXPECT_EQ(RaisedMessage([&] { port.Close(); }), "");
  EXPECT_FALSE(port.Connected());
}

TEST_F(ComponentOnPtyTest, TheMonitorTakesNoCpuWhileTheLineIsQuiet) {
  int batches = 0;
  port.OnRxChar = [&](TBComPort* sender, int count) {
    std::string chunk;
    sender->ReadText(chunk, count);
    ++batches;
  };
  port.Open();
  pty.Write("   12.345 g\r\n");
  ASSERT_TRUE(PumpUntil([&] { return batches == 1; }));
  const double before = OtherThreadsCpu();
  timespec two_seconds{2, 0};
  nanosleep(&two_seconds, nullptr);
  const double used = OtherThreadsCpu() - before;
  EXPECT_LT(used, 0.001) << used * 1000 << " ms";
}

TEST_F(ComponentOnPtyTest, BytesNobodyReadsDoNotKeepTheMonitorBusy) {
  // Delivery in the monitor thread itself: a device that reported the same unread bytes
  // again and again would make it spin here.
  port.SetSyncMethod(TSyncMethod::smNone);
  std::mutex mu;
  std::condition_variable cv;
  int batches = 0;
  port.OnRxChar = [&](TBComPort*, int) {
    std::lock_guard<std::mutex> lock(mu);
    ++batches;
    cv.notify_all();
  };
  port.Open();
  pty.Write("unread");
  {
    std::unique_lock<std::mutex> lock(mu);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return batches == 1; }));
  }
  const double before = OtherThreadsCpu();
  timespec one_second{1, 0};
  nanosleep(&one_second, nullptr);
  const double used = OtherThreadsCpu() - before;
  EXPECT_LT(used, 0.001) << used * 1000 << " ms";
  // New bytes are reported again.
  pty.Write("more");
  std::unique_lock<std::mutex> lock(mu);
  EXPECT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return batches == 2; }));
  EXPECT_EQ(batches, 2);
}

TEST_F(ComponentOnPtyTest, ListsTheRegisteredVirtualPort) {
  std::vector<std::string> names{"stale"};
  ListSerialPorts(names, services);
  EXPECT_NE(std::find(names.begin(), names.end(), "TestPort"), names.end());
  EXPECT_EQ(std::find(names.begin(), names.end(), "stale"), names.end());
}

}  // namespace
