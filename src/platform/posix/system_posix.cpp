// System services on Linux.
#include <fcntl.h>
#include <langinfo.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/system.h"

extern char** environ;

namespace platform {

TDateTime SystemServices::Now() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return TDateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string SystemServices::ExeName() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  return std::string(buf, static_cast<std::size_t>(n));
}

LongTimeFormat SystemServices::TimeFormat() {
  // Read afresh on every call, so a change of the locale is followed at the next tick.
  return ParseTimePattern(nl_langinfo(T_FMT), nl_langinfo(AM_STR), nl_langinfo(PM_STR));
}

void SystemServices::OpenUrl(const std::string& url) {
  // xdg-open runs detached; its result is not examined. A bare "www." address gets a scheme.
  std::string target = url.find("://") == std::string::npos ? "http://" + url : url;
  std::vector<char*> argv = {const_cast<char*>("xdg-open"), target.data(), nullptr};
  // Children are reaped by the system, so the opener leaves no zombie behind (set before the
  // spawn: a child that ends at once is reaped too).
  signal(SIGCHLD, SIG_IGN);
  pid_t pid = 0;
  posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv.data(), environ);
}

void UseUserTimeSettings() { std::setlocale(LC_TIME, ""); }

SystemServices& DefaultSystemServices() {
  static SystemServices services;
  return services;
}

namespace {
int WindowsCode(int err) {
  switch (err) {
    case ENOENT: return 2;
    case ENOTDIR: case ENAMETOOLONG: return 3;
    case EMFILE: case ENFILE: return 4;
    case EACCES: case EPERM: return 5;
    case ENOSPC: return 101;
    default: return err;
  }
}
}  // namespace

void SetCurrentDirectory(const std::string& folder) {
  if (chdir(folder.c_str()) != 0) {
    int code = WindowsCode(errno);
    throw EInOutError(InOutErrorMessage(code), code);
  }
}

std::string GetCurrentDirectory() {
  char buf[PATH_MAX];
  if (getcwd(buf, sizeof buf) == nullptr) return {};
  std::string dir = buf;
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

std::string WriteNewStampedFile(const std::string& stamp, const std::string& bytes) {
  for (int n = 1;; ++n) {
    std::string name = stamp + (n == 1 ? "" : " (" + std::to_string(n) + ")") + ".txt";
    int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      if (errno == EEXIST && n < 1000) continue;
      int err = errno;
      throw EFCreateError("Cannot create file \"" + GetCurrentDirectory() + name + "\". " +
                          TrimErrorText(std::strerror(err)));
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
      ssize_t w = write(fd, bytes.data() + done, bytes.size() - done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) break;
      done += static_cast<std::size_t>(w);
    }
    bool closed = close(fd) == 0;
    if (done != bytes.size() || !closed) throw EWriteError("Stream write error");
    return name;
  }
}

}  // namespace platform
