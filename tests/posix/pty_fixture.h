// A pseudo-terminal pair registered as a virtual port in a private directory, with the Linux
// device services pointed at that directory.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/posix/posix_device.h"

namespace talvik_test {

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/talvik-test-XXXXXX";
    const char* made = mkdtemp(tmpl);
    path_ = made != nullptr ? made : "";
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

class Pty {
 public:
  Pty() {
    char name[128];
    if (openpty(&master_, &slave_, name, nullptr, nullptr) == 0) slave_path_ = name;
  }
  ~Pty() {
    CloseMaster();
    if (slave_ >= 0) close(slave_);
  }
  bool ok() const { return master_ >= 0 && !slave_path_.empty(); }
  int master() const { return master_; }
  // A descriptor of the far side's own: shares the line settings, never read from.
  int slave() const { return slave_; }
  const std::string& slave_path() const { return slave_path_; }
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }
  void Write(const std::string& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
      ASSERT_GT(n, 0);
      done += static_cast<std::size_t>(n);
    }
  }
  // Blocks until the device side has bytes queued (or `ms` passed).
  bool AwaitQueued(int ms = 5000) const {
    pollfd p{slave_, POLLIN, 0};
    return poll(&p, 1, ms) == 1 && (p.revents & POLLIN);
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slave_path_;
};

class PtyPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    ASSERT_FALSE(dir.path().empty());
    Register("TestPort", pty.slave_path());
  }
  void Register(const std::string& name, const std::string& target) {
    ASSERT_EQ(symlink(target.c_str(), (dir.path() + "/" + name).c_str()), 0);
  }
  static std::string PathOf(const std::string& name) { return "\\\\.\\" + name; }
  platform::HANDLE Open(const std::string& name = "TestPort") {
    return services.CreateFileA(PathOf(name).c_str(), platform::GENERIC_READ | platform::GENERIC_WRITE, 0,
                                nullptr, platform::OPEN_EXISTING, platform::FILE_FLAG_OVERLAPPED, nullptr);
  }

  TempDir dir;
  Pty pty;
  platform::posix::PosixDeviceServices services{"/sys", dir.path()};
};

}  // namespace talvik_test
