// What the control layer asks of a user-interface toolkit. One implementation per toolkit
// (FLTK now); without one the controls run headless, holding their state only.
#pragma once

#include <memory>
#include <string>

namespace ui {

class TForm;
class TTimer;
class TimerPeer;

// The form's real window: mirrors the form and its controls.
class FormPeer {
 public:
  virtual ~FormPeer() = default;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual bool Shown() const = 0;
  // Outer bounds of the window on the screen, frame included.
  virtual void OuterBounds(int* x, int* y, int* w, int* h) const = 0;
  virtual void MoveTo(int x, int y) = 0;
  virtual void SetModal(bool modal) = 0;
  virtual void Focus(class TControl* control) = 0;
  virtual void CaptionChanged() = 0;
};

// Message box flags (the Windows values).
constexpr unsigned MB_OK = 0x00;
constexpr unsigned MB_ICONSTOP = 0x10;
constexpr int IDOK = 1;

class Toolkit {
 public:
  virtual ~Toolkit() = default;
  virtual std::unique_ptr<FormPeer> CreateFormPeer(TForm& form) = 0;
  virtual std::unique_ptr<TimerPeer> CreateTimerPeer(TTimer& timer) = 0;
  // Waits for something to happen (an event, a timer, a wake-up) and dispatches it.
  virtual void WaitAndDispatch() = 0;
  // Dispatches what is pending without waiting.
  virtual void DispatchPending() = 0;
  // A modal message box centred on the screen; returns the button pressed.
  virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
  virtual void CancelMouseCapture() = 0;
  virtual std::string ExecutablePath() = 0;
  virtual void SetHintTimes(int pause_ms, int hide_pause_ms) = 0;
};

// The toolkit in use (nullptr: headless).
Toolkit* CurrentToolkit();
void SetToolkit(Toolkit* toolkit);

}  // namespace ui
