// Connecting and disconnecting, the lamps and switches, help, about, clock and link.
#include "app_fixture.h"

using namespace platform;
using talvik_test::AppTest;
using talvik_test::PumpUntil;

namespace {

// The attributes the connection handlers set, one line per control.
std::vector<std::string> WindowState(TMainForm* f) {
  auto ev = [](ui::TControl* c) {
    return c->Name() + (c->Enabled() ? " enabled" : " disabled") + (c->Visible() ? " visible" : " hidden");
  };
  std::vector<std::string> rows;
  for (ui::TControl* c : std::initializer_list<ui::TControl*>{
           f->BitBtn1Connect, f->BitBtn1Disconnect, f->cbPort, f->cbBaudRate, f->cbSetDTR, f->cbSetRTS, f->cbCRLF,
           f->cbCTRT, f->BitBtnCLR, f->BitBtn2Save, f->BitBtn1Help, f->GroupBox1, f->Label1, f->Label2, f->Memo2Help,
           f->Panel3, f->Memo2Firma, f->Memo1})
    rows.push_back(ev(c));
  rows.push_back(std::string("Memo1 colour ") + (f->Memo1->Color() == ui::clBlack ? "black" : "button face"));
  return rows;
}

const std::vector<std::string> kCreated = {
    "BitBtn1Connect enabled visible", "BitBtn1Disconnect disabled hidden", "cbPort enabled visible",
    "cbBaudRate enabled visible",     "cbSetDTR disabled visible",         "cbSetRTS disabled visible",
    "cbCRLF disabled visible",        "cbCTRT disabled visible",           "BitBtnCLR disabled visible",
    "BitBtn2Save disabled visible",   "BitBtn1Help disabled visible",      "GroupBox1 enabled visible",
    "Label1 enabled visible",         "Label2 enabled visible",            "Memo2Help enabled visible",
    "Panel3 enabled hidden",          "Memo2Firma enabled hidden",         "Memo1 disabled visible",
    "Memo1 colour black"};
const std::vector<std::string> kConnected = {
    "BitBtn1Connect disabled hidden", "BitBtn1Disconnect enabled visible", "cbPort disabled visible",
    "cbBaudRate disabled visible",    "cbSetDTR enabled visible",          "cbSetRTS enabled visible",
    "cbCRLF enabled visible",         "cbCTRT disabled visible",           "BitBtnCLR enabled visible",
    "BitBtn2Save enabled visible",    "BitBtn1Help disabled visible",      "GroupBox1 enabled visible",
    "Label1 enabled visible",         "Label2 enabled visible",            "Memo2Help enabled hidden",
    "Panel3 enabled hidden",          "Memo2Firma enabled hidden",         "Memo1 enabled visible",
    "Memo1 colour black"};
const std::vector<std::string> kIdle = {
    "BitBtn1Connect enabled visible", "BitBtn1Disconnect disabled hidden", "cbPort enabled visible",
    "cbBaudRate enabled visible",     "cbSetDTR disabled visible",         "cbSetRTS disabled visible",
    "cbCRLF disabled visible",        "cbCTRT disabled visible",           "BitBtnCLR disabled visible",
    "BitBtn2Save disabled visible",   "BitBtn1Help enabled visible",       "GroupBox1 enabled visible",
    "Label1 enabled visible",         "Label2 enabled visible",            "Memo2Help enabled hidden",
    "Panel3 enabled hidden",          "Memo2Firma enabled hidden",         "Memo1 disabled visible",
    "Memo1 colour button face"};

}  // namespace

TEST_F(AppTest, CreateConnectDisconnectSetTheWholeTableOfStates) {
  EXPECT_EQ(WindowState(form), kCreated);
  EXPECT_TRUE(form->ScrollBarsNeeded());
  EXPECT_EQ(form->cbPort->Items(), (std::vector<std::string>{"COM1", "COM3"}));
  EXPECT_EQ(form->cbPort->Text(), "COM1");
  EXPECT_EQ(form->cbBaudRate->Text(), "9600");
  EXPECT_EQ(form->BComPort1->BaudRate(), TBaudRate::br1200);  // selecting fires no change
  for (auto* lamp : {form->Image1, form->Image2, form->Image3}) EXPECT_EQ(Lamp(lamp), "off");

  form->cbPort->UserSelect(1);
  form->cbBaudRate->UserSelect(12);
  EXPECT_EQ(form->BComPort1->BaudRate(), TBaudRate::br115200);
  sim.SetModemStatus(MS_CTS_ON | MS_DSR_ON);
  sim.ClearCalls();
  Connect();
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(WindowState(form), kConnected);
  // The help pane, which reached past the client area, is hidden: no more scroll bars.
  for (ui::TControl* c : form->Controls())
    if (c->Visible() && c->Align() == ui::TAlign::alNone) ADD_FAILURE() << c->Name();
  EXPECT_FALSE(form->ScrollBarsNeeded());
  EXPECT_EQ(form->BComPort1->Port(), "COM3");
  EXPECT_TRUE(form->BComPort1->Connected());
  // The lamps come from three reads of the modem status, CTS, DSR, RLSD.
  auto names = sim.CallNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), "GetCommModemStatus"), 3);
  EXPECT_EQ(Lamp(form->Image1), "on");
  EXPECT_EQ(Lamp(form->Image2), "on");
  EXPECT_EQ(Lamp(form->Image3), "off");

  Disconnect();
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(WindowState(form), kIdle);
  EXPECT_FALSE(form->BComPort1->Connected());
  for (auto* lamp : {form->Image1, form->Image2, form->Image3}) EXPECT_EQ(Lamp(lamp), "off");

  // With the about panel open and the help text shown, the states are the same.
  User([&] { form->BitBtn1Help->Click(); });
  User([&] { form->imgLogo->Click(); });
  Connect();
  EXPECT_EQ(WindowState(form), kConnected);
  User([&] { form->imgLogo->Click(); });
  Disconnect();
  EXPECT_EQ(WindowState(form), kIdle);
}

TEST_F(AppTest, AFailedOpenChangesNothing) {
  struct Case {
    DWORD error;
    const char* box;
  } cases[] = {
      {ERROR_FILE_NOT_FOUND, "Попытка открыть несуществующий COM-порт."},
      {ERROR_ACCESS_DENIED, "Порт занят другой программой."},
      {ERROR_GEN_FAILURE, "Ошибка функции SetupComm."},
  };
  for (auto& c : cases) {
    boxes.clear();
    sim.Fail("CreateFileA", c.error);
    Connect();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], c.box);
    EXPECT_EQ(captions[0], "Talvik");
    EXPECT_EQ(WindowState(form), kCreated);
    EXPECT_FALSE(form->BComPort1->Connected());
  }
}

TEST_F(AppTest, AFailedModemReadAfterOpeningLeavesTheConnectedStateWithTheLampsReadSoFar) {
  sim.SetModemStatus(MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
  int reads = 0;
  sim.SetCallHook([&](const sim::Call& c) {
    if (c.name == "GetCommModemStatus" && ++reads == 1) sim.Fail("GetCommModemStatus", ERROR_GEN_FAILURE);
  });
  Connect();
  sim.SetCallHook(nullptr);
  EXPECT_EQ(boxes, std::vector<std::string>{"Ошибка функции GetCommModemStatus."});
  EXPECT_EQ(WindowState(form), kConnected);
  EXPECT_EQ(Lamp(form->Image1), "on");
  EXPECT_EQ(Lamp(form->Image2), "off");
  sim.ClearFailures();
  Disconnect();
}

TEST_F(AppTest, LineEventsMoveOnlyTheirLampAndTheSwitchesSendTheirRequests) {
  Connect();
  sim.SetModemStatus(MS_CTS_ON | MS_RING_ON);
  ASSERT_TRUE(sim.AwaitPendingWait());
  sim.CompleteWait(EV_CTS);
  ASSERT_TRUE(PumpUntil([&] { return Lamp(form->Image1) == "on"; }));
  EXPECT_EQ(Lamp(form->Image2), "off");
  EXPECT_EQ(Lamp(form->Image3), "off");
  ASSERT_TRUE(sim.AwaitPendingWait());
  sim.CompleteWait(EV_RING);  // ring has no lamp
  ASSERT_TRUE(PumpUntil([&] { return sim.WaitCount() >= 3; }));
  EXPECT_EQ(Lamp(form->Image1), "on");
  EXPECT_EQ(Lamp(form->Image3), "off");

  sim.ClearCalls();
  User([&] { form->cbSetRTS->Click(); });
  User([&] { form->cbSetRTS->Click(); });
  User([&] { form->cbSetDTR->Click(); });
  std::vector<std::uint64_t> codes;
  for (auto& c : sim.Calls())
    if (c.name == "EscapeCommFunction") codes.push_back(c.args[1]);
  EXPECT_EQ(codes, (std::vector<std::uint64_t>{3, 4, 5}));
  EXPECT_FALSE(form->cbSetRTS->Checked());
  EXPECT_TRUE(form->cbSetDTR->Checked());

  // Reconnecting raises both lines whatever the boxes show.
  Disconnect();
  Connect();
  EXPECT_TRUE(sim.Dtr());
  EXPECT_TRUE(sim.Rts());
  EXPECT_FALSE(form->cbSetRTS->Checked());
  Disconnect();
}

TEST_F(AppTest, AClosingRefusalStillLeavesTheWindowIdleAndShowsTheError) {
  Connect();
  sim.Fail("EscapeCommFunction", ERROR_GEN_FAILURE);
  Disconnect();
  EXPECT_EQ(boxes, std::vector<std::string>{"Ошибка функции EscapeCommFunction."});
  EXPECT_EQ(WindowState(form), kIdle);
  EXPECT_FALSE(form->BComPort1->Connected());
  sim.ClearFailures();
  boxes.clear();
  Connect();  // the device is free again
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(WindowState(form), kConnected);
  Disconnect();
}

TEST_F(AppTest, AfterTheDeviceWentAwayDisconnectAndALaterConnectWork) {
  Connect();
  ASSERT_TRUE(sim.AwaitPendingWait());
  sim.Fail("WaitCommEvent", ERROR_GEN_FAILURE);
  sim.FailWait(ERROR_GEN_FAILURE);
  ASSERT_TRUE(PumpUntil([&] { return boxes.size() == 1; }));
  EXPECT_EQ(boxes[0], "Ошибка чтения из порта.");
  Disconnect();
  EXPECT_EQ(WindowState(form), kIdle);
  sim.ClearFailures();
  Connect();
  EXPECT_EQ(WindowState(form), kConnected);
  sim.Receive("1.5\r\n");
  ASSERT_TRUE(PumpUntil([&] { return form->Memo1->Text() == "1,5\r\n"; }));
  Disconnect();
}

TEST_F(AppTest, ARegistryFailureAtCreationIsShownBeforeTheWindowAndLeavesNoRateAndBlankLamps) {
  TearDown();
  boxes.clear();
  sim.SetRegistry(std::nullopt);
  Create();
  EXPECT_EQ(boxes, std::vector<std::string>{"Ошибка обращения к системному реестру."});
  EXPECT_FALSE(form->Visible());
  EXPECT_TRUE(form->cbPort->Items().empty());
  EXPECT_EQ(form->cbBaudRate->ItemIndex(), -1);
  for (auto* lamp : {form->Image1, form->Image2, form->Image3}) EXPECT_EQ(Lamp(lamp), "none");
  // Connecting then keeps the port's own rate and opens the empty port name.
  boxes.clear();
  Connect();
  EXPECT_EQ(form->BComPort1->BaudRate(), TBaudRate::br1200);
  EXPECT_EQ(form->BComPort1->Port(), "");
  Disconnect();
}

TEST_F(AppTest, ClockHelpAboutAndLink) {
  struct Case {
    LongTimeFormat format;
    int hour;
    const char* text;
  } cases[] = {
      {{false, false, false, "am", "pm", ":"}, 9, "9:05:07"},
      {{false, false, false, "am", "pm", ":"}, 21, "21:05:07"},
      {{true, true, false, "AM", "PM", ":"}, 21, "09:05:07 PM"},
      {{false, true, true, "AM", "PM", ":"}, 9, "AM 9:05:07"},
  };
  for (auto& c : cases) {
    system.format = c.format;
    system.now = {2006, 6, 19, c.hour, 5, 7};
    form->Timer1->Tick();
    EXPECT_EQ(form->Label6->Caption(), c.text);
  }

  auto before = WindowState(form);
  User([&] { form->imgLogo->Click(); });
  EXPECT_FALSE(form->GroupBox1->Visible());
  EXPECT_TRUE(form->Panel3->Visible() && form->Memo2Firma->Visible());
  EXPECT_FALSE(form->cbCRLF->Visible() || form->Label1->Visible() || form->Label2->Visible());
  User([&] { form->Memo2Firma->Click(); });
  EXPECT_EQ(WindowState(form), before);

  User([&] { form->Memo2Help->DblClick(); });
  EXPECT_FALSE(form->Memo2Help->Visible());
  User([&] { form->BitBtn1Help->Click(); });
  EXPECT_TRUE(form->Memo2Help->Visible());

  User([&] { form->Label7->Click(); });
  EXPECT_EQ(system.opened, std::vector<std::string>{form->Label7->Caption()});
  EXPECT_TRUE(boxes.empty());
}
