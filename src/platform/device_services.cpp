#include "platform/device_services.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "platform/kernel.h"

namespace platform {

BOOL KernelDeviceServices::CloseHandle(HANDLE h) { return kernel::Close(h); }
DWORD KernelDeviceServices::GetLastError() { return kernel::GetLastError(); }

HANDLE KernelDeviceServices::CreateEventA(void*, BOOL manual_reset, BOOL initial_state, const char*) {
  return kernel::CreateEvent(manual_reset != 0, initial_state != 0);
}
BOOL KernelDeviceServices::SetEvent(HANDLE h) { return kernel::SetEvent(h); }
BOOL KernelDeviceServices::ResetEvent(HANDLE h) { return kernel::ResetEvent(h); }
DWORD KernelDeviceServices::WaitForSingleObject(HANDLE h, DWORD milliseconds) {
  return kernel::WaitForSingleObject(h, milliseconds);
}
DWORD KernelDeviceServices::WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all,
                                                   DWORD milliseconds) {
  return kernel::WaitForMultipleObjects(count, handles, wait_all != 0, milliseconds);
}
void KernelDeviceServices::Sleep(DWORD milliseconds) {
  if (milliseconds == 0)
    std::this_thread::yield();
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

namespace {

unsigned char FoldCase(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
  if (c >= 0xE0) return static_cast<unsigned char>(c - 0x20);  // а..я -> А..Я
  if (c == 0xB8) return 0xA8;                                  // ё -> Ё
  return c;
}

// Collation weight: Ё sorts right after Е, every other byte by its code.
unsigned Weight(unsigned char c) {
  if (c == 0xA8) return (0xC5u << 1) | 1u;
  if (c == 0xB8) return (0xE5u << 1) | 1u;
  return static_cast<unsigned>(c) << 1;
}

}  // namespace

int CompareAnsi(DWORD flags, const char* a, int a_len, const char* b, int b_len) {
  std::size_t na = a_len < 0 ? std::strlen(a) : static_cast<std::size_t>(a_len);
  std::size_t nb = b_len < 0 ? std::strlen(b) : static_cast<std::size_t>(b_len);
  std::size_t n = na < nb ? na : nb;
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char ca = static_cast<unsigned char>(a[i]);
    unsigned char cb = static_cast<unsigned char>(b[i]);
    if (flags & NORM_IGNORECASE) {
      ca = FoldCase(ca);
      cb = FoldCase(cb);
    }
    unsigned wa = Weight(ca), wb = Weight(cb);
    if (wa != wb) return wa < wb ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
  }
  if (na == nb) return CSTR_EQUAL;
  return na < nb ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
}

}  // namespace platform
