// Opening, closing and the line operations of the port on the simulated device.
#include "../support/port_fixture.h"

using namespace platform;
using talvik_test::PortTest;
using talvik_test::RaisedMessage;

TEST_F(PortTest, OpenAppliesEverythingThenWatches) {
  port.SetPort("COM10");
  port.Open();
  ASSERT_TRUE(sim.AwaitPendingWait());
  EXPECT_TRUE(port.Connected());
  EXPECT_NE(port.Handle(), INVALID_HANDLE_VALUE);
  EXPECT_NE(port.EventThread(), nullptr);
  EXPECT_EQ(port.NotifyWindow(), nullptr);
  auto calls = sim.Calls();
  ASSERT_GE(calls.size(), 6u);
  EXPECT_EQ(calls[0].name, "CreateFileA");
  EXPECT_EQ(calls[0].text, "\\\\.\\COM10");
  EXPECT_EQ(calls[0].args, (std::vector<std::uint64_t>{GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING,
                                                       FILE_FLAG_OVERLAPPED}));
  EXPECT_EQ(calls[1].name, "SetupComm");
  EXPECT_EQ(calls[2].name, "SetCommState");
  EXPECT_EQ(calls[3].name, "SetCommTimeouts");
  EXPECT_EQ(calls[4].name, "SetCommMask");
  EXPECT_EQ(calls[4].args[1], 0x05BDu);
  EXPECT_EQ(calls[5].name, "WaitCommEvent");

  sim.ClearCalls();
  port.Open();  // opening an open port does nothing
  EXPECT_TRUE(sim.Calls().empty());
  port.Close();
}

TEST_F(PortTest, OpenFailuresLeaveThePortClosedAndTheDeviceReleased) {
  struct Case {
    const char* call;
    DWORD error;
    const char* message;
  } cases[] = {
      {"CreateFileA", ERROR_FILE_NOT_FOUND, "Попытка открыть несуществующий COM-порт"},
      {"CreateFileA", ERROR_ACCESS_DENIED, "Порт занят другой программой"},
      {"CreateFileA", ERROR_GEN_FAILURE, "Ошибка функции SetupComm"},
      {"SetupComm", ERROR_GEN_FAILURE, "Ошибка функции SetupComm"},
      {"SetCommState", ERROR_INVALID_PARAMETER, "Ошибка функции SetCommState"},
      {"SetCommTimeouts", ERROR_GEN_FAILURE, "Ошибка функции SetCommTimeouts"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(std::string(c.call) + " " + std::to_string(c.error));
    sim.ClearFailures();
    sim.ClearCalls();
    sim.Fail(c.call, c.error);
    EXPECT_EQ(RaisedMessage([&] { port.Open(); }), c.message);
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Handle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(port.EventThread(), nullptr);
    EXPECT_FALSE(sim.DeviceOpen());
    auto names = sim.CallNames();
    // No group is applied after the one that failed.
    if (std::string(c.call) == "SetupComm") {
      EXPECT_EQ(std::count(names.begin(), names.end(), "SetCommState"), 0);
    }
    if (std::string(c.call) == "SetCommState") {
      EXPECT_EQ(std::count(names.begin(), names.end(), "SetCommTimeouts"), 0);
    }
  }
  sim.ClearFailures();
  port.Open();  // and the port opens once the device accepts it
  EXPECT_TRUE(port.Connected());
  port.Close();
}

TEST_F(PortTest, CloseLowersTheLinesAbortsThenStopsAndReleases) {
  OpenPort();
  port.Close();
  auto calls = sim.Calls();
  std::vector<std::string> names;
  for (auto& c : calls)
    if (c.name != "GetOverlappedResult") names.push_back(c.name);
  ASSERT_GE(calls.size(), 6u);
  EXPECT_EQ(calls[0].name, "EscapeCommFunction");
  EXPECT_EQ(calls[0].args[1], CLRDTR);
  EXPECT_EQ(calls[1].name, "EscapeCommFunction");
  EXPECT_EQ(calls[1].args[1], CLRRTS);
  EXPECT_EQ(calls[2].name, "PurgeComm");
  EXPECT_EQ(calls[2].args[1], PURGE_TXABORT | PURGE_RXABORT);
  // the monitor thread clears the mask and empties both queues on its way out
  EXPECT_EQ(names, (std::vector<std::string>{"EscapeCommFunction", "EscapeCommFunction", "PurgeComm", "SetCommMask",
                                             "PurgeComm", "CloseHandle"}));
  EXPECT_EQ(calls[calls.size() - 2].args[1], PURGE_TXCLEAR | PURGE_RXCLEAR);
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.Handle(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(port.EventThread(), nullptr);
  EXPECT_FALSE(sim.DeviceOpen());
  EXPECT_FALSE(sim.Dtr());
  EXPECT_FALSE(sim.Rts());

  sim.ClearCalls();
  port.Close();  // closing a closed port does nothing
  EXPECT_TRUE(sim.Calls().empty());
}

TEST_F(PortTest, CloseOnARefusingDeviceStillReleasesItAndRaisesTheFirstRefusal) {
  struct Case {
    const char* call;
    const char* message;
  } cases[] = {
      {"EscapeCommFunction", "Ошибка функции EscapeCommFunction"},  // lowering DTR (and RTS) refused
      {"PurgeComm", "Ошибка функции PurgeComm"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.call);
    OpenPort();
    sim.Fail(c.call, ERROR_GEN_FAILURE);
    EXPECT_EQ(RaisedMessage([&] { port.Close(); }), c.message);
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Handle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(port.EventThread(), nullptr);
    EXPECT_FALSE(sim.DeviceOpen());
    auto names = sim.CallNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "CloseHandle"), 1);
    // every closing step was still tried
    EXPECT_EQ(std::count(names.begin(), names.end(), "EscapeCommFunction"), 2);
    sim.ClearFailures();
    port.Open();  // the device is free again
    EXPECT_TRUE(port.Connected());
    port.Close();
  }
}

TEST_F(PortTest, DestroyingAnOpenPortClosesIt) {
  {
    TBComPort p(sim);
    p.Open();
    ASSERT_TRUE(sim.AwaitPendingWait());
    sim.Fail("EscapeCommFunction", ERROR_GEN_FAILURE);  // even an unplugged one
  }
  EXPECT_FALSE(sim.DeviceOpen());
}

TEST_F(PortTest, LineOperations) {
  OpenPort();
  port.SetDTR(true);
  port.SetDTR(false);
  port.SetRTS(true);
  port.SetRTS(false);
  std::vector<std::uint64_t> codes;
  for (auto& c : CallsNamed("EscapeCommFunction")) codes.push_back(c.args[1]);
  EXPECT_EQ(codes, (std::vector<std::uint64_t>{5, 6, 3, 4}));

  sim.SetModemStatus(MS_CTS_ON | MS_RLSD_ON | 0x0F);
  EXPECT_EQ(port.ModemSignals().Byte(), 9);
  sim.SetModemStatus(MS_DSR_ON | MS_RING_ON);
  TComSignals s = port.ModemSignals();
  EXPECT_TRUE(s.Contains(TComSignal::csDSR));
  EXPECT_TRUE(s.Contains(TComSignal::csRing));
  EXPECT_FALSE(s.Contains(TComSignal::csCTS));

  sim.SetInQueue("abc");
  sim.SetErrorWord(CE_FRAME);
  EXPECT_EQ(port.InQueueCount(), 3);
  EXPECT_EQ(port.InQueueCount(), 3);  // the error word was cleared as a side effect
  port.Close();
}

TEST_F(PortTest, LineOperationsOnAClosedPortRaiseTheirMessages) {
  struct Case {
    std::function<void()> op;
    const char* message;
  } cases[] = {
      {[&] { port.InQueueCount(); }, "Ошибка функции ClearCommError"},
      {[&] { port.ModemSignals(); }, "Ошибка функции GetCommModemStatus"},
      {[&] { port.SetDTR(true); }, "Ошибка функции EscapeCommFunction"},
      {[&] { port.SetRTS(false); }, "Ошибка функции EscapeCommFunction"},
      {[&] { port.PurgeAll(); }, "Ошибка функции PurgeComm"},
  };
  port.Open();
  port.Close();
  for (auto& c : cases) EXPECT_EQ(RaisedMessage(c.op), c.message);
}

TEST_F(PortTest, ReopeningStartsAFreshThreadAndWindowEachTime) {
  port.SetSyncMethod(TSyncMethod::smWindowSync);
  for (int i = 0; i < 20; ++i) {
    port.Open();
    EXPECT_NE(port.NotifyWindow(), nullptr);
    ASSERT_NE(port.EventThread(), nullptr);
    port.Close();
    EXPECT_EQ(port.NotifyWindow(), nullptr);
  }
  EXPECT_EQ(kernel::OpenHandleCount(), 0u);
}
