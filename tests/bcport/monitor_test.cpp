// The monitor thread and the delivery of port events, on the simulated device. The test
// thread is the user-interface thread: it serves hand-overs explicitly (PumpUntil).
#include <atomic>
#include <thread>

#include "../support/port_fixture.h"

using namespace platform;
using talvik_test::PortTest;
using talvik_test::PumpUntil;
using talvik_test::RaisedMessage;

TEST(EventMask, MapsTheEightEventsBothWays) {
  EXPECT_EQ(EventsToMask(TComWatchEvents::FromByte(0xFF)), 0x05BDu);
  EXPECT_EQ(EventsToMask(TComWatchEvents{}), 0u);
  struct Case {
    TComWatchEvent e;
    DWORD mask;
  } cases[] = {{TComWatchEvent::weRxChar, 1},  {TComWatchEvent::weTxEmpty, 4}, {TComWatchEvent::weRing, 256},
               {TComWatchEvent::weCTS, 8},     {TComWatchEvent::weDSR, 16},    {TComWatchEvent::weRLSD, 32},
               {TComWatchEvent::weError, 128}, {TComWatchEvent::weRx80Full, 1024}};
  for (auto& c : cases) {
    EXPECT_EQ(EventsToMask(TComWatchEvents{c.e}), c.mask);
    EXPECT_EQ(MaskToEvents(c.mask), TComWatchEvents{c.e});
  }
  EXPECT_TRUE(MaskToEvents(EV_BREAK | EV_RXFLAG).Empty());
  for (int b = 0; b < 256; ++b)
    EXPECT_EQ(MaskToEvents(EventsToMask(TComWatchEvents::FromByte(static_cast<std::uint8_t>(b)))).Byte(), b);
}

class MonitorTest : public PortTest {
 protected:
  void Record(const std::string& what) {
    std::lock_guard<std::mutex> lock(mu);
    log.push_back(what);
  }
  std::vector<std::string> Log() {
    std::lock_guard<std::mutex> lock(mu);
    return log;
  }
  void WireAll() {
    port.OnError = [this](TBComPort*, TComErrors e) { Record("error " + std::to_string(e.Byte())); };
    port.OnRxChar = [this](TBComPort* p, int n) {
      std::string s;
      p->ReadText(s, n);
      Record("rx " + s);
    };
    port.OnTxEmpty = [this](TBComPort*) { Record("txempty"); };
    port.OnRing = [this](TBComPort*) { Record("ring"); };
    port.OnCTSChange = [this](TBComPort*, bool s) { Record(std::string("cts ") + (s ? "1" : "0")); };
    port.OnDSRChange = [this](TBComPort*, bool s) { Record(std::string("dsr ") + (s ? "1" : "0")); };
    port.OnRLSDChange = [this](TBComPort*, bool s) { Record(std::string("rlsd ") + (s ? "1" : "0")); };
    port.OnRx80Full = [this](TBComPort*) { Record("rx80"); };
  }
  std::mutex mu;
  std::vector<std::string> log;
};

TEST_F(MonitorTest, ABatchRunsItsOperationsInTheFixedOrderUnderEachDeliveryMethod) {
  for (TSyncMethod method : {TSyncMethod::smThreadSync, TSyncMethod::smWindowSync, TSyncMethod::smNone}) {
    SCOPED_TRACE(static_cast<int>(method));
    log.clear();
    port.SetSyncMethod(method);
    WireAll();
    OpenPort();
    sim.SetErrorWord(CE_FRAME | CE_OVERRUN);
    sim.SetInQueue("12.5\r\n");
    sim.SetModemStatus(MS_CTS_ON | MS_RLSD_ON);
    sim.CompleteWait(0x05BD);
    ASSERT_TRUE(PumpUntil([&] { return Log().size() == 8; }));
    EXPECT_EQ(Log(), (std::vector<std::string>{"error 5", "rx 12.5\r\n", "txempty", "ring", "cts 1", "dsr 0",
                                               "rlsd 1", "rx80"}));
    ASSERT_TRUE(PumpUntil([&] { return sim.WaitCount() >= 2; }));
    port.Close();
  }
}

TEST_F(MonitorTest, EventsOutsideTheEightDeliverNothing) {
  WireAll();
  OpenPort();
  sim.CompleteWait(EV_BREAK);
  ASSERT_TRUE(PumpUntil([&] { return sim.WaitCount() >= 2; }));
  EXPECT_TRUE(Log().empty());
  auto names = sim.CallNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), "ClearCommError"), 0);
  port.Close();
}

TEST_F(MonitorTest, AStopSignalledWithACompletedWaitWins) {
  WireAll();
  OpenPort();
  TComThread* thread = port.EventThread();
  sim.SetCallHook([&](const sim::Call& c) {
    // In the monitor thread, right after its second wait has started: complete that wait and
    // signal the stop before the thread looks at either.
    if (c.name == "WaitCommEvent" && sim.WaitCount() == 2) {
      sim.SetInQueue("x");
      sim.CompleteWait(EV_RXCHAR);
      thread->StopWatching();
    }
  });
  sim.CompleteWait(0);  // an empty batch, then the second wait
  ASSERT_TRUE(PumpUntil([&] { return thread->Finished(); }));
  EXPECT_TRUE(Log().empty());
  EXPECT_EQ(sim.WaitCount(), 2);
  sim.SetCallHook(nullptr);
  port.Close();
}

TEST_F(MonitorTest, ReceiveWithAnEmptyQueueCallsNoHandler) {
  WireAll();
  OpenPort();
  port.FireRxChar();
  EXPECT_TRUE(Log().empty());
  sim.SetInQueue("ab");
  port.FireRxChar();
  EXPECT_EQ(Log(), std::vector<std::string>{"rx ab"});
  port.Close();
}

TEST_F(MonitorTest, ErrorWordDecoding) {
  struct Case {
    TParity parity;
    DWORD word;
    int expected;  // -1: OnError not called
  } cases[] = {
      {TParity::paNone, CE_RXPARITY, -1},
      {TParity::paEven, CE_RXPARITY, 1 << 1},
      {TParity::paNone, CE_MODE, 1 << 5},
      {TParity::paNone, CE_FRAME | CE_OVERRUN | CE_BREAK | CE_IOE | CE_RXOVER | CE_TXFULL, 0xFF & ~(1 << 1) & ~(1 << 5)},
      {TParity::paNone, 0x0200 | 0x0800, -1},  // bits of no member
  };
  for (auto& c : cases) {
    TBComPort p(sim);
    p.SetParity(c.parity);
    int got = -1;
    p.OnError = [&](TBComPort*, TComErrors e) { got = e.Byte(); };
    p.Open();
    sim.SetErrorWord(c.word);
    p.FireError();
    EXPECT_EQ(got, c.expected) << "word " << c.word;
    p.Close();
  }
  // With no handler the word is still read and cleared.
  OpenPort();
  sim.SetErrorWord(CE_FRAME);
  port.FireError();
  EXPECT_EQ(CallsNamed("ClearCommError").size(), 1u);
  int got = -1;
  port.OnError = [&](TBComPort*, TComErrors e) { got = e.Byte(); };
  port.FireError();
  EXPECT_EQ(got, -1);
  port.Close();
}

TEST_F(MonitorTest, PortEventMessagesWhileClosedOrUnknownAreRepliedAndIgnored) {
  WireAll();
  HWND window = AllocateHWnd([this](TMessage& m) { port.PortWindowProc(m); });
  std::atomic<int> returned{0};
  std::thread sender([&] {
    SendMessage(window, CM_PORTEVENT, EV_RXCHAR, 0);  // port closed
    returned = 1;
  });
  ASSERT_TRUE(PumpUntil([&] { return returned.load() == 1; }));
  sender.join();
  OpenPort();
  HWND open_window = AllocateHWnd([this](TMessage& m) { port.PortWindowProc(m); });
  std::thread sender2([&] {
    SendMessage(open_window, CM_PORTEVENT, 2, 0);  // no such event
    SendMessage(open_window, CM_PORTEVENT, 0, 0);
    returned = 2;
  });
  ASSERT_TRUE(PumpUntil([&] { return returned.load() == 2; }));
  sender2.join();
  EXPECT_TRUE(Log().empty());
  EXPECT_TRUE(sim.Calls().empty());
  TMessage other{0x000F, 1, 2, 99};
  port.PortWindowProc(other);
  EXPECT_EQ(other.Result, 0);
  DeallocateHWnd(window);
  DeallocateHWnd(open_window);
  port.Close();
}

TEST_F(MonitorTest, WindowDeliveryReportsAFailingOperationAndGoesOn) {
  std::vector<std::string> reports;
  SetExceptionReport([&](std::exception_ptr e, void* sender) {
    EXPECT_EQ(sender, &port);
    reports.push_back(ExceptionMessage(e));
  });
  port.SetSyncMethod(TSyncMethod::smWindowSync);
  WireAll();
  OpenPort();
  sim.Fail("GetCommModemStatus", ERROR_GEN_FAILURE);
  sim.SetInQueue("z");
  sim.CompleteWait(EV_CTS | EV_RXCHAR | EV_RING);
  ASSERT_TRUE(PumpUntil([&] { return Log().size() == 2 && reports.size() == 1; }));
  EXPECT_EQ(Log(), (std::vector<std::string>{"rx z", "ring"}));
  EXPECT_EQ(reports[0], "Ошибка функции GetCommModemStatus");
  port.Close();
}

TEST_F(MonitorTest, CloseWhileTheThreadWaitsInAHandOverDeliversThatBatchInsideClose) {
  std::atomic<bool> queued{false};
  SetWakeMainThread([&] { queued = true; });
  int delivered = 0;
  bool connected_inside = true;
  port.OnRxChar = [&](TBComPort* p, int n) {
    std::string s;
    p->ReadText(s, n);
    connected_inside = connected_inside && p->Connected() && s == "r";
    ++delivered;
  };
  for (int i = 0; i < 1000; ++i) {
    queued = false;
    port.Open();
    ASSERT_TRUE(sim.AwaitPendingWait());
    sim.Receive("r");
    while (!queued.load()) std::this_thread::yield();  // the monitor thread is in the hand-over
    port.Close();
    ASSERT_EQ(delivered, i + 1);
  }
  EXPECT_TRUE(connected_inside);
  SetWakeMainThread(nullptr);
}

TEST_F(MonitorTest, AFailingBatchIsReportedOnceWhileItsBoxIsOpenAndReceptionGoesOn) {
  int reports = 0;
  int calls = 0;
  port.OnRxChar = [&](TBComPort* p, int n) {
    std::string s;
    p->ReadText(s, n);
    ++calls;
    if (s == "bad") throw EComPort("Ошибка чтения из порта");
    Record("rx " + s);
  };
  SetExceptionReport([&](std::exception_ptr e, void*) {
    ++reports;
    EXPECT_EQ(ExceptionMessage(e), "Ошибка чтения из порта");
    // While the box is open its modal loop serves hand-overs: the same failure again is
    // not reported a second time.
    int before = calls;
    EXPECT_TRUE(sim.AwaitPendingWait());
    sim.Receive("bad");
    EXPECT_TRUE(PumpUntil([&] { return calls == before + 1; }));
  });
  OpenPort();
  sim.Receive("bad");
  ASSERT_TRUE(PumpUntil([&] { return calls == 2; }));
  EXPECT_EQ(reports, 1);
  ASSERT_TRUE(sim.AwaitPendingWait());
  sim.Receive("ok");
  ASSERT_TRUE(PumpUntil([&] { return Log().size() == 1; }));
  EXPECT_EQ(Log()[0], "rx ok");
  EXPECT_TRUE(port.Connected());
  port.Close();
}

TEST_F(MonitorTest, ADeviceThatCanNoLongerBeWaitedOnEndsTheLoopAndIsReportedOnce) {
  std::vector<std::string> reports;
  SetExceptionReport([&](std::exception_ptr e, void*) { reports.push_back(ExceptionMessage(e)); });
  WireAll();
  OpenPort();
  // One failed wait on a working device is dropped and the next wait started.
  sim.FailWait(ERROR_GEN_FAILURE);
  ASSERT_TRUE(PumpUntil([&] { return sim.WaitCount() == 2; }));
  ASSERT_TRUE(sim.AwaitPendingWait());
  EXPECT_TRUE(reports.empty());
  // The adapter goes away: every wait is refused at once from now on.
  sim.Fail("WaitCommEvent", ERROR_GEN_FAILURE);
  sim.Fail("GetOverlappedResult", ERROR_GEN_FAILURE);
  sim.FailWait(ERROR_GEN_FAILURE);
  TComThread* thread = port.EventThread();
  ASSERT_TRUE(PumpUntil([&] { return thread->Finished() && reports.size() == 1; }));
  EXPECT_LE(sim.WaitCount(), 12);  // no spin
  EXPECT_EQ(reports[0], "Ошибка чтения из порта");
  EXPECT_TRUE(port.Connected());
  sim.ClearFailures();
  port.Close();  // signalling the stop of a finished loop is harmless
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(reports.size(), 1u);
  port.Open();  // and the port works again
  ASSERT_TRUE(sim.AwaitPendingWait());
  sim.Receive("y");
  ASSERT_TRUE(PumpUntil([&] { return Log().size() == 1; }));
  port.Close();
}
