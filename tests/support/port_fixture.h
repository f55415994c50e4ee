// Shared helpers for the port component's tests: a port on the simulated device, and a way
// for the test thread, as the user-interface thread, to serve hand-overs until a condition
// holds.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "bcport/BCPort.h"
#include "platform/kernel.h"
#include "platform/sim/sim_device.h"

namespace talvik_test {

// Serves hand-overs in this (user-interface) thread until `done` holds; false after `ms`.
inline bool PumpUntil(const std::function<bool()>& done, int ms = 5000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    platform::CheckSynchronize();
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

// The message of the EComPort (or other Exception) that `f` raises; "" when none.
template <class F>
std::string RaisedMessage(F&& f) {
  try {
    f();
  } catch (const platform::Exception& e) {
    return e.Message();
  }
  return "";
}

class PortTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetMainThread(); }
  void TearDown() override { platform::SetExceptionReport(nullptr); }

  // Opens the port and forgets the calls that opening made.
  void OpenPort() {
    port.Open();
    ASSERT_TRUE(sim.AwaitPendingWait());
    sim.ClearCalls();
  }
  std::vector<platform::sim::Call> CallsNamed(const std::string& name) {
    std::vector<platform::sim::Call> out;
    for (auto& c : sim.Calls())
      if (c.name == name) out.push_back(c);
    return out;
  }

  platform::sim::SimDeviceServices sim;
  TBComPort port{sim};
};

}  // namespace talvik_test
