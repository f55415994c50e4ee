// The whole receive path of the program: the far side of a pseudo-terminal writes as fast as
// it can; the bytes go through the device layer, the monitor thread, the hand-over and the
// receive handler into the window's receiving pane. Prints the throughput of every tenth of
// the run (a flat line means the per-chunk cost does not grow with the pane), the resident
// memory against the pane's size, and the CPU a quiet connected program uses.
//
//   xvfb-run -a build/bench/receive_bench [megabytes]      (default 100)
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <FL/Fl.H>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/Main.h"
#include "app/Unit1.h"
#include "platform/posix/posix_device.h"
#include "ui/fltk/fltk_toolkit.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

long ResidentKb() {
  std::ifstream in("/proc/self/status");
  std::string key;
  while (in >> key) {
    if (key == "VmRSS:") {
      long kb = 0;
      in >> kb;
      return kb;
    }
    in.ignore(1 << 16, '\n');
  }
  return 0;
}

double ProcessCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
  const std::size_t total = megabytes * 1000 * 1000;
  if (!std::getenv("DISPLAY")) {
    std::fprintf(stderr, "needs an X display: run it under xvfb-run -a\n");
    return 2;
  }
  fs::path dir = fs::temp_directory_path() / ("talvik-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir / "ports");
  int master = -1, slave = -1;
  char name[256];
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return 1;
  termios raw{};
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);
  fs::create_symlink(name, dir / "ports" / "Bench");

  platform::posix::PosixDeviceServices devices((dir / "no-sysfs").string(), (dir / "ports").string());
  ui::fltk::FltkToolkit toolkit;
  ui::TApplication app;
  app.Initialize();
  app.Title = "Talvik";
  app.MessageBoxHook = [](const std::string& text, const std::string&, unsigned) {
    std::fprintf(stderr, "box: %s\n", text.c_str());
    return ui::IDOK;
  };
  app.CreateForm(MainForm, devices);
  app.CreateForm(Form1);
  MainForm->Show();
  for (int i = 0; i < 20; ++i) Fl::wait(0.01);
  MainForm->BitBtn1Connect->Click();
  if (!MainForm->BComPort1->Connected()) return 1;

  // Readings like a balance's, back to back.
  std::string block;
  for (int i = 0; block.size() < 64 * 1024; ++i) block += "   " + std::to_string(10000 + i % 9000) + ".125 g\r\n";
  std::atomic<std::size_t> written{0};
  std::thread writer([&] {
    while (written < total) {
      std::size_t n = std::min(block.size(), total - written.load());
      ssize_t w = write(master, block.data(), n);
      if (w <= 0) break;
      written += static_cast<std::size_t>(w);
    }
  });

  std::printf("receive path, %zu MB through the window's pane\n", megabytes);
  std::printf("%10s %12s %10s\n", "pane MB", "MB/s", "RSS MB");
  const std::size_t step = total / 10;
  std::size_t next = step;
  auto start = Clock::now(), last = start;
  std::size_t last_size = 0;
  while (MainForm->Memo1->Text().size() < total) {
    Fl::wait(0.05);
    std::size_t size = MainForm->Memo1->Text().size();
    if (size >= next) {
      auto now = Clock::now();
      std::printf("%10.1f %12.1f %10.1f\n", size / 1e6, (size - last_size) / 1e6 / Seconds(now - last),
                  ResidentKb() / 1024.0);
      std::fflush(stdout);
      last = now;
      last_size = size;
      next += step;
    }
  }
  double elapsed = Seconds(Clock::now() - start);
  writer.join();
  std::size_t pane = MainForm->Memo1->Text().size();
  long rss = ResidentKb();
  std::printf("sustained: %.1f MB/s over %.1f s; pane %.1f MB, resident %.1f MB (%.2f x the pane)\n",
              pane / 1e6 / elapsed, elapsed, pane / 1e6, rss / 1024.0, rss * 1024.0 / pane);

  // A quiet connected program: only the clock ticks (measured after the pane has settled).
  for (auto settle = Clock::now(); Seconds(Clock::now() - settle) < 1.0;) Fl::wait(0.1);
  double cpu0 = ProcessCpuSeconds();
  auto quiet_start = Clock::now();
  while (Seconds(Clock::now() - quiet_start) < 5.0) Fl::wait(0.5);
  std::printf("quiet and connected: %.2f ms CPU over 5 s\n", (ProcessCpuSeconds() - cpu0) * 1000);

  MainForm->BitBtn1Disconnect->Click();
  app.DestroyForms();
  close(master);
  close(slave);
  fs::remove_all(dir);
  return 0;
}
