// The Linux device layer over real pseudo-terminal pairs.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/kernel.h"
#include "platform/posix/line_settings.h"
#include "pty_fixture.h"

namespace {

using namespace platform;
using talvik_test::PtyPortTest;

constexpr DWORD kWatchAll = 0x05BD;

DCB LineRecord(DWORD baud, BYTE size = 8, BYTE parity = NOPARITY, BYTE stop = ONESTOPBIT) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = baud;
  dcb.fBinary = 1;
  dcb.fParity = parity != NOPARITY;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.ByteSize = size;
  dcb.Parity = parity;
  dcb.StopBits = stop;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  return dcb;
}

// One overlapped record with its own manual-reset event.
struct Overlapped {
  Overlapped() { ov.hEvent = kernel::CreateEvent(true, true); }
  ~Overlapped() { kernel::Close(ov.hEvent); }
  bool Done(DWORD ms = 5000) { return kernel::WaitForSingleObject(ov.hEvent, ms) == WAIT_OBJECT_0; }
  OVERLAPPED ov{};
};

class PosixDeviceTest : public PtyPortTest {
 protected:
  void OpenConfigured() {
    h = Open();
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << services.GetLastError();
    DCB dcb = LineRecord(9600);
    ASSERT_TRUE(services.SetupComm(h, 2048, 2048));
    ASSERT_TRUE(services.SetCommState(h, &dcb));
    COMMTIMEOUTS t{MAXDWORD, 0, 0, 100, 1000};
    ASSERT_TRUE(services.SetCommTimeouts(h, &t));
    ASSERT_TRUE(services.SetCommMask(h, kWatchAll));
  }
  void TearDown() override {
    if (h != INVALID_HANDLE_VALUE) services.CloseHandle(h);
  }
  // Waits for the next batch of events; fails the test when none comes.
  DWORD NextEvents(Overlapped& o) {
    DWORD mask = 0;
    if (!services.WaitCommEvent(h, &mask, &o.ov)) {
      EXPECT_EQ(services.GetLastError(), ERROR_IO_PENDING);
      EXPECT_TRUE(o.Done());
    }
    DWORD n = 0;
    EXPECT_TRUE(services.GetOverlappedResult(h, &o.ov, &n, FALSE_)) << services.GetLastError();
    return mask;
  }
  std::string ReadQueued() {
    DWORD errors = 0;
    COMSTAT stat{};
    EXPECT_TRUE(services.ClearCommError(h, &errors, &stat));
    std::string buffer(stat.cbInQue, '\0');
    Overlapped o;
    DWORD got = 0;
    EXPECT_TRUE(services.ReadFile(h, buffer.data(), stat.cbInQue, &got, &o.ov));
    EXPECT_TRUE(o.Done());
    DWORD n = 0;
    EXPECT_TRUE(services.GetOverlappedResult(h, &o.ov, &n, FALSE_));
    EXPECT_EQ(n, got);
    buffer.resize(n);
    return buffer;
  }

  HANDLE h = INVALID_HANDLE_VALUE;
};

TEST_F(PosixDeviceTest, OpensAppliesTheLineAndCloses) {
  const std::size_t handles = kernel::OpenHandleCount();
  OpenConfigured();
  posix::LineSettings line;
  ASSERT_EQ(posix::ReadLineSettings(pty.slave(), &line), 0);
  EXPECT_EQ(line.baud, 9600u);
  EXPECT_EQ(line.data_bits, 8);
  EXPECT_EQ(line.parity, 0);
  EXPECT_EQ(line.stop_bits, 0);

  // A pseudo-terminal has no modem lines: all inputs off, DTR and RTS requests accepted.
  DWORD status = 0xFFFF;
  EXPECT_TRUE(services.GetCommModemStatus(h, &status));
  EXPECT_EQ(status, 0u);
  for (DWORD f : {SETDTR, CLRDTR, SETRTS, CLRRTS}) EXPECT_TRUE(services.EscapeCommFunction(h, f)) << f;
  EXPECT_TRUE(services.PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT));

  EXPECT_TRUE(services.CloseHandle(h));
  h = INVALID_HANDLE_VALUE;
  EXPECT_EQ(kernel::OpenHandleCount(), handles);
  // Released: the device opens again.
  h = Open();
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
}

TEST_F(PosixDeviceTest, EveryByteValueArrivesThroughTheWaitAndTheRead) {
  OpenConfigured();
  std::string sent;
  for (int i = 0; i < 256; ++i) sent.push_back(static_cast<char>(i));
  std::string received;
  Overlapped wait;
  // In two parts, the second written after the first was read.
  for (std::size_t end : {std::size_t{100}, sent.size()}) {
    pty.Write(sent.substr(received.size(), end - received.size()));
    while (received.size() < end) {
      DWORD mask = NextEvents(wait);
      ASSERT_TRUE(mask & EV_RXCHAR) << mask;
      received += ReadQueued();
    }
  }
  EXPECT_EQ(received, sent);
}

TEST_F(PosixDeviceTest, ReadOfAnEmptyQueueReturnsAtOnceWithNothing) {
  OpenConfigured();
  char buffer[16];
  Overlapped o;
  DWORD got = 99;
  ASSERT_TRUE(services.ReadFile(h, buffer, sizeof buffer, &got, &o.ov));
  EXPECT_EQ(got, 0u);
  EXPECT_TRUE(o.Done(0));
  DWORD n = 99;
  EXPECT_TRUE(services.GetOverlappedResult(h, &o.ov, &n, FALSE_));
  EXPECT_EQ(n, 0u);
}

TEST_F(PosixDeviceTest, BytesThatArriveWithoutAWaitAreReportedByTheNextWait) {
  OpenConfigured();
  pty.Write("12.5 g\r\n");
  ASSERT_TRUE(pty.AwaitQueued());
  Overlapped o;
  DWORD mask = 0;
  ASSERT_TRUE(services.WaitCommEvent(h, &mask, &o.ov));
  EXPECT_EQ(mask, EV_RXCHAR);
  EXPECT_TRUE(o.Done(0));

  // Reported bytes left unread do not complete the next wait again; new bytes do.
  ASSERT_FALSE(services.WaitCommEvent(h, &mask, &o.ov));
  ASSERT_EQ(services.GetLastError(), ERROR_IO_PENDING);
  EXPECT_FALSE(o.Done(50));
  pty.Write("x");
  ASSERT_TRUE(o.Done());
  DWORD n = 0;
  EXPECT_TRUE(services.GetOverlappedResult(h, &o.ov, &n, FALSE_));
  EXPECT_EQ(mask, EV_RXCHAR);
  EXPECT_EQ(ReadQueued(), "12.5 g\r\nx");
}

TEST_F(PosixDeviceTest, NewMaskAndCloseEndAPendingWait) {
  OpenConfigured();
  Overlapped o;
  DWORD mask = 0xFF;
  ASSERT_FALSE(services.WaitCommEvent(h, &mask, &o.ov));
  ASSERT_EQ(services.GetLastError(), ERROR_IO_PENDING);
  DWORD n = 0;
  EXPECT_FALSE(services.GetOverlappedResult(h, &o.ov, &n, FALSE_));
  EXPECT_EQ(services.GetLastError(), ERROR_IO_INCOMPLETE);
  // A second wait while one is outstanding is refused.
  Overlapped other;
  EXPECT_FALSE(services.WaitCommEvent(h, &mask, &other.ov));
  EXPECT_EQ(services.GetLastError(), ERROR_INVALID_PARAMETER);

  ASSERT_TRUE(services.SetCommMask(h, 0));
  ASSERT_TRUE(o.Done());
  EXPECT_TRUE(services.GetOverlappedResult(h, &o.ov, &n, FALSE_));
  EXPECT_EQ(mask, 0u);

  ASSERT_TRUE(services.SetCommMask(h, kWatchAll));
  ASSERT_FALSE(services.WaitCommEvent(h, &mask, &o.ov));
  ASSERT_TRUE(services.CloseHandle(h));
  h = INVALID_HANDLE_VALUE;
  ASSERT_TRUE(o.Done(0));
  EXPECT_EQ(o.ov.Internal, ERROR_OPERATION_ABORTED);
}

TEST_F(PosixDeviceTest, PurgeEmptiesTheInputQueue) {
  OpenConfigured();
  pty.Write("stale");
  ASSERT_TRUE(pty.AwaitQueued());
  ASSERT_TRUE(services.PurgeComm(h, PURGE_TXCLEAR | PURGE_RXCLEAR));
  EXPECT_EQ(ReadQueued(), "");
  // Bytes after the purge are new bytes.
  pty.Write("new");
  Overlapped o;
  EXPECT_EQ(NextEvents(o), EV_RXCHAR);
  EXPECT_EQ(ReadQueued(), "new");
}

TEST_F(PosixDeviceTest, BytesWrittenBeforeTheOpenAreNotReceived) {
  pty.Write("old reading\r\n");
  ASSERT_TRUE(pty.AwaitQueued());
  OpenConfigured();
  EXPECT_EQ(ReadQueued(), "");
}

TEST_F(PosixDeviceTest, ASecondOpenIsRefusedAsAccessDenied) {
  OpenConfigured();
  EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(services.GetLastError(), ERROR_ACCESS_DENIED);
  // The other program's descriptor is refused as well, root included.
  const int fd = open(pty.slave_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd >= 0) {  // only root gets past the exclusive mode
    platform::posix::PosixDeviceServices other{"/sys", dir.path()};
    EXPECT_EQ(other.CreateFileA(PathOf("TestPort").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(other.GetLastError(), ERROR_ACCESS_DENIED);
    close(fd);
  }
}

TEST_F(PosixDeviceTest, NamesWithoutADeviceAreReportedAsMissing) {
  const std::string file = dir.path() + "/plain-file";
  std::ofstream(file) << "not a tty";
  Register("Gone", dir.path() + "/no-such-pty");
  Register("NotATty", file);
  Register("Null", "/dev/null");
  for (const char* name : {"NoSuchPort", "Gone", "NotATty", "Null", "..", "", "pts/../null", "nul\\x"}) {
    HANDLE bad = Open(name);
    EXPECT_EQ(bad, INVALID_HANDLE_VALUE) << name;
    EXPECT_EQ(services.GetLastError(), ERROR_FILE_NOT_FOUND) << name;
  }
}

TEST_F(PosixDeviceTest, FarSideGoingAwayFailsTheWaitAndLaterCalls) {
  OpenConfigured();
  Overlapped o;
  DWORD mask = 0;
  ASSERT_FALSE(services.WaitCommEvent(h, &mask, &o.ov));
  ASSERT_EQ(services.GetLastError(), ERROR_IO_PENDING);
  pty.CloseMaster();
  ASSERT_TRUE(o.Done());
  DWORD n = 0;
  EXPECT_FALSE(services.GetOverlappedResult(h, &o.ov, &n, FALSE_));
  EXPECT_EQ(services.GetLastError(), ERROR_GEN_FAILURE);

  // Every further wait fails at once, with its record completed, instead of pending.
  for (int i = 0; i < 3; ++i) {
    Overlapped again;
    EXPECT_FALSE(services.WaitCommEvent(h, &mask, &again.ov));
    EXPECT_EQ(services.GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_TRUE(again.Done(0));
    EXPECT_EQ(again.ov.Internal, ERROR_GEN_FAILURE);
  }
  char buffer[8];
  DWORD got = 0;
  Overlapped r;
  EXPECT_FALSE(services.ReadFile(h, buffer, sizeof buffer, &got, &r.ov));
  DWORD errors = 0;
  COMSTAT stat{};
  EXPECT_FALSE(services.ClearCommError(h, &errors, &stat));
  DWORD status = 0;
  EXPECT_FALSE(services.GetCommModemStatus(h, &status));
  // Closing such a port still works: lowering the lines and purging have nothing to do.
  EXPECT_TRUE(services.EscapeCommFunction(h, CLRDTR));
  EXPECT_TRUE(services.EscapeCommFunction(h, CLRRTS));
  EXPECT_TRUE(services.PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT));
  EXPECT_TRUE(services.CloseHandle(h));
  h = INVALID_HANDLE_VALUE;
}

TEST_F(PosixDeviceTest, FarSideGoneBeforeTheWaitFailsItAtOnce) {
  OpenConfigured();
  pty.CloseMaster();
  Overlapped o;
  DWORD mask = 0;
  EXPECT_FALSE(services.WaitCommEvent(h, &mask, &o.ov));
  EXPECT_EQ(services.GetLastError(), ERROR_GEN_FAILURE);
  EXPECT_TRUE(o.Done(0));
}

TEST_F(PosixDeviceTest, EveryRateAndCharacterFormatIsAccepted) {
  OpenConfigured();
  const DWORD rates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                         19200, 38400, 56000, 57600, 115200, 128000, 256000};
  for (DWORD rate : rates) {
    DCB dcb = LineRecord(rate);
    ASSERT_TRUE(services.SetCommState(h, &dcb)) << rate << " error " << services.GetLastError();
    posix::LineSettings line;
    ASSERT_EQ(posix::ReadLineSettings(pty.slave(), &line), 0);
    EXPECT_EQ(line.baud, rate);
  }
  // Every character format is accepted. A pseudo-terminal always reports eight bits and no
  // parity, so the format bits are checked against the C library's own constants instead.
  struct Format {
    BYTE size, parity, stop;
    tcflag_t flags;
  };
  const Format formats[] = {{5, NOPARITY, ONE5STOPBITS, CS5 | CSTOPB},
                            {6, ODDPARITY, ONESTOPBIT, CS6 | PARENB | PARODD},
                            {7, EVENPARITY, TWOSTOPBITS, CS7 | PARENB | CSTOPB},
                            {8, MARKPARITY, ONESTOPBIT, CS8 | PARENB | PARODD | CMSPAR},
                            {8, SPACEPARITY, TWOSTOPBITS, CS8 | PARENB | CMSPAR | CSTOPB}};
  for (const Format& f : formats) {
    DCB dcb = LineRecord(9600, f.size, f.parity, f.stop);
    EXPECT_TRUE(services.SetCommState(h, &dcb)) << int(f.size) << int(f.parity);
    posix::LineSettings line;
    line.data_bits = f.size;
    line.parity = f.parity;
    line.stop_bits = f.stop;
    EXPECT_EQ(posix::FormatFlags(line), f.flags) << int(f.size) << int(f.parity) << int(f.stop);
  }
  // Values outside the record's range are refused.
  for (DCB dcb : {LineRecord(9600, 4), LineRecord(9600, 9), LineRecord(9600, 8, 5), LineRecord(9600, 8, 0, 3),
                  LineRecord(0)}) {
    EXPECT_FALSE(services.SetCommState(h, &dcb));
    EXPECT_EQ(services.GetLastError(), ERROR_INVALID_PARAMETER);
  }
}

TEST_F(PosixDeviceTest, CallsOnAClosedHandleAreRefused) {
  OpenConfigured();
  HANDLE old = h;
  ASSERT_TRUE(services.CloseHandle(h));
  h = INVALID_HANDLE_VALUE;
  DWORD status = 0;
  EXPECT_FALSE(services.GetCommModemStatus(old, &status));
  EXPECT_EQ(services.GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(services.EscapeCommFunction(INVALID_HANDLE_VALUE, CLRDTR));
  EXPECT_EQ(services.GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
