// End to end: an instrument on a pseudo-terminal sends readings, the user connects, ticks
// "CR=CR+LF" and saves with real clicks, and the saved file holds exactly what was received
// after the window's rewrites.
#include <gtest/gtest.h>

#include "app/Main.h"
#include "app/Unit1.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/posix/posix_device.h"
#include "platform/system.h"
#include "ui/fltk/fltk_toolkit.h"
#include "ui/fltk/fltk_widgets.h"

#undef Button1

namespace fs = std::filesystem;

namespace {

class ProgramFolder : public platform::SystemServices {
 public:
  explicit ProgramFolder(std::string exe) : exe_(std::move(exe)) {}
  std::string ExeName() override { return exe_; }

 private:
  std::string exe_;
};

// Serves the window until `done` holds; false after 10 s.
bool PumpUntil(const std::function<bool()>& done) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    Fl::wait(0.01);
    if (std::chrono::steady_clock::now() > until) return false;
  }
  return true;
}

// A real click on the middle of a control, through the X server, while the window is served.
void Click(ui::TControl* c) {
  Fl_Widget* w = ui::fltk::WidgetOf(c);
  Fl_Window* win = w->window();
  std::string cmd = "xdotool mousemove --window " + std::to_string(static_cast<unsigned long>(fl_xid(win))) + " " +
                    std::to_string(w->x() + w->w() / 2) + " " + std::to_string(w->y() + w->h() / 2) +
                    " click 1 >/dev/null 2>&1";
  bool finished = false;
  int rc = -1;
  std::thread clicker([&] {
    rc = std::system(cmd.c_str());
    finished = true;
  });
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!finished && std::chrono::steady_clock::now() < until) Fl::wait(0.01);
  clicker.join();
  ASSERT_EQ(rc, 0) << cmd;
  for (int i = 0; i < 10; ++i) Fl::wait(0.01);
}

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(EndToEnd, ReadingsArriveAndTheSavedFileHoldsThem) {
  if (!std::getenv("DISPLAY") || std::system("command -v xdotool >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "needs an X display and xdotool";
  fs::path dir = fs::temp_directory_path() / ("talvik-e2e-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "ports");
  fs::create_directories(dir / "bin");
  fs::path cwd = fs::current_path();

  int master = -1, slave = -1;
  char name[256];
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  termios raw{};
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);
  fs::create_symlink(name, dir / "ports" / "AAScale");

  platform::posix::PosixDeviceServices devices((dir / "no-sysfs").string(), (dir / "ports").string());
  ProgramFolder folder((dir / "bin" / "talvik").string());
  {
    ui::fltk::FltkToolkit toolkit;
    ui::TApplication app;
    app.Initialize();
    app.Title = "Talvik";
    std::vector<std::string> boxes;
    app.MessageBoxHook = [&](const std::string& text, const std::string&, unsigned) {
      boxes.push_back(text);
      return ui::IDOK;
    };
    app.CreateForm(MainForm, devices);
    app.CreateForm(Form1);
    MainForm->System = &folder;
    MainForm->Show();
    ASSERT_TRUE(PumpUntil([] { return ui::fltk::WidgetOf(MainForm->Panel1)->window()->shown(); }));
    for (int i = 0; i < 20; ++i) Fl::wait(0.02);
    ASSERT_EQ(MainForm->cbPort->Text(), "AAScale");

    Click(MainForm->BitBtn1Connect);
    ASSERT_TRUE(PumpUntil([] { return MainForm->BComPort1->Connected(); }));
    Click(MainForm->cbCRLF);
    ASSERT_TRUE(PumpUntil([] { return MainForm->cbCRLF->Checked(); }));

    // What the instrument sends, piece by piece, and what the pane then holds: points become
    // commas, a CR that ends a chunk gains its LF, every other byte (NUL and Cyrillic
    // included) stays.
    const std::pair<std::string, std::string> pieces[] = {
        {"  12.5 g\r\n", "  12,5 g\r\n"},
        {" 7.25\r", " 7,25\r\n"},
        {std::string("\0\xE2\xE5\xF1 1.0\rx", 10), std::string("\0\xE2\xE5\xF1 1,0\rx", 10)},
    };
    std::string shown;
    for (const auto& [sent, gained] : pieces) {
      ASSERT_EQ(write(master, sent.data(), sent.size()), static_cast<ssize_t>(sent.size()));
      shown += gained;
      ASSERT_TRUE(PumpUntil([&] { return MainForm->Memo1->Text().size() >= shown.size(); }));
      ASSERT_EQ(MainForm->Memo1->Text(), shown);
    }

    for (int i = 0; i < 20; ++i) Fl::wait(0.02);  // drawn before the screenshot
    std::system(("import -window root " + (fs::path(TALVIK_BUILD_DIR) / "end_to_end.png").string() +
                 " >/dev/null 2>&1").c_str());
    Click(MainForm->BitBtn2Save);
    std::vector<fs::path> files;
    ASSERT_TRUE(PumpUntil([&] {
      files.clear();
      for (auto& e : fs::directory_iterator(dir / "bin")) files.push_back(e.path());
      return !files.empty();
    }));
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(ReadAll(files[0]), shown);
    EXPECT_EQ(files[0].filename().string().size(), 21u);
    EXPECT_EQ(MainForm->Memo1->Text(), "");
    EXPECT_TRUE(boxes.empty());

    Click(MainForm->BitBtn1Disconnect);
    EXPECT_TRUE(PumpUntil([] { return !MainForm->BComPort1->Connected(); }));
    app.DestroyForms();
    MainForm = nullptr;
    Form1 = nullptr;
    platform::SetExceptionReport(nullptr);
  }
  close(master);
  close(slave);
  fs::current_path(cwd);
  fs::remove_all(dir);
}
