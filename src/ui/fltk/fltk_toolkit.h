// The FLTK toolkit: real windows for forms and controls, timers, message boxes, hints.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "ui/toolkit.h"

namespace ui::fltk {

class FltkToolkit : public Toolkit {
 public:
  // Sets FLTK up for several threads (the hand-over wake-up) and installs itself as the
  // current toolkit.
  FltkToolkit();
  ~FltkToolkit() override;

  std::unique_ptr<FormPeer> CreateFormPeer(TForm& form) override;
  std::unique_ptr<TimerPeer> CreateTimerPeer(TTimer& timer) override;
  void WaitAndDispatch() override;
  void DispatchPending() override;
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  void CancelMouseCapture() override;
  std::string ExecutablePath() override;
  void SetHintTimes(int pause_ms, int hide_pause_ms) override;

  // The program's icon for every window, from PNG data.
  void SetIcon(const unsigned char* png, std::size_t size);

  // Layout pixels to screen pixels (96 pixels per inch is 1).
  static double Scale();
};

}  // namespace ui::fltk
