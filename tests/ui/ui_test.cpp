#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "ui/forms.h"
#include "ui/text.h"

namespace {

TEST(FullStop, AppendedOnlyAfterCharactersAboveTheDot) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"Порт занят другой программой", "Порт занят другой программой."},
      {"Ошибка функции SetupComm", "Ошибка функции SetupComm."},
      {"Value:", "Value:."},
      {"Why?", "Why?."},
      {"I/O error 32", "I/O error 32."},
      {"Already ends.", "Already ends."},
      {"Stop!", "Stop!"},
      {"trailing blank ", "trailing blank "},
      {"(paren)", "(paren)"},
      {"a,", "a,"},
      {"dash-", "dash-"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ui::WithFullStop(c.in), c.out) << c.in;
}

TEST(Text, Windows1251DecodesTheUpperHalf) {
  EXPECT_EQ(ui::DecodeCp1251("A\x80\xC0\xFF\xA8\xB8"), "AЂАяЁё");
  EXPECT_EQ(ui::DecodeCp1251("\x98"), "");  // unassigned
  EXPECT_EQ(ui::DecodeCp1251("\x96\x97\xA0"), "–—\u00A0");
}

TEST(Text, AcceleratorsMarkOneLetterOfAnyAlphabet) {
  auto a = ui::ParseAccelerator("  С&правка");
  EXPECT_EQ(a.text, "  Справка");
  EXPECT_EQ(a.letter, U'п');
  EXPECT_EQ(a.text.substr(a.offset, 2), "п");
  EXPECT_EQ(ui::ParseAccelerator("  &Контакт   ").letter, U'К');
  EXPECT_EQ(ui::ParseAccelerator("Fish && &Chips").text, "Fish & Chips");
  EXPECT_EQ(ui::ParseAccelerator("Fish && &Chips").letter, U'C');
  EXPECT_EQ(ui::ParseAccelerator("ASCII Table").letter, 0u);
  // Either case matches, Ё included; different letters do not.
  EXPECT_TRUE(ui::SameLetter(U'К', U'к'));
  EXPECT_TRUE(ui::SameLetter(U'ч', U'Ч'));
  EXPECT_TRUE(ui::SameLetter(U'Ё', U'ё'));
  EXPECT_TRUE(ui::SameLetter(U'c', U'C'));
  EXPECT_FALSE(ui::SameLetter(U'К', U'k'));
  EXPECT_FALSE(ui::SameLetter(0, 0));
}

TEST(Picture, ScalesDownInProportionButNeverUp) {
  int w, h;
  ui::FitProportional(384, 260, 210, 210, &w, &h);
  EXPECT_EQ(w, 210);
  EXPECT_EQ(h, 142);
  ui::FitProportional(16, 10, 210, 210, &w, &h);
  EXPECT_EQ(w, 16);
  EXPECT_EQ(h, 10);
  ui::FitProportional(100, 400, 50, 100, &w, &h);
  EXPECT_EQ(w, 25);
  EXPECT_EQ(h, 100);
}

TEST(Picture, JpegSizeComesFromItsFrameHeader) {
  // SOI, an APP0 segment, then SOF0 with height 260 and width 384.
  const unsigned char jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x00, 0x00, 0xFF, 0xC0, 0x00, 0x11,
                                0x08, 0x01, 0x04, 0x01, 0x80, 0x03, 0x01, 0x22, 0x00, 0x02, 0x11, 0x01};
  auto p = ui::TPicture::FromJpeg(jpeg, sizeof jpeg);
  EXPECT_EQ(p.kind(), ui::TPicture::Kind::Jpeg);
  EXPECT_EQ(p.Width(), 384);
  EXPECT_EQ(p.Height(), 260);
}

// A 2x2 picture: olive at the bottom left is the transparent colour.
ui::TPicture Tiny(ui::Rgb tl, ui::Rgb tr, ui::Rgb bl, ui::Rgb br) {
  return ui::TPicture::FromRgb(2, 2, {tl.r, tl.g, tl.b, tr.r, tr.g, tr.b, bl.r, bl.g, bl.b, br.r, br.g, br.b});
}

TEST(Picture, TransparentColourIsTheBottomLeftPixel) {
  ui::Rgb olive{0x80, 0x80, 0}, green{0, 0x80, 0};
  auto p = Tiny(olive, green, olive, green);
  auto shown = ui::ToRgba(p, true);
  EXPECT_EQ(shown.Alpha(0, 0), 0);
  EXPECT_EQ(shown.Alpha(1, 0), 255);
  EXPECT_EQ(shown.Alpha(0, 1), 0);
  auto opaque = ui::ToRgba(p, false);
  EXPECT_EQ(opaque.Alpha(0, 0), 255);
}

TEST(Picture, GlyphStripOfTwoGivesBothLooks) {
  ui::Rgb key{0, 0x80, 0x80}, red{0xFF, 0, 0}, grey{0x80, 0x80, 0x80};
  // 4x1 strip: enabled [key, red], disabled [key, grey].
  auto strip = ui::TPicture::FromRgb(4, 1, {key.r, key.g, key.b, red.r, red.g, red.b, key.r, key.g, key.b, grey.r, grey.g, grey.b});
  auto g = ui::MakeGlyphImages(strip, 2);
  ASSERT_EQ(g.enabled.width, 2);
  ASSERT_EQ(g.disabled.width, 2);
  EXPECT_EQ(g.enabled.Alpha(0, 0), 0);
  EXPECT_EQ(g.enabled.rgba[4], 0xFF);  // red stays red
  EXPECT_EQ(g.disabled.Alpha(0, 0), 0);
  EXPECT_EQ(g.disabled.rgba[4], 0x80);
}

TEST(Picture, DisabledLookOfASingleGlyphIsAnEtching) {
  ui::Rgb key{0xFF, 0, 0xFF}, black{0, 0, 0}, white{0xFF, 0xFF, 0xFF};
  // Dark pixel at the top left; light pixel at the top right; key below.
  auto g = ui::MakeGlyphImages(Tiny(black, white, key, key), 1);
  ASSERT_EQ(g.disabled.width, 2);
  auto px = [&](int x, int y) { return g.disabled.rgba[(y * 2 + x) * 4]; };
  EXPECT_EQ(g.disabled.Alpha(0, 0), 255);
  EXPECT_EQ(px(0, 0), 0x80);          // the dark pixel becomes shadow grey
  EXPECT_EQ(g.disabled.Alpha(1, 1), 255);
  EXPECT_EQ(px(1, 1), 0xFF);          // with a highlight one down and right
  EXPECT_EQ(g.disabled.Alpha(1, 0), 0);  // light pixels vanish
  EXPECT_EQ(g.disabled.Alpha(0, 1), 0);
}

// A small form: a panel holding two buttons, an edit, a hidden memo and a disabled box.
const ui::ControlSpec kSmall[] = {
    {.name = "Strip", .kind = ui::ControlKind::Panel, .parent = "F", .bounds = {0, 0, 200, 40},
     .align = ui::TAlign::alTop, .tab_order = 1},
    {.name = "A", .kind = ui::ControlKind::Button, .parent = "Strip", .bounds = {0, 0, 50, 20}, .tab_order = 1},
    {.name = "B", .kind = ui::ControlKind::Button, .parent = "Strip", .bounds = {60, 0, 50, 20}, .tab_order = 0},
    {.name = "Off", .kind = ui::ControlKind::CheckBox, .parent = "Strip", .bounds = {120, 0, 50, 20},
     .tab_order = 2, .enabled = false},
    {.name = "Edit", .kind = ui::ControlKind::Edit, .parent = "F", .bounds = {0, 50, 100, 20}, .tab_order = 0},
    {.name = "Hidden", .kind = ui::ControlKind::Memo, .parent = "F", .bounds = {0, 80, 100, 20}, .tab_order = 2,
     .visible = false},
    {.name = "Pane", .kind = ui::ControlKind::Memo, .parent = "F", .bounds = {0, 0, 10, 10},
     .align = ui::TAlign::alClient, .tab_order = 3},
    {.name = "Foot", .kind = ui::ControlKind::Panel, .parent = "F", .bounds = {0, 0, 10, 30},
     .align = ui::TAlign::alBottom, .tab_order = -1},
};
const ui::FormSpec kSmallForm = {.name = "F", .caption = "F", .client_width = 200, .client_height = 150,
                                 .controls = kSmall};

TEST(Form, TabVisitsInTabOrderSkippingHiddenAndDisabled) {
  ui::TForm f("F");
  f.LoadLayout(kSmallForm);
  std::vector<std::string> names;
  for (auto* c : f.TabSequence()) names.push_back(c->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"Edit", "B", "A", "Pane"}));
  f.Find<ui::TControl>("Off")->SetEnabled(true);
  f.Find<ui::TControl>("Strip")->SetVisible(false);  // a hidden parent hides its children
  names.clear();
  for (auto* c : f.TabSequence()) names.push_back(c->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"Edit", "Pane"}));
}

TEST(Form, AlignedControlsShareTheClientArea) {
  ui::TForm f("F");
  f.LoadLayout(kSmallForm);
  EXPECT_EQ(f.FindControl("Strip")->BoundsRect(), (ui::TRect{0, 0, 200, 40}));
  EXPECT_EQ(f.FindControl("Foot")->BoundsRect(), (ui::TRect{0, 120, 200, 30}));
  EXPECT_EQ(f.FindControl("Pane")->BoundsRect(), (ui::TRect{0, 40, 200, 80}));
  f.FindControl("Strip")->Hide();
  EXPECT_EQ(f.FindControl("Pane")->BoundsRect(), (ui::TRect{0, 0, 200, 120}));
}

TEST(Form, ScrollBarsWhileAnUnalignedControlReachesPastTheClientArea) {
  ui::TForm f("F");
  f.LoadLayout(kSmallForm);
  EXPECT_FALSE(f.ScrollBarsNeeded());
  auto* hidden = f.FindControl("Hidden");
  hidden->SetBounds(0, 80, 204, 20);  // 4 pixels too wide, but hidden
  EXPECT_FALSE(f.ScrollBarsNeeded());
  hidden->Show();
  EXPECT_TRUE(f.ScrollBarsNeeded());
  hidden->SetBounds(0, 140, 100, 20);  // too low
  EXPECT_TRUE(f.ScrollBarsNeeded());
  hidden->Hide();
  EXPECT_FALSE(f.ScrollBarsNeeded());
  f.AutoScroll = false;
  hidden->Show();
  EXPECT_FALSE(f.ScrollBarsNeeded());
}

TEST(Form, ColourAndFontComeFromTheParentUnlessOwn) {
  ui::TForm f("F");
  f.LoadLayout(kSmallForm);
  auto* strip = f.FindControl("Strip");
  auto* a = f.FindControl("A");
  strip->SetColor(ui::clMenuBar);
  EXPECT_EQ(a->Color(), ui::clMenuBar);
  a->SetColor(ui::clRed);
  EXPECT_EQ(a->Color(), ui::clRed);
  EXPECT_EQ(a->Font().Name, "MS Sans Serif");
  EXPECT_TRUE(a->ParentFont());
}

TEST(Memo, LinesEndInCrLfAndAppendingKeepsTheBytes) {
  ui::TMemo m("M");
  EXPECT_EQ(m.LineCount(), 0);
  m.AppendBytes("12,5\r");
  EXPECT_EQ(m.LineCount(), 1);
  m.AppendBytes("\n");
  EXPECT_EQ(m.LineCount(), 1);  // an empty last line is not counted
  m.AppendBytes("a\rb\nc");
  EXPECT_EQ(m.LineCount(), 2);  // a lone CR or LF breaks no line
  EXPECT_EQ(m.Text(), "12,5\r\na\rb\nc");
  m.SetLines({"x", "", "y"});
  EXPECT_EQ(m.Text(), "x\r\n\r\ny\r\n");
  EXPECT_EQ(m.Lines(), (std::vector<std::string>{"x", "", "y"}));
  m.Clear();
  EXPECT_EQ(m.LineCount(), 0);
  m.AppendBytes(std::string("\0\xC0", 2));
  EXPECT_EQ(m.Text().size(), 2u);  // the bytes are kept as they are
}

TEST(ComboBox, ProgramSelectionFiresNoChangeButTheUsersDoes) {
  ui::TComboBox c("C");
  int changes = 0;
  c.OnChange = [&](ui::TObject*) { ++changes; };
  c.SetItems({"a", "b"});
  c.SetItemIndex(1);
  EXPECT_EQ(c.Text(), "b");
  EXPECT_EQ(changes, 0);
  c.UserSelect(0);
  EXPECT_EQ(changes, 1);
  c.SetItemIndex(5);
  EXPECT_EQ(c.ItemIndex(), -1);
  EXPECT_EQ(c.Text(), "");
}

TEST(CheckBox, ClickTogglesBeforeTheHandlerRuns) {
  ui::TCheckBox b("B");
  bool seen = false;
  b.OnClick = [&](ui::TObject*) { seen = b.Checked(); };
  b.Click();
  EXPECT_TRUE(seen);
  b.Click();
  EXPECT_FALSE(seen);
}

struct Boxes {
  std::vector<std::string> texts, captions;
  std::vector<unsigned> flags;
};

// A form whose creation handler fails; start-up goes on.
class FailingForm : public ui::TForm {
 public:
  explicit FailingForm(std::vector<std::string>* trace) : TForm("F"), trace_(trace) {
    LoadLayout(kSmallForm);
    OnCreate = [this](ui::TObject*) {
      trace_->push_back("create");
      throw std::runtime_error("Ошибка обращения к системному реестру");
    };
    DoCreate();
    trace_->push_back("constructed");
  }
  std::vector<std::string>* trace_;
};

TEST(Application, ExceptionInCreationHandlerIsReportedBeforeShowingAndStartUpGoesOn) {
  ui::TApplication app;
  app.Title = "Talvik";
  std::vector<std::string> trace;
  Boxes boxes;
  app.MessageBoxHook = [&](const std::string& text, const std::string& caption, unsigned flags) {
    trace.push_back("box");
    boxes.texts.push_back(text);
    boxes.captions.push_back(caption);
    boxes.flags.push_back(flags);
    return ui::IDOK;
  };
  FailingForm* form = nullptr;
  ASSERT_NO_THROW(app.CreateForm(form, &trace));
  EXPECT_EQ(trace, (std::vector<std::string>{"create", "box", "constructed"}));
  EXPECT_FALSE(form->Shown());
  EXPECT_EQ(app.MainForm(), form);
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_EQ(boxes.texts[0], "Ошибка обращения к системному реестру.");
  EXPECT_EQ(boxes.captions[0], "Talvik");
  EXPECT_EQ(boxes.flags[0], ui::MB_OK | ui::MB_ICONSTOP);
}

TEST(Application, HandlerExceptionsGoToTheErrorBoxAndNoticesHaveNoIcon) {
  ui::TApplication app;
  app.Title = "Talvik";
  Boxes boxes;
  app.MessageBoxHook = [&](const std::string& text, const std::string& caption, unsigned flags) {
    boxes.texts.push_back(text);
    boxes.captions.push_back(caption);
    boxes.flags.push_back(flags);
    return ui::IDOK;
  };
  bool after = false;
  ui::RunUserEvent([&] {
    throw std::runtime_error("Stop!");
    after = true;
  }, nullptr);
  ui::TTimer timer("T");
  timer.OnTimer = [](ui::TObject*) { throw std::runtime_error(""); };
  timer.Tick();
  ui::ShowMessage("Нет данных");
  EXPECT_FALSE(after);
  EXPECT_EQ(boxes.texts, (std::vector<std::string>{"Stop!", "", "Нет данных"}));
  EXPECT_EQ(boxes.flags, (std::vector<unsigned>{ui::MB_ICONSTOP, ui::MB_ICONSTOP, ui::MB_OK}));
  EXPECT_EQ(boxes.captions, (std::vector<std::string>{"Talvik", "Talvik", "Talvik"}));
}

TEST(Application, FormsAreDestroyedInReverseOrder) {
  std::vector<std::string> order;
  struct Tracked : ui::TForm {
    Tracked(std::string n, std::vector<std::string>* o) : TForm(n), o_(o) {}
    ~Tracked() override { o_->push_back(Name()); }
    std::vector<std::string>* o_;
  };
  ui::TApplication app;
  Tracked* a = nullptr;
  Tracked* b = nullptr;
  app.CreateForm(a, "first", &order);
  app.CreateForm(b, "second", &order);
  EXPECT_EQ(app.MainForm(), a);
  app.DestroyForms();
  EXPECT_EQ(order, (std::vector<std::string>{"second", "first"}));
}

}  // namespace
