// A simulated serial device and port list behind the device services. Every call is recorded
// with its arguments; a test can make any call fail with any error, set the modem status, the
// error word and the input queue, complete, hold or fail the event wait, and script the
// system's list of serial ports.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/device_services.h"

namespace platform::sim {

struct Call {
  std::string name;
  std::vector<std::uint64_t> args;  // the numeric arguments, in order
  std::string text;                 // the path of CreateFileA
  DCB dcb{};                        // SetCommState
  COMMTIMEOUTS timeouts{};          // SetCommTimeouts
};

class SimDeviceServices : public KernelDeviceServices {
 public:
  SimDeviceServices();
  ~SimDeviceServices() override;

  // --- scripting (any thread) ---
  // Makes every later call of `name` fail with `error` until cleared (error 0 clears).
  void Fail(const std::string& name, DWORD error);
  // Makes only the next `count` calls of `name` fail.
  void FailTimes(const std::string& name, DWORD error, int count);
  void ClearFailures();
  void SetModemStatus(DWORD status);
  void SetErrorWord(DWORD errors);
  // Appends bytes to the input queue (no event is raised).
  void SetInQueue(const std::string& bytes);
  // Appends bytes and raises EV_RXCHAR.
  void Receive(const std::string& bytes);
  std::string InQueue() const;
  // Raises device events: completes a pending wait with (events & mask) or keeps them for
  // the next wait, as a device does.
  void RaiseEvents(DWORD events);
  // Completes the pending wait with exactly `mask` (even 0), whatever the device mask.
  void CompleteWait(DWORD mask);
  // Completes the pending wait as failed with `error`.
  void FailWait(DWORD error);
  // Blocks until a WaitCommEvent is pending, or `ms` passed; true when one is.
  bool AwaitPendingWait(int ms = 5000);
  // Number of WaitCommEvent calls so far.
  int WaitCount() const;
  // Reads stay pending until ReleaseReads (for tests of read cancellation).
  void HoldReads(bool hold);
  // The system's list of serial ports: nullopt = the key is missing.
  void SetRegistry(std::optional<std::vector<std::string>> values);
  // Called after each recorded call, outside the device's lock (for test synchronisation).
  void SetCallHook(std::function<void(const Call&)> hook);

  // --- inspection ---
  std::vector<Call> Calls() const;
  std::vector<std::string> CallNames() const;
  void ClearCalls();
  bool DeviceOpen() const;
  DWORD CommMask() const;
  bool Dtr() const;
  bool Rts() const;

  // --- DeviceServices ---
  HANDLE CreateFileA(const char* path, DWORD access, DWORD share, void* security, DWORD disposition,
                     DWORD flags, HANDLE templ) override;
  BOOL SetupComm(HANDLE h, DWORD in_queue, DWORD out_queue) override;
  BOOL SetCommState(HANDLE h, const DCB* dcb) override;
  BOOL SetCommTimeouts(HANDLE h, const COMMTIMEOUTS* timeouts) override;
  BOOL SetCommMask(HANDLE h, DWORD mask) override;
  BOOL WaitCommEvent(HANDLE h, DWORD* mask, OVERLAPPED* ov) override;
  BOOL GetOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* transferred, BOOL wait) override;
  BOOL ClearCommError(HANDLE h, DWORD* errors, COMSTAT* stat) override;
  BOOL GetCommModemStatus(HANDLE h, DWORD* status) override;
  BOOL EscapeCommFunction(HANDLE h, DWORD func) override;
  BOOL PurgeComm(HANDLE h, DWORD flags) override;
  BOOL ReadFile(HANDLE h, void* buffer, DWORD count, DWORD* read, OVERLAPPED* ov) override;
  BOOL CancelIo(HANDLE h) override;
  BOOL CloseHandle(HANDLE h) override;
  DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds) override;
  DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all,
                               DWORD milliseconds) override;
  long RegOpenKeyExA(HKEY root, const char* sub_key, DWORD options, DWORD access, HKEY* result) override;
  long RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* reserved, DWORD* type,
                     BYTE* data, DWORD* data_size) override;
  long RegCloseKey(HKEY key) override;
  int CompareStringA(DWORD locale, DWORD flags, const char* a, int a_len, const char* b,
                     int b_len) override;

 private:
  struct PendingRead {
    OVERLAPPED* ov;
    char* buffer;
    DWORD count;
  };
  // Records the call; returns the injected error, or 0. Called with mu_ held.
  DWORD Record(Call call);
  // The injected error of the next call of `name`, or 0; counts the call. With mu_ held.
  DWORD TakeFailure(const std::string& name);
  // The same for the waits, which are not recorded; takes mu_.
  DWORD InjectedWaitFailure(const char* name);
  BOOL Refuse(DWORD error);  // sets the last error, returns FALSE
  bool IsDevice(HANDLE h) const;
  void CompleteWaitLocked(DWORD mask, DWORD status);
  void Notify(const Call& call);

  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::vector<Call> calls_;
  std::map<std::string, std::pair<DWORD, int>> failures_;  // error, remaining (-1 = always)
  std::function<void(const Call&)> hook_;
  HANDLE device_ = INVALID_HANDLE_VALUE;
  DWORD modem_status_ = 0;
  DWORD error_word_ = 0;
  std::string in_queue_;
  DWORD comm_mask_ = 0;
  DWORD occurred_ = 0;  // events raised while no wait was pending
  DWORD* wait_mask_ = nullptr;
  OVERLAPPED* wait_ov_ = nullptr;
  int wait_count_ = 0;
  bool hold_reads_ = false;
  std::vector<PendingRead> held_reads_;
  bool dtr_ = false;
  bool rts_ = false;
  std::optional<std::vector<std::string>> registry_;
  bool key_open_ = false;
};

}  // namespace platform::sim
