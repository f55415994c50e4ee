// Threads and the hand-over to the user-interface thread (this test's thread).
#include <gtest/gtest.h>

#include <atomic>

#include "platform/threads.h"

using namespace platform;

namespace {

class LambdaThread : public TThread {
 public:
  explicit LambdaThread(std::function<void(LambdaThread&)> body) : TThread(true), body_(std::move(body)) {}
  ~LambdaThread() override { Destroy(); }
  void Sync(const std::function<void()>& f) { Synchronize(f); }

 protected:
  void Execute() override { body_(*this); }

 private:
  std::function<void(LambdaThread&)> body_;
};

}  // namespace

TEST(Threads, SynchronizeRunsInTheUserInterfaceThreadAndCarriesExceptionsBack) {
  SetMainThread();
  const auto ui = std::this_thread::get_id();
  std::vector<std::string> order;
  std::string carried;
  {
    LambdaThread t([&](LambdaThread& self) {
      self.Sync([&] {
        EXPECT_EQ(std::this_thread::get_id(), ui);
        order.push_back("first");
      });
      try {
        self.Sync([] { throw Exception("from the handler"); });
      } catch (const Exception& e) {
        carried = e.Message();
      }
      self.Sync([&] { order.push_back("second"); });
    });
    EXPECT_FALSE(t.Finished());  // created suspended: runs only after Resume
    t.Resume();
    t.WaitFor();  // serves the hand-overs while it waits
    EXPECT_TRUE(t.Finished());
  }
  EXPECT_EQ(order, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(carried, "from the handler");
}

TEST(Threads, DestroyingSetsTheTerminateFlagAndWaits) {
  SetMainThread();
  std::atomic<bool> saw_terminate{false};
  {
    LambdaThread t([&](LambdaThread& self) {
      while (!self.Terminated()) std::this_thread::yield();
      saw_terminate = true;
      throw Exception("kept and discarded");
    });
    t.Resume();
  }
  EXPECT_TRUE(saw_terminate);
  { LambdaThread never_started([](LambdaThread&) { FAIL(); }); }
}

TEST(Threads, SentMessagesRunInTheWindowsThreadAndReplyReleasesTheSender) {
  SetMainThread();
  std::atomic<int> stage{0};
  std::vector<bool> in_send;
  HWND window = AllocateHWnd([&](TMessage& m) {
    in_send.push_back(InSendMessage());
    if (m.Msg == 1) {
      ReplyMessage(7);
      // the sender goes on while this procedure still runs
      while (stage.load() < 1) std::this_thread::yield();
    }
    m.Result = 5;
  });
  LRESULT first = 0, second = 0;
  LambdaThread t([&](LambdaThread&) {
    first = SendMessage(window, 1, 0, 0);
    stage = 1;
    second = SendMessage(window, 2, 0, 0);
  });
  t.Resume();
  t.WaitFor();
  EXPECT_EQ(first, 7);
  EXPECT_EQ(second, 5);
  EXPECT_EQ(SendMessage(window, 3, 0, 0), 5);  // from its own thread: runs at once
  EXPECT_EQ(in_send, (std::vector<bool>{true, true, false}));
  DeallocateHWnd(window);
  EXPECT_EQ(SendMessage(window, 3, 0, 0), 0);  // a window that is gone answers 0
}
