#include "ui/fltk/fltk_toolkit.h"

#include "platform/system.h"

#include <FL/Fl.H>
#include <FL/Fl_PNG_Image.H>
#include <FL/Fl_Tooltip.H>
#include <FL/Fl_Window.H>
#include <FL/fl_ask.H>
#include <FL/x.H>

#include <filesystem>

#include "platform/threads.h"
#include "ui/fltk/fltk_widgets.h"
#include "ui/text.h"

namespace ui::fltk {

namespace {

void ServeHandOvers(void*) {
  try {
    platform::CheckSynchronize();
  } catch (...) {
    if (Application) Application->HandleException(std::current_exception(), nullptr);
  }
}

// X keysyms of the Cyrillic letters (0x6C0..0x6FF) in keysym order.
constexpr char32_t kCyrillicKeysyms[64] = {
    U'ю', U'а', U'б', U'ц', U'д', U'е', U'ф', U'г', U'х', U'и', U'й', U'к', U'л', U'м', U'н', U'о',
    U'п', U'я', U'р', U'с', U'т', U'у', U'ж', U'в', U'ь', U'ы', U'з', U'ш', U'э', U'щ', U'ч', U'ъ',
    U'Ю', U'А', U'Б', U'Ц', U'Д', U'Е', U'Ф', U'Г', U'Х', U'И', U'Й', U'К', U'Л', U'М', U'Н', U'О',
    U'П', U'Я', U'Р', U'С', U'Т', U'У', U'Ж', U'В', U'Ь', U'Ы', U'З', U'Ш', U'Э', U'Щ', U'Ч', U'Ъ',
};

char32_t KeyLetter() {
  int k = Fl::event_key();
  if (k >= 0x6C0 && k <= 0x6FF) return kCyrillicKeysyms[k - 0x6C0];
  if (k == 0x6A3) return U'ё';
  if (k == 0x6B3) return U'Ё';
  if (Fl::event_length() > 0) return FirstCodePoint(Fl::event_text());
  if (k > 0 && k < 0x80) return static_cast<char32_t>(k);
  return 0;
}

int Dispatch(int event, Fl_Window* w) {
  if (event == FL_KEYBOARD || event == FL_SHORTCUT) {
    auto* fw = dynamic_cast<FormWindow*>(w);
    if (fw && Fl::modal() && Fl::modal() != w) fw = nullptr;
    if (fw && event == FL_KEYBOARD && Fl::event_key() == FL_Tab && !Fl::event_ctrl() && !Fl::event_alt()) {
      if (fw->TabKey(Fl::event_shift() != 0)) return 1;
    }
    if (fw && event == FL_KEYBOARD && Fl::event_alt() && !Fl::event_ctrl()) {
      if (fw->AltKey(KeyLetter())) return 1;
    }
  }
  return Fl::handle_(event, w);
}

class FltkFormPeer : public FormPeer {
 public:
  explicit FltkFormPeer(TForm& form) : window_(new FormWindow(form)), form_(form) { window_->BuildPeers(); }
  ~FltkFormPeer() override { delete window_; }
  void Show() override {
    if (!form_.shown_once && form_.Position == TPosition::poScreenCenter) {
      int sx, sy, sw, sh;
      Fl::screen_work_area(sx, sy, sw, sh);
      window_->position(sx + (sw - window_->w()) / 2, sy + (sh - window_->h()) / 2);
    }
    bool first = !form_.shown_once;
    form_.shown_once = true;
    window_->show();
    if (first) {
      Fl::flush();
      if (TControl* c = form_.ActiveControl()) window_->FocusControl(c);
    }
  }
  void Hide() override { window_->hide(); }
  bool Shown() const override { return window_->shown() && window_->visible(); }
  void OuterBounds(int* x, int* y, int* w, int* h) const override {
    int fw = window_->shown() ? window_->decorated_w() : window_->w();
    int fh = window_->shown() ? window_->decorated_h() : window_->h();
    int left = (fw - window_->w()) / 2;
    int top = fh - window_->h() - left;
    *x = window_->x() - left;
    *y = window_->y() - top;
    *w = fw;
    *h = fh;
  }
  void MoveTo(int x, int y) override {
    int ox, oy, ow, oh;
    OuterBounds(&ox, &oy, &ow, &oh);
    window_->position(x + (window_->x() - ox), y + (window_->y() - oy));
  }
  void SetModal(bool modal) override {
    if (modal) window_->set_modal();
    else window_->set_non_modal();
  }
  void Focus(TControl* control) override { window_->FocusControl(control); }
  void CaptionChanged() override {
    window_->title_utf8 = form_.Caption();
    window_->label(window_->title_utf8.c_str());
  }

 private:
  FormWindow* window_;
  TForm& form_;
};

class FltkTimerPeer : public TimerPeer {
 public:
  explicit FltkTimerPeer(TTimer& t) : timer_(t) { Changed(); }
  ~FltkTimerPeer() override { Fl::remove_timeout(Fire, this); }
  void Changed() override {
    Fl::remove_timeout(Fire, this);
    if (timer_.Enabled() && timer_.Interval() > 0) Fl::add_timeout(timer_.Interval() / 1000.0, Fire, this);
  }

 private:
  static void Fire(void* d) {
    auto* self = static_cast<FltkTimerPeer*>(d);
    // Ticks do not queue up: the next one is counted from now.
    Fl::add_timeout(self->timer_.Interval() / 1000.0, Fire, self);
    self->timer_.Tick();
  }
  TTimer& timer_;
};

}  // namespace

FltkToolkit::FltkToolkit() {
  Fl::lock();  // before any thread wakes the loop
  Fl::visual(FL_DOUBLE | FL_RGB);
  Fl::event_dispatch(Dispatch);
  Fl::scrollbar_size(S(17));
  Fl_Tooltip::disable();  // hints are the application's own
  platform::SetWakeMainThread([] { Fl::awake(ServeHandOvers, nullptr); });
  fl_message_title_default("Talvik");
  SetToolkit(this);
}

FltkToolkit::~FltkToolkit() {
  platform::SetWakeMainThread(nullptr);
  Fl::event_dispatch(nullptr);
  if (CurrentToolkit() == this) SetToolkit(nullptr);
}

std::unique_ptr<FormPeer> FltkToolkit::CreateFormPeer(TForm& form) { return std::make_unique<FltkFormPeer>(form); }

std::unique_ptr<TimerPeer> FltkToolkit::CreateTimerPeer(TTimer& timer) { return std::make_unique<FltkTimerPeer>(timer); }

void FltkToolkit::SetIcon(const unsigned char* png, std::size_t size) {
  Fl_PNG_Image icon(nullptr, png, static_cast<int>(size));
  if (icon.w() > 0) Fl_Window::default_icon(&icon);
}

void FltkToolkit::WaitAndDispatch() { Fl::wait(); }

void FltkToolkit::DispatchPending() { Fl::check(); }

void FltkToolkit::CancelMouseCapture() { Fl::pushed(nullptr); }

std::string FltkToolkit::ExecutablePath() { return platform::DefaultSystemServices().ExeName(); }

}  // namespace ui::fltk
