// The program's windows on a real (virtual) X display.
#include <gtest/gtest.h>

#include "app/Main.h"
#include "app/Unit1.h"

#include <FL/Fl.H>
#include <FL/Fl_Scroll.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "app/Main.h"
#include "app/Unit1.h"
#include "platform/sim/sim_device.h"
#include "platform/threads.h"
#include "ui/fltk/fltk_toolkit.h"
#include "ui/fltk/fltk_widgets.h"

// The X headers name the mouse buttons Button1...; the window has a control of that name.
#undef Button1

namespace {

bool HaveDisplay() { return std::getenv("DISPLAY") != nullptr; }

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveDisplay()) GTEST_SKIP() << "no X display";
    toolkit_ = std::make_unique<ui::fltk::FltkToolkit>();
    app_ = std::make_unique<ui::TApplication>();
    app_->Initialize();
    app_->Title = "Talvik";
    app_->MessageBoxHook = [](const std::string&, const std::string&, unsigned) { return ui::IDOK; };
    app_->CreateForm(MainForm, sim_);
    app_->CreateForm(Form1);
    MainForm->Show();
    Pump();
  }
  void TearDown() override {
    if (app_) app_->DestroyForms();
    MainForm = nullptr;
    Form1 = nullptr;
    app_.reset();
    toolkit_.reset();
  }
  // Lets the window settle: a few rounds of events.
  static void Pump() {
    for (int i = 0; i < 20; ++i) Fl::wait(0.02);
  }
  static Fl_Window* WindowOf(ui::TControl* c) { return ui::fltk::WidgetOf(c)->window(); }

  platform::sim::SimDeviceServices sim_;
  std::unique_ptr<ui::fltk::FltkToolkit> toolkit_;
  std::unique_ptr<ui::TApplication> app_;
};

struct Pixel {
  unsigned char r, g, b;
};
Pixel ReadPixel(Fl_Window* w, int x, int y) {
  w->make_current();
  unsigned char p[3] = {0, 0, 0};
  fl_read_image(p, x, y, 1, 1);
  return {p[0], p[1], p[2]};
}

TEST_F(WindowTest, MainWindowHasItsClientAreaCentredWithEveryControlInPlace) {
  ASSERT_EQ(ui::fltk::FltkToolkit::Scale(), 1.0) << "the virtual display runs at 96 pixels per inch";
  Fl_Window* win = WindowOf(MainForm->Panel1);
  EXPECT_EQ(win->w(), 541);
  EXPECT_EQ(win->h(), 520);
  int sx, sy, sw, sh;
  Fl::screen_work_area(sx, sy, sw, sh);
  EXPECT_NEAR(win->x(), sx + (sw - 541) / 2, 1);
  EXPECT_NEAR(win->y(), sy + (sh - 520) / 2, 1);
  EXPECT_STREQ(win->label(), "Talvik");

  // Each control's widget lies where the table puts it (relative to the window's client area,
  // the panels' single border adding one pixel to their children's origin).
  auto origin = [](ui::TControl* c) {
    int x = 0, y = 0;
    for (ui::TWinControl* p = c->Parent(); p && p != MainForm; p = p->Parent()) {
      x += p->Left();
      y += p->Top();
      if (auto* panel = dynamic_cast<ui::TPanel*>(p); panel && panel->BorderStyle == ui::TBorderStyle::bsSingle) {
        x += 1;
        y += 1;
      }
    }
    return std::make_pair(x, y);
  };
  for (const auto& owned : MainForm->OwnedControls()) {
    ui::TControl* c = owned.get();
    Fl_Widget* w = ui::fltk::WidgetOf(c);
    ASSERT_NE(w, nullptr) << c->Name();
    auto [ox, oy] = origin(c);
    EXPECT_EQ(w->x(), ox + c->Left()) << c->Name();
    EXPECT_EQ(w->y(), oy + c->Top()) << c->Name();
    EXPECT_EQ(w->w(), c->Width()) << c->Name();
    EXPECT_EQ(w->h(), c->Height()) << c->Name();
    EXPECT_EQ(w->visible() != 0, c->Visible()) << c->Name();
  }
  // Labels size themselves to their text; the clock label keeps its size.
  EXPECT_GT(MainForm->Label1->Width(), 20);
  EXPECT_LT(MainForm->Label1->Width(), 80);
  EXPECT_EQ(MainForm->Label6->Width(), 81);
  EXPECT_EQ(MainForm->Label6->Height(), 24);
}

TEST_F(WindowTest, HelpPaneLiesOverTheReceivingPaneWithScrollBarsUntilHidden) {
  Fl_Window* win = WindowOf(MainForm->Panel1);
  auto* scroll = dynamic_cast<Fl_Scroll*>(win->child(0));
  ASSERT_NE(scroll, nullptr);
  // Wait until the server has the window drawn: the strip's face is no longer black.
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  do {
    win->redraw();
    Fl::wait(0.05);
    Fl::flush();
  } while (ReadPixel(win, 300, 20).r == 0 && std::chrono::steady_clock::now() < until);
  EXPECT_TRUE(scroll->scrollbar.visible());
  EXPECT_TRUE(scroll->hscrollbar.visible());
  // A blank spot of the help pane (right of its text) shows the menu-bar colour, not the
  // receiving pane's black.
  Pixel help = ReadPixel(win, 470, 190);
  EXPECT_EQ(help.r, 0xF0);
  EXPECT_EQ(help.g, 0xF0);
  EXPECT_EQ(help.b, 0xF0);
  // The top strip's menu-bar face next to the lists.
  Pixel strip = ReadPixel(win, 300, 20);
  EXPECT_EQ(strip.r, 0xF0);
  // Hiding the help pane uncovers the black receiving pane and the bars go.
  MainForm->Memo2Help->Hide();
  win->redraw();
  Pump();
  Fl::flush();
  EXPECT_FALSE(scroll->scrollbar.visible());
  EXPECT_FALSE(scroll->hscrollbar.visible());
  Pixel pane = ReadPixel(win, 470, 300);
  EXPECT_LT(pane.r + pane.g + pane.b, 60);
}

TEST_F(WindowTest, ConnectingHidesTheHelpPaneAndTheScrollBars) {
  Fl_Window* win = WindowOf(MainForm->Panel1);
  auto* scroll = dynamic_cast<Fl_Scroll*>(win->child(0));
  ASSERT_NE(scroll, nullptr);
  MainForm->BitBtn1Connect->Click();
  win->redraw();
  Pump();
  Fl::flush();
  EXPECT_TRUE(MainForm->BComPort1->Connected());
  EXPECT_FALSE(scroll->scrollbar.visible());
  EXPECT_FALSE(scroll->hscrollbar.visible());
  MainForm->BitBtn1Disconnect->Click();
  Pump();
  EXPECT_FALSE(scroll->scrollbar.visible());
}

TEST_F(WindowTest, ConnectButtonHasTheFocusAtFirstShow) {
  EXPECT_EQ(Fl::focus(), ui::fltk::WidgetOf(MainForm->BitBtn1Connect));
}

TEST_F(WindowTest, CodeTableOpensModallyCentredFirstAndWhereLeftLater) {
  ASSERT_NE(MainForm->Timer1, nullptr);
  std::atomic<int> ticks{0};
  MainForm->Timer1->OnTimer = [&](ui::TObject*) { ++ticks; };
  MainForm->Timer1->SetInterval(20);
  std::atomic<bool> handed_over{false};
  platform::HWND hidden = platform::AllocateHWnd([&](platform::TMessage& m) {
    handed_over = true;
    m.Result = 7;
  });
  std::thread monitor;
  int first_x = 0, first_y = 0, ticks_seen = 0;
  bool was_modal = false;
  platform::LRESULT answer = 0;

  // Runs inside the modal loop: the window is up, the clock ticks, a hand-over is served;
  // then the user moves the window and closes it.
  struct Step {
    std::function<void()> fn;
  } step{[&] {
    Fl_Window* table = WindowOf(Form1->Memo1);
    Fl_Window* main = WindowOf(MainForm->Panel1);
    was_modal = Fl::modal() == table;
    first_x = table->x() - (main->x() + (main->w() - table->w()) / 2);
    first_y = table->y() - (main->y() + (main->h() - table->h()) / 2);
    int before = ticks;
    monitor = std::thread([&] { answer = platform::SendMessage(hidden, 1025, 0, 0); });
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((ticks < before + 3 || !handed_over) && std::chrono::steady_clock::now() < until) app_->HandleMessage();
    ticks_seen = ticks - before;
    table->position(table->x() + 37, table->y() + 23);
    Pump();
    Form1->Close();
  }};
  Fl::add_timeout(0.2, [](void* d) { static_cast<Step*>(d)->fn(); }, &step);
  MainForm->Button1->Click();
  monitor.join();
  EXPECT_TRUE(was_modal);
  EXPECT_NEAR(first_x, 0, 1);
  EXPECT_NEAR(first_y, 0, 1);
  EXPECT_GE(ticks_seen, 3);
  EXPECT_TRUE(handed_over);
  EXPECT_EQ(answer, 7);
  EXPECT_FALSE(Form1->Shown());

  // The second opening shows it where the user left it.
  Fl_Window* table = WindowOf(Form1->Memo1);
  int left_x = table->x(), left_y = table->y();
  int again_x = -1, again_y = -1;
  Step again{[&] {
    again_x = table->x();
    again_y = table->y();
    Form1->Close();
  }};
  Fl::add_timeout(0.2, [](void* d) { static_cast<Step*>(d)->fn(); }, &again);
  MainForm->Button1->Click();
  EXPECT_EQ(again_x, left_x);
  EXPECT_EQ(again_y, left_y);
  EXPECT_EQ(Form1->Memo1->LineCount(), 259);
  platform::DeallocateHWnd(hidden);
}

}  // namespace
