// Forms, their stored layouts, and the application object.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/toolkit.h"

namespace ui {

// One control of a stored layout. Kind-specific settings that do not apply are ignored.
struct ControlSpec {
  const char* name;
  ControlKind kind;
  const char* parent;  // the form's own name for top-level controls
  TRect bounds;
  TAlign align = TAlign::alNone;
  int tab_order = -1;  // -1: takes no part in the tab order
  const char* caption = "";
  const char* hint = "";
  const TFont* font = nullptr;  // nullptr: the parent's font
  TColor color = clParent;
  bool enabled = true;
  bool visible = true;
  TCursor cursor = TCursor::crDefault;
  // panels
  TBevelCut bevel_outer = TBevelCut::bvRaised;
  TBevelCut bevel_inner = TBevelCut::bvNone;
  int bevel_width = 1;
  int border_width = 0;
  TBorderStyle border_style = TBorderStyle::bsNone;
  // lists and memos
  std::span<const char* const> items = {};
  // memos
  bool read_only = false;
  bool word_wrap = true;
  TScrollStyle scroll_bars = TScrollStyle::ssNone;
  bool want_tabs = false;
  bool raw_bytes = false;
  int max_length = 0;
  bool borderless = false;
  // labels
  bool auto_size = true;
  // images and buttons: a picture resource and how it is drawn
  const char* picture = nullptr;
  int num_glyphs = 1;
  bool proportional = false;
};

struct FormSpec {
  const char* name;
  const char* caption;
  int client_width;
  int client_height;
  TColor color = clBtnFace;
  TFont font = {};
  TBorderStyle border_style = TBorderStyle::bsSingle;
  bool minimize_box = true;
  bool maximize_box = false;
  TPosition position = TPosition::poScreenCenter;
  bool auto_scroll = true;
  int pixels_per_inch = 96;
  const char* active_control = nullptr;
  std::span<const ControlSpec> controls = {};
  // Timers, by name: enabled, 1000 ms.
  std::span<const char* const> timers = {};
};

// Turns a picture resource name of a layout into a picture (empty when unknown).
using PictureLoader = std::function<TPicture(const char* name)>;

class TForm : public TWinControl {
 public:
  explicit TForm(std::string name);
  ~TForm() override;
  ControlKind Kind() const override { return ControlKind::Panel; }
  bool TabStop() const override { return false; }

  // Builds the controls of a stored layout (only once).
  void LoadLayout(const FormSpec& layout, const PictureLoader& pictures = {});
  // Runs OnCreate; an exception it raises is reported and dropped.
  void DoCreate();

  TControl* FindControl(std::string_view name) const;
  template <class T>
  T* Find(std::string_view name) const {
    return dynamic_cast<T*>(FindControl(name));
  }
  // Binds a member to the layout's control of that name; a missing or different control is
  // a fault of the program.
  template <class T>
  void Bind(T*& member, std::string_view name) const {
    member = Find<T>(name);
    if (!member) throw std::logic_error("layout has no control " + std::string(name));
  }

  // The controls Tab visits, in order: those that take the focus, visible and enabled with
  // all their parents.
  std::vector<TControl*> TabSequence() const;
  TControl* ActiveControl() const { return active_; }
  void SetActiveControl(TControl* c);

  // With automatic scrolling the window shows scroll bars while a visible control that is not
  // aligned reaches past the client area.
  bool ScrollBarsNeeded() const;
  int ClientWidth() const { return Width(); }
  int ClientHeight() const { return Height(); }
  TBorderStyle BorderStyle = TBorderStyle::bsSingle;
  bool MinimizeBox = true;
  bool MaximizeBox = false;
  TPosition Position = TPosition::poScreenCenter;
  bool AutoScroll = true;
  int PixelsPerInch = 96;

  TNotifyEvent OnCreate;

  // Window handling.
  void Show();
  void Hide();
  bool Shown() const;
  // Shows the form modally and returns when it is closed; other windows take no input.
  int ShowModal();
  void Close();
  FormPeer* WindowPeer() const { return window_.get(); }
  // Creates the real window (once), when a toolkit is present.
  void CreateHandle();
  bool ModalShowing() const { return modal_; }
  // How many times the form was shown modally.
  int ModalShowCount() const { return modal_count_; }
  // Set by the peer when the window was shown once (for placing it later).
  bool shown_once = false;

  void AddTimer(std::unique_ptr<TTimer> timer);
  TTimer* FindTimer(std::string_view name) const;
  const std::vector<std::unique_ptr<TTimer>>& Timers() const { return timers_; }
  const std::vector<std::unique_ptr<TControl>>& OwnedControls() const { return owned_; }

 private:
  std::vector<std::unique_ptr<TControl>> owned_;
  std::vector<std::unique_ptr<TTimer>> timers_;
  std::unique_ptr<FormPeer> window_;
  TControl* active_ = nullptr;
  bool modal_ = false;
  int modal_count_ = 0;
  bool loaded_ = false;
};

// Wires the events of a stored layout to a form's member handlers.
enum class EventKind { OnClick, OnDblClick, OnChange, OnCreate, OnTimer };
template <class Form>
struct EventBinding {
  const char* control;
  EventKind event;
  void (Form::*handler)(TObject* Sender);
};
template <class Form>
void WireEvents(Form& form, std::span<const EventBinding<Form>> table) {
  for (const auto& b : table) {
    TNotifyEvent fn = [&form, h = b.handler](TObject* sender) { (form.*h)(sender); };
    if (b.event == EventKind::OnTimer) {
      TTimer* t = form.FindTimer(b.control);
      if (!t) throw std::logic_error(std::string("layout has no timer ") + b.control);
      t->OnTimer = fn;
      continue;
    }
    TControl* c = std::string_view(b.control) == form.Name() ? &form : form.FindControl(b.control);
    if (!c) throw std::logic_error(std::string("layout has no control ") + b.control);
    switch (b.event) {
      case EventKind::OnClick: c->OnClick = fn; break;
      case EventKind::OnDblClick: c->OnDblClick = fn; break;
      case EventKind::OnChange:
        if (auto* combo = dynamic_cast<TComboBox*>(c)) combo->OnChange = fn;
        else throw std::logic_error(std::string("no change event on ") + b.control);
        break;
      case EventKind::OnCreate: form.OnCreate = fn; break;
      case EventKind::OnTimer: break;
    }
  }
}

class TApplication : public TObject {
 public:
  TApplication();
  ~TApplication() override;

  std::string Title;
  bool ShowHint = true;
  int HintPause = 500;
  int HintHidePause = 2500;
  TColor HintColor = clInfoBk;

  // The full path of the running program.
  std::string ExeName() const;

  // Sets up the toolkit's side (hint times, the exception report, the hand-over wake-up).
  void Initialize();
  // Makes a form and registers it; the first form made becomes the main form.
  template <class T, class... Args>
  void CreateForm(T*& ref, Args&&... args) {
    auto form = std::make_unique<T>(std::forward<Args>(args)...);
    ref = form.get();
    AddForm(std::move(form));
  }
  void AddForm(std::unique_ptr<TForm> form);
  TForm* MainForm() const { return main_form_; }
  // Destroys the forms in the reverse order of their creation.
  void DestroyForms();

  // Shows the main form and dispatches until Terminate.
  void Run();
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  // Waits for and handles one round of events, then serves queued hand-overs. Every modal
  // loop calls it.
  void HandleMessage();
  void ProcessMessages();

  // Reports the exception being handled (or the one given): the error box.
  void HandleException(TObject* sender);
  void HandleException(std::exception_ptr error, void* sender);
  void ShowException(std::exception_ptr error);

  // The message box used by error reports and ShowMessage; tests may replace it.
  using MessageBoxFn = std::function<int(const std::string& text, const std::string& caption, unsigned flags)>;
  MessageBoxFn MessageBoxHook;
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags);

 private:
  std::vector<std::unique_ptr<TForm>> forms_;
  TForm* main_form_ = nullptr;
  bool terminated_ = false;
};

// The application object (exists for the program's whole run).
extern TApplication* Application;

// A modal notice: centred on the screen, the application's title as caption, no icon, "OK".
void ShowMessage(const std::string& text);

// Runs a handler of a user action; an exception it raises goes to the application's report.
void RunUserEvent(const std::function<void()>& fn, void* sender);

}  // namespace ui
