#include "app/Main.h"

#include "platform/system.h"

#include "app/Unit1.h"
#include "app/resources/maker.h"
#include "app/resources/resources.h"
#include "ui/bitmap.h"

TMainForm* MainForm = nullptr;

namespace {

using ui::ControlKind;
using ui::TAlign;
using ui::TBevelCut;
using ui::TBorderStyle;
using ui::TCursor;
using ui::TFont;
using ui::TScrollStyle;
namespace cl = ui;

// Fonts of the window; controls without a font take the window's.
const TFont kWindowFont{"MS Sans Serif", -11, 0, ui::clWindowText};
const TFont kLinkFont{"MS Sans Serif", -12, ui::fsUnderline, ui::clBlue};
const TFont kFirmaFont{"Courier New", -13, ui::fsBold, ui::clBlack};
const TFont kReceiveFont{"Courier New", -13, 0, ui::clWhite};
const TFont kClockFont{"MS Sans Serif", -16, ui::fsBold, ui::clRed};
const TFont kRightsFont{"MS Serif", -13, 0, ui::clBlack};
const TFont kTimeBoxFont{"MS Sans Serif", -11, ui::fsBold, ui::clBlue};
const TFont kEdit3Font{"Courier", -13, ui::fsBold, ui::clRed};
const TFont kHelpFont{"Courier New", -13, 0, ui::clBlack};
const TFont kEdit4Font{"MS Sans Serif", -11, 0, ui::clWindowText};

const char* const kBaudRates[] = {"110",   "300",   "600",   "1200",  "2400",   "4800",   "9600",  "14400",
                                  "19200", "38400", "56000", "57600", "115200", "128000", "256000"};

const char* const kHelpLines[] = {
    "    Общие сведения о программе Talvik ",
    "",
    "Программа Talvik служит для отображения принятых",
    "данных через последовательный порт RS-232C в текстовом ",
    "режиме с использованием OEM 866 кодировки.",
    "",
    talvik::maker::kHelpLine7.data(),
    "на ПК при стандартных настройках порта ",
    "(9600 бит/с, 8 бит, нет четности,1 стоповый бит). ",
    "",
    "После установки программы, вам необходимо выбрать порт ",
    "связи и выставить значения порта, которые рекомендуются ",
    "в Руководстве пользователя к Вашему прибору. ",
    "Вы можете сохранить полученные",
    "данные с прибора в текстовом файле в папке установки ",
    "Talvik, имя файла имеет формат ДАТА-ВРЕМЯ: ",
    "\"19_06_06 09.55.03.txt\", который автоматически связан ",
    "со временем сохранения. ",
    "",
    " ",
    "и распространяется по причипу \"как есть\".",
    " ",
    " ",
    "потерю данных, испорченные нервы, порчу имущества, воины, ",
    "землетрясения, и прочие катаклизмы, произошедшие ",
    "(или не произошедшие), в результате использования ",
    "программы.",
    " ",
    "возможным способом при условии сохранения целосности",
    "дистрибутива и соблюдения авторских прав.",
    " ",
};

const char* const kAboutLines[] = {
    talvik::maker::kAboutLines[0].data(), talvik::maker::kAboutLines[1].data(),
    talvik::maker::kAboutLines[2].data(), talvik::maker::kAboutLines[3].data(),
    talvik::maker::kAboutLines[4].data(), talvik::maker::kAboutLines[5].data(),
    talvik::maker::kAboutLines[6].data(), talvik::maker::kAboutLines[7].data(),
};

// Strips: outer bevel space, inner bevel raised, bevel width 2, single border.
#define STRIP .bevel_outer = TBevelCut::bvSpace, .bevel_inner = TBevelCut::bvRaised, .bevel_width = 2

// Every control, in the order of creation. Places are relative to the parent's client area.
const ui::ControlSpec kControls[] = {
    {.name = "Panel1", .kind = ControlKind::Panel, .parent = "MainForm", .bounds = {0, 0, 541, 169},
     .align = TAlign::alTop, .tab_order = 0, .color = cl::clMenuBar, STRIP, .border_style = TBorderStyle::bsSingle},
    {.name = "Label1", .kind = ControlKind::Label, .parent = "Panel1", .bounds = {385, 10, 50, 13},
     .caption = "COM порт", .hint = "COM Port"},
    {.name = "Label2", .kind = ControlKind::Label, .parent = "Panel1", .bounds = {385, 38, 48, 13},
     .caption = "Скорость", .hint = "Baud Rate"},
    {.name = "imgLogo", .kind = ControlKind::Image, .parent = "Panel1", .bounds = {8, 8, 210, 210},
     .hint = "О фирме", .cursor = TCursor::crHelp, .picture = "LOGO", .proportional = true},
    {.name = "Label7", .kind = ControlKind::Label, .parent = "Panel1", .bounds = {300, 140, 102, 13},
     .caption = talvik::maker::kWebAddress.data(), .hint = "Перейти на сайт фирмы", .font = &kLinkFont,
     .cursor = TCursor::crDrag},
    {.name = "cbPort", .kind = ControlKind::ComboBox, .parent = "Panel1", .bounds = {443, 8, 85, 21},
     .tab_order = 0, .hint = "Выбрать порт", .color = cl::clWindow},
    {.name = "cbBaudRate", .kind = ControlKind::ComboBox, .parent = "Panel1", .bounds = {443, 36, 85, 21},
     .tab_order = 1, .hint = "Выбрать скорость", .color = cl::clWindow, .items = kBaudRates},
    {.name = "BitBtn1Help", .kind = ControlKind::BitBtn, .parent = "Panel1", .bounds = {443, 64, 85, 25},
     .tab_order = 3, .caption = "  С&правка", .hint = "Общие сведения о программе", .color = cl::clBtnFace,
     .enabled = false, .cursor = TCursor::crHelp, .picture = "GLYPH_HELP", .num_glyphs = 2},
    {.name = "BitBtn1Connect", .kind = ControlKind::BitBtn, .parent = "Panel1", .bounds = {443, 94, 85, 25},
     .tab_order = 4, .caption = "  &Контакт   ", .hint = "Контакт и приём данных", .color = cl::clBtnFace,
     .cursor = TCursor::crHandPoint, .picture = "GLYPH_CONNECT", .num_glyphs = 2},
    {.name = "BitBtn1Disconnect", .kind = ControlKind::BitBtn, .parent = "Panel1", .bounds = {443, 93, 85, 25},
     .tab_order = 2, .caption = "   О&трыв", .hint = "Прервать приём данных", .color = cl::clBtnFace,
     .enabled = false, .visible = false, .cursor = TCursor::crHandPoint, .picture = "GLYPH_DISCONNECT",
     .num_glyphs = 2},
    {.name = "Panel3", .kind = ControlKind::Panel, .parent = "Panel1", .bounds = {0, 0, 433, 161},
     .tab_order = 5, .color = cl::clBtnFace, .visible = false, STRIP, .border_width = 2,
     .border_style = TBorderStyle::bsSingle},
    {.name = "Memo2Firma", .kind = ControlKind::Memo, .parent = "Panel3", .bounds = {8, 8, 409, 145},
     .tab_order = 0, .hint = "Для закрытия окна сделать один клик левой кнопкой мыши", .font = &kFirmaFont,
     .color = cl::clMenuBar, .visible = false, .items = kAboutLines, .read_only = true},
    {.name = "GroupBox1", .kind = ControlKind::GroupBox, .parent = "Panel1", .bounds = {296, 56, 129, 81},
     .tab_order = 6, .caption = "Входные линии"},
    {.name = "Image1", .kind = ControlKind::Image, .parent = "GroupBox1", .bounds = {9, 31, 16, 10},
     .hint = "Clear To Send pin 8 on RS232 DB9"},
    {.name = "Image2", .kind = ControlKind::Image, .parent = "GroupBox1", .bounds = {9, 47, 16, 10},
     .hint = "Data Set Ready pin 6 on RS232 DB9"},
    {.name = "Image3", .kind = ControlKind::Image, .parent = "GroupBox1", .bounds = {9, 63, 16, 10}},
    {.name = "Label5", .kind = ControlKind::Label, .parent = "GroupBox1", .bounds = {36, 60, 29, 13},
     .caption = "RLSD"},
    {.name = "Label4", .kind = ControlKind::Label, .parent = "GroupBox1", .bounds = {36, 44, 23, 13},
     .caption = "DSR"},
    {.name = "Label3", .kind = ControlKind::Label, .parent = "GroupBox1", .bounds = {36, 28, 21, 13},
     .caption = "CTS"},
    {.name = "cbSetRTS", .kind = ControlKind::CheckBox, .parent = "GroupBox1", .bounds = {72, 32, 50, 17},
     .tab_order = 0, .caption = "RTS", .hint = "Request To Send pin 7 on RS232 DB9 Click to toggle",
     .enabled = false},
    {.name = "cbSetDTR", .kind = ControlKind::CheckBox, .parent = "GroupBox1", .bounds = {72, 56, 50, 17},
     .tab_order = 1, .caption = "DTR", .hint = "Data Terminal Ready pin 4 on RS232 DB9 Click to toggle",
     .enabled = false},
    {.name = "cbCRLF", .kind = ControlKind::CheckBox, .parent = "Panel1", .bounds = {290, 33, 80, 17},
     .tab_order = 7, .caption = "CR=CR+LF",
     .hint = "if checked then ENTER key in transmit box send <CR><LF> eles only <CR>", .color = cl::clMenuBar,
     .enabled = false},
    {.name = "Button1", .kind = ControlKind::Button, .parent = "Panel1", .bounds = {443, 122, 85, 25},
     .tab_order = 8, .caption = "ASCII Table", .color = cl::clBtnFace},
    {.name = "Memo1", .kind = ControlKind::Memo, .parent = "MainForm", .bounds = {0, 169, 541, 313},
     .align = TAlign::alClient, .tab_order = 1, .font = &kReceiveFont, .color = cl::clBlack, .enabled = false,
     .read_only = true, .scroll_bars = TScrollStyle::ssVertical, .want_tabs = true, .raw_bytes = true},
    {.name = "Panel2", .kind = ControlKind::Panel, .parent = "MainForm", .bounds = {0, 482, 541, 38},
     .align = TAlign::alBottom, .tab_order = 2, .color = cl::clMenuBar, STRIP,
     .border_style = TBorderStyle::bsSingle},
    {.name = "Label6", .kind = ControlKind::Label, .parent = "Panel2", .bounds = {264, 6, 81, 24},
     .font = &kClockFont, .color = cl::clMenuBar, .cursor = TCursor::crNoDrop, .auto_size = false},
    {.name = "Label8", .kind = ControlKind::Label, .parent = "Panel2", .bounds = {16, 8, 148, 11},
     .caption = talvik::maker::kRightsNotice.data(), .font = &kRightsFont},
    {.name = "BitBtn2Save", .kind = ControlKind::BitBtn, .parent = "Panel2", .bounds = {440, 5, 91, 25},
     .tab_order = 0, .caption = " &Сохранить...", .hint = "Сохранить данные в текстовый файл",
     .color = cl::clBtnFace, .enabled = false, .picture = "GLYPH_SAVE", .num_glyphs = 2},
    {.name = "BitBtnCLR", .kind = ControlKind::BitBtn, .parent = "Panel2", .bounds = {348, 5, 85, 25},
     .tab_order = 1, .caption = "О&чистить", .hint = "Очистить окно с данными", .color = cl::clBtnFace,
     .enabled = false, .cursor = TCursor::crHandPoint, .picture = "GLYPH_CLR", .num_glyphs = 1},
    {.name = "cbCTRT", .kind = ControlKind::CheckBox, .parent = "Panel2", .bounds = {208, 9, 57, 17},
     .tab_order = 2, .caption = "Time:", .hint = "Show time in Receive box and timestamp in box file",
     .font = &kTimeBoxFont, .color = cl::clMenuBar, .enabled = false},
    {.name = "Edit3", .kind = ControlKind::Edit, .parent = "MainForm", .bounds = {16, 128, 169, 21},
     .tab_order = 3, .font = &kEdit3Font, .color = cl::clWindow, .visible = false},
    {.name = "Memo2Help", .kind = ControlKind::Memo, .parent = "MainForm", .bounds = {0, 168, 545, 313},
     .tab_order = 4, .hint = "Для закрытия окна 'Справка' сделать двойной клик левой кнопкой мыши",
     .font = &kHelpFont, .color = cl::clMenuBar, .items = kHelpLines, .read_only = true,
     .scroll_bars = TScrollStyle::ssVertical},
    {.name = "Edit4", .kind = ControlKind::Edit, .parent = "MainForm", .bounds = {200, 128, 153, 21},
     .tab_order = 5, .font = &kEdit4Font, .color = cl::clWindow, .visible = false},
};

#undef STRIP

const char* const kTimers[] = {"Timer1"};

const ui::FormSpec kLayout = {
    .name = "MainForm",
    .caption = "Talvik",
    .client_width = 541,
    .client_height = 520,
    .color = cl::clBtnFace,
    .font = kWindowFont,
    .border_style = TBorderStyle::bsSingle,
    .minimize_box = true,
    .maximize_box = false,
    .position = ui::TPosition::poScreenCenter,
    .auto_scroll = true,
    .pixels_per_inch = 96,
    .active_control = "BitBtn1Connect",
    .controls = kControls,
    .timers = kTimers,
};

using E = ui::EventKind;
const ui::EventBinding<TMainForm> kEvents[] = {
    {"MainForm", E::OnCreate, &TMainForm::FormCreate},
    {"cbBaudRate", E::OnChange, &TMainForm::cbBaudRateChange},
    {"BitBtn1Connect", E::OnClick, &TMainForm::BitBtn1ConnectClick},
    {"BitBtn1Disconnect", E::OnClick, &TMainForm::BitBtn1DisconnectClick},
    {"cbSetRTS", E::OnClick, &TMainForm::cbSetRTSClick},
    {"cbSetDTR", E::OnClick, &TMainForm::cbSetDTRClick},
    {"BitBtn2Save", E::OnClick, &TMainForm::BitBtn2SaveClick},
    {"BitBtnCLR", E::OnClick, &TMainForm::BitBtnCLRClick},
    {"BitBtn1Help", E::OnClick, &TMainForm::BitBtn1HelpClick},
    {"Memo2Help", E::OnDblClick, &TMainForm::Memo2HelpDblClick},
    {"imgLogo", E::OnClick, &TMainForm::imgLogoClick},
    {"Memo2Firma", E::OnClick, &TMainForm::Memo2FirmaClick},
    {"Label7", E::OnClick, &TMainForm::Label7Click},
    {"Timer1", E::OnTimer, &TMainForm::Timer1Timer},
    {"Button1", E::OnClick, &TMainForm::Button1Click},
};

}  // namespace

const ui::FormSpec& MainFormLayout() { return kLayout; }
std::span<const ui::EventBinding<TMainForm>> MainFormEvents() { return kEvents; }

ui::TPicture LoadPictureResource(const char* name) {
  auto res = talvik::FindResource(name);
  if (!res) return {};
  if (res->size >= 2 && res->data[0] == 'B' && res->data[1] == 'M') {
    auto bmp = talvik::ui::DecodeBmp(res->data, res->size);
    if (!bmp) return {};
    return ui::TPicture::FromRgb(bmp->width, bmp->height, std::move(bmp->rgb));
  }
  return ui::TPicture::FromJpeg(res->data, res->size);
}

TMainForm::TMainForm(platform::DeviceServices& services) : TForm("MainForm") {
  LoadLayout(kLayout, LoadPictureResource);
  Bind(Panel1, "Panel1");
  Bind(Label1, "Label1");
  Bind(Label2, "Label2");
  Bind(imgLogo, "imgLogo");
  Bind(Label7, "Label7");
  Bind(cbPort, "cbPort");
  Bind(cbBaudRate, "cbBaudRate");
  Bind(BitBtn1Help, "BitBtn1Help");
  Bind(BitBtn1Connect, "BitBtn1Connect");
  Bind(BitBtn1Disconnect, "BitBtn1Disconnect");
  Bind(Panel3, "Panel3");
  Bind(Memo2Firma, "Memo2Firma");
  Bind(GroupBox1, "GroupBox1");
  Bind(Image1, "Image1");
  Bind(Image2, "Image2");
  Bind(Image3, "Image3");
  Bind(Label5, "Label5");
  Bind(Label4, "Label4");
  Bind(Label3, "Label3");
  Bind(cbSetRTS, "cbSetRTS");
  Bind(cbSetDTR, "cbSetDTR");
  Bind(cbCRLF, "cbCRLF");
  Bind(Button1, "Button1");
  Bind(Memo1, "Memo1");
  Bind(Panel2, "Panel2");
  Bind(Label6, "Label6");
  Bind(Label8, "Label8");
  Bind(BitBtn2Save, "BitBtn2Save");
  Bind(BitBtnCLR, "BitBtnCLR");
  Bind(cbCTRT, "cbCTRT");
  Bind(Edit3, "Edit3");
  Bind(Memo2Help, "Memo2Help");
  Bind(Edit4, "Edit4");
  Timer1 = FindTimer("Timer1");

  // The port component with its stored settings, which replace its own defaults.
  BComPort1 = std::make_unique<TBComPort>(services);
  BComPort1->SetBaudRate(TBaudRate::br1200);
  BComPort1->SetByteSize(TByteSize::bs8);
  BComPort1->SetInBufSize(2048);
  BComPort1->SetOutBufSize(2048);
  BComPort1->SetParity(TParity::paNone);
  BComPort1->SetPort("COM1");
  BComPort1->SetSyncMethod(TSyncMethod::smThreadSync);
  BComPort1->SetStopBits(TStopBits::sb1);
  BComPort1->Timeouts()->SetReadInterval(-1);
  BComPort1->Timeouts()->SetReadTotalMultiplier(0);
  BComPort1->Timeouts()->SetReadTotalConstant(0);
  BComPort1->Timeouts()->SetWriteTotalMultiplier(100);
  BComPort1->Timeouts()->SetWriteTotalConstant(1000);
  BComPort1->OnRxChar = [this](TBComPort* s, int n) { BComPort1RxChar(s, n); };
  BComPort1->OnCTSChange = [this](TBComPort* s, bool on) { BComPort1CTSChange(s, on); };
  BComPort1->OnDSRChange = [this](TBComPort* s, bool on) { BComPort1DSRChange(s, on); };
  BComPort1->OnRLSDChange = [this](TBComPort* s, bool on) { BComPort1RLSDChange(s, on); };

  ui::WireEvents<TMainForm>(*this, kEvents);
  // Right after loading, before the window is shown.
  DoCreate();
}

TMainForm::~TMainForm() {
  // The port closes (its monitor thread stopped and waited for) while every control still
  // stands, so no port event reaches a control that is going.
  BComPort1.reset();
}

// Handlers: connection, receiving, lamps and switches, saving, help, about, clock, link.

void TMainForm::FormCreate(ui::TObject*) {
  std::vector<std::string> ports = cbPort->Items();
  ListSerialPorts(ports, BComPort1->Services());
  cbPort->SetItems(std::move(ports));
  if (!cbPort->Items().empty()) cbPort->SetItemIndex(0);
  cbBaudRate->SetItemIndex(6);  // "9600"; selecting from the program fires no change
  Image1->SetTransparent(true);
  Image2->SetTransparent(true);
  Image3->SetTransparent(true);
  ShowCTSLamp(false);
  ShowDSRLamp(false);
  ShowRLSDLamp(false);
}

// The list's position is the rate itself. With no rate selected (the port list failed at
// start-up) the port keeps its rate: -1 is never taken as one.
void TMainForm::TakeRateFromList() {
  if (cbBaudRate->ItemIndex() >= 0) BComPort1->SetBaudRate(static_cast<TBaudRate>(cbBaudRate->ItemIndex()));
}

void TMainForm::cbBaudRateChange(ui::TObject*) { TakeRateFromList(); }

void TMainForm::BitBtn1ConnectClick(ui::TObject*) {
  BComPort1->SetPort(cbPort->Text());
  TakeRateFromList();
  BComPort1->Open();
  BitBtn1Connect->SetEnabled(false);
  cbPort->SetEnabled(false);
  cbBaudRate->SetEnabled(false);
  BitBtn1Disconnect->SetEnabled(true);
  cbSetDTR->SetEnabled(true);
  cbSetRTS->SetEnabled(true);
  cbCRLF->SetEnabled(true);
  cbCTRT->SetEnabled(false);
  BitBtnCLR->SetEnabled(true);
  BitBtn2Save->SetEnabled(true);
  GroupBox1->SetVisible(true);
  Memo2Help->SetVisible(false);
  BitBtn1Help->SetEnabled(false);
  Memo2Firma->SetVisible(false);
  Panel3->SetVisible(false);
  cbCRLF->SetVisible(true);
  Label1->SetVisible(true);
  Label2->SetVisible(true);
  BitBtn1Disconnect->SetVisible(true);
  BitBtn1Connect->SetVisible(false);
  Memo1->SetEnabled(true);
  Memo1->SetColor(ui::clBlack);
  // Each lamp reads the lines afresh, in the order CTS, DSR, RLSD.
  ShowCTSLamp(BComPort1->ModemSignals().Contains(TComSignal::csCTS));
  ShowDSRLamp(BComPort1->ModemSignals().Contains(TComSignal::csDSR));
  ShowRLSDLamp(BComPort1->ModemSignals().Contains(TComSignal::csRLSD));
}

void TMainForm::ShowIdle() {
  BitBtn1Connect->SetEnabled(true);
  cbPort->SetEnabled(true);
  cbBaudRate->SetEnabled(true);
  GroupBox1->SetVisible(true);
  BitBtn1Disconnect->SetEnabled(false);
  cbSetDTR->SetEnabled(false);
  cbCRLF->SetEnabled(false);
  cbCTRT->SetEnabled(false);
  cbSetRTS->SetEnabled(false);
  BitBtnCLR->SetEnabled(false);
  BitBtn2Save->SetEnabled(false);
  BitBtn1Help->SetEnabled(true);
  Panel3->SetVisible(false);
  Memo2Firma->SetVisible(false);
  cbCRLF->SetVisible(true);
  Label1->SetVisible(true);
  Label2->SetVisible(true);
  BitBtn1Disconnect->SetVisible(false);
  BitBtn1Connect->SetVisible(true);
  Memo1->SetEnabled(false);
  Memo1->SetColor(ui::clBtnFace);
  ShowCTSLamp(false);
  ShowDSRLamp(false);
  ShowRLSDLamp(false);
}

void TMainForm::BitBtn1DisconnectClick(ui::TObject*) {
  try {
    BComPort1->Close();
  } catch (...) {
    // A device that refused the closing steps is closed all the same: the window must not
    // go on showing "connected" for it. The refusal is still shown.
    if (!BComPort1->Connected()) ShowIdle();
    throw;
  }
  ShowIdle();
}

void TMainForm::BComPort1RxChar(TBComPort*, int Count) {
  std::string chunk;
  BComPort1->ReadText(chunk, Count);
  for (char& c : chunk)
    if (c == '.') c = ',';
  if (cbCRLF->Checked() && !chunk.empty() && chunk.back() == '\r') chunk.push_back('\n');
  if (chunk.empty()) return;
  // Every byte is kept, NUL included; the pane appends in proportion to the chunk and
  // shows the newest text.
  Memo1->AppendBytes(chunk);
  Memo1->ScrollToEnd();
}

void TMainForm::ShowLamp(ui::TImage* image, bool on) { image->SetPicture(LoadPictureResource(on ? "On" : "Off")); }
void TMainForm::ShowCTSLamp(bool On) { ShowLamp(Image1, On); }
void TMainForm::ShowDSRLamp(bool On) { ShowLamp(Image2, On); }
void TMainForm::ShowRLSDLamp(bool On) { ShowLamp(Image3, On); }

void TMainForm::BComPort1CTSChange(TBComPort*, bool State) { ShowCTSLamp(State); }
void TMainForm::BComPort1DSRChange(TBComPort*, bool State) { ShowDSRLamp(State); }
void TMainForm::BComPort1RLSDChange(TBComPort*, bool State) { ShowRLSDLamp(State); }

void TMainForm::cbSetRTSClick(ui::TObject*) { BComPort1->SetRTS(cbSetRTS->Checked()); }
void TMainForm::cbSetDTRClick(ui::TObject*) { BComPort1->SetDTR(cbSetDTR->Checked()); }

void TMainForm::BitBtn2SaveClick(ui::TObject*) {
  platform::TDateTime now = System->Now();
  int lines = Memo1->LineCount();
  Edit3->SetText(platform::FormatFileStamp(now));
  std::string stamp = Edit3->Text();
  if (lines == 0) {
    ui::ShowMessage("Нет данных");
    return;
  }
  platform::SetCurrentDirectory(platform::ExtractFilePath(System->ExeName()));
  // A file of the same name (a save within the same second) is never replaced.
  platform::WriteNewStampedFile(stamp, Memo1->Text());
  Memo1->Clear();
}

void TMainForm::BitBtnCLRClick(ui::TObject*) { Memo1->Clear(); }

void TMainForm::BitBtn1HelpClick(ui::TObject*) { Memo2Help->SetVisible(true); }
void TMainForm::Memo2HelpDblClick(ui::TObject*) { Memo2Help->SetVisible(false); }

void TMainForm::imgLogoClick(ui::TObject*) {
  GroupBox1->SetVisible(false);
  Memo2Firma->SetVisible(true);
  Panel3->SetVisible(true);
  cbCRLF->SetVisible(false);
  Label1->SetVisible(false);
  Label2->SetVisible(false);
}

void TMainForm::Memo2FirmaClick(ui::TObject*) {
  GroupBox1->SetVisible(true);
  Memo2Firma->SetVisible(false);
  Panel3->SetVisible(false);
  cbCRLF->SetVisible(true);
  Label1->SetVisible(true);
  Label2->SetVisible(true);
}

void TMainForm::Label7Click(ui::TObject*) { System->OpenUrl(std::string(talvik::maker::kWebAddress)); }

void TMainForm::Timer1Timer(ui::TObject*) {
  platform::TDateTime now = System->Now();
  Label6->SetCaption(platform::FormatLongTime(System->TimeFormat(), now.hour, now.minute, now.second));
}

void TMainForm::Button1Click(ui::TObject*) {
  if (Form1) Form1->ShowModal();
}
