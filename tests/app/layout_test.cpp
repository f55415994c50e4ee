#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/Main.h"
#include "app/Unit1.h"
#include "app/resources/maker.h"
#include "platform/sim/sim_device.h"

namespace {

using ui::ControlKind;

const char* KindName(ControlKind k) {
  switch (k) {
    case ControlKind::Panel: return "TPanel";
    case ControlKind::Label: return "TLabel";
    case ControlKind::Image: return "TImage";
    case ControlKind::ComboBox: return "TComboBox";
    case ControlKind::Button: return "TButton";
    case ControlKind::BitBtn: return "TBitBtn";
    case ControlKind::CheckBox: return "TCheckBox";
    case ControlKind::GroupBox: return "TGroupBox";
    case ControlKind::Memo: return "TMemo";
    case ControlKind::Edit: return "TEdit";
  }
  return "?";
}

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app_.Title = "Talvik";
    app_.MessageBoxHook = [this](const std::string& text, const std::string&, unsigned) {
      boxes_.push_back(text);
      return ui::IDOK;
    };
    sim_.SetRegistry(std::vector<std::string>{"COM3", "COM1"});
    app_.CreateForm(MainForm, sim_);
    app_.CreateForm(Form1);
    form_ = MainForm;
  }
  void TearDown() override {
    app_.DestroyForms();
    MainForm = nullptr;
    Form1 = nullptr;
  }
  platform::sim::SimDeviceServices sim_;
  ui::TApplication app_;
  std::vector<std::string> boxes_;
  TMainForm* form_ = nullptr;
};

// One row of the window's geometry table, in the order the controls are created.
std::string Row(const ui::TControl* c) {
  std::ostringstream s;
  s << c->Name() << ' ' << KindName(c->Kind()) << ' ' << c->Parent()->Name() << ' ' << c->Left() << ' ' << c->Top()
    << ' ' << c->Width() << ' ' << c->Height() << ' ' << static_cast<int>(c->Align()) << ' ';
  if (c->TabOrder() < 0) s << '-';
  else s << c->TabOrder();
  return s.str();
}

TEST_F(MainFormTest, ControlTreeGeometryAndTabOrderAreTheStoredOnes) {
  // name class parent left top width height align(0 none, 1 top, 2 bottom, 5 client) tab
  const std::vector<std::string> expected = {
      "Panel1 TPanel MainForm 0 0 541 169 1 0",
      "Label1 TLabel Panel1 385 10 50 13 0 -",
      "Label2 TLabel Panel1 385 38 48 13 0 -",
      "imgLogo TImage Panel1 8 8 210 210 0 -",
      "Label7 TLabel Panel1 300 140 102 13 0 -",
      "cbPort TComboBox Panel1 443 8 85 21 0 0",
      "cbBaudRate TComboBox Panel1 443 36 85 21 0 1",
      "BitBtn1Help TBitBtn Panel1 443 64 85 25 0 3",
      "BitBtn1Connect TBitBtn Panel1 443 94 85 25 0 4",
      "BitBtn1Disconnect TBitBtn Panel1 443 93 85 25 0 2",
      "Panel3 TPanel Panel1 0 0 433 161 0 5",
      "Memo2Firma TMemo Panel3 8 8 409 145 0 0",
      "GroupBox1 TGroupBox Panel1 296 56 129 81 0 6",
      "Image1 TImage GroupBox1 9 31 16 10 0 -",
      "Image2 TImage GroupBox1 9 47 16 10 0 -",
      "Image3 TImage GroupBox1 9 63 16 10 0 -",
      "Label5 TLabel GroupBox1 36 60 29 13 0 -",
      "Label4 TLabel GroupBox1 36 44 23 13 0 -",
      "Label3 TLabel GroupBox1 36 28 21 13 0 -",
      "cbSetRTS TCheckBox GroupBox1 72 32 50 17 0 0",
      "cbSetDTR TCheckBox GroupBox1 72 56 50 17 0 1",
      "cbCRLF TCheckBox Panel1 290 33 80 17 0 7",
      "Button1 TButton Panel1 443 122 85 25 0 8",
      "Memo1 TMemo MainForm 0 169 541 313 5 1",
      "Panel2 TPanel MainForm 0 482 541 38 2 2",
      "Label6 TLabel Panel2 264 6 81 24 0 -",
      "Label8 TLabel Panel2 16 8 148 11 0 -",
      "BitBtn2Save TBitBtn Panel2 440 5 91 25 0 0",
      "BitBtnCLR TBitBtn Panel2 348 5 85 25 0 1",
      "cbCTRT TCheckBox Panel2 208 9 57 17 0 2",
      "Edit3 TEdit MainForm 16 128 169 21 0 3",
      "Memo2Help TMemo MainForm 0 168 545 313 0 4",
      "Edit4 TEdit MainForm 200 128 153 21 0 5",
  };
  std::vector<std::string> actual;
  for (const auto& c : form_->OwnedControls()) actual.push_back(Row(c.get()));
  EXPECT_EQ(actual, expected);
  EXPECT_EQ(form_->Caption(), "Talvik");
  EXPECT_EQ(form_->ClientWidth(), 541);
  EXPECT_EQ(form_->ClientHeight(), 520);
  EXPECT_EQ(form_->BorderStyle, ui::TBorderStyle::bsSingle);
  EXPECT_TRUE(form_->MinimizeBox);
  EXPECT_FALSE(form_->MaximizeBox);
  EXPECT_EQ(form_->Position, ui::TPosition::poScreenCenter);
  EXPECT_TRUE(form_->AutoScroll);
  EXPECT_EQ(form_->Color(), ui::clBtnFace);
  EXPECT_EQ(form_->Font(), (ui::TFont{"MS Sans Serif", -11, 0, ui::clWindowText}));
  EXPECT_EQ(form_->ActiveControl(), form_->BitBtn1Connect);
}

TEST_F(MainFormTest, TextsAndHintsAreTheStoredOnes) {
  const std::map<std::string, std::pair<std::string, std::string>> expected = {
      {"Label1", {"COM порт", "COM Port"}},
      {"Label2", {"Скорость", "Baud Rate"}},
      {"imgLogo", {"", "О фирме"}},
      {"Label7", {std::string(talvik::maker::kWebAddress), "Перейти на сайт фирмы"}},
      {"cbPort", {"", "Выбрать порт"}},
      {"cbBaudRate", {"", "Выбрать скорость"}},
      {"BitBtn1Help", {"  С&правка", "Общие сведения о программе"}},
      {"BitBtn1Connect", {"  &Контакт   ", "Контакт и приём данных"}},
      {"BitBtn1Disconnect", {"   О&трыв", "Прервать приём данных"}},
      {"Panel1", {"", ""}},
      {"Panel2", {"", ""}},
      {"Panel3", {"", ""}},
      {"Memo2Firma", {"", "Для закрытия окна сделать один клик левой кнопкой мыши"}},
      {"GroupBox1", {"Входные линии", ""}},
      {"Image1", {"", "Clear To Send pin 8 on RS232 DB9"}},
      {"Image2", {"", "Data Set Ready pin 6 on RS232 DB9"}},
      {"Image3", {"", ""}},
      {"Label3", {"CTS", ""}},
      {"Label4", {"DSR", ""}},
      {"Label5", {"RLSD", ""}},
      {"cbSetRTS", {"RTS", "Request To Send pin 7 on RS232 DB9 Click to toggle"}},
      {"cbSetDTR", {"DTR", "Data Terminal Ready pin 4 on RS232 DB9 Click to toggle"}},
      {"cbCRLF", {"CR=CR+LF", "if checked then ENTER key in transmit box send <CR><LF> eles only <CR>"}},
      {"Button1", {"ASCII Table", ""}},
      {"Memo1", {"", ""}},
      {"Label6", {"", ""}},
      {"Label8", {std::string(talvik::maker::kRightsNotice), ""}},
      {"BitBtn2Save", {" &Сохранить...", "Сохранить данные в текстовый файл"}},
      {"BitBtnCLR", {"О&чистить", "Очистить окно с данными"}},
      {"cbCTRT", {"Time:", "Show time in Receive box and timestamp in box file"}},
      {"Edit3", {"", ""}},
      {"Edit4", {"", ""}},
      {"Memo2Help", {"", "Для закрытия окна 'Справка' сделать двойной клик левой кнопкой мыши"}},
  };
  std::map<std::string, std::pair<std::string, std::string>> actual;
  for (const auto& c : form_->OwnedControls()) actual[c->Name()] = {c->Caption(), c->Hint()};
  EXPECT_EQ(actual, expected);

  EXPECT_EQ(form_->cbBaudRate->Items(),
            (std::vector<std::string>{"110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "38400",
                                      "56000", "57600", "115200", "128000", "256000"}));
  // After the creation handler: the system's ports, sorted.
  EXPECT_EQ(form_->cbPort->Items(), (std::vector<std::string>{"COM1", "COM3"}));
  auto help = form_->Memo2Help->Lines();
  ASSERT_EQ(help.size(), 31u);
  EXPECT_EQ(help[0], "    Общие сведения о программе Talvik ");
  EXPECT_TRUE(help[6].starts_with("Данные передаются с приборов \""));
  EXPECT_TRUE(help[6].ends_with(" "));
  EXPECT_EQ(help[16], "\"19_06_06 09.55.03.txt\", который автоматически связан ");
  EXPECT_EQ(help[20], "и распространяется по причипу \"как есть\".");
  EXPECT_EQ(help[30], " ");
  EXPECT_EQ(form_->Memo2Firma->Lines().size(), 8u);
  EXPECT_EQ(form_->Memo1->Text(), "");
}

struct Look {
  ui::TFont font;
  ui::TColor color;
  bool enabled, visible;
  ui::TCursor cursor;
  bool operator==(const Look&) const = default;
};

TEST_F(MainFormTest, LookAndInitialStatesAreTheStoredOnes) {
  using namespace ui;
  const TFont win{"MS Sans Serif", -11, 0, clWindowText};
  const std::map<std::string, Look> expected = {
      {"Panel1", {win, clMenuBar, true, true, TCursor::crDefault}},
      {"Panel2", {win, clMenuBar, true, true, TCursor::crDefault}},
      {"Panel3", {win, clBtnFace, true, false, TCursor::crDefault}},
      {"Label1", {win, clMenuBar, true, true, TCursor::crDefault}},
      {"Label2", {win, clMenuBar, true, true, TCursor::crDefault}},
      {"Label3", {win, clMenuBar, true, true, TCursor::crDefault}},
      {"Label4", {win, clMenuBar, true, true, TCursor::crDefault}},
      {"Label5", {win, clMenuBar, true, true, TCursor::crDefault}},
      {"imgLogo", {win, clMenuBar, true, true, TCursor::crHelp}},
      {"Label7", {{"MS Sans Serif", -12, fsUnderline, clBlue}, clMenuBar, true, true, TCursor::crDrag}},
      {"cbPort", {win, clWindow, true, true, TCursor::crDefault}},
      {"cbBaudRate", {win, clWindow, true, true, TCursor::crDefault}},
      {"BitBtn1Help", {win, clBtnFace, false, true, TCursor::crHelp}},
      {"BitBtn1Connect", {win, clBtnFace, true, true, TCursor::crHandPoint}},
      {"BitBtn1Disconnect", {win, clBtnFace, false, false, TCursor::crHandPoint}},
      {"Memo2Firma", {{"Courier New", -13, fsBold, clBlack}, clMenuBar, true, false, TCursor::crDefault}},
      {"GroupBox1", {win, clMenuBar, true, true, TCursor::crDefault}},
      {"Image1", {win, clMenuBar, true, true, TCursor::crDefault}},
      {"Image2", {win, clMenuBar, true, true, TCursor::crDefault}},
      {"Image3", {win, clMenuBar, true, true, TCursor::crDefault}},
      {"cbSetRTS", {win, clMenuBar, false, true, TCursor::crDefault}},
      {"cbSetDTR", {win, clMenuBar, false, true, TCursor::crDefault}},
      {"cbCRLF", {win, clMenuBar, false, true, TCursor::crDefault}},
      {"Button1", {win, clBtnFace, true, true, TCursor::crDefault}},
      {"Memo1", {{"Courier New", -13, 0, clWhite}, clBlack, false, true, TCursor::crDefault}},
      {"Label6", {{"MS Sans Serif", -16, fsBold, clRed}, clMenuBar, true, true, TCursor::crNoDrop}},
      {"Label8", {{"MS Serif", -13, 0, clBlack}, clMenuBar, true, true, TCursor::crDefault}},
      {"BitBtn2Save", {win, clBtnFace, false, true, TCursor::crDefault}},
      {"BitBtnCLR", {win, clBtnFace, false, true, TCursor::crHandPoint}},
      {"cbCTRT", {{"MS Sans Serif", -11, fsBold, clBlue}, clMenuBar, false, true, TCursor::crDefault}},
      {"Edit3", {{"Courier", -13, fsBold, clRed}, clWindow, true, false, TCursor::crDefault}},
      {"Memo2Help", {{"Courier New", -13, 0, clBlack}, clMenuBar, true, true, TCursor::crDefault}},
      {"Edit4", {{"MS Sans Serif", -11, 0, clWindowText}, clWindow, true, false, TCursor::crDefault}},
  };
  std::map<std::string, Look> actual;
  for (const auto& c : form_->OwnedControls())
    actual[c->Name()] = {c->Font(), c->Color(), c->Enabled(), c->Visible(), c->Cursor()};
  for (const auto& [name, look] : expected) EXPECT_EQ(actual.at(name), look) << name;
  EXPECT_EQ(actual.size(), expected.size());

  // Further settings.
  for (auto* p : {form_->Panel1, form_->Panel2, form_->Panel3}) {
    EXPECT_EQ(p->BevelOuter, TBevelCut::bvSpace) << p->Name();
    EXPECT_EQ(p->BevelInner, TBevelCut::bvRaised) << p->Name();
    EXPECT_EQ(p->BevelWidth, 2) << p->Name();
    EXPECT_EQ(p->BorderStyle, TBorderStyle::bsSingle) << p->Name();
  }
  EXPECT_EQ(form_->Panel3->BorderWidth, 2);
  for (auto* cb : {form_->cbPort, form_->cbBaudRate}) {
    EXPECT_EQ(cb->DropDownCount, 8);
    EXPECT_EQ(cb->ItemHeight, 13);
  }
  // The creation handler selects the first port and "9600".
  EXPECT_EQ(form_->cbPort->ItemIndex(), 0);
  EXPECT_EQ(form_->cbBaudRate->ItemIndex(), 6);
  EXPECT_TRUE(form_->Memo1->ReadOnly && form_->Memo1->WordWrap && form_->Memo1->WantTabs && form_->Memo1->RawBytes);
  EXPECT_EQ(form_->Memo1->ScrollBars, TScrollStyle::ssVertical);
  EXPECT_TRUE(form_->Memo2Help->ReadOnly && form_->Memo2Help->WordWrap);
  EXPECT_EQ(form_->Memo2Help->ScrollBars, TScrollStyle::ssVertical);
  EXPECT_TRUE(form_->Memo2Firma->ReadOnly && form_->Memo2Firma->WordWrap);
  EXPECT_EQ(form_->Memo2Firma->ScrollBars, TScrollStyle::ssNone);
  for (auto* b : {form_->cbSetRTS, form_->cbSetDTR, form_->cbCRLF, form_->cbCTRT}) EXPECT_FALSE(b->Checked());
  EXPECT_FALSE(form_->Label6->AutoSize);
  EXPECT_TRUE(form_->Label1->AutoSize && form_->Label8->AutoSize && form_->Label7->AutoSize);
  EXPECT_TRUE(form_->imgLogo->Proportional);
  // The creation handler puts the "off" picture in every lamp, drawn transparently.
  for (auto* lamp : {form_->Image1, form_->Image2, form_->Image3}) {
    EXPECT_FALSE(lamp->Picture().Empty());
    EXPECT_TRUE(lamp->Transparent());
  }
  // Pictures from the program's resources.
  EXPECT_EQ(form_->imgLogo->Picture().kind(), TPicture::Kind::Jpeg);
  EXPECT_EQ(form_->imgLogo->Picture().Width(), 384);
  EXPECT_EQ(form_->imgLogo->Picture().Height(), 260);
  const std::map<TBitBtn*, std::pair<int, int>> glyphs = {
      {form_->BitBtn1Help, {32, 2}}, {form_->BitBtn1Connect, {32, 2}}, {form_->BitBtn1Disconnect, {32, 2}},
      {form_->BitBtn2Save, {32, 2}}, {form_->BitBtnCLR, {16, 1}}};
  for (const auto& [b, g] : glyphs) {
    EXPECT_EQ(b->Glyph().Width(), g.first) << b->Name();
    EXPECT_EQ(b->Glyph().Height(), 16) << b->Name();
    EXPECT_EQ(b->NumGlyphs(), g.second) << b->Name();
  }
  // The timer runs from the moment the layout is loaded.
  ASSERT_NE(form_->Timer1, nullptr);
  EXPECT_TRUE(form_->Timer1->Enabled());
  EXPECT_EQ(form_->Timer1->Interval(), 1000u);
  // Tab moves from the connect button through the shown, enabled controls.
  std::vector<std::string> tab;
  for (auto* c : form_->TabSequence()) tab.push_back(c->Name());
  EXPECT_EQ(tab, (std::vector<std::string>{"cbPort", "cbBaudRate", "BitBtn1Connect", "Button1", "Memo2Help"}));
}

TEST_F(MainFormTest, PortComponentHoldsItsStoredSettings) {
  auto& p = *form_->BComPort1;
  EXPECT_EQ(p.BaudRate(), TBaudRate::br1200);
  EXPECT_EQ(p.ByteSize(), TByteSize::bs8);
  EXPECT_EQ(p.InBufSize(), 2048);
  EXPECT_EQ(p.OutBufSize(), 2048);
  EXPECT_EQ(p.Parity(), TParity::paNone);
  EXPECT_EQ(p.Port(), "COM1");
  EXPECT_EQ(p.SyncMethod(), TSyncMethod::smThreadSync);
  EXPECT_EQ(p.StopBits(), TStopBits::sb1);
  EXPECT_EQ(p.Timeouts()->ReadInterval(), -1);
  EXPECT_EQ(p.Timeouts()->ReadTotalMultiplier(), 0);
  EXPECT_EQ(p.Timeouts()->ReadTotalConstant(), 0);
  EXPECT_EQ(p.Timeouts()->WriteTotalMultiplier(), 100);
  EXPECT_EQ(p.Timeouts()->WriteTotalConstant(), 1000);
  EXPECT_FALSE(p.Connected());
  // Exactly the four port events are wired.
  EXPECT_TRUE(p.OnRxChar && p.OnCTSChange && p.OnDSRChange && p.OnRLSDChange);
  EXPECT_FALSE(p.OnError || p.OnRing || p.OnRx80Full || p.OnTxEmpty);
}

TEST_F(MainFormTest, EventsAreWiredToTheirControlsOnly) {
  std::map<std::string, std::string> wired;
  for (const auto& c : form_->OwnedControls()) {
    std::string events;
    if (c->OnClick) events += "Click ";
    if (c->OnDblClick) events += "DblClick ";
    if (auto* cb = dynamic_cast<ui::TComboBox*>(c.get()); cb && cb->OnChange) events += "Change ";
    if (!events.empty()) wired[c->Name()] = events;
  }
  const std::map<std::string, std::string> expected = {
      {"cbBaudRate", "Change "},   {"BitBtn1Connect", "Click "}, {"BitBtn1Disconnect", "Click "},
      {"cbSetRTS", "Click "},      {"cbSetDTR", "Click "},       {"BitBtn2Save", "Click "},
      {"BitBtnCLR", "Click "},     {"BitBtn1Help", "Click "},    {"Memo2Help", "DblClick "},
      {"imgLogo", "Click "},       {"Memo2Firma", "Click "},     {"Label7", "Click "},
      {"Button1", "Click "},
  };
  EXPECT_EQ(wired, expected);
  EXPECT_TRUE(form_->OnCreate);
  EXPECT_TRUE(form_->Timer1->OnTimer);
}

TEST_F(MainFormTest, AsciiTableButtonShowsTheCodeTableModally) {
  EXPECT_EQ(Form1->ModalShowCount(), 0);
  form_->Button1->Click();
  EXPECT_EQ(Form1->ModalShowCount(), 1);
  EXPECT_TRUE(boxes_.empty());
}

TEST(MainFormStartUp, TheCodeTableWindowIsStoredAsGiven) {
  ui::TApplication app;
  TForm1* f = nullptr;
  app.CreateForm(f);
  EXPECT_EQ(f->Caption(), "ASCII Table");
  EXPECT_EQ(f->ClientWidth(), 337);
  EXPECT_EQ(f->ClientHeight(), 465);
  EXPECT_EQ(f->Position, ui::TPosition::poMainFormCenter);
  EXPECT_FALSE(f->AutoScroll);
  EXPECT_FALSE(f->MinimizeBox);
  EXPECT_FALSE(f->MaximizeBox);
  EXPECT_FALSE(f->Shown());
  EXPECT_EQ(f->Memo1->BoundsRect(), (ui::TRect{0, 0, 337, 465}));
  EXPECT_EQ(f->Memo1->BorderStyle, ui::TBorderStyle::bsNone);
  EXPECT_EQ(f->Memo1->Color(), ui::clWhite);
  EXPECT_EQ(f->Memo1->ScrollBars, ui::TScrollStyle::ssVertical);
  EXPECT_FALSE(f->Memo1->ReadOnly);
  EXPECT_TRUE(f->Memo1->WordWrap);
  EXPECT_EQ(f->Memo1->MaxLength, 260);
  EXPECT_EQ(f->Memo1->TabOrder(), 0);
  EXPECT_EQ(f->Memo1->Font(), (ui::TFont{"MS Sans Serif", -11, 0, ui::clWindowText}));
  EXPECT_EQ(f->Memo1->LineCount(), 259);
}

}  // namespace
