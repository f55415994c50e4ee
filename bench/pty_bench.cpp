// Receiving over a pseudo-terminal: throughput (bytes per second from the far side's write to
// the read) and latency at 25,600 bytes per second (p50, p99), through the device layer's
// event wait and reads, and through the port component with ReadText; plus the CPU time the
// receiving side uses on a quiet line.
//
//   pty_bench [megabytes]      (default 64)
#include <pty.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bcport/BCPort.h"
#include "platform/kernel.h"
#include "platform/posix/posix_device.h"
#include "platform/threads.h"

using namespace platform;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double OtherThreadsCpu() {
  timespec p{}, t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &p);
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return (p.tv_sec - t.tv_sec) + (p.tv_nsec - t.tv_nsec) / 1e9;
}

// A pseudo-terminal registered as the virtual port "BenchPort" in a private directory.
struct Line {
  Line() {
    char tmpl[] = "/tmp/talvik-bench-XXXXXX";
    dir = mkdtemp(tmpl);
    char name[128];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) std::exit(1);
    if (symlink(name, (dir + "/BenchPort").c_str()) != 0) std::exit(1);
  }
  ~Line() {
    close(master);
    close(slave);
    std::filesystem::remove_all(dir);
  }
  void WriteAll(const char* p, std::size_t n) const {
    while (n > 0) {
      ssize_t w = write(master, p, n);
      if (w <= 0) return;
      p += w;
      n -= static_cast<std::size_t>(w);
    }
  }
  std::string dir;
  int master = -1, slave = -1;
};

// The far side: `total` bytes as fast as the line takes them, or chunks of `chunk` bytes at
// `rate` bytes per second with each chunk's send time recorded.
struct Sender {
  void Flood(const Line& line, std::size_t total) {
    std::string block(4096, 'x');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>('0' + i % 64);
    start = Clock::now();
    for (std::size_t done = 0; done < total; done += block.size())
      line.WriteAll(block.data(), std::min(block.size(), total - done));
  }
  void Paced(const Line& line, std::size_t chunk, double rate, std::size_t chunks) {
    sent.assign(chunks, Clock::time_point{});
    std::string data(chunk, 'y');
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(chunk / rate));
    auto due = Clock::now();
    for (std::size_t k = 0; k < chunks; ++k) {
      std::this_thread::sleep_until(due);
      sent[k] = Clock::now();
      line.WriteAll(data.data(), data.size());
      due += period;
    }
  }
  Clock::time_point start;
  std::vector<Clock::time_point> sent;
};

// Collects arrival times of paced chunks: the chunk k is complete with byte (k+1)*chunk.
struct Arrivals {
  explicit Arrivals(std::size_t chunk, std::size_t chunks) : chunk(chunk), at(chunks) {}
  void Received(std::size_t n) {
    const auto now = Clock::now();
    total += n;
    while (next < at.size() && total >= (next + 1) * chunk) at[next++] = now;
  }
  void Print(const char* what, const std::vector<Clock::time_point>& sent) const {
    std::vector<double> ms;
    for (std::size_t k = 0; k < next; ++k) ms.push_back(Seconds(at[k] - sent[k]) * 1000);
    std::sort(ms.begin(), ms.end());
    if (ms.empty()) return;
    std::printf("%-44s p50 %.3f ms   p99 %.3f ms   max %.3f ms   (%zu chunks)\n", what, ms[ms.size() / 2],
                ms[ms.size() * 99 / 100], ms.back(), ms.size());
  }
  std::size_t chunk;
  std::vector<Clock::time_point> at;
  std::size_t next = 0;
  std::size_t total = 0;
};

HANDLE OpenDevice(posix::PosixDeviceServices& dev) {
  HANDLE h = dev.CreateFileA("\\\\.\\BenchPort", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "open failed: %u\n", dev.GetLastError());
    std::exit(1);
  }
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = 256000;
  dcb.fBinary = 1;
  dcb.ByteSize = 8;
  COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, 0};
  dev.SetCommState(h, &dcb);
  dev.SetCommTimeouts(h, &t);
  dev.SetCommMask(h, EV_RXCHAR);
  return h;
}

// The device layer's receive loop: wait for EV_RXCHAR, count the queue, read it.
void DeviceLoop(posix::PosixDeviceServices& dev, HANDLE h, std::size_t total,
                const std::function<void(std::size_t)>& received) {
  OVERLAPPED wait{}, read{};
  wait.hEvent = kernel::CreateEvent(true, true);
  read.hEvent = kernel::CreateEvent(true, true);
  std::vector<char> buffer(65536);
  std::size_t got_total = 0;
  while (got_total < total) {
    DWORD mask = 0;
    if (!dev.WaitCommEvent(h, &mask, &wait)) {
      if (dev.GetLastError() != ERROR_IO_PENDING) break;
      kernel::WaitForSingleObject(wait.hEvent, INFINITE);
    }
    DWORD n = 0;
    if (!dev.GetOverlappedResult(h, &wait, &n, FALSE_)) break;
    DWORD errors = 0;
    COMSTAT stat{};
    dev.ClearCommError(h, &errors, &stat);
    DWORD got = 0;
    dev.ReadFile(h, buffer.data(), stat.cbInQue, &got, &read);
    got_total += got;
    received(got);
  }
  kernel::Close(wait.hEvent);
  kernel::Close(read.hEvent);
}

// The user-interface thread's loop: sleeps until a hand-over is queued, then serves it.
struct MainLoop {
  MainLoop() {
    SetMainThread();
    SetWakeMainThread([this] {
      std::lock_guard<std::mutex> lock(mu);
      woken = true;
      cv.notify_all();
    });
  }
  ~MainLoop() { SetWakeMainThread(nullptr); }
  void RunUntil(const std::function<bool()>& done) {
    while (!done()) {
      {
        std::unique_lock<std::mutex> lock(mu);
        cv.wait_for(lock, std::chrono::milliseconds(100), [this] { return woken; });
        woken = false;
      }
      CheckSynchronize();
    }
  }
  std::mutex mu;
  std::condition_variable cv;
  bool woken = false;
};

constexpr double kPacedRate = 25600;  // bytes per second
constexpr std::size_t kPacedChunk = 64;
constexpr std::size_t kPacedChunks = 1600;  // four seconds

void BenchDevice(std::size_t total) {
  {
    Line line;
    posix::PosixDeviceServices dev("/sys", line.dir);
    HANDLE h = OpenDevice(dev);
    Sender sender;
    std::thread writer([&] { sender.Flood(line, total); });
    DeviceLoop(dev, h, total, [](std::size_t) {});
    const auto end = Clock::now();
    writer.join();
    std::printf("%-44s %.1f MB/s  (%zu MB in %.2f s)\n", "device layer: throughput", total / 1e6 / Seconds(end - sender.start),
                total >> 20, Seconds(end - sender.start));
    dev.CloseHandle(h);
  }
  {
    Line line;
    posix::PosixDeviceServices dev("/sys", line.dir);
    HANDLE h = OpenDevice(dev);
    Sender sender;
    Arrivals arrivals(kPacedChunk, kPacedChunks);
    std::thread writer([&] { sender.Paced(line, kPacedChunk, kPacedRate, kPacedChunks); });
    DeviceLoop(dev, h, kPacedChunk * kPacedChunks, [&](std::size_t n) { arrivals.Received(n); });
    writer.join();
    arrivals.Print("device layer: latency at 25,600 B/s", sender.sent);
    dev.CloseHandle(h);
  }
}

void BenchComponent(std::size_t total) {
  MainLoop loop;
  {
    Line line;
    posix::PosixDeviceServices dev("/sys", line.dir);
    TBComPort port(dev);
    port.SetPort("BenchPort");
    port.SetBaudRate(TBaudRate::br256000);
    std::size_t got = 0;
    port.OnRxChar = [&](TBComPort* sender, int count) {
      std::string text;
      got += static_cast<std::size_t>(sender->ReadText(text, count));
    };
    port.Open();
    Sender sender;
    std::thread writer([&] { sender.Flood(line, total); });
    loop.RunUntil([&] { return got >= total; });
    const auto end = Clock::now();
    writer.join();
    std::printf("%-44s %.1f MB/s  (%zu MB in %.2f s)\n", "component (ReadText): throughput",
                total / 1e6 / Seconds(end - sender.start), total >> 20, Seconds(end - sender.start));

    // Quiet line: what the monitor and the device's watcher cost.
    const double before = OtherThreadsCpu();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::printf("%-44s %.3f ms over 2 s\n", "component: CPU on a quiet line", std::max(0.0, OtherThreadsCpu() - before) * 1000);
    port.Close();
  }
  {
    Line line;
    posix::PosixDeviceServices dev("/sys", line.dir);
    TBComPort port(dev);
    port.SetPort("BenchPort");
    Arrivals arrivals(kPacedChunk, kPacedChunks);
    port.OnRxChar = [&](TBComPort* sender, int count) {
      std::string text;
      arrivals.Received(static_cast<std::size_t>(sender->ReadText(text, count)));
    };
    port.Open();
    Sender sender;
    std::thread writer([&] { sender.Paced(line, kPacedChunk, kPacedRate, kPacedChunks); });
    loop.RunUntil([&] { return arrivals.total >= kPacedChunk * kPacedChunks; });
    writer.join();
    arrivals.Print("component (ReadText): latency at 25,600 B/s", sender.sent);
    port.Close();
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t megabytes = argc > 1 ? static_cast<std::size_t>(std::atol(argv[1])) : 64;
  const std::size_t total = megabytes << 20;
  BenchDevice(total);
  BenchComponent(total);
  return 0;
}
