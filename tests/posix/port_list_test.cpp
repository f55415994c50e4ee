// The system's serial ports served as the registry key SERIALCOMM, from a recorded sysfs tree
// and a virtual-port directory.
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/kernel.h"
#include "pty_fixture.h"

namespace {

using namespace platform;
using talvik_test::Pty;
using talvik_test::TempDir;

const std::string kSysfs = TALVIK_POSIX_FIXTURES "/sysfs";

// Reads the key as the port listing does: 256-character name and data buffers.
long ReadKey(DeviceServices& services, std::vector<std::string>* values, DWORD data_room = 256) {
  HKEY key = nullptr;
  long rc = services.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, 0x20019, &key);
  if (rc != ERROR_SUCCESS) return rc;
  for (DWORD i = 0;; ++i) {
    char name[256];
    BYTE data[256];
    DWORD name_size = 256, data_size = data_room, type = 0;
    rc = services.RegEnumValueA(key, i, name, &name_size, nullptr, &type, data, &data_size);
    if (rc != ERROR_SUCCESS) break;
    EXPECT_GT(data_size, 0u);
    EXPECT_EQ(data[data_size - 1], 0);
    values->emplace_back(reinterpret_cast<char*>(data), data_size - 1);
  }
  EXPECT_EQ(services.RegCloseKey(key), ERROR_SUCCESS);
  return rc == static_cast<long>(ERROR_NO_MORE_ITEMS) ? ERROR_SUCCESS : rc;
}

class PortListTest : public ::testing::Test {
 protected:
  void Link(const std::string& name, const std::string& target) {
    ASSERT_EQ(symlink(target.c_str(), (ports.path() + "/" + name).c_str()), 0);
  }
  TempDir ports;
};

TEST_F(PortListTest, ListsUartsAdaptersAndLiveVirtualPorts) {
  Pty live;
  ASSERT_TRUE(live.ok());
  const std::string file = ports.path() + "/plain";
  std::ofstream(file) << "x";
  Link("VirtualCOM1", live.slave_path());
  Link("Crashed", ports.path() + "/no-such-pty");  // left behind by an instrument that died
  Link("NotADevice", file);
  Link("ttyUSB0", live.slave_path());  // a virtual port named like a real one is listed once

  posix::PosixDeviceServices services(kSysfs, ports.path());
  std::vector<std::string> values;
  ASSERT_EQ(ReadKey(services, &values), ERROR_SUCCESS);
  // ttyS1 and ttyS2 are placeholders without a UART; tty*, console and ptmx have no device.
  EXPECT_EQ(values, (std::vector<std::string>{"VirtualCOM1", "ttyACM0", "ttyAMA0", "ttyS0", "ttyUSB0"}));

  // A virtual port's name leads to its device.
  EXPECT_EQ(services.DevicePath("VirtualCOM1"), ports.path() + "/VirtualCOM1");
  EXPECT_EQ(services.DevicePath("ttyS0"), "/dev/ttyS0");
}

TEST_F(PortListTest, EachSourceAloneIsEnough) {
  Pty live;
  ASSERT_TRUE(live.ok());
  Link("Scale", live.slave_path());
  std::vector<std::string> values;
  posix::PosixDeviceServices only_virtual(ports.path() + "/no-sysfs", ports.path());
  ASSERT_EQ(ReadKey(only_virtual, &values), ERROR_SUCCESS);
  EXPECT_EQ(values, std::vector<std::string>{"Scale"});

  values.clear();
  posix::PosixDeviceServices only_sysfs(kSysfs, ports.path() + "/never-registered");
  ASSERT_EQ(ReadKey(only_sysfs, &values), ERROR_SUCCESS);
  EXPECT_EQ(values.size(), 4u);
}

TEST_F(PortListTest, NoReadableSourceOrAnotherKeyFailsToOpen) {
  const std::size_t handles = kernel::OpenHandleCount();
  posix::PosixDeviceServices none(ports.path() + "/no-sysfs", ports.path() + "/no-ports");
  HKEY key = nullptr;
  EXPECT_NE(none.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, 0x20019, &key),
            ERROR_SUCCESS);
  posix::PosixDeviceServices services(kSysfs, ports.path());
  EXPECT_NE(services.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Other", 0, 0x20019, &key), ERROR_SUCCESS);
  EXPECT_NE(services.RegOpenKeyExA(nullptr, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, 0x20019, &key),
            ERROR_SUCCESS);
  // The registry's names are not case-sensitive.
  ASSERT_EQ(services.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "hardware\\devicemap\\serialcomm", 0, 0x20019, &key),
            ERROR_SUCCESS);
  EXPECT_EQ(services.RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(kernel::OpenHandleCount(), handles);
}

TEST_F(PortListTest, ANameTooLongForTheBufferFailsWithMoreData) {
  Pty live;
  ASSERT_TRUE(live.ok());
  Link("VirtualCOM12", live.slave_path());
  posix::PosixDeviceServices services(ports.path() + "/no-sysfs", ports.path());
  std::vector<std::string> values;
  EXPECT_EQ(ReadKey(services, &values, 12), ERROR_MORE_DATA);  // 12 characters need 13 bytes
  values.clear();
  EXPECT_EQ(ReadKey(services, &values, 13), ERROR_SUCCESS);
  EXPECT_EQ(values, std::vector<std::string>{"VirtualCOM12"});
}

TEST(PortListDefaults, VirtualPortsLiveInTheUsersRuntimeOrStateDirectory) {
  const char* saved_runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string runtime = saved_runtime ? saved_runtime : "";
  setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
  EXPECT_EQ(posix::DefaultVirtualPortDir(), "/run/user/1000/talvik/ports");
  unsetenv("XDG_RUNTIME_DIR");
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("HOME", "/home/lab", 1);
  EXPECT_EQ(posix::DefaultVirtualPortDir(), "/home/lab/.local/state/talvik/ports");
  if (home.empty()) unsetenv("HOME"); else setenv("HOME", home.c_str(), 1);
  if (saved_runtime) setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
}

}  // namespace
