#include "platform/kernel.h"

#include <condition_variable>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace platform::kernel {
namespace {

std::mutex& TableMutex() {
  static std::mutex m;
  return m;
}
std::unordered_map<std::uintptr_t, std::shared_ptr<Object>>& Table() {
  static std::unordered_map<std::uintptr_t, std::shared_ptr<Object>> t;
  return t;
}
std::uintptr_t next_handle = 0x1000;

std::mutex& WaitMutex() {
  static std::mutex m;
  return m;
}
std::condition_variable& WaitCv() {
  static std::condition_variable cv;
  return cv;
}

thread_local DWORD last_error = 0;

class Event final : public Object {
 public:
  Event(bool manual, bool signalled) : manual_(manual), signalled_(signalled) {}
  bool IsSignalled() const override { return signalled_; }
  void Consume() override {
    if (!manual_) signalled_ = false;
  }
  void Set(bool value) { signalled_ = value; }

 private:
  bool manual_;
  bool signalled_;
};

}  // namespace

HANDLE Register(std::shared_ptr<Object> object) {
  std::lock_guard<std::mutex> lock(TableMutex());
  std::uintptr_t value = next_handle;
  next_handle += 4;
  Table().emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<Object> Lookup(HANDLE handle) {
  std::lock_guard<std::mutex> lock(TableMutex());
  auto it = Table().find(reinterpret_cast<std::uintptr_t>(handle));
  return it == Table().end() ? nullptr : it->second;
}

BOOL Close(HANDLE handle) {
  std::shared_ptr<Object> object;
  {
    std::lock_guard<std::mutex> lock(TableMutex());
    auto it = Table().find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == Table().end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE_;
    }
    object = std::move(it->second);
    Table().erase(it);
  }
  object->OnClose();
  return TRUE_;
}

std::size_t OpenHandleCount() {
  std::lock_guard<std::mutex> lock(TableMutex());
  return Table().size();
}

void SetLastError(DWORD error) { last_error = error; }
DWORD GetLastError() { return last_error; }

HANDLE CreateEvent(bool manual_reset, bool initially_signalled) {
  return Register(std::make_shared<Event>(manual_reset, initially_signalled));
}

static BOOL SetEventState(HANDLE handle, bool value) {
  auto event = LookupAs<Event>(handle);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE_;
  }
  std::lock_guard<std::mutex> lock(WaitMutex());
  event->Set(value);
  if (value) WaitCv().notify_all();
  return TRUE_;
}

BOOL SetEvent(HANDLE event) { return SetEventState(event, true); }
BOOL ResetEvent(HANDLE event) { return SetEventState(event, false); }

void CompleteOverlapped(OVERLAPPED* ov, DWORD status, DWORD transferred) {
  ov->Internal = status;
  ov->InternalHigh = transferred;
  SetEvent(ov->hEvent);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, bool wait_all, DWORD milliseconds) {
  if (count == 0 || handles == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::vector<std::shared_ptr<Object>> objects;
  objects.reserve(count);
  for (DWORD i = 0; i < count; ++i) {
    auto object = Lookup(handles[i]);
    if (!object) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    objects.push_back(std::move(object));
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  std::unique_lock<std::mutex> lock(WaitMutex());
  bool timed_out = false;
  for (;;) {
    if (wait_all) {
      bool all = true;
      for (auto& o : objects) all = all && o->IsSignalled();
      if (all) {
        for (auto& o : objects) o->Consume();
        return WAIT_OBJECT_0;
      }
    } else {
      for (DWORD i = 0; i < count; ++i) {
        if (objects[i]->IsSignalled()) {
          objects[i]->Consume();
          return WAIT_OBJECT_0 + i;
        }
      }
    }
    if (timed_out) return WAIT_TIMEOUT;
    if (milliseconds == INFINITE) {
      WaitCv().wait(lock);
    } else if (WaitCv().wait_until(lock, deadline) == std::cv_status::timeout) {
      timed_out = true;
    }
  }
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return WaitForMultipleObjects(1, &handle, false, milliseconds);
}

void LockWaits() { WaitMutex().lock(); }
void UnlockWaits() { WaitMutex().unlock(); }
void WakeWaiters() { WaitCv().notify_all(); }

}  // namespace platform::kernel
