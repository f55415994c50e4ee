// The device services the port component calls, with the names, arguments and results of the
// Windows serial, synchronisation and registry services. One implementation per system
// (posix/, win32/), plus the simulated device (sim/) for tests; the port component takes one
// by reference.
#pragma once

#include <string>

#include "platform/winapi.h"

namespace platform {

using HKEY = void*;
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u));
constexpr DWORD KEY_READ = 0x20019;
constexpr DWORD LOCALE_USER_DEFAULT = 0x0400;
constexpr DWORD NORM_IGNORECASE = 0x00000001;
// CompareStringA results
constexpr int CSTR_LESS_THAN = 1;
constexpr int CSTR_EQUAL = 2;
constexpr int CSTR_GREATER_THAN = 3;

class DeviceServices {
 public:
  virtual ~DeviceServices() = default;

  // Serial devices
  virtual HANDLE CreateFileA(const char* path, DWORD access, DWORD share, void* security,
                             DWORD disposition, DWORD flags, HANDLE templ) = 0;
  virtual BOOL SetupComm(HANDLE h, DWORD in_queue, DWORD out_queue) = 0;
  virtual BOOL SetCommState(HANDLE h, const DCB* dcb) = 0;
  virtual BOOL SetCommTimeouts(HANDLE h, const COMMTIMEOUTS* timeouts) = 0;
  virtual BOOL SetCommMask(HANDLE h, DWORD mask) = 0;
  virtual BOOL WaitCommEvent(HANDLE h, DWORD* mask, OVERLAPPED* ov) = 0;
  virtual BOOL GetOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* transferred, BOOL wait) = 0;
  virtual BOOL ClearCommError(HANDLE h, DWORD* errors, COMSTAT* stat) = 0;
  virtual BOOL GetCommModemStatus(HANDLE h, DWORD* status) = 0;
  virtual BOOL EscapeCommFunction(HANDLE h, DWORD func) = 0;
  virtual BOOL PurgeComm(HANDLE h, DWORD flags) = 0;
  virtual BOOL ReadFile(HANDLE h, void* buffer, DWORD count, DWORD* read, OVERLAPPED* ov) = 0;
  // Cancels the calling thread's outstanding operations on the handle.
  virtual BOOL CancelIo(HANDLE h) = 0;
  virtual BOOL CloseHandle(HANDLE h) = 0;
  virtual DWORD GetLastError() = 0;

  // Synchronisation
  virtual HANDLE CreateEventA(void* security, BOOL manual_reset, BOOL initial_state, const char* name) = 0;
  virtual BOOL SetEvent(HANDLE h) = 0;
  virtual BOOL ResetEvent(HANDLE h) = 0;
  virtual DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds) = 0;
  virtual DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all,
                                       DWORD milliseconds) = 0;
  virtual void Sleep(DWORD milliseconds) = 0;

  // The system's list of serial devices, read as the registry key SERIALCOMM
  virtual long RegOpenKeyExA(HKEY root, const char* sub_key, DWORD options, DWORD access,
                             HKEY* result) = 0;
  virtual long RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* reserved,
                             DWORD* type, BYTE* data, DWORD* data_size) = 0;
  virtual long RegCloseKey(HKEY key) = 0;
  virtual int CompareStringA(DWORD locale, DWORD flags, const char* a, int a_len, const char* b,
                             int b_len) = 0;
};

// Synchronisation, last error and handle closing on the generic kernel objects
// (platform/kernel.h): the base of the simulated and the Linux device layers.
class KernelDeviceServices : public DeviceServices {
 public:
  BOOL CloseHandle(HANDLE h) override;
  DWORD GetLastError() override;
  HANDLE CreateEventA(void* security, BOOL manual_reset, BOOL initial_state, const char* name) override;
  BOOL SetEvent(HANDLE h) override;
  BOOL ResetEvent(HANDLE h) override;
  DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds) override;
  DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all,
                               DWORD milliseconds) override;
  void Sleep(DWORD milliseconds) override;
};

// Compares two byte strings of the ANSI code page (Windows-1251) as CompareStringA does for a
// Russian locale: letters folded to one case with NORM_IGNORECASE, bytes from the left, a
// shorter string before a longer one that it begins. A length of -1 means "up to the NUL".
int CompareAnsi(DWORD flags, const char* a, int a_len, const char* b, int b_len);

// The services of the system the program was built for.
DeviceServices& SystemDeviceServices();

}  // namespace platform
