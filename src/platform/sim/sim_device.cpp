#include "platform/sim/sim_device.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/kernel.h"

namespace platform::sim {
namespace {

class SimPort final : public kernel::Object {};

HKEY const kSerialKey = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x5E41A1));

Call MakeCall(const char* name, std::initializer_list<std::uint64_t> args) {
  Call c;
  c.name = name;
  c.args = args;
  return c;
}

std::uint64_t H(HANDLE h) { return reinterpret_cast<std::uintptr_t>(h); }

}  // namespace

SimDeviceServices::SimDeviceServices() = default;

SimDeviceServices::~SimDeviceServices() {
  std::lock_guard<std::mutex> lock(mu_);
  if (device_ != INVALID_HANDLE_VALUE) kernel::Close(device_);
}

// ---------------------------------------------------------------- scripting

void SimDeviceServices::Fail(const std::string& name, DWORD error) {
  std::lock_guard<std::mutex> lock(mu_);
  if (error == 0)
    failures_.erase(name);
  else
    failures_[name] = {error, -1};
}

void SimDeviceServices::FailTimes(const std::string& name, DWORD error, int count) {
  std::lock_guard<std::mutex> lock(mu_);
  failures_[name] = {error, count};
}

void SimDeviceServices::ClearFailures() {
  std::lock_guard<std::mutex> lock(mu_);
  failures_.clear();
}

void SimDeviceServices::SetModemStatus(DWORD status) {
  std::lock_guard<std::mutex> lock(mu_);
  modem_status_ = status;
}

void SimDeviceServices::SetErrorWord(DWORD errors) {
  std::lock_guard<std::mutex> lock(mu_);
  error_word_ = errors;
}

void SimDeviceServices::SetInQueue(const std::string& bytes) {
  std::lock_guard<std::mutex> lock(mu_);
  in_queue_ += bytes;
}

void SimDeviceServices::Receive(const std::string& bytes) {
  SetInQueue(bytes);
  RaiseEvents(EV_RXCHAR);
}

std::string SimDeviceServices::InQueue() const {
  std::lock_guard<std::mutex> lock(mu_);
  return in_queue_;
}

void SimDeviceServices::RaiseEvents(DWORD events) {
  std::lock_guard<std::mutex> lock(mu_);
  if (wait_ov_ != nullptr && (events & comm_mask_) != 0)
    CompleteWaitLocked(events & comm_mask_, 0);
  else if (wait_ov_ == nullptr)
    occurred_ |= events;
}

void SimDeviceServices::CompleteWait(DWORD mask) {
  std::lock_guard<std::mutex> lock(mu_);
  if (wait_ov_ != nullptr) CompleteWaitLocked(mask, 0);
}

void SimDeviceServices::FailWait(DWORD error) {
  std::lock_guard<std::mutex> lock(mu_);
  if (wait_ov_ != nullptr) CompleteWaitLocked(0, error);
}

bool SimDeviceServices::AwaitPendingWait(int ms) {
  std::unique_lock<std::mutex> lock(mu_);
  return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return wait_ov_ != nullptr; });
}

int SimDeviceServices::WaitCount() const {
  std::lock_guard<std::mutex> lock(mu_);
  return wait_count_;
}

void SimDeviceServices::HoldReads(bool hold) {
  std::lock_guard<std::mutex> lock(mu_);
  hold_reads_ = hold;
  if (hold) return;
  for (auto& r : held_reads_) {
    DWORD n = static_cast<DWORD>(std::min<std::size_t>(r.count, in_queue_.size()));
    std::memcpy(r.buffer, in_queue_.data(), n);
    in_queue_.erase(0, n);
    kernel::CompleteOverlapped(r.ov, 0, n);
  }
  held_reads_.clear();
}

void SimDeviceServices::SetRegistry(std::optional<std::vector<std::string>> values) {
  std::lock_guard<std::mutex> lock(mu_);
  registry_ = std::move(values);
}

void SimDeviceServices::SetCallHook(std::function<void(const Call&)> hook) {
  std::lock_guard<std::mutex> lock(mu_);
  hook_ = std::move(hook);
}

std::vector<Call> SimDeviceServices::Calls() const {
  std::lock_guard<std::mutex> lock(mu_);
  return calls_;
}

std::vector<std::string> SimDeviceServices::CallNames() const {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<std::string> names;
  for (auto& c : calls_) names.push_back(c.name);
  return names;
}

void SimDeviceServices::ClearCalls() {
  std::lock_guard<std::mutex> lock(mu_);
  calls_.clear();
}

bool SimDeviceServices::DeviceOpen() const {
  std::lock_guard<std::mutex> lock(mu_);
  return device_ != INVALID_HANDLE_VALUE;
}

DWORD SimDeviceServices::CommMask() const {
  std::lock_guard<std::mutex> lock(mu_);
  return comm_mask_;
}

bool SimDeviceServices::Dtr() const {
  std::lock_guard<std::mutex> lock(mu_);
  return dtr_;
}

bool SimDeviceServices::Rts() const {
  std::lock_guard<std::mutex> lock(mu_);
  return rts_;
}

// ---------------------------------------------------------------- internals

DWORD SimDeviceServices::Record(Call call) {
  calls_.push_back(call);
  return TakeFailure(call.name);
}

DWORD SimDeviceServices::TakeFailure(const std::string& name) {
  auto it = failures_.find(name);
  if (it == failures_.end()) return 0;
  DWORD error = it->second.first;
  if (it->second.second > 0 && --it->second.second == 0) failures_.erase(it);
  return error;
}

BOOL SimDeviceServices::Refuse(DWORD error) {
  kernel::SetLastError(error);
  return FALSE_;
}

bool SimDeviceServices::IsDevice(HANDLE h) const {
  return device_ != INVALID_HANDLE_VALUE && h == device_;
}

void SimDeviceServices::CompleteWaitLocked(DWORD mask, DWORD status) {
  if (wait_mask_ != nullptr) *wait_mask_ = mask;
  OVERLAPPED* ov = wait_ov_;
  wait_ov_ = nullptr;
  wait_mask_ = nullptr;
  kernel::CompleteOverlapped(ov, status, 0);
}

void SimDeviceServices::Notify(const Call& call) {
  std::function<void(const Call&)> hook;
  {
    std::lock_guard<std::mutex> lock(mu_);
    hook = hook_;
  }
  if (hook) hook(call);
}

// A device call: record it, answer an injected failure, refuse an invalid handle.
#define SIM_DEVICE_CALL(call, h)                    \
  std::unique_lock<std::mutex> lock(mu_);           \
  DWORD injected = Record(call);                    \
  struct NotifyLater {                              \
    SimDeviceServices* self;                        \
    Call c;                                         \
    std::unique_lock<std::mutex>* lock;             \
    ~NotifyLater() {                                \
      if (lock->owns_lock()) lock->unlock();        \
      self->Notify(c);                              \
    }                                               \
  } notify_later{this, call, &lock};                \
  if (injected != 0) return Refuse(injected);       \
  if (!IsDevice(h)) return Refuse(ERROR_INVALID_HANDLE)

// ---------------------------------------------------------------- DeviceServices

HANDLE SimDeviceServices::CreateFileA(const char* path, DWORD access, DWORD share, void*, DWORD disposition,
                                      DWORD flags, HANDLE) {
  Call call = MakeCall("CreateFileA", {access, share, disposition, flags});
  call.text = path ? path : "";
  HANDLE result = INVALID_HANDLE_VALUE;
  {
    std::lock_guard<std::mutex> lock(mu_);
    DWORD injected = Record(call);
    if (injected != 0) {
      kernel::SetLastError(injected);
    } else if (device_ != INVALID_HANDLE_VALUE) {
      kernel::SetLastError(ERROR_ACCESS_DENIED);
    } else {
      device_ = kernel::Register(std::make_shared<SimPort>());
      comm_mask_ = 0;
      occurred_ = 0;
      result = device_;
    }
  }
  Notify(call);
  return result;
}

BOOL SimDeviceServices::SetupComm(HANDLE h, DWORD in_queue, DWORD out_queue) {
  SIM_DEVICE_CALL(MakeCall("SetupComm", {H(h), in_queue, out_queue}), h);
  return TRUE_;
}

BOOL SimDeviceServices::SetCommState(HANDLE h, const DCB* dcb) {
  Call call = MakeCall("SetCommState", {H(h)});
  if (dcb) call.dcb = *dcb;
  SIM_DEVICE_CALL(call, h);
  dtr_ = rts_ = true;  // the record raises both lines
  return TRUE_;
}

BOOL SimDeviceServices::SetCommTimeouts(HANDLE h, const COMMTIMEOUTS* timeouts) {
  Call call = MakeCall("SetCommTimeouts", {H(h)});
  if (timeouts) call.timeouts = *timeouts;
  SIM_DEVICE_CALL(call, h);
  return TRUE_;
}

BOOL SimDeviceServices::SetCommMask(HANDLE h, DWORD mask) {
  SIM_DEVICE_CALL(MakeCall("SetCommMask", {H(h), mask}), h);
  comm_mask_ = mask;
  if (wait_ov_ != nullptr) CompleteWaitLocked(0, 0);  // a new mask ends a pending wait
  return TRUE_;
}

BOOL SimDeviceServices::WaitCommEvent(HANDLE h, DWORD* mask, OVERLAPPED* ov) {
  std::unique_lock<std::mutex> lock(mu_);
  Call call = MakeCall("WaitCommEvent", {H(h)});
  DWORD injected = Record(call);
  ++wait_count_;
  BOOL result = FALSE_;
  if (injected != 0 || !IsDevice(h) || ov == nullptr || wait_ov_ != nullptr) {
    DWORD error = injected != 0 ? injected : (!IsDevice(h) ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    // A wait refused at once leaves its record completed with the failure.
    if (ov != nullptr) kernel::CompleteOverlapped(ov, error, 0);
    kernel::SetLastError(error);
  } else if ((occurred_ & comm_mask_) != 0) {
    if (mask) *mask = occurred_ & comm_mask_;
    occurred_ = 0;
    kernel::CompleteOverlapped(ov, 0, 0);
    result = TRUE_;
  } else {
    occurred_ = 0;
    wait_mask_ = mask;
    wait_ov_ = ov;
    ov->Internal = ERROR_IO_PENDING;
    kernel::ResetEvent(ov->hEvent);
    kernel::SetLastError(ERROR_IO_PENDING);
    cv_.notify_all();
  }
  lock.unlock();
  Notify(call);
  return result;
}

BOOL SimDeviceServices::GetOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* transferred, BOOL) {
  SIM_DEVICE_CALL(MakeCall("GetOverlappedResult", {H(h)}), h);
  if (ov == nullptr) return Refuse(ERROR_INVALID_PARAMETER);
  if (ov->Internal == ERROR_IO_PENDING) return Refuse(ERROR_IO_INCOMPLETE);
  if (ov->Internal != 0) return Refuse(static_cast<DWORD>(ov->Internal));
  if (transferred) *transferred = static_cast<DWORD>(ov->InternalHigh);
  return TRUE_;
}

BOOL SimDeviceServices::ClearCommError(HANDLE h, DWORD* errors, COMSTAT* stat) {
  SIM_DEVICE_CALL(MakeCall("ClearCommError", {H(h)}), h);
  if (errors) *errors = error_word_;
  error_word_ = 0;
  if (stat) {
    *stat = COMSTAT{};
    stat->cbInQue = static_cast<DWORD>(in_queue_.size());
  }
  return TRUE_;
}

BOOL SimDeviceServices::GetCommModemStatus(HANDLE h, DWORD* status) {
  SIM_DEVICE_CALL(MakeCall("GetCommModemStatus", {H(h)}), h);
  if (status) *status = modem_status_;
  return TRUE_;
}

BOOL SimDeviceServices::EscapeCommFunction(HANDLE h, DWORD func) {
  SIM_DEVICE_CALL(MakeCall("EscapeCommFunction", {H(h), func}), h);
  if (func == SETDTR) dtr_ = true;
  if (func == CLRDTR) dtr_ = false;
  if (func == SETRTS) rts_ = true;
  if (func == CLRRTS) rts_ = false;
  return TRUE_;
}

BOOL SimDeviceServices::PurgeComm(HANDLE h, DWORD flags) {
  SIM_DEVICE_CALL(MakeCall("PurgeComm", {H(h), flags}), h);
  if (flags & PURGE_RXCLEAR) in_queue_.clear();
  return TRUE_;
}

BOOL SimDeviceServices::ReadFile(HANDLE h, void* buffer, DWORD count, DWORD* read, OVERLAPPED* ov) {
  SIM_DEVICE_CALL(MakeCall("ReadFile", {H(h), count}), h);
  if (ov == nullptr) return Refuse(ERROR_INVALID_PARAMETER);
  if (hold_reads_) {
    ov->Internal = ERROR_IO_PENDING;
    kernel::ResetEvent(ov->hEvent);
    held_reads_.push_back({ov, static_cast<char*>(buffer), count});
    return Refuse(ERROR_IO_PENDING);
  }
  DWORD n = static_cast<DWORD>(std::min<std::size_t>(count, in_queue_.size()));
  std::memcpy(buffer, in_queue_.data(), n);
  in_queue_.erase(0, n);
  if (read) *read = n;
  kernel::CompleteOverlapped(ov, 0, n);
  return TRUE_;
}

BOOL SimDeviceServices::CancelIo(HANDLE h) {
  SIM_DEVICE_CALL(MakeCall("CancelIo", {H(h)}), h);
  for (auto& r : held_reads_) {
    kernel::CompleteOverlapped(r.ov, ERROR_OPERATION_ABORTED, 0);
  }
  held_reads_.clear();
  return TRUE_;
}

BOOL SimDeviceServices::CloseHandle(HANDLE h) {
  bool device = false;
  Call call = MakeCall("CloseHandle", {H(h)});
  {
    std::lock_guard<std::mutex> lock(mu_);
    device = IsDevice(h);
    if (device) {
      DWORD injected = Record(call);
      (void)injected;  // closing always releases the handle
      device_ = INVALID_HANDLE_VALUE;
      if (wait_ov_ != nullptr) CompleteWaitLocked(0, ERROR_OPERATION_ABORTED);
      dtr_ = rts_ = false;
    }
  }
  if (device) Notify(call);
  return KernelDeviceServices::CloseHandle(h);
}

DWORD SimDeviceServices::InjectedWaitFailure(const char* name) {
  std::lock_guard<std::mutex> lock(mu_);
  return TakeFailure(name);
}

DWORD SimDeviceServices::WaitForSingleObject(HANDLE h, DWORD milliseconds) {
  if (DWORD error = InjectedWaitFailure("WaitForSingleObject")) {
    kernel::SetLastError(error);
    return WAIT_FAILED;
  }
  return KernelDeviceServices::WaitForSingleObject(h, milliseconds);
}

DWORD SimDeviceServices::WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all,
                                                DWORD milliseconds) {
  if (DWORD error = InjectedWaitFailure("WaitForMultipleObjects")) {
    kernel::SetLastError(error);
    return WAIT_FAILED;
  }
  return KernelDeviceServices::WaitForMultipleObjects(count, handles, wait_all, milliseconds);
}

long SimDeviceServices::RegOpenKeyExA(HKEY root, const char* sub_key, DWORD options, DWORD access,
                                      HKEY* result) {
  Call call = MakeCall("RegOpenKeyExA", {reinterpret_cast<std::uintptr_t>(root), options, access});
  call.text = sub_key ? sub_key : "";
  long rc = 0;
  {
    std::lock_guard<std::mutex> lock(mu_);
    DWORD injected = Record(call);
    if (injected != 0)
      rc = static_cast<long>(injected);
    else if (!registry_ || root != HKEY_LOCAL_MACHINE || call.text != "HARDWARE\\DEVICEMAP\\SERIALCOMM")
      rc = ERROR_FILE_NOT_FOUND;
    else {
      key_open_ = true;
      if (result) *result = kSerialKey;
    }
  }
  Notify(call);
  return rc;
}

long SimDeviceServices::RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD*,
                                      DWORD* type, BYTE* data, DWORD* data_size) {
  Call call = MakeCall("RegEnumValueA", {index, name_size ? *name_size : 0, data_size ? *data_size : 0});
  long rc = 0;
  {
    std::lock_guard<std::mutex> lock(mu_);
    DWORD injected = Record(call);
    if (injected != 0) {
      rc = static_cast<long>(injected);
    } else if (key != kSerialKey || !key_open_ || !registry_) {
      rc = ERROR_INVALID_HANDLE;
    } else if (index >= registry_->size()) {
      rc = ERROR_NO_MORE_ITEMS;
    } else {
      std::string value_name = "\\Device\\Serial" + std::to_string(index);
      const std::string& value = (*registry_)[index];
      if (value_name.size() + 1 > *name_size || value.size() + 1 > *data_size) {
        rc = ERROR_MORE_DATA;
      } else {
        std::memcpy(name, value_name.c_str(), value_name.size() + 1);
        *name_size = static_cast<DWORD>(value_name.size());
        std::memcpy(data, value.data(), value.size());
        data[value.size()] = 0;
        *data_size = static_cast<DWORD>(value.size() + 1);
        if (type) *type = 1;  // a string value
      }
    }
  }
  Notify(call);
  return rc;
}

long SimDeviceServices::RegCloseKey(HKEY key) {
  Call call = MakeCall("RegCloseKey", {reinterpret_cast<std::uintptr_t>(key)});
  {
    std::lock_guard<std::mutex> lock(mu_);
    Record(call);
    key_open_ = false;
  }
  Notify(call);
  return 0;
}

int SimDeviceServices::CompareStringA(DWORD, DWORD flags, const char* a, int a_len, const char* b, int b_len) {
  return CompareAnsi(flags, a, a_len, b, b_len);
}

}  // namespace platform::sim
