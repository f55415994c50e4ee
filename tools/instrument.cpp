// talvik-instrument: a virtual measuring instrument. It creates a pseudo-terminal, registers
// it as a virtual serial port and sends readings on it the way a lab balance does, until it
// is stopped; then it removes the port again.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/posix/posix_device.h"

namespace {

volatile sig_atomic_t g_stop = 0;
void OnStop(int) { g_stop = 1; }

struct Options {
  std::string name = "VirtualCOM1";
  std::string dir;
  double interval_ms = 500;
  std::string eol = "\r\n";
  std::string replay;
  bool flood = false;
  double flood_rate = 0;  // bytes per second; 0 = as fast as the line takes them
  long count = -1;        // readings to send; -1 = until stopped
  bool force = false;
  bool quiet = false;
};

void Usage(FILE* out) {
  std::fprintf(out,
               "Usage: talvik-instrument [options]\n"
               "A virtual instrument: sends readings on a new virtual serial port.\n\n"
               "  --name NAME       port name to register (default VirtualCOM1)\n"
               "  --dir DIR         where virtual ports are registered\n"
               "                    (default %s)\n"
               "  --interval MS     time between readings in milliseconds (default 500)\n"
               "  --eol crlf|cr|lf  line ending of each reading (default crlf)\n"
               "  --replay FILE     send the lines of FILE, over and over, instead of readings\n"
               "  --flood[=RATE]    send back to back, as fast as the reader takes them, or at\n"
               "                    RATE bytes per second\n"
               "  --count N         stop after N readings (or lines)\n"
               "  --force           replace a registration of the same name\n"
               "  --quiet           print only the port name\n"
               "  --help            this text\n\n"
               "Readings are sent only while a program has the port open; a real line nobody\n"
               "listens to loses them too. Stop with Ctrl+C; the port is removed on exit.\n",
               platform::posix::DefaultVirtualPortDir().c_str());
}

bool ParseArgs(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    const auto eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
    }
    auto next = [&](std::string* out) {
      if (!value.empty()) {
        *out = value;
        return true;
      }
      if (i + 1 >= argc) {
        std::fprintf(stderr, "talvik-instrument: %s needs a value\n", arg.c_str());
        return false;
      }
      *out = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      std::exit(0);
    } else if (arg == "--name") {
      if (!next(&o->name)) return false;
    } else if (arg == "--dir") {
      if (!next(&o->dir)) return false;
    } else if (arg == "--interval") {
      if (!next(&v)) return false;
      o->interval_ms = std::atof(v.c_str());
      if (!(o->interval_ms >= 0)) return false;
    } else if (arg == "--eol") {
      if (!next(&v)) return false;
      if (v == "crlf") o->eol = "\r\n";
      else if (v == "cr") o->eol = "\r";
      else if (v == "lf") o->eol = "\n";
      else {
        std::fprintf(stderr, "talvik-instrument: --eol takes crlf, cr or lf\n");
        return false;
      }
    } else if (arg == "--replay") {
      if (!next(&o->replay)) return false;
    } else if (arg == "--flood") {
      o->flood = true;
      if (!value.empty()) o->flood_rate = std::atof(value.c_str());
    } else if (arg == "--count") {
      if (!next(&v)) return false;
      o->count = std::atol(v.c_str());
    } else if (arg == "--force") {
      o->force = true;
    } else if (arg == "--quiet") {
      o->quiet = true;
    } else {
      std::fprintf(stderr, "talvik-instrument: unknown option %s\n", argv[i]);
      return false;
    }
  }
  if (o->name.empty() || o->name.find('/') != std::string::npos || o->name == "." || o->name == "..") {
    std::fprintf(stderr, "talvik-instrument: the port name must be a plain name\n");
    return false;
  }
  return true;
}

double Now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Sleeps until `deadline` (monotonic seconds) or a stop signal. False when stopped.
bool SleepUntil(double deadline, const sigset_t& unblocked) {
  for (;;) {
    if (g_stop) return false;
    double left = deadline - Now();
    if (left <= 0) return true;
    timespec ts{static_cast<time_t>(left), static_cast<long>((left - std::floor(left)) * 1e9)};
    ppoll(nullptr, 0, &ts, &unblocked);
  }
}

// True while some program has the port's device open.
bool Listened(int master) {
  pollfd p{master, 0, 0};
  return poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP);
}

// Writes all of `bytes`, waiting while the reader is behind. False when stopped, or when the
// reader closed the port (the rest is dropped, as on a line nobody listens to).
bool WriteAll(int master, const std::string& bytes, const sigset_t& unblocked) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    if (g_stop) return false;
    ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    pollfd p{master, POLLOUT, 0};
    timespec ts{0, 200 * 1000 * 1000};
    ppoll(&p, 1, &ts, &unblocked);
    if (!Listened(master)) return true;
  }
  return true;
}

class Readings {
 public:
  Readings(const Options& o) : eol_(o.eol) {
    if (o.replay.empty()) return;
    std::ifstream in(o.replay, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "talvik-instrument: cannot read %s\n", o.replay.c_str());
      std::exit(1);
    }
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines_.push_back(line);
    }
    if (lines_.empty()) lines_.push_back("");
  }
  std::string Next() {
    if (!lines_.empty()) return lines_[n_++ % lines_.size()] + eol_;
    // A balance settling around a slowly drifting load.
    const double t = static_cast<double>(n_++);
    const double value = 12.345 + 0.8 * std::sin(t / 40.0) + 0.002 * std::sin(t * 7.3);
    char text[64];
    std::snprintf(text, sizeof text, "%9.3f g", value);
    return text + eol_;
  }

 private:
  std::string eol_;
  std::vector<std::string> lines_;
  std::size_t n_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseArgs(argc, argv, &o)) {
    Usage(stderr);
    return 2;
  }
  if (o.dir.empty()) o.dir = platform::posix::DefaultVirtualPortDir();

  // Stop signals are taken only while sleeping or waiting (ppoll), so a stop is never missed.
  sigset_t stops, unblocked;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGHUP);
  sigprocmask(SIG_BLOCK, &stops, &unblocked);
  sigdelset(&unblocked, SIGINT);
  sigdelset(&unblocked, SIGTERM);
  sigdelset(&unblocked, SIGHUP);
  struct sigaction sa {};
  sa.sa_handler = OnStop;
  sigemptyset(&sa.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  int master = -1, slave = -1;
  char slave_name[256];
  if (openpty(&master, &slave, slave_name, nullptr, nullptr) != 0) {
    std::perror("talvik-instrument: openpty");
    return 1;
  }
  termios t{};
  tcgetattr(slave, &t);
  cfmakeraw(&t);
  tcsetattr(slave, TCSANOW, &t);
  // The instrument keeps only its own end: with no program on the other end the line is
  // "not listened to" (the master reports a hang-up) and readings are dropped.
  close(slave);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  fcntl(master, F_SETFD, FD_CLOEXEC);

  std::error_code ec;
  std::filesystem::create_directories(o.dir, ec);
  chmod(o.dir.c_str(), 0700);
  const std::string link = o.dir + "/" + o.name;
  struct stat st {};
  if (lstat(link.c_str(), &st) == 0) {
    const bool live = stat(link.c_str(), &st) == 0;
    if (live && !o.force) {
      std::fprintf(stderr,
                   "talvik-instrument: a port named %s is registered already (%s);\n"
                   "choose another --name, or --force to replace it\n",
                   o.name.c_str(), link.c_str());
      return 1;
    }
    unlink(link.c_str());  // left behind by an instrument that is gone, or replaced on request
  }
  if (symlink(slave_name, link.c_str()) != 0) {
    std::fprintf(stderr, "talvik-instrument: cannot register %s: %s\n", link.c_str(), std::strerror(errno));
    return 1;
  }
  if (o.quiet)
    std::printf("%s\n", o.name.c_str());
  else
    std::printf("%s\n  device   %s\n  link     %s\n  sending  %s every %g ms (Ctrl+C to stop)\n", o.name.c_str(),
                slave_name, link.c_str(),
                o.flood ? "readings back to back" : (o.replay.empty() ? "readings" : o.replay.c_str()),
                o.flood ? 0.0 : o.interval_ms);
  std::fflush(stdout);

  Readings readings(o);
  long sent = 0;
  double next = Now();
  const double step = o.interval_ms / 1000.0;
  double budget_start = Now();
  double budget_bytes = 0;
  while (!g_stop && (o.count < 0 || sent < o.count)) {
    if (o.flood) {
      if (!Listened(master)) {
        if (!SleepUntil(Now() + 0.05, unblocked)) break;
        budget_start = Now();
        budget_bytes = 0;
        continue;
      }
      std::string chunk;
      while (chunk.size() < 4096 && (o.count < 0 || sent < o.count)) {
        chunk += readings.Next();
        ++sent;
      }
      if (o.flood_rate > 0) {
        // Keep to the rate in slices of about 10 ms: each slice leaves when it is due.
        const std::size_t slice = std::max<std::size_t>(1, static_cast<std::size_t>(o.flood_rate / 100));
        bool ok = true;
        for (std::size_t at = 0; at < chunk.size() && ok; at += slice) {
          const std::string part = chunk.substr(at, slice);
          ok = SleepUntil(budget_start + budget_bytes / o.flood_rate, unblocked) &&
               WriteAll(master, part, unblocked);
          budget_bytes += static_cast<double>(part.size());
        }
        if (!ok) break;
      } else if (!WriteAll(master, chunk, unblocked)) {
        if (g_stop) break;
      }
      continue;
    }
    if (!SleepUntil(next, unblocked)) break;
    next += step;
    const std::string reading = readings.Next();
    ++sent;
    if (Listened(master)) WriteAll(master, reading, unblocked);
  }

  // Unregister only our own link (another instrument may have been started with --force).
  char target[256];
  ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
  if (n > 0) {
    target[n] = 0;
    if (std::strcmp(target, slave_name) == 0) unlink(link.c_str());
  }
  close(master);
  if (!o.quiet) std::printf("%s removed\n", o.name.c_str());
  return 0;
}
