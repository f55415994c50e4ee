// Settings of the port: defaults, the write rules while closed and open, the device-control
// record, time-outs and their assignment.
#include "../support/port_fixture.h"

using namespace platform;
using talvik_test::PortTest;
using talvik_test::RaisedMessage;

TEST_F(PortTest, NewPortHoldsTheDefaultsAndIsClosed) {
  EXPECT_EQ(port.BaudRate(), TBaudRate::br9600);
  EXPECT_EQ(port.ByteSize(), TByteSize::bs8);
  EXPECT_EQ(port.Parity(), TParity::paNone);
  EXPECT_EQ(port.StopBits(), TStopBits::sb1);
  EXPECT_EQ(port.Port(), "COM2");
  EXPECT_EQ(port.SyncMethod(), TSyncMethod::smThreadSync);
  EXPECT_EQ(port.InBufSize(), 2048);
  EXPECT_EQ(port.OutBufSize(), 2048);
  EXPECT_EQ(port.Timeouts()->ReadInterval(), -1);
  EXPECT_EQ(port.Timeouts()->ReadTotalMultiplier(), 0);
  EXPECT_EQ(port.Timeouts()->ReadTotalConstant(), 0);
  EXPECT_EQ(port.Timeouts()->WriteTotalMultiplier(), 100);
  EXPECT_EQ(port.Timeouts()->WriteTotalConstant(), 1000);
  EXPECT_EQ(port.Timeouts()->ComPort, &port);
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.Handle(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(port.EventThread(), nullptr);
  EXPECT_EQ(port.NotifyWindow(), nullptr);
  EXPECT_EQ(port.ThreadPriority(), TThreadPriority::tpNormal);
  EXPECT_EQ(port.WatchEvents().Byte(), 0xFF);
}

TEST_F(PortTest, WritesWhileClosedOnlyStore) {
  port.SetBaudRate(TBaudRate::br115200);
  port.SetByteSize(TByteSize::bs7);
  port.SetParity(TParity::paOdd);
  port.SetStopBits(TStopBits::sb2);
  port.SetInBufSize(4096);
  port.SetOutBufSize(512);
  port.SetPort("COM7");
  port.SetSyncMethod(TSyncMethod::smWindowSync);
  port.Timeouts()->SetReadInterval(10);
  port.Timeouts()->SetWriteTotalConstant(5);
  TComTimeouts other;
  port.SetTimeouts(&other);
  EXPECT_TRUE(sim.Calls().empty());
  EXPECT_EQ(port.BaudRate(), TBaudRate::br115200);
  EXPECT_EQ(port.ByteSize(), TByteSize::bs7);
  EXPECT_EQ(port.Parity(), TParity::paOdd);
  EXPECT_EQ(port.StopBits(), TStopBits::sb2);
  EXPECT_EQ(port.InBufSize(), 4096);
  EXPECT_EQ(port.OutBufSize(), 512);
  EXPECT_EQ(port.Port(), "COM7");
  EXPECT_EQ(port.SyncMethod(), TSyncMethod::smWindowSync);
  EXPECT_EQ(port.Timeouts()->ReadInterval(), -1);  // the assigned object's values
}

TEST_F(PortTest, BufferSizesFollowTheOddSizeRule) {
  struct Case {
    int stored, written, reads;
    bool applies_while_open;
  } cases[] = {
      {2048, 2049, 2048, true},   // lowered; differs from the stored value, so applied again
      {2048, 1, 0, true},
      {2048, -3, -3, true},
      {2048, 4096, 4096, true},
      {2048, 2048, 2048, false},  // the stored value: nothing happens
      {0, 1, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "written " << c.written);
    sim.ClearCalls();
    TBComPort closed(sim);
    closed.SetInBufSize(c.stored);
    closed.SetInBufSize(c.written);
    closed.SetOutBufSize(c.written);
    EXPECT_EQ(closed.InBufSize(), c.reads);
    EXPECT_EQ(closed.OutBufSize(), c.reads);

    TBComPort open(sim);
    open.SetInBufSize(c.stored);
    open.Open();
    sim.ClearCalls();
    open.SetInBufSize(c.written);
    auto calls = sim.Calls();
    if (c.applies_while_open) {
      ASSERT_EQ(calls.size(), 1u);
      EXPECT_EQ(calls[0].name, "SetupComm");
      EXPECT_EQ(calls[0].args[1], static_cast<std::uint32_t>(c.reads));
      EXPECT_EQ(calls[0].args[2], 2048u);
    } else {
      EXPECT_TRUE(calls.empty());
    }
    open.Close();
  }
}

TEST_F(PortTest, WritesWhileOpenApplyTheirGroupAndEqualValuesMakeNoCall) {
  OpenPort();
  struct Case {
    const char* what;
    std::function<void()> write;
    const char* call;  // nullptr: no device call
  } cases[] = {
      {"same rate", [&] { port.SetBaudRate(TBaudRate::br9600); }, nullptr},
      {"same byte size", [&] { port.SetByteSize(TByteSize::bs8); }, nullptr},
      {"same parity", [&] { port.SetParity(TParity::paNone); }, nullptr},
      {"same stop bits", [&] { port.SetStopBits(TStopBits::sb1); }, nullptr},
      {"same in size", [&] { port.SetInBufSize(2048); }, nullptr},
      {"same time-out", [&] { port.Timeouts()->SetReadInterval(-1); }, nullptr},
      {"same sync method", [&] { port.SetSyncMethod(TSyncMethod::smThreadSync); }, nullptr},
      {"rate", [&] { port.SetBaudRate(TBaudRate::br19200); }, "SetCommState"},
      {"byte size", [&] { port.SetByteSize(TByteSize::bs7); }, "SetCommState"},
      {"parity", [&] { port.SetParity(TParity::paMark); }, "SetCommState"},
      {"stop bits", [&] { port.SetStopBits(TStopBits::sb2); }, "SetCommState"},
      {"out size", [&] { port.SetOutBufSize(1000); }, "SetupComm"},
      {"time-out", [&] { port.Timeouts()->SetReadTotalConstant(7); }, "SetCommTimeouts"},
      {"time-outs object", [&] { TComTimeouts t; port.SetTimeouts(&t); }, "SetCommTimeouts"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim.ClearCalls();
    c.write();
    auto names = sim.CallNames();
    if (c.call == nullptr) {
      EXPECT_TRUE(names.empty());
    } else {
      ASSERT_EQ(names.size(), 1u);
      EXPECT_EQ(names[0], c.call);
    }
  }
  port.Close();
}

TEST_F(PortTest, PortAndSyncMethodAreRefusedWhileOpen) {
  OpenPort();
  EXPECT_EQ(RaisedMessage([&] { port.SetPort("COM2"); }), "Нельзя менять свойство, пока порт открыт");
  EXPECT_EQ(RaisedMessage([&] { port.SetPort("COM3"); }), "Нельзя менять свойство, пока порт открыт");
  EXPECT_EQ(port.Port(), "COM2");
  EXPECT_EQ(RaisedMessage([&] { port.SetSyncMethod(TSyncMethod::smThreadSync); }), "");
  EXPECT_EQ(RaisedMessage([&] { port.SetSyncMethod(TSyncMethod::smNone); }),
            "Нельзя менять свойство, пока порт открыт");
  EXPECT_EQ(port.SyncMethod(), TSyncMethod::smThreadSync);
  EXPECT_TRUE(sim.Calls().empty());
  port.Close();
}

TEST_F(PortTest, NegativeTimeoutReachesTheDeviceAsMaxdword) {
  port.Open();
  auto opened = CallsNamed("SetCommTimeouts");
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].timeouts.ReadIntervalTimeout, MAXDWORD);
  EXPECT_EQ(opened[0].timeouts.ReadTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(opened[0].timeouts.ReadTotalTimeoutConstant, 0u);
  EXPECT_EQ(opened[0].timeouts.WriteTotalTimeoutMultiplier, 100u);
  EXPECT_EQ(opened[0].timeouts.WriteTotalTimeoutConstant, 1000u);
  sim.ClearCalls();
  port.Timeouts()->SetReadInterval(-5);
  auto calls = CallsNamed("SetCommTimeouts");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].timeouts.ReadIntervalTimeout, MAXDWORD);
  EXPECT_EQ(port.Timeouts()->ReadInterval(), -5);
  port.Close();
}

TEST_F(PortTest, DeviceControlRecordOfTheStoredSettings) {
  port.Open();
  auto calls = CallsNamed("SetCommState");
  ASSERT_EQ(calls.size(), 1u);
  const DCB& d = calls[0].dcb;
  EXPECT_EQ(d.DCBlength, 28u);
  EXPECT_EQ(d.BaudRate, 9600u);
  EXPECT_EQ(DcbFlagWord(d), 0x1011u);
  EXPECT_EQ(d.fDtrControl, DTR_CONTROL_ENABLE);
  EXPECT_EQ(d.fRtsControl, RTS_CONTROL_ENABLE);
  EXPECT_EQ(d.ByteSize, 8);
  EXPECT_EQ(d.Parity, 0);
  EXPECT_EQ(d.StopBits, 0);
  EXPECT_EQ(d.XonChar, 0x11);
  EXPECT_EQ(d.XoffChar, 0x13);
  EXPECT_EQ(d.XonLim, 0);
  EXPECT_EQ(d.XoffLim, 0);
  EXPECT_EQ(d.ErrorChar, 0);
  EXPECT_EQ(d.EofChar, 0);
  EXPECT_EQ(d.EvtChar, 0);
  EXPECT_EQ(d.wReserved, 0);
  EXPECT_EQ(d.wReserved1, 0);
  port.Close();
}

TEST_F(PortTest, DeviceControlRecordFieldsFollowTheSettings) {
  struct Case {
    std::function<void(TBComPort&)> set;
    DWORD flags, baud;
    int byte_size, parity, stop_bits;
  } cases[] = {
      {[](TBComPort& p) { p.SetParity(TParity::paEven); }, 0x1013, 9600, 8, 2, 0},
      {[](TBComPort& p) { p.SetParity(TParity::paSpace); }, 0x1013, 9600, 8, 4, 0},
      {[](TBComPort& p) { p.SetByteSize(TByteSize::bs5); }, 0x1011, 9600, 5, 0, 0},
      {[](TBComPort& p) { p.SetStopBits(TStopBits::sb1_5); }, 0x1011, 9600, 8, 0, 1},
      {[](TBComPort& p) { p.SetBaudRate(TBaudRate::br256000); }, 0x1011, 256000, 8, 0, 0},
      {[](TBComPort& p) { p.SetBaudRate(TBaudRate::br110); }, 0x1011, 110, 8, 0, 0},
  };
  for (auto& c : cases) {
    sim.ClearCalls();
    TBComPort p(sim);
    c.set(p);
    p.Open();
    auto calls = CallsNamed("SetCommState");
    ASSERT_EQ(calls.size(), 1u);
    const DCB& d = calls[0].dcb;
    EXPECT_EQ(DcbFlagWord(d), c.flags);
    EXPECT_EQ(d.BaudRate, c.baud);
    EXPECT_EQ(d.ByteSize, c.byte_size);
    EXPECT_EQ(d.Parity, c.parity);
    EXPECT_EQ(d.StopBits, c.stop_bits);
    p.Close();
  }
}

TEST_F(PortTest, RefusedRateRaisesAndTheNewRateIsKept) {
  OpenPort();
  sim.Fail("SetCommState", ERROR_GEN_FAILURE);
  EXPECT_EQ(RaisedMessage([&] { port.SetBaudRate(TBaudRate::br57600); }), "Ошибка функции SetCommState");
  EXPECT_EQ(port.BaudRate(), TBaudRate::br57600);
  EXPECT_TRUE(port.Connected());
  sim.ClearFailures();
  sim.ClearCalls();
  port.SetParity(TParity::paOdd);  // the next apply carries the stored rate
  auto calls = CallsNamed("SetCommState");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].dcb.BaudRate, 57600u);
  port.Close();
}

namespace {
class TForeign : public TPersistent {
 public:
  const char* ClassName() const override { return "TForeign"; }
  void CallAssignTo(TPersistent* dest) const { AssignTo(dest); }
};
}  // namespace

TEST_F(PortTest, TimeoutsAssignmentCopiesValuesAndKeepsItsOwnPort) {
  TBComPort other_port(sim);
  TComTimeouts* source = other_port.Timeouts();
  source->SetReadInterval(5);
  source->SetReadTotalMultiplier(6);
  source->SetReadTotalConstant(7);
  source->SetWriteTotalMultiplier(8);
  source->SetWriteTotalConstant(9);
  port.SetTimeouts(source);
  TComTimeouts* own = port.Timeouts();
  EXPECT_NE(own, source);
  EXPECT_EQ(own->ComPort, &port);
  EXPECT_EQ(own->ReadInterval(), 5);
  EXPECT_EQ(own->ReadTotalMultiplier(), 6);
  EXPECT_EQ(own->ReadTotalConstant(), 7);
  EXPECT_EQ(own->WriteTotalMultiplier(), 8);
  EXPECT_EQ(own->WriteTotalConstant(), 9);

  TForeign foreign;
  EXPECT_EQ(RaisedMessage([&] { port.SetTimeouts(nullptr); }), "Cannot assign a nil to a TComTimeouts");
  EXPECT_EQ(RaisedMessage([&] { port.SetTimeouts(&foreign); }), "Cannot assign a TForeign to a TComTimeouts");
  EXPECT_EQ(RaisedMessage([&] { foreign.Assign(own); }), "Cannot assign a TComTimeouts to a TForeign");
  EXPECT_EQ(own->ReadInterval(), 5);
  EXPECT_THROW(port.SetTimeouts(nullptr), EConvertError);
}
