#include "platform/posix/posix_device.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/kernel.h"
#include "platform/posix/line_settings.h"

namespace platform::posix {
namespace fs = std::filesystem;
namespace {

// Errors with no counterpart in the device model keep their errno value, marked as ours by
// the bit the Windows error codes leave to applications.
constexpr DWORD kErrnoBit = 0x20000000u;

DWORD ErrorFromErrno(int e) {
  switch (e) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return ERROR_FILE_NOT_FOUND;
    case EBUSY:
    case EWOULDBLOCK:
      return ERROR_ACCESS_DENIED;
    case EIO:
      return ERROR_GEN_FAILURE;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    default:
      return kErrnoBit | static_cast<DWORD>(e);
  }
}

BOOL Refuse(DWORD error) {
  kernel::SetLastError(error);
  return FALSE_;
}

// A device without modem lines (a pseudo-terminal, some USB adapters) answers the modem
// ioctls with one of these.
bool NoModemLines(int e) { return e == ENOTTY || e == EINVAL; }

// ------------------------------------------------------------------ stopping a blocked ioctl

// The modem-line wait blocks in the driver; a signal without SA_RESTART makes it return.
int StopSignal() { return SIGRTMIN + 4; }

void OnStopSignal(int) {}

void InstallStopSignal() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no SA_RESTART: the interrupted ioctl returns EINTR
    sigaction(StopSignal(), &sa, nullptr);
  });
}

// ------------------------------------------------------------------ the open device

class PortDevice final : public kernel::Object {
 public:
  explicit PortDevice(int fd) : fd_(fd) {}
  ~PortDevice() override { Shutdown(); }

  DWORD Start();
  void OnClose() override { Shutdown(); }

  BOOL SetState(const DCB& dcb);
  BOOL SetMask(DWORD mask);
  BOOL Wait(DWORD* mask, OVERLAPPED* ov);
  BOOL Result(OVERLAPPED* ov, DWORD* transferred, bool wait);
  BOOL ClearError(DWORD* errors, COMSTAT* stat);
  BOOL ModemStatus(DWORD* status);
  BOOL Escape(DWORD func);
  BOOL Purge(DWORD flags);
  BOOL Read(void* buffer, DWORD count, DWORD* read, OVERLAPPED* ov);
  BOOL Cancel();

 private:
  void Shutdown();
  void WatchLoop();
  void ModemLoop();
  void Wake();
  DWORD CollectLocked();
  DWORD PollErrorsLocked();
  void CompleteWaitLocked(DWORD mask, DWORD status);
  BOOL FailGoneLocked();

  const int fd_;
  int wake_fd_ = -1;
  int epoll_fd_ = -1;

  std::mutex mu_;
  std::condition_variable cv_;
  bool closing_ = false;
  bool shut_ = false;
  bool gone_ = false;      // the device went away (hang-up, unplugged)
  DWORD comm_mask_ = 0;
  DWORD occurred_ = 0;     // events seen while no wait was outstanding
  DWORD errors_ = 0;       // error word not yet read
  long known_ = 0;         // bytes of the input queue that were already reported
  bool have_icount_ = true;
  serial_icounter_struct icount_{};
  DWORD* wait_mask_ = nullptr;
  OVERLAPPED* wait_ov_ = nullptr;
  std::thread::id wait_thread_;

  std::thread watcher_;
  std::thread modem_;
  std::atomic<bool> modem_stop_{false};
  bool modem_done_ = false;
};

DWORD PortDevice::Start() {
  wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  epoll_fd_ = epoll_create1(EPOLL_CLOEXEC);
  if (wake_fd_ < 0 || epoll_fd_ < 0) return ErrorFromErrno(errno);
  epoll_event ev{};
  // Edge-triggered: the watcher wakes on bytes that arrive, not on bytes that wait unread.
  ev.events = EPOLLIN | EPOLLET;
  ev.data.fd = fd_;
  if (epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, fd_, &ev) != 0) return ErrorFromErrno(errno);
  ev.events = EPOLLIN;
  ev.data.fd = wake_fd_;
  if (epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, wake_fd_, &ev) != 0) return ErrorFromErrno(errno);

  if (ioctl(fd_, TIOCGICOUNT, &icount_) != 0) have_icount_ = false;
  watcher_ = std::thread([this] { WatchLoop(); });
  int lines = 0;
  if (ioctl(fd_, TIOCMGET, &lines) == 0) {
    InstallStopSignal();
    modem_ = std::thread([this] { ModemLoop(); });
  }
  return 0;
}

void PortDevice::Shutdown() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (shut_) return;
    shut_ = true;
    closing_ = true;
    if (wait_ov_ != nullptr) CompleteWaitLocked(0, ERROR_OPERATION_ABORTED);
  }
  cv_.notify_all();
  Wake();
  if (watcher_.joinable()) watcher_.join();
  if (modem_.joinable()) {
    modem_stop_ = true;
    std::unique_lock<std::mutex> lock(mu_);
    // A signal that arrives just before the thread enters the ioctl is lost: repeat it until
    // the thread has ended.
    while (!modem_done_) {
      pthread_kill(modem_.native_handle(), StopSignal());
      cv_.wait_for(lock, std::chrono::milliseconds(5));
    }
    lock.unlock();
    modem_.join();
  }
  ioctl(fd_, TIOCNXCL);  // the tty may outlive this handle (a pty kept by its master)
  close(fd_);
  if (epoll_fd_ >= 0) close(epoll_fd_);
  if (wake_fd_ >= 0) close(wake_fd_);
}

void PortDevice::Wake() {
  if (wake_fd_ < 0) return;
  std::uint64_t one = 1;
  ssize_t n = write(wake_fd_, &one, sizeof one);
  (void)n;  // a full counter already wakes the watcher
}

void PortDevice::CompleteWaitLocked(DWORD mask, DWORD status) {
  if (wait_mask_ != nullptr) *wait_mask_ = mask;
  OVERLAPPED* ov = wait_ov_;
  wait_ov_ = nullptr;
  wait_mask_ = nullptr;
  kernel::CompleteOverlapped(ov, status, 0);
}

BOOL PortDevice::FailGoneLocked() { return Refuse(ERROR_GEN_FAILURE); }

DWORD PortDevice::PollErrorsLocked() {
  if (!have_icount_) return 0;
  serial_icounter_struct now{};
  if (ioctl(fd_, TIOCGICOUNT, &now) != 0) {
    if (NoModemLines(errno))
      have_icount_ = false;
    else
      gone_ = true;
    return 0;
  }
  DWORD found = 0;
  if (now.frame != icount_.frame) found |= CE_FRAME;
  if (now.parity != icount_.parity) found |= CE_RXPARITY;
  if (now.overrun != icount_.overrun) found |= CE_OVERRUN;
  if (now.brk != icount_.brk) found |= CE_BREAK;
  if (now.buf_overrun != icount_.buf_overrun) found |= CE_RXOVER;
  icount_ = now;
  errors_ |= found;
  DWORD events = 0;
  if (found != 0) events |= EV_ERR;
  if (found & CE_BREAK) events |= EV_BREAK;
  return events;
}

// What happened on the device since the last look, as event bits (before the mask).
DWORD PortDevice::CollectLocked() {
  DWORD events = occurred_;
  occurred_ = 0;
  int queued = 0;
  if (ioctl(fd_, FIONREAD, &queued) != 0) {
    gone_ = true;
    return 0;
  }
  if (queued > known_) events |= EV_RXCHAR;
  known_ = queued;
  events |= PollErrorsLocked();
  return gone_ ? 0 : events;
}

void PortDevice::WatchLoop() {
  std::unique_lock<std::mutex> lock(mu_);
  for (;;) {
    // No wait outstanding: leave the device alone (unread bytes must not wake anybody).
    cv_.wait(lock, [this] { return closing_ || wait_ov_ != nullptr; });
    if (closing_) return;
    DWORD events = gone_ ? 0 : CollectLocked();
    if (gone_) {
      CompleteWaitLocked(0, ERROR_GEN_FAILURE);
      continue;
    }
    if ((events & comm_mask_) != 0) {
      CompleteWaitLocked(events & comm_mask_, 0);
      continue;
    }
    lock.unlock();
    epoll_event ready[2];
    int n = epoll_wait(epoll_fd_, ready, 2, -1);
    int wait_errno = n < 0 ? errno : 0;
    bool hang_up = false;
    for (int i = 0; i < n; ++i) {
      if (ready[i].data.fd == wake_fd_) {
        std::uint64_t count;
        ssize_t r = read(wake_fd_, &count, sizeof count);
        (void)r;
      } else if (ready[i].events & (EPOLLHUP | EPOLLERR)) {
        hang_up = true;
      }
    }
    lock.lock();
    if (hang_up || (n < 0 && wait_errno != EINTR)) gone_ = true;
  }
}

void PortDevice::ModemLoop() {
  int last = 0;
  ioctl(fd_, TIOCMGET, &last);
  serial_icounter_struct counts{};
  bool have_counts = ioctl(fd_, TIOCGICOUNT, &counts) == 0;
  while (!modem_stop_) {
    if (ioctl(fd_, TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG) != 0) {
      if (errno == EINTR) continue;
      break;  // the driver cannot report line changes, or the device is gone
    }
    int now = 0;
    if (ioctl(fd_, TIOCMGET, &now) != 0) break;
    DWORD events = 0;
    const int changed = last ^ now;
    if (changed & TIOCM_CTS) events |= EV_CTS;
    if (changed & TIOCM_DSR) events |= EV_DSR;
    if (changed & TIOCM_CD) events |= EV_RLSD;
    if ((changed & TIOCM_RNG) && (now & TIOCM_RNG)) events |= EV_RING;
    serial_icounter_struct c{};
    if (have_counts && ioctl(fd_, TIOCGICOUNT, &c) == 0) {
      // A line that went on and off again between two looks changed all the same.
      if (c.cts != counts.cts) events |= EV_CTS;
      if (c.dsr != counts.dsr) events |= EV_DSR;
      if (c.dcd != counts.dcd) events |= EV_RLSD;
      if (c.rng != counts.rng) events |= EV_RING;
      counts = c;
    }
    last = now;
    if (events != 0) {
      {
        std::lock_guard<std::mutex> lock(mu_);
        occurred_ |= events;
      }
      Wake();
    }
  }
  std::lock_guard<std::mutex> lock(mu_);
  modem_done_ = true;
  cv_.notify_all();
}

BOOL PortDevice::SetState(const DCB& dcb) {
  LineSettings line;
  line.baud = dcb.BaudRate;
  line.data_bits = dcb.ByteSize;
  line.parity = dcb.Parity;
  line.stop_bits = dcb.StopBits;
  std::lock_guard<std::mutex> lock(mu_);
  if (gone_) return FailGoneLocked();
  if (int e = ApplyLineSettings(fd_, line)) return Refuse(e == EIO ? ERROR_GEN_FAILURE : ErrorFromErrno(e));
  // The record asks for DTR and RTS raised (or handshake, which starts raised).
  int lines = 0;
  if (dcb.fDtrControl != DTR_CONTROL_DISABLE) lines |= TIOCM_DTR;
  if (dcb.fRtsControl != RTS_CONTROL_DISABLE) lines |= TIOCM_RTS;
  if (lines != 0 && ioctl(fd_, TIOCMBIS, &lines) != 0 && !NoModemLines(errno))
    return Refuse(ErrorFromErrno(errno));
  int drop = (TIOCM_DTR | TIOCM_RTS) & ~lines;
  if (drop != 0 && ioctl(fd_, TIOCMBIC, &drop) != 0 && !NoModemLines(errno))
    return Refuse(ErrorFromErrno(errno));
  return TRUE_;
}

BOOL PortDevice::SetMask(DWORD mask) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    comm_mask_ = mask;
    if (wait_ov_ != nullptr) CompleteWaitLocked(0, 0);  // a new mask ends the pending wait
  }
  Wake();
  return TRUE_;
}

BOOL PortDevice::Wait(DWORD* mask, OVERLAPPED* ov) {
  std::lock_guard<std::mutex> lock(mu_);
  DWORD error = 0;
  if (ov == nullptr || wait_ov_ != nullptr)
    error = ERROR_INVALID_PARAMETER;
  else if (closing_)
    error = ERROR_OPERATION_ABORTED;
  DWORD events = 0;
  if (error == 0) {
    events = gone_ ? 0 : CollectLocked();
    if (gone_) error = ERROR_GEN_FAILURE;
  }
  if (error != 0) {
    // A wait refused at once leaves its record completed with the failure.
    if (ov != nullptr) kernel::CompleteOverlapped(ov, error, 0);
    return Refuse(error);
  }
  if ((events & comm_mask_) != 0) {
    if (mask) *mask = events & comm_mask_;
    kernel::CompleteOverlapped(ov, 0, 0);
    return TRUE_;
  }
  wait_mask_ = mask;
  wait_ov_ = ov;
  wait_thread_ = std::this_thread::get_id();
  ov->Internal = ERROR_IO_PENDING;
  ov->InternalHigh = 0;
  kernel::ResetEvent(ov->hEvent);
  cv_.notify_all();
  return Refuse(ERROR_IO_PENDING);
}

BOOL PortDevice::Result(OVERLAPPED* ov, DWORD* transferred, bool wait) {
  if (ov == nullptr) return Refuse(ERROR_INVALID_PARAMETER);
  if (wait) kernel::WaitForSingleObject(ov->hEvent, INFINITE);
  std::lock_guard<std::mutex> lock(mu_);
  if (ov->Internal == ERROR_IO_PENDING) return Refuse(ERROR_IO_INCOMPLETE);
  if (ov->Internal != 0) return Refuse(static_cast<DWORD>(ov->Internal));
  if (transferred) *transferred = static_cast<DWORD>(ov->InternalHigh);
  return TRUE_;
}

BOOL PortDevice::ClearError(DWORD* errors, COMSTAT* stat) {
  std::lock_guard<std::mutex> lock(mu_);
  if (gone_) return FailGoneLocked();
  int queued = 0;
  if (ioctl(fd_, FIONREAD, &queued) != 0) {
    gone_ = true;
    return FailGoneLocked();
  }
  // Errors found here are not events any more: they are read now.
  PollErrorsLocked();
  if (gone_) return FailGoneLocked();
  if (errors) *errors = errors_;
  errors_ = 0;
  if (stat) {
    *stat = COMSTAT{};
    stat->cbInQue = static_cast<DWORD>(queued);
    int out = 0;
    if (ioctl(fd_, TIOCOUTQ, &out) == 0) stat->cbOutQue = static_cast<DWORD>(out);
  }
  return TRUE_;
}

BOOL PortDevice::ModemStatus(DWORD* status) {
  std::lock_guard<std::mutex> lock(mu_);
  if (gone_) return FailGoneLocked();
  int lines = 0;
  if (ioctl(fd_, TIOCMGET, &lines) != 0) {
    if (!NoModemLines(errno)) {
      if (errno == EIO) gone_ = true;
      return Refuse(ErrorFromErrno(errno));
    }
    lines = 0;  // no modem lines: every input line is off
  }
  DWORD s = 0;
  if (lines & TIOCM_CTS) s |= MS_CTS_ON;
  if (lines & TIOCM_DSR) s |= MS_DSR_ON;
  if (lines & TIOCM_RNG) s |= MS_RING_ON;
  if (lines & TIOCM_CD) s |= MS_RLSD_ON;
  if (status) *status = s;
  return TRUE_;
}

BOOL PortDevice::Escape(DWORD func) {
  std::lock_guard<std::mutex> lock(mu_);
  // Lowering a line of a device that is gone succeeds: there is nothing left to lower, and
  // closing such a port must not be refused.
  if (gone_) return (func == CLRDTR || func == CLRRTS) ? TRUE_ : FailGoneLocked();
  unsigned long request = 0;
  int line = 0;
  switch (func) {
    case SETDTR: request = TIOCMBIS; line = TIOCM_DTR; break;
    case CLRDTR: request = TIOCMBIC; line = TIOCM_DTR; break;
    case SETRTS: request = TIOCMBIS; line = TIOCM_RTS; break;
    case CLRRTS: request = TIOCMBIC; line = TIOCM_RTS; break;
    case SETBREAK:
      if (ioctl(fd_, TIOCSBRK) != 0 && !NoModemLines(errno)) return Refuse(ErrorFromErrno(errno));
      return TRUE_;
    case CLRBREAK:
      if (ioctl(fd_, TIOCCBRK) != 0 && !NoModemLines(errno)) return Refuse(ErrorFromErrno(errno));
      return TRUE_;
    default:
      return Refuse(ERROR_INVALID_PARAMETER);
  }
  if (ioctl(fd_, request, &line) != 0 && !NoModemLines(errno)) {
    if (errno == EIO) gone_ = true;
    return Refuse(ErrorFromErrno(errno));
  }
  return TRUE_;
}

BOOL PortDevice::Purge(DWORD flags) {
  std::lock_guard<std::mutex> lock(mu_);
  if (gone_) return TRUE_;  // nothing queued on a device that is gone
  // Reads complete at once, so there is never a transfer in progress to abort.
  const bool input = (flags & PURGE_RXCLEAR) != 0;
  const bool output = (flags & PURGE_TXCLEAR) != 0;
  if (int e = FlushQueues(fd_, input, output)) {
    if (e == EIO) gone_ = true;
    return Refuse(ErrorFromErrno(e));
  }
  if (input) known_ = 0;
  return TRUE_;
}

BOOL PortDevice::Read(void* buffer, DWORD count, DWORD* read_count, OVERLAPPED* ov) {
  std::lock_guard<std::mutex> lock(mu_);
  if (gone_) return FailGoneLocked();
  // Reads take what is queued and return at once, however few bytes that is.
  DWORD got = 0;
  char* out = static_cast<char*>(buffer);
  while (got < count) {
    ssize_t n = ::read(fd_, out + got, count - got);
    if (n > 0) {
      got += static_cast<DWORD>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    // 0 (end of file) or EIO: the device hung up. Bytes read before that are delivered.
    gone_ = true;
    if (got == 0) return FailGoneLocked();
    break;
  }
  known_ = std::max(0L, known_ - static_cast<long>(got));
  if (read_count) *read_count = got;
  if (ov != nullptr) kernel::CompleteOverlapped(ov, 0, got);
  return TRUE_;
}

BOOL PortDevice::Cancel() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    // Only the calling thread's operations are cancelled; reads never stay outstanding.
    if (wait_ov_ != nullptr && wait_thread_ == std::this_thread::get_id())
      CompleteWaitLocked(0, ERROR_OPERATION_ABORTED);
  }
  Wake();
  return TRUE_;
}

// Tells whether a character device is a tty. Pseudo-terminal slaves have no sysfs entry.
bool IsTty(const std::string& sysfs_root, dev_t rdev) {
  const unsigned maj = major(rdev);
  if (maj >= 136 && maj <= 143) return true;  // pseudo-terminal slaves
  std::error_code ec;
  const fs::path dev_dir = fs::path(sysfs_root) / "dev" / "char";
  if (!fs::is_directory(dev_dir, ec)) return true;  // no sysfs to ask: the tty ioctls will tell
  const fs::path subsystem =
      dev_dir / (std::to_string(maj) + ":" + std::to_string(minor(rdev))) / "subsystem";
  fs::path target = fs::read_symlink(subsystem, ec);
  return !ec && target.filename() == "tty";
}

std::shared_ptr<PortDevice> DeviceOf(HANDLE h) { return kernel::LookupAs<PortDevice>(h); }

#define WITH_DEVICE(h)                               \
  auto dev = DeviceOf(h);                            \
  if (!dev) return Refuse(ERROR_INVALID_HANDLE)

// ------------------------------------------------------------------ the port list

class SerialKey final : public kernel::Object {
 public:
  explicit SerialKey(std::vector<std::string> names) : names(std::move(names)) {}
  const std::vector<std::string> names;
};

std::string ReadFirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\n' || line.back() == ' ' || line.back() == '\r'))
    line.pop_back();
  return line;
}

bool PlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

// ------------------------------------------------------------------ free functions

std::string DefaultVirtualPortDir() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return std::string(runtime) + "/talvik/ports";
  std::string home;
  if (const char* h = std::getenv("HOME"); h != nullptr && h[0] == '/') {
    home = h;
  } else if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    home = pw->pw_dir;
  } else {
    home = "/tmp";
  }
  return home + "/.local/state/talvik/ports";
}

bool ListSerialDevices(const std::string& sysfs_root, const std::string& virtual_dir,
                       std::vector<std::string>* names) {
  std::vector<std::string> found;
  bool readable = false;
  std::error_code ec;

  fs::directory_iterator ttys(fs::path(sysfs_root) / "class" / "tty", ec);
  if (!ec) {
    readable = true;
    for (const auto& entry : ttys) {
      const fs::path dir = entry.path();
      // Virtual consoles and the like have no device behind them.
      if (!fs::exists(fs::symlink_status(dir / "device", ec))) continue;
      // A placeholder port of a UART driver: the node exists, the chip does not (type 0).
      const fs::path type = dir / "type";
      if (fs::exists(type, ec) && ReadFirstLine(type) == "0") continue;
      found.push_back(dir.filename().string());
    }
  }

  fs::directory_iterator links(virtual_dir, ec);
  if (!ec) {
    readable = true;
    for (const auto& entry : links) {
      if (!entry.is_symlink(ec)) continue;
      // A link left behind by an instrument that is gone points at nothing.
      struct stat st {};
      if (stat(entry.path().c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) continue;
      const std::string name = entry.path().filename().string();
      if (PlainName(name)) found.push_back(name);
    }
  }
  if (!readable) return false;
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  *names = std::move(found);
  return true;
}

// ------------------------------------------------------------------ PosixDeviceServices

PosixDeviceServices::PosixDeviceServices() : PosixDeviceServices("/sys", DefaultVirtualPortDir()) {}

PosixDeviceServices::PosixDeviceServices(std::string sysfs_root, std::string virtual_port_dir)
    : sysfs_root_(std::move(sysfs_root)), virtual_dir_(std::move(virtual_port_dir)) {}

std::string PosixDeviceServices::DevicePath(const std::string& port_name) const {
  if (!PlainName(port_name)) return {};
  const std::string link = virtual_dir_ + "/" + port_name;
  struct stat st {};
  if (lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return link;
  return "/dev/" + port_name;
}

HANDLE PosixDeviceServices::CreateFileA(const char* path, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) {
  static const char kPrefix[] = "\\\\.\\";
  std::string name = path != nullptr ? path : "";
  if (name.rfind(kPrefix, 0) == 0) name.erase(0, sizeof kPrefix - 1);
  const std::string device = DevicePath(name);
  struct stat st {};
  if (device.empty() || stat(device.c_str(), &st) != 0) {
    kernel::SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  // Only ttys are opened: opening some other devices has effects of its own.
  if (!S_ISCHR(st.st_mode) || !IsTty(sysfs_root_, st.st_rdev)) {
    kernel::SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    kernel::SetLastError(ErrorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  // Exclusive use: the lock keeps out every other program that asks for it, root included;
  // TIOCEXCL keeps out every later open by a program that is not root.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const DWORD error = ErrorFromErrno(errno);
    close(fd);
    kernel::SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  if (ioctl(fd, TIOCEXCL) != 0) {
    const DWORD error = errno == ENOTTY ? ERROR_FILE_NOT_FOUND : ErrorFromErrno(errno);
    close(fd);
    kernel::SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  // Raw one-byte reads from the start, and an empty input queue, as a line that was just
  // opened has (a pseudo-terminal keeps what its far side wrote before).
  if (int e = MakeRaw(fd); e != 0 || (e = FlushQueues(fd, true, true)) != 0) {
    ioctl(fd, TIOCNXCL);
    close(fd);
    kernel::SetLastError(ErrorFromErrno(e));
    return INVALID_HANDLE_VALUE;
  }
  auto dev = std::make_shared<PortDevice>(fd);
  if (DWORD error = dev->Start()) {
    dev.reset();  // stops its threads and closes the device
    kernel::SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  return kernel::Register(std::move(dev));
}

BOOL PosixDeviceServices::SetupComm(HANDLE h, DWORD, DWORD) {
  // The tty's queues have the driver's fixed sizes.
  WITH_DEVICE(h);
  return TRUE_;
}

BOOL PosixDeviceServices::SetCommState(HANDLE h, const DCB* dcb) {
  WITH_DEVICE(h);
  if (dcb == nullptr) return Refuse(ERROR_INVALID_PARAMETER);
  return dev->SetState(*dcb);
}

BOOL PosixDeviceServices::SetCommTimeouts(HANDLE h, const COMMTIMEOUTS* timeouts) {
  // Reads always return at once with what is queued, which is what the port component asks
  // for (ReadIntervalTimeout MAXDWORD, totals 0).
  WITH_DEVICE(h);
  if (timeouts == nullptr) return Refuse(ERROR_INVALID_PARAMETER);
  return TRUE_;
}

BOOL PosixDeviceServices::SetCommMask(HANDLE h, DWORD mask) {
  WITH_DEVICE(h);
  return dev->SetMask(mask);
}

BOOL PosixDeviceServices::WaitCommEvent(HANDLE h, DWORD* mask, OVERLAPPED* ov) {
  auto dev = DeviceOf(h);
  if (!dev) {
    if (ov != nullptr) kernel::CompleteOverlapped(ov, ERROR_INVALID_HANDLE, 0);
    return Refuse(ERROR_INVALID_HANDLE);
  }
  return dev->Wait(mask, ov);
}

BOOL PosixDeviceServices::GetOverlappedResult(HANDLE h, OVERLAPPED* ov, DWORD* transferred, BOOL wait) {
  WITH_DEVICE(h);
  return dev->Result(ov, transferred, wait != 0);
}

BOOL PosixDeviceServices::ClearCommError(HANDLE h, DWORD* errors, COMSTAT* stat) {
  WITH_DEVICE(h);
  return dev->ClearError(errors, stat);
}

BOOL PosixDeviceServices::GetCommModemStatus(HANDLE h, DWORD* status) {
  WITH_DEVICE(h);
  return dev->ModemStatus(status);
}

BOOL PosixDeviceServices::EscapeCommFunction(HANDLE h, DWORD func) {
  WITH_DEVICE(h);
  return dev->Escape(func);
}

BOOL PosixDeviceServices::PurgeComm(HANDLE h, DWORD flags) {
  WITH_DEVICE(h);
  return dev->Purge(flags);
}

BOOL PosixDeviceServices::ReadFile(HANDLE h, void* buffer, DWORD count, DWORD* read, OVERLAPPED* ov) {
  WITH_DEVICE(h);
  if (buffer == nullptr && count != 0) return Refuse(ERROR_INVALID_PARAMETER);
  return dev->Read(buffer, count, read, ov);
}

BOOL PosixDeviceServices::CancelIo(HANDLE h) {
  WITH_DEVICE(h);
  return dev->Cancel();
}

long PosixDeviceServices::RegOpenKeyExA(HKEY root, const char* sub_key, DWORD, DWORD, HKEY* result) {
  if (root != HKEY_LOCAL_MACHINE || sub_key == nullptr ||
      strcasecmp(sub_key, "HARDWARE\\DEVICEMAP\\SERIALCOMM") != 0 || result == nullptr)
    return ERROR_FILE_NOT_FOUND;
  std::vector<std::string> names;
  if (!ListSerialDevices(sysfs_root_, virtual_dir_, &names)) return ERROR_FILE_NOT_FOUND;
  *result = kernel::Register(std::make_shared<SerialKey>(std::move(names)));
  return ERROR_SUCCESS;
}

long PosixDeviceServices::RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD*,
                                        DWORD* type, BYTE* data, DWORD* data_size) {
  auto values = kernel::LookupAs<SerialKey>(key);
  if (!values) return ERROR_INVALID_HANDLE;
  if (index >= values->names.size()) return ERROR_NO_MORE_ITEMS;
  const std::string& value = values->names[index];
  // The value's name is the device name too; its data is what the port list shows.
  if (name == nullptr || name_size == nullptr || value.size() + 1 > *name_size) return ERROR_MORE_DATA;
  if (data_size != nullptr && data != nullptr && value.size() + 1 > *data_size) return ERROR_MORE_DATA;
  std::memcpy(name, value.c_str(), value.size() + 1);
  *name_size = static_cast<DWORD>(value.size());
  if (data != nullptr) std::memcpy(data, value.c_str(), value.size() + 1);
  if (data_size != nullptr) *data_size = static_cast<DWORD>(value.size() + 1);
  if (type != nullptr) *type = 1;  // a string value
  return ERROR_SUCCESS;
}

long PosixDeviceServices::RegCloseKey(HKEY key) {
  if (!kernel::LookupAs<SerialKey>(key)) return ERROR_INVALID_HANDLE;
  kernel::Close(key);
  return ERROR_SUCCESS;
}

int PosixDeviceServices::CompareStringA(DWORD, DWORD flags, const char* a, int a_len, const char* b,
                                        int b_len) {
  return CompareAnsi(flags, a, a_len, b, b_len);
}

}  // namespace platform::posix
