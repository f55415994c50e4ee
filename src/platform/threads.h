// Threads and the hand-over to the user-interface thread.
//
// One thread is the user-interface thread (the one that called SetMainThread). Other threads
// hand work to it with TThread::Synchronize or SendMessage to a hidden window; it runs them in
// the order queued when its event loop calls CheckSynchronize (modal loops included) and while
// TThread::WaitFor waits. The toolkit installs a wake-up so that its loop notices new work.
#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/exceptions.h"
#include "platform/winapi.h"

namespace platform {

// Marks the calling thread as the user-interface thread.
void SetMainThread();
bool InMainThread();

// Installed by the toolkit: called from any thread when a hand-over or a sent message is
// queued, to wake the user-interface thread's event loop.
void SetWakeMainThread(std::function<void()> wake);

// Runs every queued hand-over and delivers every queued sent message, in the order queued.
// Returns true when it ran anything. User-interface thread only.
bool CheckSynchronize();

// Queues `method` to run in the user-interface thread and returns at once.
void QueueToMainThread(std::function<void()> method);

// The program-wide exception report (the application object's HandleException). Installed
// by the application; until then (and in tests that install none) reports are dropped.
using ExceptionReport = std::function<void(std::exception_ptr error, void* sender)>;
void SetExceptionReport(ExceptionReport report);
void ApplicationHandleException(std::exception_ptr error, void* sender);

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TThread {
 public:
  explicit TThread(bool create_suspended);
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;
  virtual ~TThread();

  void Resume();
  void Terminate();
  bool Terminated() const { return terminated_.load(); }
  bool Finished() const { return finished_.load(); }
  void SetPriority(TThreadPriority priority);
  TThreadPriority Priority() const { return priority_; }
  // Waits for the thread to end; in the user-interface thread it keeps serving hand-overs
  // and sent messages meanwhile.
  void WaitFor();
  // The exception the thread body let escape, if any.
  std::exception_ptr FatalException() const { return fatal_; }

 protected:
  virtual void Execute() = 0;
  // Runs `method` in the user-interface thread and blocks until it returned; an exception it
  // raises is raised again here.
  void Synchronize(const std::function<void()>& method);
  // The base destruction: if started and not finished, set the terminate flag and wait.
  // A derived destructor calls it before its own members go; ~TThread calls it too.
  void Destroy();

 private:
  void Run();

  std::thread thread_;
  std::atomic<bool> started_{false};
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  bool destroyed_ = false;
  TThreadPriority priority_ = TThreadPriority::tpNormal;
  std::exception_ptr fatal_;
  std::mutex start_mu_;
  std::condition_variable start_cv_;
  bool resumed_ = false;
};

// The hidden notification window: messages sent to it are handled by `proc` in the thread
// that allocated it (the user-interface thread).
struct TMessage {
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
  LRESULT Result;
};
using WindowProc = std::function<void(TMessage&)>;
HWND AllocateHWnd(WindowProc proc);
void DeallocateHWnd(HWND window);
// From the window's own thread the procedure runs at once; from another thread the call is
// queued and blocks until the procedure has run or replied. A window that is gone answers 0.
LRESULT SendMessage(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
// True while the procedure handles a message sent from another thread.
bool InSendMessage();
// Releases the sending thread at once with `result`.
BOOL ReplyMessage(LRESULT result);
LRESULT DefWindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);

}  // namespace platform
