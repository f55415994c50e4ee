// The serial device services on Linux: tty devices behind the handles, overlapped waits and
// reads completed by a watcher thread per open device, and the system's serial ports (sysfs
// plus the virtual ports registered by the virtual instrument) served as the values of the
// registry key SERIALCOMM.
#pragma once

#include <string>
#include <vector>

#include "platform/device_services.h"

namespace platform::posix {

// Where virtual ports are registered: a link per port, named after the port, pointing at its
// device (a pseudo-terminal). $XDG_RUNTIME_DIR/talvik/ports, or ~/.local/state/talvik/ports
// when the runtime directory is not set.
std::string DefaultVirtualPortDir();

// The serial device names the system offers: the sysfs tty entries that stand for real
// hardware (placeholder ports without a UART left out) and the live virtual ports, sorted by
// name, each once. False when neither source could be read.
bool ListSerialDevices(const std::string& sysfs_root, const std::string& virtual_dir,
                       std::vector<std::string>* names);

class PosixDeviceServices : public KernelDeviceServices {
 public:
  // The system's sysfs and the user's virtual-port directory.
  PosixDeviceServices();
  // Other sources of the port list (tests use a recorded sysfs tree).
  PosixDeviceServices(std::string sysfs_root, std::string virtual_port_dir);

  const std::string& VirtualPortDir() const { return virtual_dir_; }

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

  long RegOpenKeyExA(HKEY root, const char* sub_key, DWORD options, DWORD access, HKEY* result) override;
  long RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* reserved, DWORD* type,
                     BYTE* data, DWORD* data_size) override;
  long RegCloseKey(HKEY key) override;
  int CompareStringA(DWORD locale, DWORD flags, const char* a, int a_len, const char* b,
                     int b_len) override;

  // The device path a port name stands for: the target of a registered virtual port of that
  // name, else /dev/<name>. Empty for names that are no plain device name ("", ".", "..",
  // anything with a '/').
  std::string DevicePath(const std::string& port_name) const;

 private:
  std::string sysfs_root_;
  std::string virtual_dir_;
};

}  // namespace platform::posix
