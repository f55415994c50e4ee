// Fonts, colours, text drawing, the density scale, hints, cursors and message boxes.
#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Menu_Window.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <cmath>
#include <cstdlib>
#include <map>
#include <unordered_map>

#include "ui/fltk/fltk_toolkit.h"
#include "ui/fltk/fltk_widgets.h"
#include "ui/text.h"

namespace ui::fltk {

namespace {
double g_scale = 0;

// The density the desktop asks for: the X resource Xft.dpi, which desktops set for their
// scaling; 96 when none is set (the physical size that X servers report is rarely true).
double DesktopDpi() {
  fl_open_display();
  const char* db = XResourceManagerString(fl_display);
  if (!db) return 96;
  std::string s(db);
  auto p = s.find("Xft.dpi:");
  if (p == std::string::npos) return 96;
  double dpi = std::atof(s.c_str() + p + 8);
  return dpi > 30 && dpi < 1000 ? dpi : 96;
}
}  // namespace

double FltkToolkit::Scale() {
  if (g_scale == 0) g_scale = DesktopDpi() / 96.0;
  return g_scale;
}

int S(int v) { return static_cast<int>(std::lround(v * FltkToolkit::Scale())); }

Fl_Color ToFl(TColor c) {
  Rgb rgb = ColorToRgb(c);
  return fl_rgb_color(rgb.r, rgb.g, rgb.b);
}

Fl_Font FontFace(const TFont& f) {
  static std::map<std::pair<FontFamily, unsigned>, Fl_Font> faces;
  static int next = FL_FREE_FONT;
  FontFamily family = FamilyOf(f.Name);
  unsigned style = f.Style & (fsBold | fsItalic);
  auto key = std::make_pair(family, style);
  auto it = faces.find(key);
  if (it != faces.end()) return it->second;
  const char* face = family == FontFamily::Mono ? "Liberation Mono" : family == FontFamily::Serif ? "Liberation Serif" : "Liberation Sans";
  char prefix = style == (fsBold | fsItalic) ? 'P' : style == fsBold ? 'B' : style == fsItalic ? 'I' : ' ';
  auto* name = new std::string(std::string(1, prefix) + face);  // FLTK keeps the pointer
  Fl_Font index = next++;
  Fl::set_font(index, name->c_str());
  faces[key] = index;
  return index;
}

int FontSize(const TFont& f) {
  int h = f.Height < 0 ? -f.Height : (f.Height * 3 / 4 + 1);  // positive: cell height
  if (h == 0) h = 11;
  return std::max(6, S(h));
}

void TextSize(const std::string& text, const TFont& f, int* w, int* h) {
  fl_font(FontFace(f), FontSize(f));
  *w = static_cast<int>(std::lround(fl_width(text.c_str(), static_cast<int>(text.size()))));
  *h = fl_height();
}

void DrawText(const std::string& text, int x, int y, const TFont& f, Fl_Color color, std::size_t underline_at) {
  fl_font(FontFace(f), FontSize(f));
  fl_color(color);
  int base = y + fl_height() - fl_descent();
  fl_draw(text.c_str(), static_cast<int>(text.size()), x, base);
  auto underline = [&](int x0, int x1) { fl_line(x0, base + 1, x1, base + 1); };
  if (f.Style & fsUnderline) underline(x, x + static_cast<int>(fl_width(text.c_str(), static_cast<int>(text.size()))) - 1);
  if (underline_at != std::string::npos && underline_at < text.size()) {
    std::size_t len = 0;
    FirstCodePoint(std::string_view(text).substr(underline_at), &len);
    int x0 = x + static_cast<int>(fl_width(text.c_str(), static_cast<int>(underline_at)));
    int x1 = x0 + static_cast<int>(fl_width(text.c_str() + underline_at, static_cast<int>(len)));
    underline(x0, x1 - 1);
  }
}

// ---- message boxes

namespace {
class StopIcon : public Fl_Widget {
 public:
  StopIcon(int x, int y) : Fl_Widget(x, y, 32, 32) {}
  void draw() override {
    fl_color(fl_rgb_color(0xD0, 0x10, 0x10));
    fl_pie(x(), y(), 32, 32, 0, 360);
    fl_color(FL_WHITE);
    fl_line_style(FL_SOLID, 4);
    fl_line(x() + 10, y() + 10, x() + 22, y() + 22);
    fl_line(x() + 22, y() + 10, x() + 10, y() + 22);
    fl_line_style(0);
  }
};

class MessageText : public Fl_Widget {
 public:
  MessageText(int x, int y, int w, int h, std::vector<std::string> lines, TFont font)
      : Fl_Widget(x, y, w, h), lines_(std::move(lines)), font_(std::move(font)) {}
  void draw() override {
    int line_h = 0, dummy = 0;
    TextSize("Ag", font_, &dummy, &line_h);
    int yy = y();
    for (const auto& l : lines_) {
      DrawText(l, x(), yy, font_, FL_BLACK);
      yy += line_h;
    }
  }

 private:
  std::vector<std::string> lines_;
  TFont font_;
};

class BoxWindow : public Fl_Double_Window {
 public:
  using Fl_Double_Window::Fl_Double_Window;
  int handle(int e) override {
    if (e == FL_KEYBOARD && (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter || Fl::event_key() == ' ' ||
                             Fl::event_key() == FL_Escape)) {
      hide();
      return 1;
    }
    return Fl_Double_Window::handle(e);
  }
};
}  // namespace

int FltkToolkit::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  TFont font;  // the system's message font
  font.Name = "MS Sans Serif";
  font.Height = -11;
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (true) {
    std::size_t p = text.find('\n', start);
    std::string l = text.substr(start, p == std::string::npos ? std::string::npos : p - start);
    if (!l.empty() && l.back() == '\r') l.pop_back();
    lines.push_back(l);
    if (p == std::string::npos) break;
    start = p + 1;
  }
  int text_w = 0, line_h = 0;
  for (const auto& l : lines) {
    int w, h;
    TextSize(l, font, &w, &h);
    text_w = std::max(text_w, w);
    line_h = h;
  }
  bool icon = (flags & MB_ICONSTOP) != 0;
  int pad = S(12);
  int icon_w = icon ? 32 + pad : 0;
  int text_h = line_h * static_cast<int>(lines.size());
  int body_h = std::max(text_h, icon ? 32 : 0);
  int btn_w = S(75), btn_h = S(23);
  int w = std::max(pad * 2 + icon_w + text_w, btn_w + pad * 2);
  w = std::max(w, S(120));
  int h = pad + body_h + pad + btn_h + pad;
  auto* win = new BoxWindow(w, h);
  std::string title = caption;
  win->copy_label(title.c_str());
  win->color(ToFl(clBtnFace));
  win->begin();
  if (icon) new StopIcon(pad, pad);
  new MessageText(pad + icon_w, pad + (body_h - text_h) / 2, text_w + 2, text_h, lines, font);
  auto* ok = new Fl_Button((w - btn_w) / 2, pad + body_h + pad, btn_w, btn_h, "OK");
  ok->labelfont(FontFace(font));
  ok->labelsize(FontSize(font));
  ok->callback([](Fl_Widget* b, void*) { b->window()->hide(); });
  win->end();
  win->set_modal();
  win->position((Fl::w() - w) / 2, (Fl::h() - h) / 2);
  win->show();
  ok->take_focus();
  // The box's own loop keeps serving the program's events, hand-overs included, so other
  // boxes may open on top of it.
  while (win->shown()) {
    if (Application) Application->HandleMessage();
    else Fl::wait();
  }
  delete win;
  return IDOK;
}

// ---- hints

namespace {
class HintWindow : public Fl_Menu_Window {
 public:
  HintWindow() : Fl_Menu_Window(0, 0, 10, 10) {
    set_override();
    end();
    clear_border();
  }
  void Set(const std::string& text) {
    text_ = text;
    TFont f;
    int w, h;
    TextSize(text, f, &w, &h);
    size(w + S(8), h + S(4));
  }
  void draw() override {
    fl_color(ToFl(clInfoBk));
    fl_rectf(0, 0, w(), h());
    fl_color(FL_BLACK);
    fl_rect(0, 0, w(), h());
    TFont f;
    DrawText(text_, S(4), S(2), f, FL_BLACK);
  }

 private:
  std::string text_;
};

struct HintState {
  double pause = 0.5, hide = 2.5;
  bool enabled = true;
  TControl* over = nullptr;
  HintWindow* window = nullptr;
  int x = 0, y = 0;
} g_hint;

void HideHint(void* = nullptr) {
  Fl::remove_timeout(HideHint);
  if (g_hint.window && g_hint.window->shown()) g_hint.window->hide();
}

void ShowHint(void*) {
  if (!g_hint.over || g_hint.over->Hint().empty()) return;
  if (!g_hint.window) g_hint.window = new HintWindow();
  g_hint.window->Set(g_hint.over->Hint());
  g_hint.window->position(g_hint.x, g_hint.y + S(20));
  g_hint.window->show();
  Fl::add_timeout(g_hint.hide, HideHint);
}

Fl_Widget* Deepest(Fl_Group* g, int x, int y) {
  for (int i = g->children() - 1; i >= 0; --i) {
    Fl_Widget* c = g->child(i);
    if (!c->visible()) continue;
    if (x < c->x() || y < c->y() || x >= c->x() + c->w() || y >= c->y() + c->h()) continue;
    if (Fl_Group* sub = c->as_group()) {
      if (Fl_Widget* d = Deepest(sub, x, y)) return d;
    }
    return c;
  }
  return nullptr;
}

// Cursors drawn here where the toolkit has none of the kind.
Fl_RGB_Image* MakeCursor(bool no_drop) {
  static unsigned char px[2][24 * 24 * 4];
  unsigned char* p = px[no_drop ? 1 : 0];
  auto set = [&](int x, int y, unsigned char v) {
    if (x < 0 || y < 0 || x >= 24 || y >= 24) return;
    unsigned char* q = p + (y * 24 + x) * 4;
    q[0] = q[1] = q[2] = v;
    q[3] = 255;
  };
  // the arrow
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x <= y / 1 && x < 8; ++x) set(x, y, (x == 0 || x == y || y == 11) ? 0 : 255);
  if (no_drop) {
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < 24; ++x) {
        double dx = x - 15.5, dy = y - 15.5, r = std::sqrt(dx * dx + dy * dy);
        bool ring = r >= 5 && r <= 8;
        bool bar = r < 8 && std::abs(dx - dy) < 1.6;
        if (ring || bar) set(x, y, 0);
      }
  } else {
    for (int y = 13; y < 21; ++y)
      for (int x = 8; x < 18; ++x) set(x, y, (y == 13 || y == 20 || x == 8 || x == 17) ? 0 : 255);
  }
  return new Fl_RGB_Image(p, 24, 24, 4);
}

void ApplyCursor(Fl_Window* win, TCursor c) {
  switch (c) {
    case TCursor::crHelp: win->cursor(FL_CURSOR_HELP); break;
    case TCursor::crHandPoint: win->cursor(FL_CURSOR_HAND); break;
    case TCursor::crIBeam: win->cursor(FL_CURSOR_INSERT); break;
    case TCursor::crDrag: {
      static Fl_RGB_Image* img = MakeCursor(false);
      win->cursor(img, 0, 0);
      break;
    }
    case TCursor::crNoDrop: {
      static Fl_RGB_Image* img = MakeCursor(true);
      win->cursor(img, 0, 0);
      break;
    }
    default: win->cursor(FL_CURSOR_DEFAULT); break;
  }
}
}  // namespace

void FltkToolkit::SetHintTimes(int pause_ms, int hide_pause_ms) {
  g_hint.enabled = pause_ms >= 0;
  g_hint.pause = pause_ms / 1000.0;
  g_hint.hide = hide_pause_ms / 1000.0;
}

// Follows the pointer over a form's window: hints and cursors.
void TrackPointer(FormWindow* win, int event) {
  if (event == FL_LEAVE || event == FL_PUSH || event == FL_KEYBOARD || event == FL_MOUSEWHEEL) {
    Fl::remove_timeout(ShowHint);
    HideHint();
    if (event == FL_LEAVE) g_hint.over = nullptr;
    return;
  }
  if (event != FL_MOVE && event != FL_ENTER) return;
  TControl* over = nullptr;
  for (Fl_Widget* w = Deepest(win, Fl::event_x(), Fl::event_y()); w && !over; w = w->parent()) over = ControlOf(w);
  if (over == g_hint.over) return;
  g_hint.over = over;
  Fl::remove_timeout(ShowHint);
  HideHint();
  ApplyCursor(win, over ? over->Cursor() : TCursor::crDefault);
  g_hint.x = Fl::event_x_root();
  g_hint.y = Fl::event_y_root();
  if (over && g_hint.enabled && !over->Hint().empty() && over->Showing()) Fl::add_timeout(g_hint.pause, ShowHint);
}

}  // namespace ui::fltk
