// The virtual instrument, run as its own program: it registers its port, sends readings to
// whoever opens the port, and removes the port when stopped.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/kernel.h"
#include "pty_fixture.h"

extern char** environ;

namespace {

using namespace platform;
using talvik_test::TempDir;

class Instrument {
 public:
  explicit Instrument(std::vector<std::string> args) {
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    args.insert(args.begin(), TALVIK_INSTRUMENT);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, TALVIK_INSTRUMENT, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    out_ = fdopen(out[0], "r");
  }
  ~Instrument() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_) fclose(out_);
  }
  // The first line it prints: the port name, once the port is registered.
  std::string FirstLine() {
    char line[256] = {0};
    if (!out_ || !fgets(line, sizeof line, out_)) return {};
    std::string s = line;
    if (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
  }
  int Stop(int sig) {
    kill(pid_, sig);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }

 private:
  pid_t pid_ = -1;
  FILE* out_ = nullptr;
};

TEST(InstrumentTest, SendsReadingsOnItsPortAndUnregistersOnStop) {
  TempDir ports;
  Instrument instrument({"--dir", ports.path(), "--name", "Balance", "--interval", "20", "--quiet"});
  ASSERT_EQ(instrument.FirstLine(), "Balance");
  const std::string link = ports.path() + "/Balance";
  struct stat st {};
  ASSERT_EQ(lstat(link.c_str(), &st), 0);

  posix::PosixDeviceServices services("/sys", ports.path());
  HANDLE h = services.CreateFileA("\\\\.\\Balance", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << services.GetLastError();
  ASSERT_TRUE(services.SetCommMask(h, EV_RXCHAR));
  OVERLAPPED ov{};
  ov.hEvent = kernel::CreateEvent(true, true);
  std::string text;
  while (std::count(text.begin(), text.end(), '\n') < 3) {
    DWORD mask = 0;
    if (!services.WaitCommEvent(h, &mask, &ov)) {
      ASSERT_EQ(services.GetLastError(), ERROR_IO_PENDING);
      ASSERT_EQ(kernel::WaitForSingleObject(ov.hEvent, 5000), WAIT_OBJECT_0);
    }
    char buffer[256];
    DWORD got = 0;
    OVERLAPPED rov{};
    rov.hEvent = kernel::CreateEvent(true, true);
    ASSERT_TRUE(services.ReadFile(h, buffer, sizeof buffer, &got, &rov));
    kernel::Close(rov.hEvent);
    text.append(buffer, got);
  }
  // Whole readings, each a right-aligned value with three decimals, the unit and CR LF.
  const std::string first_two = text.substr(0, text.find('\n', text.find('\n') + 1) + 1);
  EXPECT_TRUE(std::regex_match(first_two, std::regex("( *-?[0-9]+\\.[0-9]{3} g\r\n){2}"))) << first_two;
  services.CloseHandle(h);
  kernel::Close(ov.hEvent);

  const int status = instrument.Stop(SIGTERM);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_NE(lstat(link.c_str(), &st), 0) << "the port is still registered";
}

TEST(InstrumentTest, RefusesANameThatIsTakenAndReplacesAStaleOne) {
  TempDir ports;
  Instrument first({"--dir", ports.path(), "--quiet"});
  ASSERT_EQ(first.FirstLine(), "VirtualCOM1");
  Instrument second({"--dir", ports.path(), "--quiet"});
  EXPECT_EQ(second.FirstLine(), "");
  EXPECT_NE(second.Stop(0), 0);  // already ended with a failure
  first.Stop(SIGINT);

  // A link whose pseudo-terminal is gone (an instrument that was killed) is taken over.
  ASSERT_EQ(symlink((ports.path() + "/no-such-pty").c_str(), (ports.path() + "/VirtualCOM1").c_str()), 0);
  Instrument third({"--dir", ports.path(), "--quiet"});
  EXPECT_EQ(third.FirstLine(), "VirtualCOM1");
  EXPECT_EQ(third.Stop(SIGINT), 0);
}

}  // namespace
