#include "ui/controls.h"

#include <algorithm>

#include "ui/forms.h"
#include "ui/toolkit.h"

namespace ui {

Rgb ColorToRgb(TColor color) {
  if (color & kSystemColor) {
    switch (color) {
      case clWindow: return {0xFF, 0xFF, 0xFF};
      case clWindowText: return {0x00, 0x00, 0x00};
      case clBtnFace: return {0xF0, 0xF0, 0xF0};
      case clBtnShadow: return {0xA0, 0xA0, 0xA0};
      case clGrayText: return {0x6D, 0x6D, 0x6D};
      case clBtnText: return {0x00, 0x00, 0x00};
      case clBtnHighlight: return {0xFF, 0xFF, 0xFF};
      case clInfoText: return {0x00, 0x00, 0x00};
      case clInfoBk: return {0xFF, 0xFF, 0xE1};
      case clMenuBar: return {0xF0, 0xF0, 0xF0};
      default: return {0xF0, 0xF0, 0xF0};
    }
  }
  return {static_cast<std::uint8_t>(color & 0xFF), static_cast<std::uint8_t>((color >> 8) & 0xFF),
          static_cast<std::uint8_t>((color >> 16) & 0xFF)};
}

FontFamily FamilyOf(const std::string& name) {
  std::string n;
  for (char c : name) n += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (n.find("courier") != std::string::npos || n.find("mono") != std::string::npos ||
      n.find("fixed") != std::string::npos || n.find("console") != std::string::npos)
    return FontFamily::Mono;
  if (n.find("sans") != std::string::npos || n.find("arial") != std::string::npos ||
      n.find("tahoma") != std::string::npos || n.find("verdana") != std::string::npos)
    return FontFamily::Sans;
  if (n.find("serif") != std::string::npos || n.find("times") != std::string::npos) return FontFamily::Serif;
  return FontFamily::Sans;
}

// ---- TControl

TControl::~TControl() {
  peer_.reset();
  if (parent_) {
    auto& v = parent_->children_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
}

void TControl::SetParent(TWinControl* parent) {
  if (parent_ == parent) return;
  if (parent_) {
    auto& v = parent_->children_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
  parent_ = parent;
  if (parent_) parent_->children_.push_back(this);
}

void TControl::Changed(Prop what) {
  if (peer_) peer_->Changed(what);
}

void TControl::ChangedInTree(Prop what) {
  Changed(what);
  if (auto* w = dynamic_cast<TWinControl*>(this))
    for (TControl* c : w->Controls()) {
      bool inherits = (what == Prop::Color && c->ParentColor()) || (what == Prop::Font && c->ParentFont()) ||
                      what == Prop::Enabled || what == Prop::Visible;
      if (inherits) c->ChangedInTree(what);
    }
}

void TControl::SetBounds(int left, int top, int width, int height) {
  TRect r{left, top, width, height};
  if (r == bounds_) return;
  bounds_ = r;
  Changed(Prop::Bounds);
  if (parent_ && align_ != TAlign::alNone) parent_->AlignControls();
  if (auto* w = dynamic_cast<TWinControl*>(this)) w->AlignControls();
}

void TControl::SetAlign(TAlign a) {
  align_ = a;
  if (parent_) parent_->AlignControls();
}

void TControl::SetVisible(bool v) {
  if (visible_ == v) return;
  visible_ = v;
  ChangedInTree(Prop::Visible);
  if (parent_ && align_ != TAlign::alNone) parent_->AlignControls();
}

void TControl::SetEnabled(bool v) {
  if (enabled_ == v) return;
  enabled_ = v;
  ChangedInTree(Prop::Enabled);
}

bool TControl::Showing() const { return visible_ && (!parent_ || parent_->Showing()); }
bool TControl::EnabledInTree() const { return enabled_ && (!parent_ || parent_->EnabledInTree()); }

TColor TControl::Color() const {
  if (color_ != clParent) return color_;
  return parent_ ? parent_->Color() : clBtnFace;
}

void TControl::SetColor(TColor c) {
  if (color_ == c) return;
  color_ = c;
  ChangedInTree(Prop::Color);
}

const TFont& TControl::Font() const {
  if (own_font_ || !parent_) return font_;
  return parent_->Font();
}

void TControl::SetFont(const TFont& f) {
  font_ = f;
  own_font_ = true;
  ChangedInTree(Prop::Font);
}

void TControl::SetCaption(std::string c) {
  if (caption_ == c) return;
  caption_ = std::move(c);
  Changed(Prop::Caption);
}

void TControl::SetHint(std::string h) {
  hint_ = std::move(h);
  Changed(Prop::Hint);
}

void TControl::SetCursor(TCursor c) {
  cursor_ = c;
  Changed(Prop::Cursor);
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

// ---- TWinControl

std::vector<TControl*> TWinControl::TabOrdered() const {
  std::vector<TControl*> v;
  for (TControl* c : children_)
    if (c->Windowed() && c->TabOrder() >= 0) v.push_back(c);
  std::stable_sort(v.begin(), v.end(), [](TControl* a, TControl* b) { return a->TabOrder() < b->TabOrder(); });
  return v;
}

void TWinControl::AlignControls() {
  static thread_local int depth = 0;
  if (depth > 0) return;
  ++depth;
  TRect r = ClientRect();
  int left = r.Left, top = r.Top, right = r.Left + r.Width, bottom = r.Top + r.Height;
  auto pick = [&](TAlign a) {
    std::vector<TControl*> v;
    for (TControl* c : children_)
      if (c->Align() == a && c->Visible()) v.push_back(c);
    return v;
  };
  auto by_top = [](TControl* a, TControl* b) { return a->Top() < b->Top(); };
  auto top_controls = pick(TAlign::alTop);
  std::stable_sort(top_controls.begin(), top_controls.end(), by_top);
  for (TControl* c : top_controls) {
    c->SetBounds(left, top, right - left, c->Height());
    top += c->Height();
  }
  auto bottom_controls = pick(TAlign::alBottom);
  std::stable_sort(bottom_controls.begin(), bottom_controls.end(), [](TControl* a, TControl* b) { return a->Top() > b->Top(); });
  for (TControl* c : bottom_controls) {
    bottom -= c->Height();
    c->SetBounds(left, bottom, right - left, c->Height());
  }
  for (TControl* c : pick(TAlign::alLeft)) {
    c->SetBounds(left, top, c->Width(), bottom - top);
    left += c->Width();
  }
  for (TControl* c : pick(TAlign::alRight)) {
    right -= c->Width();
    c->SetBounds(right, top, c->Width(), bottom - top);
  }
  for (TControl* c : pick(TAlign::alClient)) c->SetBounds(left, top, std::max(0, right - left), std::max(0, bottom - top));
  --depth;
}

// ---- single controls

void TImage::SetPicture(TPicture p) {
  picture_ = std::move(p);
  Changed(Prop::Picture);
}

void TImage::SetTransparent(bool t) {
  transparent_ = t;
  Changed(Prop::Picture);
}

void TComboBox::SetItems(std::vector<std::string> items) {
  items_ = std::move(items);
  item_index_ = -1;
  Changed(Prop::Items);
}

void TComboBox::SetItemIndex(int index) {
  if (index < -1 || index >= static_cast<int>(items_.size())) index = -1;
  if (index == item_index_) return;
  item_index_ = index;
  Changed(Prop::ItemIndex);
}

std::string TComboBox::Text() const { return item_index_ >= 0 ? items_[item_index_] : std::string(); }

void TComboBox::UserSelect(int index) {
  SetItemIndex(index);
  if (OnChange) OnChange(this);
}

void TBitBtn::SetGlyph(TPicture p, int num_glyphs) {
  glyph_ = std::move(p);
  num_glyphs_ = std::max(1, num_glyphs);
  Changed(Prop::Picture);
}

void TCheckBox::SetChecked(bool c) {
  if (checked_ == c) return;
  checked_ = c;
  Changed(Prop::Checked);
}

void TCheckBox::Click() {
  SetChecked(!checked_);
  TControl::Click();
}

// ---- TMemo

void TMemo::SetText(std::string text) {
  if (text == text_) return;
  text_ = std::move(text);
  Changed(Prop::Text);
}

void TMemo::SetLines(const std::vector<std::string>& lines) {
  std::string t;
  for (const auto& l : lines) {
    t += l;
    t += "\r\n";
  }
  SetText(std::move(t));
}

std::vector<std::string> TMemo::Lines() const {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (true) {
    std::size_t p = text_.find("\r\n", start);
    if (p == std::string::npos) break;
    lines.push_back(text_.substr(start, p - start));
    start = p + 2;
  }
  if (start < text_.size()) lines.push_back(text_.substr(start));
  return lines;
}

int TMemo::LineCount() const {
  if (text_.empty()) return 0;
  int n = 0;
  std::size_t start = 0;
  while (true) {
    std::size_t p = text_.find("\r\n", start);
    if (p == std::string::npos) break;
    ++n;
    start = p + 2;
  }
  if (start < text_.size()) ++n;
  return n;
}

void TMemo::AppendBytes(std::string_view bytes) {
  if (bytes.empty()) return;
  std::size_t from = text_.size();
  // Grow by an eighth at a time rather than doubling: still constant time per byte, while a
  // pane of many megabytes holds little unused room.
  if (text_.capacity() - text_.size() < bytes.size())
    text_.reserve(text_.size() + std::max(bytes.size(), text_.size() / 8));
  text_.append(bytes);
  if (auto* p = memo_peer()) p->Appended(from);
}

void TMemo::ScrollToEnd() {
  if (auto* p = memo_peer()) p->ScrollToEnd();
}

void TMemo::ScrollLines(int lines) {
  if (auto* p = memo_peer()) p->ScrollLines(lines);
}

// ---- TTimer

TTimer::TTimer(std::string name) : name_(std::move(name)) {
  if (Toolkit* t = CurrentToolkit()) peer_ = t->CreateTimerPeer(*this);
}

TTimer::~TTimer() { peer_.reset(); }

void TTimer::SetEnabled(bool e) {
  if (enabled_ == e) return;
  enabled_ = e;
  if (peer_) peer_->Changed();
}

void TTimer::SetInterval(unsigned ms) {
  if (interval_ == ms) return;
  interval_ = ms;
  if (peer_) peer_->Changed();
}

void TTimer::Tick() {
  if (!enabled_ || !OnTimer) return;
  RunUserEvent([this] { OnTimer(this); }, this);
}

}  // namespace ui
