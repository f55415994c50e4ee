#include "ui/forms.h"

#include "platform/system.h"

#include <filesystem>
#include <stdexcept>

#include "platform/exceptions.h"
#include "platform/threads.h"
#include "ui/text.h"

namespace ui {

namespace {
Toolkit* g_toolkit = nullptr;

std::unique_ptr<TControl> MakeControl(ControlKind kind, const std::string& name) {
  switch (kind) {
    case ControlKind::Panel: return std::make_unique<TPanel>(name);
    case ControlKind::Label: return std::make_unique<TLabel>(name);
    case ControlKind::Image: return std::make_unique<TImage>(name);
    case ControlKind::ComboBox: return std::make_unique<TComboBox>(name);
    case ControlKind::Button: return std::make_unique<TButton>(name);
    case ControlKind::BitBtn: return std::make_unique<TBitBtn>(name);
    case ControlKind::CheckBox: return std::make_unique<TCheckBox>(name);
    case ControlKind::GroupBox: return std::make_unique<TGroupBox>(name);
    case ControlKind::Memo: return std::make_unique<TMemo>(name);
    case ControlKind::Edit: return std::make_unique<TEdit>(name);
  }
  return nullptr;
}
}  // namespace

Toolkit* CurrentToolkit() { return g_toolkit; }
void SetToolkit(Toolkit* toolkit) { g_toolkit = toolkit; }

TApplication* Application = nullptr;

// ---- TForm

TForm::TForm(std::string name) : TWinControl(std::move(name)) {
  SetVisible(false);
  SetColor(clBtnFace);
}

TForm::~TForm() {
  // The window goes first, then the controls (children before their parents), then the timers.
  window_.reset();
  for (auto it = owned_.rbegin(); it != owned_.rend(); ++it) (*it)->SetPeer(nullptr);
  while (!owned_.empty()) owned_.pop_back();
  timers_.clear();
}

void TForm::LoadLayout(const FormSpec& layout, const PictureLoader& pictures) {
  if (loaded_) throw std::logic_error("layout loaded twice");
  loaded_ = true;
  SetCaption(layout.caption);
  SetBounds(0, 0, layout.client_width, layout.client_height);
  SetColor(layout.color);
  SetFont(layout.font);
  BorderStyle = layout.border_style;
  MinimizeBox = layout.minimize_box;
  MaximizeBox = layout.maximize_box;
  Position = layout.position;
  AutoScroll = layout.auto_scroll;
  PixelsPerInch = layout.pixels_per_inch;

  for (const ControlSpec& s : layout.controls) {
    auto control = MakeControl(s.kind, s.name);
    TControl* c = control.get();
    TWinControl* parent = std::string_view(s.parent) == Name() ? this : Find<TWinControl>(s.parent);
    if (!parent) throw std::logic_error(std::string("layout names no parent ") + s.parent + " for " + s.name);
    c->SetParent(parent);
    c->SetBounds(s.bounds.Left, s.bounds.Top, s.bounds.Width, s.bounds.Height);
    c->SetAlign(s.align);
    c->SetTabOrder(s.tab_order);
    c->SetCaption(s.caption);
    c->SetHint(s.hint);
    if (s.font) c->SetFont(*s.font);
    c->SetColor(s.color);
    c->SetEnabled(s.enabled);
    c->SetVisible(s.visible);
    c->SetCursor(s.cursor);
    TPicture picture = s.picture && pictures ? pictures(s.picture) : TPicture();
    switch (s.kind) {
      case ControlKind::Panel: {
        auto* p = static_cast<TPanel*>(c);
        p->BevelOuter = s.bevel_outer;
        p->BevelInner = s.bevel_inner;
        p->BevelWidth = s.bevel_width;
        p->BorderWidth = s.border_width;
        p->BorderStyle = s.border_style;
        break;
      }
      case ControlKind::Label: static_cast<TLabel*>(c)->AutoSize = s.auto_size; break;
      case ControlKind::Image: {
        auto* i = static_cast<TImage*>(c);
        i->Proportional = s.proportional;
        if (!picture.Empty()) i->SetPicture(picture);
        break;
      }
      case ControlKind::ComboBox: {
        std::vector<std::string> items(s.items.begin(), s.items.end());
        static_cast<TComboBox*>(c)->SetItems(std::move(items));
        break;
      }
      case ControlKind::BitBtn:
        if (!picture.Empty()) static_cast<TBitBtn*>(c)->SetGlyph(picture, s.num_glyphs);
        break;
      case ControlKind::Memo: {
        auto* m = static_cast<TMemo*>(c);
        m->ReadOnly = s.read_only;
        m->WordWrap = s.word_wrap;
        m->ScrollBars = s.scroll_bars;
        m->WantTabs = s.want_tabs;
        m->RawBytes = s.raw_bytes;
        m->MaxLength = s.max_length;
        m->BorderStyle = s.borderless ? TBorderStyle::bsNone : TBorderStyle::bsSingle;
        if (!s.items.empty()) {
          std::vector<std::string> lines(s.items.begin(), s.items.end());
          m->SetLines(lines);
        }
        break;
      }
      default: break;
    }
    owned_.push_back(std::move(control));
  }
  for (const char* t : layout.timers) AddTimer(std::make_unique<TTimer>(t));
  AlignControls();
  for (const auto& c : owned_)
    if (auto* w = dynamic_cast<TWinControl*>(c.get())) w->AlignControls();
  if (layout.active_control) active_ = FindControl(layout.active_control);
}

void TForm::DoCreate() {
  if (OnCreate) RunUserEvent([this] { OnCreate(this); }, this);
}

TControl* TForm::FindControl(std::string_view name) const {
  for (const auto& c : owned_)
    if (c->Name() == name) return c.get();
  return nullptr;
}

namespace {
void CollectTab(const TWinControl* parent, std::vector<TControl*>& out) {
  for (TControl* c : parent->TabOrdered()) {
    if (!c->Visible() || !c->Enabled()) continue;
    if (c->TabStop()) out.push_back(c);
    if (auto* w = dynamic_cast<const TWinControl*>(c)) CollectTab(w, out);
  }
}
}  // namespace

std::vector<TControl*> TForm::TabSequence() const {
  std::vector<TControl*> out;
  CollectTab(this, out);
  return out;
}

bool TForm::ScrollBarsNeeded() const {
  if (!AutoScroll) return false;
  for (TControl* c : Controls())
    if (c->Visible() && c->Align() == TAlign::alNone &&
        (c->Left() + c->Width() > ClientWidth() || c->Top() + c->Height() > ClientHeight()))
      return true;
  return false;
}

void TForm::SetActiveControl(TControl* c) {
  active_ = c;
  if (window_ && Shown() && c) window_->Focus(c);
}

void TForm::CreateHandle() {
  if (window_) return;
  if (Toolkit* t = CurrentToolkit()) window_ = t->CreateFormPeer(*this);
}

void TForm::Show() {
  CreateHandle();
  SetVisible(true);
  if (window_) window_->Show();
}

void TForm::Hide() {
  SetVisible(false);
  if (window_) window_->Hide();
}

bool TForm::Shown() const { return window_ ? window_->Shown() : Visible(); }

int TForm::ShowModal() {
  CreateHandle();
  if (!window_) {
    // Headless: there is no one to close the window, so it is shown and closed at once.
    ++modal_count_;
    return 2;
  }
  if (Position == TPosition::poMainFormCenter && !shown_once && Application && Application->MainForm() &&
      Application->MainForm() != this && Application->MainForm()->WindowPeer()) {
    int mx, my, mw, mh;
    Application->MainForm()->WindowPeer()->OuterBounds(&mx, &my, &mw, &mh);
    int x, y, w, h;
    window_->OuterBounds(&x, &y, &w, &h);
    int left = mx + (mw - w) / 2;
    int top = my + (mh - h) / 2;
    window_->MoveTo(left < 0 ? 0 : left, top < 0 ? 0 : top);
  }
  ++modal_count_;
  modal_ = true;
  window_->SetModal(true);
  Show();
  while (window_->Shown() && Application && !Application->Terminated()) Application->HandleMessage();
  window_->SetModal(false);
  modal_ = false;
  SetVisible(false);
  return 2;
}

void TForm::Close() {
  Hide();
  if (Application && Application->MainForm() == this) Application->Terminate();
}

void TForm::AddTimer(std::unique_ptr<TTimer> timer) { timers_.push_back(std::move(timer)); }

TTimer* TForm::FindTimer(std::string_view name) const {
  for (const auto& t : timers_)
    if (t->Name() == name) return t.get();
  return nullptr;
}

// ---- TApplication

TApplication::TApplication() { Application = this; }

TApplication::~TApplication() {
  DestroyForms();
  platform::SetExceptionReport(nullptr);
  if (Application == this) Application = nullptr;
}

std::string TApplication::ExeName() const { return platform::DefaultSystemServices().ExeName(); }

void TApplication::Initialize() {
  platform::SetMainThread();
  platform::SetExceptionReport([this](std::exception_ptr e, void* sender) { HandleException(e, sender); });
  if (Toolkit* t = CurrentToolkit()) t->SetHintTimes(ShowHint ? HintPause : -1, HintHidePause);
}

void TApplication::AddForm(std::unique_ptr<TForm> form) {
  if (!main_form_) main_form_ = form.get();
  forms_.push_back(std::move(form));
}

void TApplication::DestroyForms() {
  while (!forms_.empty()) forms_.pop_back();
  main_form_ = nullptr;
}

void TApplication::Run() {
  if (!main_form_) return;
  main_form_->Show();
  while (!terminated_) HandleMessage();
}

void TApplication::HandleMessage() {
  try {
    if (Toolkit* t = CurrentToolkit()) t->WaitAndDispatch();
  } catch (...) {
    HandleException(std::current_exception(), nullptr);
  }
  try {
    platform::CheckSynchronize();
  } catch (...) {
    HandleException(std::current_exception(), nullptr);
  }
}

void TApplication::ProcessMessages() {
  try {
    if (Toolkit* t = CurrentToolkit()) t->DispatchPending();
  } catch (...) {
    HandleException(std::current_exception(), nullptr);
  }
  platform::CheckSynchronize();
}

void TApplication::HandleException(TObject* sender) { HandleException(std::current_exception(), sender); }

void TApplication::HandleException(std::exception_ptr error, void*) {
  if (!error) return;
  if (Toolkit* t = CurrentToolkit()) t->CancelMouseCapture();
  ShowException(error);
}

void TApplication::ShowException(std::exception_ptr error) {
  MessageBox(WithFullStop(platform::ExceptionMessage(error)), Title, MB_OK | MB_ICONSTOP);
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  if (MessageBoxHook) return MessageBoxHook(text, caption, flags);
  if (Toolkit* t = CurrentToolkit()) return t->MessageBox(text, caption, flags);
  return IDOK;
}

void ShowMessage(const std::string& text) {
  if (Application) Application->MessageBox(text, Application->Title, MB_OK);
}

void RunUserEvent(const std::function<void()>& fn, void* sender) {
  try {
    fn();
  } catch (...) {
    if (Application) Application->HandleException(std::current_exception(), sender);
    else throw;
  }
}

}  // namespace ui
