// Overlapped reading of the queued bytes.
#include "../support/port_fixture.h"

using namespace platform;
using talvik_test::PortTest;
using talvik_test::RaisedMessage;

TEST_F(PortTest, ReadTextTakesAtMostWhatIsQueued) {
  OpenPort();
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  struct Case {
    std::string queued;
    int count;
    int result;
    std::string text;
  } cases[] = {
      {"abc", 0, 0, ""}, {"abc", -4, 0, ""}, {"", 5, 0, ""},     {"abc", 10, 3, "abc"},
      {"abc", 3, 3, "abc"}, {"abcdef", 2, 2, "ab"}, {all, 256, 256, all},
  };
  for (auto& c : cases) {
    sim.ClearCalls();
    sim.PurgeComm(port.Handle(), PURGE_RXCLEAR);
    sim.SetInQueue(c.queued);
    std::string shared = "keep me";
    std::string str = shared;  // shares nothing the read may touch
    EXPECT_EQ(port.ReadText(str, c.count), c.result);
    EXPECT_EQ(str, c.text);
    EXPECT_EQ(shared, "keep me");
    EXPECT_EQ(CallsNamed("ReadFile").size(), c.count > 0 ? 1u : 0u);
  }
  port.Close();
}

TEST_F(PortTest, FailingReadsRaiseAndLeaveNothingBehind) {
  OpenPort();
  std::size_t handles = kernel::OpenHandleCount();
  struct Case {
    std::function<void()> arrange;
  } cases[] = {
      {[&] { sim.Fail("ReadFile", ERROR_GEN_FAILURE); }},
      {[&] { sim.Fail("GetOverlappedResult", ERROR_GEN_FAILURE); }},
      // The wait for a read still under way fails: the read is cancelled before its buffer goes.
      {[&] {
        sim.HoldReads(true);
        sim.FailTimes("WaitForSingleObject", ERROR_INVALID_HANDLE, 1);
      }},
  };
  for (auto& c : cases) {
    sim.SetInQueue("data");
    c.arrange();
    std::string str;
    EXPECT_EQ(RaisedMessage([&] { port.ReadText(str, 4); }), "Ошибка чтения из порта");
    EXPECT_EQ(kernel::OpenHandleCount(), handles);
    sim.ClearFailures();
    sim.HoldReads(false);
  }
  auto names = sim.CallNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), "CancelIo"), 2);  // none after a refused start
  port.Close();
}

TEST_F(PortTest, AsyncOperationsWithoutARecordAreRefused) {
  TAsyncOp* none = nullptr;
  char buffer[4];
  EXPECT_EQ(RaisedMessage([&] { port.StartRead(buffer, 4, none); }), "Недопустимый параметр Async");
  EXPECT_EQ(RaisedMessage([&] { port.AwaitAsyncOp(none); }), "Недопустимый параметр Async");
  port.Open();
  TAsyncOp* op = nullptr;
  NewAsyncOp(op, sim);
  ASSERT_NE(op, nullptr);
  EXPECT_EQ(op->Size, 0u);
  EXPECT_EQ(op->Data, nullptr);
  EXPECT_EQ(port.AwaitAsyncOp(op), 0);  // no read issued: its event is signalled, 0 bytes
  DisposeAsyncOp(op, sim);
  EXPECT_EQ(op, nullptr);
  port.Close();
}
