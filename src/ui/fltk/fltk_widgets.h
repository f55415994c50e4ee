// FLTK peers of the controls (internal to the FLTK toolkit).
#pragma once

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Image.H>
#include <FL/Fl_Scroll.H>
#include <FL/Fl_Widget.H>

#include <map>
#include <memory>
#include <string>

#include "ui/controls.h"
#include "ui/forms.h"

namespace ui::fltk {

int S(int v);                        // layout pixels to screen pixels
Fl_Color ToFl(TColor c);
Fl_Font FontFace(const TFont& f);    // the closest available face of the same kind
int FontSize(const TFont& f);        // pixel size on screen
void DrawText(const std::string& text, int x, int y, const TFont& f, Fl_Color color, std::size_t underline_at = std::string::npos);
void TextSize(const std::string& text, const TFont& f, int* w, int* h);

class FormWindow;

// The control a widget stands for (nullptr for the toolkit's own widgets).
TControl* ControlOf(Fl_Widget* w);
// The widget that stands for a control (nullptr when it has none).
Fl_Widget* WidgetOf(const TControl* c);

// Base of every control's peer.
class WidgetPeer : public ControlPeer {
 public:
  WidgetPeer(TControl& control, FormWindow& window) : control_(control), window_(window) {}
  ~WidgetPeer() override;
  void Changed(Prop what) override;
  Fl_Widget* widget() const { return widget_; }
  TControl& control() const { return control_; }
  // Where this control's children are placed from (screen coordinates in the window).
  virtual void ChildOrigin(int* x, int* y) const;
  void Place();
  void ApplyAll();

 protected:
  virtual void Apply(Prop what);
  void Attach(Fl_Widget* w);
  TControl& control_;
  FormWindow& window_;
  Fl_Widget* widget_ = nullptr;
};

class FormWindow : public Fl_Double_Window {
 public:
  explicit FormWindow(TForm& form);
  ~FormWindow() override;
  int handle(int event) override;
  TForm& form() const { return form_; }
  Fl_Group* content() const { return content_; }
  void ContentOrigin(int* x, int* y) const;
  // Builds the peers of every control of the form.
  void BuildPeers();
  WidgetPeer* PeerOf(TControl* c) const;
  bool TabKey(bool backwards);
  bool AltKey(char32_t letter);
  void FocusControl(TControl* c);
  // Shows or removes the scroll bars as the form's controls require.
  void UpdateScrollBars();
  std::string title_utf8;

 private:
  void BuildChildren(TWinControl* parent, Fl_Group* group);
  TForm& form_;
  Fl_Group* content_ = nullptr;
  std::map<TControl*, WidgetPeer*> peers_;
};

}  // namespace ui::fltk
