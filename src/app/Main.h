// The main window: its stored layout, the port component, the clock timer and the handlers.
#pragma once

#include <memory>
#include <span>

#include "bcport/BCPort.h"
#include "platform/device_services.h"
#include "platform/system.h"
#include "ui/forms.h"

class TMainForm : public ui::TForm {
 public:
  // The port component works on the given device services (the system's in the program, a
  // simulated device in tests).
  explicit TMainForm(platform::DeviceServices& services = platform::SystemDeviceServices());
  ~TMainForm() override;

  // Controls of the stored layout.
  ui::TPanel* Panel1 = nullptr;
  ui::TLabel* Label1 = nullptr;
  ui::TLabel* Label2 = nullptr;
  ui::TImage* imgLogo = nullptr;
  ui::TLabel* Label7 = nullptr;
  ui::TComboBox* cbPort = nullptr;
  ui::TComboBox* cbBaudRate = nullptr;
  ui::TBitBtn* BitBtn1Help = nullptr;
  ui::TBitBtn* BitBtn1Connect = nullptr;
  ui::TBitBtn* BitBtn1Disconnect = nullptr;
  ui::TPanel* Panel3 = nullptr;
  ui::TMemo* Memo2Firma = nullptr;
  ui::TGroupBox* GroupBox1 = nullptr;
  ui::TImage* Image1 = nullptr;
  ui::TImage* Image2 = nullptr;
  ui::TImage* Image3 = nullptr;
  ui::TLabel* Label5 = nullptr;
  ui::TLabel* Label4 = nullptr;
  ui::TLabel* Label3 = nullptr;
  ui::TCheckBox* cbSetRTS = nullptr;
  ui::TCheckBox* cbSetDTR = nullptr;
  ui::TCheckBox* cbCRLF = nullptr;
  ui::TButton* Button1 = nullptr;
  ui::TMemo* Memo1 = nullptr;
  ui::TPanel* Panel2 = nullptr;
  ui::TLabel* Label6 = nullptr;
  ui::TLabel* Label8 = nullptr;
  ui::TBitBtn* BitBtn2Save = nullptr;
  ui::TBitBtn* BitBtnCLR = nullptr;
  ui::TCheckBox* cbCTRT = nullptr;
  ui::TEdit* Edit3 = nullptr;
  ui::TMemo* Memo2Help = nullptr;
  ui::TEdit* Edit4 = nullptr;
  // Components.
  std::unique_ptr<TBComPort> BComPort1;
  ui::TTimer* Timer1 = nullptr;

  // Handlers wired by the stored layout.
  void FormCreate(ui::TObject* Sender);
  void cbBaudRateChange(ui::TObject* Sender);
  void BitBtn1ConnectClick(ui::TObject* Sender);
  void BitBtn1DisconnectClick(ui::TObject* Sender);
  void BComPort1RxChar(TBComPort* Sender, int Count);
  void BComPort1CTSChange(TBComPort* Sender, bool State);
  void BComPort1DSRChange(TBComPort* Sender, bool State);
  void BComPort1RLSDChange(TBComPort* Sender, bool State);
  void cbSetRTSClick(ui::TObject* Sender);
  void cbSetDTRClick(ui::TObject* Sender);
  void BitBtn2SaveClick(ui::TObject* Sender);
  void BitBtnCLRClick(ui::TObject* Sender);
  void BitBtn1HelpClick(ui::TObject* Sender);
  void Memo2HelpDblClick(ui::TObject* Sender);
  void imgLogoClick(ui::TObject* Sender);
  void Memo2FirmaClick(ui::TObject* Sender);
  void Label7Click(ui::TObject* Sender);
  void Timer1Timer(ui::TObject* Sender);
  void Button1Click(ui::TObject* Sender);

  // The lamps: each loads a fresh copy of the "On" or "Off" picture.
  void ShowCTSLamp(bool On);
  void ShowDSRLamp(bool On);
  void ShowRLSDLamp(bool On);

  // The clock, the program's path and the web link; tests put their own here.
  platform::SystemServices* System = &platform::DefaultSystemServices();

 private:
  void TakeRateFromList();
  void ShowLamp(ui::TImage* image, bool on);
  // The controls of the idle state, after a disconnect.
  void ShowIdle();
};

extern TMainForm* MainForm;

// The stored layout and its event wiring, as data.
const ui::FormSpec& MainFormLayout();
std::span<const ui::EventBinding<TMainForm>> MainFormEvents();

// The program's pictures by resource name: JPEG data or a decoded bitmap.
ui::TPicture LoadPictureResource(const char* name);
