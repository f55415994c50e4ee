// The controls' FLTK widgets.
#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_JPEG_Image.H>
#include <FL/Fl_Menu_Window.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Editor.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>

#include <cmath>
#include <unordered_map>

#include "ui/fltk/fltk_toolkit.h"
#include "ui/fltk/fltk_widgets.h"
#include "ui/text.h"

namespace ui::fltk {

namespace {
std::unordered_map<Fl_Widget*, TControl*> g_controls;

void Frame3D(int x, int y, int w, int h, Fl_Color top, Fl_Color bottom, int width) {
  for (int i = 0; i < width; ++i) {
    fl_color(top);
    fl_xyline(x + i, y + i, x + w - 1 - i);
    fl_yxline(x + i, y + i, y + h - 1 - i);
    fl_color(bottom);
    fl_xyline(x + i, y + h - 1 - i, x + w - 1 - i);
    fl_yxline(x + w - 1 - i, y + i, y + h - 1 - i);
  }
}

void Sunken(int x, int y, int w, int h) {
  Frame3D(x, y, w, h, ToFl(clBtnShadow), FL_WHITE, 1);
  Frame3D(x + 1, y + 1, w - 2, h - 2, fl_rgb_color(0x69, 0x69, 0x69), fl_rgb_color(0xE3, 0xE3, 0xE3), 1);
}

void FocusRect(int x, int y, int w, int h) {
  fl_color(FL_BLACK);
  fl_line_style(FL_DOT);
  fl_rect(x, y, w, h);
  fl_line_style(0);
}

Fl_Color TextColor(const TControl& c) { return c.EnabledInTree() ? ToFl(c.Font().Color) : ToFl(clGrayText); }

std::unique_ptr<Fl_RGB_Image> ToImage(const RgbaImage& img) {
  if (img.width <= 0) return nullptr;
  auto* copy = new unsigned char[img.rgba.size()];
  std::copy(img.rgba.begin(), img.rgba.end(), copy);
  auto im = std::make_unique<Fl_RGB_Image>(copy, img.width, img.height, 4);
  im->alloc_array = 1;
  if (FltkToolkit::Scale() != 1.0) {
    auto* scaled = static_cast<Fl_RGB_Image*>(im->copy(S(img.width), S(img.height)));
    return std::unique_ptr<Fl_RGB_Image>(scaled);
  }
  return im;
}

// ---- containers

class PanelWidget : public Fl_Group {
 public:
  PanelWidget(TControl& c) : Fl_Group(0, 0, 1, 1), c_(c) {
    end();
    resizable(nullptr);
    box(FL_NO_BOX);
  }
  void draw() override {
    int x0 = x(), y0 = y(), w0 = w(), h0 = h();
    fl_color(ToFl(c_.Color()));
    fl_rectf(x0, y0, w0, h0);
    if (auto* p = dynamic_cast<TPanel*>(&c_)) {
      if (p->BorderStyle == TBorderStyle::bsSingle) {
        fl_color(fl_rgb_color(0x64, 0x64, 0x64));
        fl_rect(x0, y0, w0, h0);
        x0 += 1; y0 += 1; w0 -= 2; h0 -= 2;
      }
      auto bevel = [&](TBevelCut cut) {
        if (cut == TBevelCut::bvNone) return;
        Fl_Color top = cut == TBevelCut::bvLowered ? ToFl(clBtnShadow) : FL_WHITE;
        Fl_Color bottom = cut == TBevelCut::bvLowered ? FL_WHITE : ToFl(clBtnShadow);
        int bw = S(p->BevelWidth);
        Frame3D(x0, y0, w0, h0, top, bottom, bw);
        x0 += bw; y0 += bw; w0 -= 2 * bw; h0 -= 2 * bw;
      };
      bevel(p->BevelOuter);
      int bw = S(p->BorderWidth);
      x0 += bw; y0 += bw; w0 -= 2 * bw; h0 -= 2 * bw;
      bevel(p->BevelInner);
    } else if (!c_.Caption().empty()) {  // group box
      int tw, th;
      TextSize(c_.Caption(), c_.Font(), &tw, &th);
      int fy = y0 + th / 2;
      fl_color(ToFl(clBtnShadow));
      fl_rect(x0, fy, w0 - 1, h0 - (fy - y0) - 1);
      fl_color(FL_WHITE);
      fl_rect(x0 + 1, fy + 1, w0 - 1, h0 - (fy - y0) - 1);
      fl_color(ToFl(c_.Color()));
      fl_rectf(x0 + S(8) - 1, y0, tw + 2, th);
      DrawText(c_.Caption(), x0 + S(8), y0, c_.Font(), TextColor(c_));
    }
    fl_push_clip(x(), y(), w(), h());
    draw_children();
    fl_pop_clip();
  }

 private:
  TControl& c_;
};

// ---- label and image (drawn on the parent; they take clicks too)

class ClickWidget : public Fl_Widget {
 public:
  ClickWidget(TControl& c) : Fl_Widget(0, 0, 1, 1), c_(c) {}
  int handle(int e) override {
    if (!c_.EnabledInTree()) return 0;
    switch (e) {
      case FL_PUSH:
        if (Fl::event_button() != FL_LEFT_MOUSE) return 0;
        if (Fl::event_clicks()) RunUserEvent([this] { c_.DblClick(); }, &c_);
        return 1;
      case FL_RELEASE:
        if (Fl::event_inside(this) && Fl::event_button() == FL_LEFT_MOUSE)
          RunUserEvent([this] { c_.Click(); }, &c_);
        return 1;
      default: return Fl_Widget::handle(e);
    }
  }

 protected:
  TControl& c_;
};

class LabelWidget : public ClickWidget {
 public:
  using ClickWidget::ClickWidget;
  void draw() override {
    auto& l = static_cast<TLabel&>(c_);
    if (!l.Transparent) {
      fl_color(ToFl(c_.Color()));
      fl_rectf(x(), y(), w(), h());
    }
    Accelerator a = ParseAccelerator(c_.Caption());
    fl_push_clip(x(), y(), w(), h());
    if (!c_.EnabledInTree()) DrawText(a.text, x() + 1, y() + 1, c_.Font(), FL_WHITE);
    DrawText(a.text, x(), y(), c_.Font(), TextColor(c_), a.offset);
    fl_pop_clip();
  }
};

class ImageWidget : public ClickWidget {
 public:
  using ClickWidget::ClickWidget;
  void Reload() {
    auto& img = static_cast<TImage&>(c_);
    image_.reset();
    const TPicture& p = img.Picture();
    if (p.kind() == TPicture::Kind::Jpeg) {
      Fl_JPEG_Image jpeg(nullptr, p.Data().data());
      if (jpeg.w() > 0 && jpeg.h() > 0) {
        int dw = jpeg.w(), dh = jpeg.h();
        if (img.Proportional) FitProportional(jpeg.w(), jpeg.h(), img.Width(), img.Height(), &dw, &dh);
        image_.reset(jpeg.copy(S(dw), S(dh)));
      }
    } else if (p.kind() == TPicture::Kind::Bitmap) {
      image_ = ToImage(ToRgba(p, img.Transparent()));
    }
    redraw();
  }
  void draw() override {
    if (!image_) return;
    fl_push_clip(x(), y(), w(), h());
    image_->draw(x(), y());
    fl_pop_clip();
  }

 private:
  std::unique_ptr<Fl_Image> image_;
};

// ---- buttons

class ButtonWidget : public Fl_Button {
 public:
  ButtonWidget(TControl& c) : Fl_Button(0, 0, 1, 1), c_(c) {
    callback([](Fl_Widget*, void* d) {
      auto* self = static_cast<ButtonWidget*>(d);
      RunUserEvent([self] { self->c_.Click(); }, &self->c_);
    }, this);
    visible_focus(1);
  }
  void Reload() {
    if (auto* b = dynamic_cast<TBitBtn*>(&c_)) {
      GlyphImages g = MakeGlyphImages(b->Glyph(), b->NumGlyphs());
      enabled_ = ToImage(g.enabled);
      disabled_ = ToImage(g.disabled);
    }
    redraw();
  }
  int handle(int e) override {
    if (e == FL_KEYBOARD && Fl::focus() == this && (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
      do_callback();
      return 1;
    }
    return Fl_Button::handle(e);
  }
  void draw() override {
    bool down = value() != 0;
    bool focused = Fl::focus() == this;
    fl_color(ToFl(clBtnFace));
    fl_rectf(x(), y(), w(), h());
    int x0 = x(), y0 = y(), w0 = w(), h0 = h();
    if (focused) {
      fl_color(FL_BLACK);
      fl_rect(x0, y0, w0, h0);
      x0++; y0++; w0 -= 2; h0 -= 2;
    }
    if (down) {
      Frame3D(x0, y0, w0, h0, ToFl(clBtnShadow), ToFl(clBtnShadow), 1);
    } else {
      Frame3D(x0, y0, w0, h0, FL_WHITE, FL_BLACK, 1);
      Frame3D(x0 + 1, y0 + 1, w0 - 2, h0 - 2, ToFl(clBtnFace), ToFl(clBtnShadow), 1);
    }
    Accelerator a = ParseAccelerator(c_.Caption());
    int tw, th;
    TextSize(a.text, c_.Font(), &tw, &th);
    bool active = c_.EnabledInTree();
    Fl_RGB_Image* glyph = active ? enabled_.get() : disabled_.get();
    int gw = glyph ? glyph->w() : 0, gh = glyph ? glyph->h() : 0;
    int spacing = glyph && !a.text.empty() ? S(static_cast<TBitBtn&>(c_).Spacing) : 0;
    int total = gw + spacing + tw;
    int off = down ? 1 : 0;
    int gx = x() + (w() - total) / 2 + off;
    if (glyph) glyph->draw(gx, y() + (h() - gh) / 2 + off);
    int tx = gx + gw + spacing, ty = y() + (h() - th) / 2 + off;
    if (!active) DrawText(a.text, tx + 1, ty + 1, c_.Font(), FL_WHITE, a.offset);
    DrawText(a.text, tx, ty, c_.Font(), active ? ToFl(c_.Font().Color) : ToFl(clBtnShadow), a.offset);
    if (focused) FocusRect(x() + 4, y() + 4, w() - 8, h() - 8);
  }

 private:
  TControl& c_;
  std::unique_ptr<Fl_RGB_Image> enabled_, disabled_;
};

class CheckWidget : public Fl_Widget {
 public:
  CheckWidget(TControl& c) : Fl_Widget(0, 0, 1, 1), c_(c) { visible_focus(1); }
  int handle(int e) override {
    switch (e) {
      case FL_PUSH:
        if (Fl::event_button() != FL_LEFT_MOUSE) return 0;
        if (Fl::visible_focus()) take_focus();
        return 1;
      case FL_RELEASE:
        if (Fl::event_inside(this)) Toggle();
        return 1;
      case FL_FOCUS:
      case FL_UNFOCUS: redraw(); return 1;
      case FL_KEYBOARD:
        if (Fl::focus() == this && Fl::event_key() == ' ') {
          Toggle();
          return 1;
        }
        return 0;
      default: return Fl_Widget::handle(e);
    }
  }
  void Toggle() {
    RunUserEvent([this] { c_.Click(); }, &c_);
    redraw();
  }
  void draw() override {
    auto& box = static_cast<TCheckBox&>(c_);
    fl_color(ToFl(c_.Color()));
    fl_rectf(x(), y(), w(), h());
    int b = S(13);
    int bx = x(), by = y() + (h() - b) / 2;
    fl_color(c_.EnabledInTree() ? FL_WHITE : ToFl(clBtnFace));
    fl_rectf(bx, by, b, b);
    Sunken(bx, by, b, b);
    if (box.Checked()) {
      fl_color(c_.EnabledInTree() ? FL_BLACK : ToFl(clGrayText));
      for (int i = 0; i < 3; ++i) {
        fl_line(bx + S(3), by + S(5) + i, bx + S(5), by + S(7) + i);
        fl_line(bx + S(5), by + S(7) + i, bx + S(9), by + S(3) + i);
      }
    }
    Accelerator a = ParseAccelerator(c_.Caption());
    int tw, th;
    TextSize(a.text, c_.Font(), &tw, &th);
    int tx = bx + b + S(4), ty = y() + (h() - th) / 2;
    if (!c_.EnabledInTree()) DrawText(a.text, tx + 1, ty + 1, c_.Font(), FL_WHITE, a.offset);
    DrawText(a.text, tx, ty, c_.Font(), c_.EnabledInTree() ? ToFl(c_.Font().Color) : ToFl(clBtnShadow), a.offset);
    if (Fl::focus() == this) FocusRect(tx - 1, ty, tw + 2, th);
  }

 private:
  TControl& c_;
};

// ---- the pick-only drop-down list

class ComboWidget : public Fl_Widget {
 public:
  ComboWidget(TControl& c) : Fl_Widget(0, 0, 1, 1), c_(c) { visible_focus(1); }
  TComboBox& combo() const { return static_cast<TComboBox&>(c_); }
  int handle(int e) override {
    switch (e) {
      case FL_PUSH:
        if (Fl::visible_focus()) take_focus();
        DropDown();
        return 1;
      case FL_FOCUS:
      case FL_UNFOCUS: redraw(); return 1;
      case FL_KEYBOARD: {
        if (Fl::focus() != this) return 0;
        int k = Fl::event_key();
        int n = static_cast<int>(combo().Items().size());
        int i = combo().ItemIndex();
        if ((k == FL_Down && Fl::event_alt()) || k == FL_F + 4) {
          DropDown();
          return 1;
        }
        int to = i;
        if (k == FL_Down || k == FL_Right) to = std::min(n - 1, i + 1);
        else if (k == FL_Up || k == FL_Left) to = std::max(0, i - 1);
        else if (k == FL_Home) to = 0;
        else if (k == FL_End) to = n - 1;
        else return 0;
        if (to != i && to >= 0) Pick(to);
        return 1;
      }
      default: return Fl_Widget::handle(e);
    }
  }
  void Pick(int index) {
    RunUserEvent([this, index] { combo().UserSelect(index); }, &c_);
    redraw();
  }
  void DropDown();
  void draw() override {
    bool active = c_.EnabledInTree();
    fl_color(active ? ToFl(c_.Color()) : ToFl(clBtnFace));
    fl_rectf(x(), y(), w(), h());
    Sunken(x(), y(), w(), h());
    int bw = S(17) - 2;
    int bx = x() + w() - 2 - bw, by = y() + 2, bh = h() - 4;
    fl_color(ToFl(clBtnFace));
    fl_rectf(bx, by, bw, bh);
    Frame3D(bx, by, bw, bh, FL_WHITE, FL_BLACK, 1);
    fl_color(active ? FL_BLACK : ToFl(clGrayText));
    int cx = bx + bw / 2, cy = by + bh / 2;
    fl_polygon(cx - S(3), cy - S(1), cx + S(4), cy - S(1), cx, cy + S(3));
    std::string t = combo().Text();
    int tw, th;
    TextSize(t, c_.Font(), &tw, &th);
    int tx = x() + S(4), ty = y() + (h() - th) / 2;
    bool focused = Fl::focus() == this;
    if (focused) {
      fl_color(FL_SELECTION_COLOR);
      fl_rectf(x() + 3, y() + 3, bx - x() - 4, h() - 6);
      FocusRect(x() + 3, y() + 3, bx - x() - 4, h() - 6);
    }
    fl_push_clip(x() + 2, y() + 2, bx - x() - 2, h() - 4);
    DrawText(t, tx, ty, c_.Font(), focused ? FL_WHITE : (active ? ToFl(c_.Font().Color) : ToFl(clGrayText)));
    fl_pop_clip();
  }

 private:
  TControl& c_;
};

class DropWindow : public Fl_Menu_Window {
 public:
  DropWindow(int x, int y, int w, int h) : Fl_Menu_Window(x, y, w, h) {
    set_override();
    clear_border();
  }
  int handle(int e) override {
    if (e == FL_PUSH && (Fl::event_x() < 0 || Fl::event_y() < 0 || Fl::event_x() >= w() || Fl::event_y() >= h())) {
      hide();
      return 1;
    }
    if (e == FL_KEYBOARD && Fl::event_key() == FL_Escape) {
      hide();
      return 1;
    }
    if (e == FL_KEYBOARD && (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
      chosen = browser->value() - 1;
      hide();
      return 1;
    }
    return Fl_Menu_Window::handle(e);
  }
  Fl_Hold_Browser* browser = nullptr;
  int chosen = -1;
};

void ComboWidget::DropDown() {
  auto& cb = combo();
  int n = static_cast<int>(cb.Items().size());
  if (n == 0) return;
  int rows = std::min(n, std::max(1, cb.DropDownCount));
  int row_h = S(cb.ItemHeight) + 2;
  int h = rows * row_h + 4;
  Fl_Window* top = window();
  int rx = top->x_root() + x(), ry = top->y_root() + y() + this->h();
  auto* drop = new DropWindow(rx, ry, w(), h);
  drop->begin();
  auto* br = new Fl_Hold_Browser(0, 0, w(), h);
  br->format_char(0);
  br->textfont(FontFace(c_.Font()));
  br->textsize(FontSize(c_.Font()));
  br->box(FL_BORDER_BOX);
  br->has_scrollbar(n > rows ? Fl_Browser_::VERTICAL_ALWAYS : 0);
  for (const auto& item : cb.Items()) br->add(item.c_str());
  if (cb.ItemIndex() >= 0) {
    br->value(cb.ItemIndex() + 1);
    br->middleline(cb.ItemIndex() + 1);
  }
  br->when(FL_WHEN_RELEASE_ALWAYS);
  br->callback([](Fl_Widget* w, void* d) {
    auto* dw = static_cast<DropWindow*>(d);
    if (Fl::event() == FL_RELEASE) {
      dw->chosen = static_cast<Fl_Hold_Browser*>(w)->value() - 1;
      dw->hide();
    }
  }, drop);
  drop->end();
  drop->browser = br;
  drop->show();
  Fl::grab(drop);
  while (drop->shown()) {
    if (Application) Application->HandleMessage();
    else Fl::wait();
  }
  Fl::grab(nullptr);
  int chosen = drop->chosen;
  delete drop;
  if (chosen >= 0 && chosen != cb.ItemIndex()) Pick(chosen);
  redraw();
}

// ---- memo: raw bytes or UTF-8 text, only CR LF breaks a line

class MemoDisplay : public Fl_Text_Editor {
 public:
  MemoDisplay(TMemo& m) : Fl_Text_Editor(0, 0, 1, 1), m_(m) {}
  int handle(int e) override {
    // A disabled memo keeps its colours but takes no input.
    if (!m_.EnabledInTree() && (e == FL_PUSH || e == FL_DRAG || e == FL_RELEASE || e == FL_KEYBOARD ||
                                e == FL_FOCUS || e == FL_MOUSEWHEEL || e == FL_PASTE || e == FL_SHORTCUT))
      return 0;
    if (e == FL_PUSH && Fl::event_button() == FL_LEFT_MOUSE && Fl::event_clicks() && m_.OnDblClick) {
      int r = Fl_Text_Editor::handle(e);
      RunUserEvent([this] { m_.DblClick(); }, &m_);
      return r;
    }
    if (e == FL_RELEASE && Fl::event_button() == FL_LEFT_MOUSE && m_.OnClick && Fl::event_inside(this)) {
      int r = Fl_Text_Editor::handle(e);
      RunUserEvent([this] { m_.Click(); }, &m_);
      return r;
    }
    if (e == FL_KEYBOARD && Fl::event_key() == FL_Tab && !m_.WantTabs) return 0;
    if ((e == FL_KEYBOARD || e == FL_PASTE) && m_.ReadOnly) {
      // Reading keys only: moving, selecting and copying.
      int k = Fl::event_key();
      bool nav = k == FL_Up || k == FL_Down || k == FL_Left || k == FL_Right || k == FL_Page_Up ||
                 k == FL_Page_Down || k == FL_Home || k == FL_End || (Fl::event_ctrl() && (k == 'c' || k == 'a'));
      if (e == FL_PASTE || !nav) return e == FL_KEYBOARD && Fl::event_length() > 0 ? 1 : 0;
    }
    if ((e == FL_KEYBOARD || e == FL_PASTE) && m_.MaxLength > 0 && !m_.ReadOnly) {
      int k = Fl::event_key();
      bool inserting = e == FL_PASTE || (Fl::event_length() > 0 && !Fl::event_ctrl() && k != FL_BackSpace && k != FL_Delete) ||
                       k == FL_Enter || k == FL_KP_Enter;
      if (inserting) {
        int added = (k == FL_Enter || k == FL_KP_Enter) && e == FL_KEYBOARD ? 2 : CharCount(Fl::event_text());
        int selected = 0;
        if (buffer()->selected()) selected = CharCount(buffer()->selection_text(), true);
        if (CharCount(m_.Text().c_str()) - selected + added > m_.MaxLength) {
          fl_beep();
          return 1;
        }
      }
    }
    return Fl_Text_Editor::handle(e);
  }
  static int CharCount(const char* s, bool free_it = false) {
    int n = 0;
    for (const char* p = s; *p; ++p)
      if ((static_cast<unsigned char>(*p) & 0xC0) != 0x80) n += *p == '\n' ? 2 : 1;
    if (free_it) std::free(const_cast<char*>(s));
    return n;
  }
  int TopLine() const { return mTopLineNum; }

 private:
  TMemo& m_;
};

}  // namespace

TControl* ControlOf(Fl_Widget* w) {
  auto it = g_controls.find(w);
  return it == g_controls.end() ? nullptr : it->second;
}

Fl_Widget* WidgetOf(const TControl* c) {
  for (const auto& [w, control] : g_controls)
    if (control == c) return w;
  return nullptr;
}

// ---- WidgetPeer

WidgetPeer::~WidgetPeer() {
  if (widget_) g_controls.erase(widget_);
}

void WidgetPeer::Attach(Fl_Widget* w) {
  widget_ = w;
  g_controls[w] = &control_;
}

void WidgetPeer::ChildOrigin(int* x, int* y) const {
  *x = widget_->x();
  *y = widget_->y();
  if (auto* p = dynamic_cast<TPanel*>(&control_); p && p->BorderStyle == TBorderStyle::bsSingle) {
    *x += 1;
    *y += 1;
  }
}

void WidgetPeer::Place() {
  int ox, oy;
  TWinControl* parent = control_.Parent();
  WidgetPeer* pp = parent ? window_.PeerOf(parent) : nullptr;
  if (pp) pp->ChildOrigin(&ox, &oy);
  else window_.ContentOrigin(&ox, &oy);
  widget_->resize(ox + S(control_.Left()), oy + S(control_.Top()), S(control_.Width()), S(control_.Height()));
}

void WidgetPeer::ApplyAll() {
  for (Prop p : {Prop::Bounds, Prop::Visible, Prop::Enabled, Prop::Color, Prop::Font, Prop::Caption, Prop::Picture,
                 Prop::Items, Prop::Text, Prop::Options})
    Apply(p);
}

void WidgetPeer::Changed(Prop what) {
  Apply(what);
  if (what == Prop::Visible || what == Prop::Bounds) {
    window_.UpdateScrollBars();
    window_.content()->redraw();
  }
}

void WidgetPeer::Apply(Prop what) {
  switch (what) {
    case Prop::Bounds: Place(); break;
    case Prop::Visible:
      if (control_.Visible()) widget_->show();
      else widget_->hide();
      break;
    case Prop::Enabled:
      if (control_.EnabledInTree()) widget_->activate();
      else widget_->deactivate();
      if (!control_.Enabled()) widget_->clear_active();  // inactive, even where FLTK would not cascade
      widget_->redraw();
      break;
    case Prop::Color:
      widget_->color(ToFl(control_.Color()));
      widget_->redraw();
      break;
    default: widget_->redraw(); break;
  }
}

namespace {

class LabelPeer : public WidgetPeer {
 public:
  LabelPeer(TLabel& c, FormWindow& w) : WidgetPeer(c, w) { Attach(new LabelWidget(c)); }
  void Apply(Prop what) override {
    if (what == Prop::Caption || what == Prop::Font || what == Prop::Bounds) {
      auto& l = static_cast<TLabel&>(control_);
      if (l.AutoSize) {
        Accelerator a = ParseAccelerator(l.Caption());
        int tw, th;
        TextSize(a.text, l.Font(), &tw, &th);
        double s = FltkToolkit::Scale();
        l.SetBoundsFromPeer(l.Left(), l.Top(), static_cast<int>(std::lround(tw / s)), static_cast<int>(std::lround(th / s)));
      }
      Place();
    }
    WidgetPeer::Apply(what);
  }
};

class ImagePeer : public WidgetPeer {
 public:
  ImagePeer(TImage& c, FormWindow& w) : WidgetPeer(c, w) { Attach(new ImageWidget(c)); }
  void Apply(Prop what) override {
    if (what == Prop::Picture) static_cast<ImageWidget*>(widget_)->Reload();
    WidgetPeer::Apply(what);
  }
};

class ButtonPeer : public WidgetPeer {
 public:
  ButtonPeer(TButton& c, FormWindow& w) : WidgetPeer(c, w) { Attach(new ButtonWidget(c)); }
  void Apply(Prop what) override {
    if (what == Prop::Picture) static_cast<ButtonWidget*>(widget_)->Reload();
    WidgetPeer::Apply(what);
  }
};

// A text buffer whose gap grows with its text: appending then costs time in proportion to
// what is appended, however large the text. (A fixed gap makes every gap's worth of appends
// copy the whole text again: quadratic over a long reception.)
class GrowingTextBuffer : public Fl_Text_Buffer {
 public:
  GrowingTextBuffer() : Fl_Text_Buffer(0, 1 << 16) {}
  void AppendText(const std::string& text) {
    mPreferredGapSize = std::max<int>(1 << 16, length() / 8 + static_cast<int>(text.size()));
    append(text.c_str());
  }
};

class MemoPeerImpl : public MemoPeer {
 public:
  MemoPeerImpl(TMemo& m, FormWindow& w) : base_(m, w), m_(m) {
    buffer_ = new GrowingTextBuffer;
    display_ = new MemoDisplay(m);
    display_->buffer(buffer_);
    display_->cursor_style(Fl_Text_Display::SIMPLE_CURSOR);
    if (!m.ReadOnly && !m.RawBytes)
      buffer_->add_modify_callback([](int, int, int, int, const char*, void* d) {
        auto* self = static_cast<MemoPeerImpl*>(d);
        if (self->loading_) return;
        char* t = self->buffer_->text();
        std::string s;
        for (const char* p = t; *p; ++p) {
          if (*p == '\n') s += '\r';
          s += *p;
        }
        std::free(t);
        self->m_.SetTextFromPeer(std::move(s));
      }, this);
    base_.Bind(display_);
  }
  ~MemoPeerImpl() override {
    Fl::remove_timeout(ShowPending, this);
    // The display is deleted with the window; the buffer is ours.
    delete buffer_;
  }
  Fl_Widget* widget() const { return display_; }
  WidgetPeer& base() { return base_; }

  void Changed(Prop what) override {
    switch (what) {
      case Prop::Text: Reload(); break;
      case Prop::Font:
      case Prop::Color:
      case Prop::Options:
      case Prop::Bounds: Style(); break;
      case Prop::Enabled:
        // Drawn with its own background either way; only the text greys.
        Style();
        if (!m_.EnabledInTree() && Fl::focus() == display_) Fl::focus(nullptr);
        return;
      default: break;
    }
    base_.Changed(what);
  }
  // Appended bytes reach the display at most every 30 ms: a fast line delivers thousands of
  // chunks a second, and drawing the pane for each would cost more than receiving them. The
  // control's own bytes are always complete; only the picture lags.
  void Appended(std::size_t from) override {
    pending_ += Convert(std::string_view(m_.Text()).substr(from));
    if (!show_scheduled_) {
      show_scheduled_ = true;
      Fl::add_timeout(0.03, ShowPending, this);
    }
  }
  void ScrollToEnd() override {
    if (show_scheduled_) {
      scroll_pending_ = true;
      return;
    }
    display_->insert_position(buffer_->length());
    display_->show_insert_position();
  }
  static void ShowPending(void* data) {
    auto* self = static_cast<MemoPeerImpl*>(data);
    self->show_scheduled_ = false;
    if (!self->pending_.empty()) self->buffer_->AppendText(self->pending_);
    self->pending_.clear();
    if (self->scroll_pending_) {
      self->scroll_pending_ = false;
      self->ScrollToEnd();
    }
  }
  void ScrollLines(int lines) override { display_->scroll(display_->TopLine() + lines, 0); }

  void Reload() {
    Fl::remove_timeout(ShowPending, this);
    show_scheduled_ = scroll_pending_ = false;
    pending_.clear();
    pending_cr_ = false;
    loading_ = true;
    buffer_->text(Convert(m_.Text()).c_str());
    loading_ = false;
    display_->insert_position(0);
    display_->scroll(1, 0);
  }
  void Style() {
    const TFont& f = m_.Font();
    display_->textfont(FontFace(f));
    display_->textsize(FontSize(f));
    display_->textcolor(m_.EnabledInTree() ? ToFl(f.Color) : ToFl(clGrayText));
    display_->color(ToFl(m_.Color()), FL_SELECTION_COLOR);
    display_->box(m_.BorderStyle == TBorderStyle::bsNone ? FL_FLAT_BOX : FL_DOWN_BOX);
    int sb = m_.ScrollBars == TScrollStyle::ssNone ? 0 : S(17);
    display_->scrollbar_width(sb);
    display_->scrollbar_align(sb ? FL_ALIGN_RIGHT : FL_ALIGN_RIGHT);
    if (m_.WordWrap) display_->wrap_mode(Fl_Text_Display::WRAP_AT_PIXEL, std::max(10, display_->w() - sb - S(8)));
    else display_->wrap_mode(Fl_Text_Display::WRAP_NONE, 0);
    display_->cursor_color(m_.ReadOnly ? ToFl(m_.Color()) : ToFl(f.Color));
    display_->redraw();
  }

 private:
  class Base : public WidgetPeer {
   public:
    using WidgetPeer::WidgetPeer;
    void Bind(Fl_Widget* w) { Attach(w); }
  };
  // Bytes as displayed: CR LF becomes a line break; a lone CR or LF and other control
  // bytes but TAB show nothing. A CR at the very end waits for the next chunk.
  std::string Convert(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + 16);
    std::size_t i = 0;
    if (pending_cr_ && !bytes.empty()) {
      pending_cr_ = false;
      if (bytes[0] == '\n') {
        out += '\n';
        i = 1;
      }
    }
    for (; i < bytes.size(); ++i) {
      auto b = static_cast<unsigned char>(bytes[i]);
      if (b == '\r') {
        if (i + 1 < bytes.size() && bytes[i + 1] == '\n') {
          out += '\n';
          ++i;
        } else if (i + 1 == bytes.size()) {
          pending_cr_ = true;
        }
        continue;
      }
      if (b < 0x20 && b != '\t') continue;
      if (m_.RawBytes) out += Cp1251ToUtf8(b);
      else out += static_cast<char>(b);
    }
    return out;
  }

  Base base_;
  TMemo& m_;
  GrowingTextBuffer* buffer_ = nullptr;
  MemoDisplay* display_ = nullptr;
  bool pending_cr_ = false;
  std::string pending_;  // converted text not yet in the display
  bool show_scheduled_ = false;
  bool scroll_pending_ = false;
  bool loading_ = false;
};

class EditPeer : public WidgetPeer {
 public:
  EditPeer(TEdit& c, FormWindow& w) : WidgetPeer(c, w) {
    auto* in = new Fl_Input(0, 0, 1, 1);
    in->when(FL_WHEN_CHANGED);
    in->callback([](Fl_Widget* w, void* d) {
      auto* c = static_cast<TEdit*>(d);
      c->SetBoundsFromPeer(c->Left(), c->Top(), c->Width(), c->Height());
      static_cast<TControl*>(c)->SetCaption(static_cast<Fl_Input*>(w)->value());
    }, &c);
    Attach(in);
  }
  void Apply(Prop what) override {
    auto* in = static_cast<Fl_Input*>(widget_);
    if (what == Prop::Caption && control_.Caption() != in->value()) in->value(control_.Caption().c_str());
    if (what == Prop::Font) {
      in->textfont(FontFace(control_.Font()));
      in->textsize(FontSize(control_.Font()));
      in->textcolor(ToFl(control_.Font().Color));
    }
    WidgetPeer::Apply(what);
  }
};

class SimplePeer : public WidgetPeer {
 public:
  SimplePeer(TControl& c, FormWindow& w, Fl_Widget* widget) : WidgetPeer(c, w) { Attach(widget); }
};

}  // namespace

// ---- FormWindow

void TrackPointer(FormWindow* win, int event);

FormWindow::FormWindow(TForm& form) : Fl_Double_Window(S(form.ClientWidth()), S(form.ClientHeight())), form_(form) {
  title_utf8 = form.Caption();
  label(title_utf8.c_str());
  color(ToFl(form.Color()));
  resizable(nullptr);
  if (form.AutoScroll) {
    auto* scroll = new Fl_Scroll(0, 0, w(), h());
    scroll->scrollbar_size(S(17));
    scroll->type(Fl_Scroll::BOTH);
    content_ = scroll;
  } else {
    content_ = new Fl_Group(0, 0, w(), h());
  }
  content_->box(FL_FLAT_BOX);
  content_->color(ToFl(form.Color()));
  content_->resizable(nullptr);
  content_->end();
  end();
  size_range(w(), h(), w(), h());  // a fixed frame: no resizing, no maximising
  callback([](Fl_Widget* w, void*) {
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;  // Escape closes nothing
    auto* fw = static_cast<FormWindow*>(w);
    RunUserEvent([fw] { fw->form().Close(); }, &fw->form());
  });
}

FormWindow::~FormWindow() {
  for (auto& [c, p] : peers_) (void)c, (void)p;
}

void FormWindow::ContentOrigin(int* x, int* y) const {
  *x = content_->x();
  *y = content_->y();
  if (auto* scroll = dynamic_cast<Fl_Scroll*>(content_)) {
    *x -= scroll->xposition();
    *y -= scroll->yposition();
  }
}

WidgetPeer* FormWindow::PeerOf(TControl* c) const {
  auto it = peers_.find(c);
  return it == peers_.end() ? nullptr : it->second;
}

void FormWindow::BuildPeers() {
  content_->begin();
  BuildChildren(&form_, content_);
  content_->end();
  UpdateScrollBars();
}

void FormWindow::UpdateScrollBars() {
  auto* scroll = dynamic_cast<Fl_Scroll*>(content_);
  if (!scroll) return;
  if (form_.ScrollBarsNeeded()) {
    scroll->type(Fl_Scroll::BOTH);
  } else {
    if (scroll->xposition() || scroll->yposition()) scroll->scroll_to(0, 0);
    scroll->type(0);
  }
  scroll->redraw();
}

void FormWindow::BuildChildren(TWinControl* parent, Fl_Group* group) {
  // Labels and images are drawn on their parent, below every windowed sibling.
  std::vector<TControl*> order;
  for (TControl* c : parent->Controls())
    if (!c->Windowed()) order.push_back(c);
  for (TControl* c : parent->Controls())
    if (c->Windowed()) order.push_back(c);
  for (TControl* c : order) {
    group->begin();
    std::unique_ptr<ControlPeer> peer;
    WidgetPeer* wp = nullptr;
    switch (c->Kind()) {
      case ControlKind::Label: {
        auto p = std::make_unique<LabelPeer>(static_cast<TLabel&>(*c), *this);
        wp = p.get();
        peer = std::move(p);
        break;
      }
      case ControlKind::Image: {
        auto p = std::make_unique<ImagePeer>(static_cast<TImage&>(*c), *this);
        wp = p.get();
        peer = std::move(p);
        break;
      }
      case ControlKind::Button:
      case ControlKind::BitBtn: {
        auto p = std::make_unique<ButtonPeer>(static_cast<TButton&>(*c), *this);
        wp = p.get();
        peer = std::move(p);
        break;
      }
      case ControlKind::CheckBox: {
        auto p = std::make_unique<SimplePeer>(*c, *this, new CheckWidget(*c));
        wp = p.get();
        peer = std::move(p);
        break;
      }
      case ControlKind::ComboBox: {
        auto p = std::make_unique<SimplePeer>(*c, *this, new ComboWidget(*c));
        wp = p.get();
        peer = std::move(p);
        break;
      }
      case ControlKind::Edit: {
        auto p = std::make_unique<EditPeer>(static_cast<TEdit&>(*c), *this);
        wp = p.get();
        peer = std::move(p);
        break;
      }
      case ControlKind::Memo: {
        auto p = std::make_unique<MemoPeerImpl>(static_cast<TMemo&>(*c), *this);
        wp = &p->base();
        peer = std::move(p);
        break;
      }
      case ControlKind::Panel:
      case ControlKind::GroupBox: {
        auto p = std::make_unique<SimplePeer>(*c, *this, new PanelWidget(*c));
        wp = p.get();
        peer = std::move(p);
        break;
      }
    }
    group->end();
    peers_[c] = wp;
    auto* raw = peer.get();
    c->SetPeer(std::move(peer));
    wp->ApplyAll();
    if (auto* mp = dynamic_cast<MemoPeerImpl*>(raw)) {
      mp->widget()->activate();
      mp->Style();
      mp->Reload();
    }
    if (auto* w = dynamic_cast<TWinControl*>(c))
      if (auto* g = wp->widget()->as_group(); g && c->Kind() != ControlKind::Memo) BuildChildren(w, g);
  }
}

void FormWindow::FocusControl(TControl* c) {
  if (WidgetPeer* p = PeerOf(c)) p->widget()->take_focus();
}

bool FormWindow::TabKey(bool backwards) {
  std::vector<TControl*> seq = form_.TabSequence();
  if (seq.empty()) return true;
  TControl* current = nullptr;
  for (Fl_Widget* w = Fl::focus(); w && !current; w = w->parent()) current = ControlOf(w);
  if (auto* memo = dynamic_cast<TMemo*>(current); memo && memo->WantTabs && !memo->ReadOnly) return false;
  auto it = std::find(seq.begin(), seq.end(), current);
  std::size_t i;
  if (it == seq.end()) i = backwards ? seq.size() - 1 : 0;
  else {
    std::size_t at = static_cast<std::size_t>(it - seq.begin());
    i = backwards ? (at + seq.size() - 1) % seq.size() : (at + 1) % seq.size();
  }
  FocusControl(seq[i]);
  form_.SetActiveControl(seq[i]);
  return true;
}

bool FormWindow::AltKey(char32_t letter) {
  for (const auto& owned : form_.OwnedControls()) {
    TControl* c = owned.get();
    if (c->Kind() != ControlKind::Button && c->Kind() != ControlKind::BitBtn && c->Kind() != ControlKind::CheckBox)
      continue;
    if (!c->Showing() || !c->EnabledInTree()) continue;
    if (!SameLetter(ParseAccelerator(c->Caption()).letter, letter)) continue;
    FocusControl(c);
    RunUserEvent([c] { c->Click(); }, c);
    if (WidgetPeer* p = PeerOf(c)) p->widget()->redraw();
    return true;
  }
  return false;
}

int FormWindow::handle(int event) {
  TrackPointer(this, event);
  return Fl_Double_Window::handle(event);
}

}  // namespace ui::fltk
