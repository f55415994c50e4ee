// The main window on the simulated device and port list, with a fixed clock and a program
// path of the test's choosing. The test thread is the user-interface thread.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "../support/port_fixture.h"
#include "app/Main.h"
#include "app/Unit1.h"
#include "platform/sim/sim_device.h"
#include "platform/system.h"
#include "ui/forms.h"

namespace talvik_test {

class FakeSystem : public platform::SystemServices {
 public:
  platform::TDateTime now{2006, 6, 19, 9, 55, 3};
  std::string exe = "/opt/talvik/talvik";
  platform::LongTimeFormat format;
  std::vector<std::string> opened;
  platform::TDateTime Now() override { return now; }
  std::string ExeName() override { return exe; }
  platform::LongTimeFormat TimeFormat() override { return format; }
  void OpenUrl(const std::string& url) override { opened.push_back(url); }
};

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetMainThread();
    sim.SetRegistry(std::vector<std::string>{"COM3", "COM1"});
    Create();
  }
  void Create() {
    app.Initialize();
    app.Title = "Talvik";
    app.MessageBoxHook = [this](const std::string& text, const std::string& caption, unsigned) {
      boxes.push_back(text);
      captions.push_back(caption);
      if (on_box) on_box();
      return ui::IDOK;
    };
    app.CreateForm(MainForm, sim);
    app.CreateForm(Form1);
    form = MainForm;
    form->System = &system;
  }
  void TearDown() override {
    app.DestroyForms();
    MainForm = nullptr;
    Form1 = nullptr;
    platform::SetExceptionReport(nullptr);
  }
  // A user action: an exception it raises goes to the error box.
  void User(const std::function<void()>& action) { ui::RunUserEvent(action, nullptr); }
  void Connect() { User([&] { form->BitBtn1Connect->Click(); }); }
  void Disconnect() { User([&] { form->BitBtn1Disconnect->Click(); }); }
  // "on", "off" or "none": what a lamp shows.
  static std::string Lamp(ui::TImage* image) {
    const ui::TPicture& p = image->Picture();
    if (p.Empty()) return "none";
    ui::Rgb c = p.Pixel(5, 5);
    return c.g == 255 && c.r == 0 ? "on" : "off";
  }

  platform::sim::SimDeviceServices sim;
  FakeSystem system;
  ui::TApplication app;
  std::vector<std::string> boxes, captions;
  std::function<void()> on_box;
  TMainForm* form = nullptr;
};

}  // namespace talvik_test
