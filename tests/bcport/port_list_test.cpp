// The sorted list of the system's serial ports.
#include "../support/port_fixture.h"

using namespace platform;
using talvik_test::RaisedMessage;

TEST(ListSerialPorts, SortsCaseInsensitivelyAndReplacesTheTarget) {
  struct Case {
    std::vector<std::string> values, expected;
  } cases[] = {
      {{"COM3", "COM1", "COM10", "COM2"}, {"COM1", "COM10", "COM2", "COM3"}},
      {{"com2", "COM1"}, {"COM1", "com2"}},
      {{}, {}},
      {{std::string(255, 'A')}, {std::string(255, 'A')}},
  };
  for (auto& c : cases) {
    sim::SimDeviceServices sim;
    sim.SetRegistry(c.values);
    std::vector<std::string> target{"old"};
    ListSerialPorts(target, sim);
    EXPECT_EQ(target, c.expected);
    ListSerialPorts(target, sim);
    EXPECT_EQ(target, c.expected);  // not doubled
    auto names = sim.CallNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "RegCloseKey"), 2);
  }
}

TEST(ListSerialPorts, FailuresRaiseAndLeaveTheTargetUnchanged) {
  struct Case {
    std::optional<std::vector<std::string>> values;
    const char* failing_call;
  } cases[] = {
      {std::nullopt, nullptr},                                 // the source is missing
      {std::vector<std::string>{"COM1", std::string(256, 'B')}, nullptr},  // a value too long
      {std::vector<std::string>{"COM1"}, "RegEnumValueA"},
  };
  for (auto& c : cases) {
    sim::SimDeviceServices sim;
    sim.SetRegistry(c.values);
    if (c.failing_call) sim.Fail(c.failing_call, 5);
    std::vector<std::string> target{"COM9", "COM8"};
    EXPECT_EQ(RaisedMessage([&] { ListSerialPorts(target, sim); }), "Ошибка обращения к системному реестру");
    EXPECT_EQ(target, (std::vector<std::string>{"COM9", "COM8"}));
    auto names = sim.CallNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "RegCloseKey"), c.values ? 1 : 0);
  }
}
