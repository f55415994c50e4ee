// Kernel objects of the device model for systems that do not have them natively: a table of
// handles, event objects with the Windows wait semantics, and the per-thread last error.
// The simulated device and the Linux device layer build on these.
#pragma once

#include <chrono>
#include <memory>

#include "platform/winapi.h"

namespace platform::kernel {

// Anything a handle can stand for. Waitable objects override IsSignalled/Consume.
class Object {
 public:
  virtual ~Object() = default;
  // Called once when the handle is closed (before the last reference goes).
  virtual void OnClose() {}
  // Wait support; called with the wait lock held.
  virtual bool IsSignalled() const { return false; }
  virtual void Consume() {}  // an auto-reset object resets when a wait takes it
};

// Registers an object and returns its new handle. Handles are never reused.
HANDLE Register(std::shared_ptr<Object> object);
// The object behind a handle, or null when the handle is not (or no longer) open.
std::shared_ptr<Object> Lookup(HANDLE handle);
template <class T>
std::shared_ptr<T> LookupAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(Lookup(handle));
}
// Removes the handle, calls OnClose; false (ERROR_INVALID_HANDLE) when it was not open.
BOOL Close(HANDLE handle);
// Number of handles open; for leak checks in tests.
std::size_t OpenHandleCount();

// Thread-local last error.
void SetLastError(DWORD error);
DWORD GetLastError();

// Event objects.
HANDLE CreateEvent(bool manual_reset, bool initially_signalled);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// Completes an overlapped operation: its status (0 or an error code) and the bytes
// transferred, then its event.
void CompleteOverlapped(OVERLAPPED* ov, DWORD status, DWORD transferred);

// Waits with the Windows rules: for "any", the lowest index of the signalled objects wins.
// Returns WAIT_OBJECT_0 + index, WAIT_TIMEOUT, or WAIT_FAILED (with the last error set).
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, bool wait_all, DWORD milliseconds);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

// For objects whose state changes outside SetEvent/ResetEvent (a device completing an
// operation): run `change` under the wait lock and wake every waiter.
template <class F>
void ChangeState(F&& change);
void LockWaits();
void UnlockWaits();
void WakeWaiters();  // call with the wait lock held

template <class F>
void ChangeState(F&& change) {
  LockWaits();
  try {
    change();
  } catch (...) {
    WakeWaiters();
    UnlockWaits();
    throw;
  }
  WakeWaiters();
  UnlockWaits();
}

}  // namespace platform::kernel
