#include "platform/threads.h"

#include <chrono>
#include <deque>
#include <map>
#include <system_error>

namespace platform {
namespace {

// One piece of work handed to the user-interface thread: a synchronous call or a message
// sent to a hidden window.
struct HandOver {
  std::function<void()> method;  // a Synchronize call
  HWND window = nullptr;         // a sent message
  TMessage message{};
  bool done = false;     // the sender may go on
  std::exception_ptr error;
};

struct Window {
  WindowProc proc;
  std::thread::id owner;
};

struct State {
  std::mutex mu;
  std::condition_variable cv;  // signalled when work is queued, done, or a thread ends
  std::deque<std::shared_ptr<HandOver>> queue;
  std::function<void()> wake;
  std::map<std::uintptr_t, Window> windows;
  std::uintptr_t next_window = 0x10000;
  std::thread::id main_thread;
  ExceptionReport report;
};

State& S() {
  static State* state = new State;  // lives until the process ends: threads may outlive main
  return *state;
}

thread_local HandOver* current_sent = nullptr;  // the sent message being handled here

// Marks `item` (null: a message from this very thread) as the one being handled, for as long
// as the procedure runs, nested sends included.
class HandlingSent {
 public:
  explicit HandlingSent(HandOver* item) : outer_(current_sent) { current_sent = item; }
  ~HandlingSent() { current_sent = outer_; }
  HandlingSent(const HandlingSent&) = delete;
  HandlingSent& operator=(const HandlingSent&) = delete;

 private:
  HandOver* outer_;
};

void Queue(const std::shared_ptr<HandOver>& item) {
  std::function<void()> wake;
  {
    std::lock_guard<std::mutex> lock(S().mu);
    S().queue.push_back(item);
    wake = S().wake;
  }
  S().cv.notify_all();
  if (wake) wake();
}

void MarkDone(HandOver& item) {
  {
    std::lock_guard<std::mutex> lock(S().mu);
    item.done = true;
  }
  S().cv.notify_all();
}

void AwaitDone(HandOver& item) {
  std::unique_lock<std::mutex> lock(S().mu);
  S().cv.wait(lock, [&] { return item.done; });
}

void Run(HandOver& item) {
  if (item.method) {
    std::exception_ptr error;
    try {
      item.method();
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(S().mu);
      item.error = std::move(error);
      item.done = true;
    }
    S().cv.notify_all();
    return;
  }
  WindowProc proc;
  {
    std::lock_guard<std::mutex> lock(S().mu);
    auto it = S().windows.find(reinterpret_cast<std::uintptr_t>(item.window));
    if (it != S().windows.end()) proc = it->second.proc;
  }
  if (proc) {
    HandlingSent handling(&item);
    try {
      proc(item.message);
    } catch (...) {
      if (!item.done) MarkDone(item);
      throw;
    }
  }
  if (!item.done) MarkDone(item);
}

}  // namespace

void SetMainThread() {
  std::lock_guard<std::mutex> lock(S().mu);
  S().main_thread = std::this_thread::get_id();
}

bool InMainThread() {
  std::lock_guard<std::mutex> lock(S().mu);
  return S().main_thread == std::this_thread::get_id();
}

void SetWakeMainThread(std::function<void()> wake) {
  std::lock_guard<std::mutex> lock(S().mu);
  S().wake = std::move(wake);
}

bool CheckSynchronize() {
  bool ran = false;
  for (;;) {
    std::shared_ptr<HandOver> item;
    {
      std::lock_guard<std::mutex> lock(S().mu);
      if (S().queue.empty()) break;
      item = S().queue.front();
      S().queue.pop_front();
    }
    ran = true;
    Run(*item);
  }
  return ran;
}

void QueueToMainThread(std::function<void()> method) {
  auto item = std::make_shared<HandOver>();
  item->method = std::move(method);
  Queue(item);
}

void SetExceptionReport(ExceptionReport report) {
  std::lock_guard<std::mutex> lock(S().mu);
  S().report = std::move(report);
}

void ApplicationHandleException(std::exception_ptr error, void* sender) {
  ExceptionReport report;
  {
    std::lock_guard<std::mutex> lock(S().mu);
    report = S().report;
  }
  if (report) report(error, sender);
}

// ---------------------------------------------------------------- TThread

TThread::TThread(bool create_suspended) {
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error& e) {
    throw EThread(std::string("Thread creation error: ") + e.code().message());
  }
  if (!create_suspended) Resume();
}

TThread::~TThread() { Destroy(); }

void TThread::Run() {
  {
    std::unique_lock<std::mutex> lock(start_mu_);
    start_cv_.wait(lock, [this] { return resumed_; });
  }
  if (started_.load()) {
    try {
      Execute();
    } catch (...) {
      fatal_ = std::current_exception();
    }
  }
  {
    std::lock_guard<std::mutex> lock(S().mu);
    finished_.store(true);
  }
  S().cv.notify_all();
}

void TThread::Resume() {
  {
    std::lock_guard<std::mutex> lock(start_mu_);
    if (resumed_) return;
    started_.store(true);
    resumed_ = true;
  }
  start_cv_.notify_all();
}

void TThread::Terminate() { terminated_.store(true); }

void TThread::SetPriority(TThreadPriority priority) { priority_ = priority; }

void TThread::WaitFor() {
  if (InMainThread()) {
    for (;;) {
      CheckSynchronize();
      std::unique_lock<std::mutex> lock(S().mu);
      if (finished_.load()) break;
      S().cv.wait_for(lock, std::chrono::milliseconds(1000),
                      [this] { return finished_.load() || !S().queue.empty(); });
      if (finished_.load() && S().queue.empty()) break;
    }
  }
  if (thread_.joinable()) thread_.join();
}

void TThread::Destroy() {
  if (destroyed_) return;
  destroyed_ = true;
  if (!started_.load()) {
    // Never resumed: let the thread leave without running its body.
    {
      std::lock_guard<std::mutex> lock(start_mu_);
      resumed_ = true;
    }
    start_cv_.notify_all();
  } else if (!finished_.load()) {
    Terminate();
  }
  WaitFor();
  fatal_ = nullptr;  // an exception the body kept is discarded
}

void TThread::Synchronize(const std::function<void()>& method) {
  if (InMainThread()) {
    method();
    return;
  }
  auto item = std::make_shared<HandOver>();
  item->method = method;
  Queue(item);
  AwaitDone(*item);
  // Take the exception under the lock so that its last reference is released here, in the
  // thread that raises it again.
  std::exception_ptr error;
  {
    std::lock_guard<std::mutex> lock(S().mu);
    error = std::move(item->error);
  }
  if (error) std::rethrow_exception(error);
}

// ---------------------------------------------------------------- hidden windows

HWND AllocateHWnd(WindowProc proc) {
  std::lock_guard<std::mutex> lock(S().mu);
  std::uintptr_t id = S().next_window;
  S().next_window += 0x10;
  S().windows[id] = Window{std::move(proc), std::this_thread::get_id()};
  return reinterpret_cast<HWND>(id);
}

void DeallocateHWnd(HWND window) {
  std::lock_guard<std::mutex> lock(S().mu);
  S().windows.erase(reinterpret_cast<std::uintptr_t>(window));
}

LRESULT SendMessage(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  WindowProc proc;
  std::thread::id owner;
  {
    std::lock_guard<std::mutex> lock(S().mu);
    auto it = S().windows.find(reinterpret_cast<std::uintptr_t>(window));
    if (it == S().windows.end()) return 0;
    proc = it->second.proc;
    owner = it->second.owner;
  }
  if (owner == std::this_thread::get_id()) {
    TMessage message{msg, wparam, lparam, 0};
    HandlingSent handling(nullptr);
    proc(message);
    return message.Result;
  }
  auto item = std::make_shared<HandOver>();
  item->window = window;
  item->message = TMessage{msg, wparam, lparam, 0};
  Queue(item);
  AwaitDone(*item);
  return item->message.Result;
}

bool InSendMessage() { return current_sent != nullptr && !current_sent->done; }

BOOL ReplyMessage(LRESULT result) {
  if (current_sent == nullptr || current_sent->done) return FALSE_;
  current_sent->message.Result = result;
  MarkDone(*current_sent);
  return TRUE_;
}

LRESULT DefWindowProc(HWND, UINT, WPARAM, LPARAM) { return 0; }

}  // namespace platform
