// Event objects and waits with the device model's rules.
#include <gtest/gtest.h>

#include <thread>

#include "platform/kernel.h"

using namespace platform;

TEST(Kernel, WaitForAnyReportsTheLowestSignalledIndex) {
  HANDLE a = kernel::CreateEvent(true, false);
  HANDLE b = kernel::CreateEvent(true, true);
  HANDLE pair[2] = {a, b};
  EXPECT_EQ(kernel::WaitForMultipleObjects(2, pair, false, 0), WAIT_OBJECT_0 + 1);
  kernel::SetEvent(a);
  EXPECT_EQ(kernel::WaitForMultipleObjects(2, pair, false, INFINITE), WAIT_OBJECT_0);  // both set: 0 wins
  EXPECT_EQ(kernel::WaitForMultipleObjects(2, pair, false, INFINITE), WAIT_OBJECT_0);  // manual reset stays set
  kernel::ResetEvent(a);
  kernel::ResetEvent(b);
  EXPECT_EQ(kernel::WaitForSingleObject(a, 10), WAIT_TIMEOUT);
  HANDLE automatic = kernel::CreateEvent(false, true);
  EXPECT_EQ(kernel::WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
  EXPECT_EQ(kernel::WaitForSingleObject(automatic, 0), WAIT_TIMEOUT);  // taken by the first wait
  std::thread setter([&] { kernel::SetEvent(b); });
  EXPECT_EQ(kernel::WaitForMultipleObjects(2, pair, false, INFINITE), WAIT_OBJECT_0 + 1);
  setter.join();
  for (HANDLE h : {a, b, automatic}) EXPECT_TRUE(kernel::Close(h));
}

TEST(Kernel, ClosedOrUnknownHandlesFailCleanly) {
  HANDLE e = kernel::CreateEvent(true, false);
  EXPECT_TRUE(kernel::Close(e));
  EXPECT_FALSE(kernel::Close(e));
  EXPECT_EQ(kernel::GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(kernel::SetEvent(e));
  EXPECT_EQ(kernel::WaitForSingleObject(e, 0), WAIT_FAILED);
  EXPECT_EQ(kernel::WaitForSingleObject(INVALID_HANDLE_VALUE, 0), WAIT_FAILED);
}
