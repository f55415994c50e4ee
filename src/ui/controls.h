// The controls windows are built from. Each control holds its own state and events; a peer
// (the toolkit's widget), when there is one, mirrors the state and reports the user's actions
// back. Without a peer every property and event still works, so handlers run headless.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/picture.h"
#include "ui/types.h"

namespace ui {

class TObject {
 public:
  virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

// What changed, as told to a peer.
enum class Prop {
  Bounds, Visible, Enabled, Color, Font, Caption, Hint, Cursor, Checked, Items, ItemIndex,
  Picture, Text, Options
};

class TControl;
class ControlPeer {
 public:
  virtual ~ControlPeer() = default;
  virtual void Changed(Prop what) = 0;
};

enum class ControlKind { Panel, Label, Image, ComboBox, Button, BitBtn, CheckBox, GroupBox, Memo, Edit };

class TWinControl;

class TControl : public TObject {
 public:
  explicit TControl(std::string name) : name_(std::move(name)) {}
  ~TControl() override;
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;

  virtual ControlKind Kind() const = 0;
  // Windowed controls take the focus and lie above their parent's labels and images.
  virtual bool Windowed() const { return true; }
  virtual bool TabStop() const { return Windowed(); }

  const std::string& Name() const { return name_; }
  TWinControl* Parent() const { return parent_; }
  void SetParent(TWinControl* parent);

  int Left() const { return bounds_.Left; }
  int Top() const { return bounds_.Top; }
  int Width() const { return bounds_.Width; }
  int Height() const { return bounds_.Height; }
  TRect BoundsRect() const { return bounds_; }
  void SetBounds(int left, int top, int width, int height);
  void SetLeft(int v) { SetBounds(v, Top(), Width(), Height()); }
  void SetTop(int v) { SetBounds(Left(), v, Width(), Height()); }
  void SetWidth(int v) { SetBounds(Left(), Top(), v, Height()); }
  void SetHeight(int v) { SetBounds(Left(), Top(), Width(), v); }

  TAlign Align() const { return align_; }
  void SetAlign(TAlign a);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  // Visible with every parent up to the form.
  bool Showing() const;
  // Enabled with every parent up to the form.
  bool EnabledInTree() const;

  TColor Color() const;
  void SetColor(TColor c);
  bool ParentColor() const { return color_ == clParent; }
  const TFont& Font() const;
  void SetFont(const TFont& f);
  bool ParentFont() const { return !own_font_; }
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string c);
  const std::string& Hint() const { return hint_; }
  void SetHint(std::string h);
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor c);
  int TabOrder() const { return tab_order_; }
  void SetTabOrder(int t) { tab_order_ = t; }

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  // Fire the events as the user's actions do.
  virtual void Click();
  void DblClick();

  ControlPeer* Peer() const { return peer_.get(); }
  void SetPeer(std::unique_ptr<ControlPeer> peer) { peer_ = std::move(peer); }
  // Called by the toolkit when a label sizes itself to its text; tells no peer.
  void SetBoundsFromPeer(int left, int top, int width, int height) { bounds_ = {left, top, width, height}; }

 protected:
  void Changed(Prop what);
  void ChangedInTree(Prop what);

 private:
  std::string name_;
  TWinControl* parent_ = nullptr;
  TRect bounds_;
  TAlign align_ = TAlign::alNone;
  bool visible_ = true;
  bool enabled_ = true;
  TColor color_ = clParent;
  TFont font_;
  bool own_font_ = false;
  std::string caption_;
  std::string hint_;
  TCursor cursor_ = TCursor::crDefault;
  int tab_order_ = -1;
  std::unique_ptr<ControlPeer> peer_;
};

class TWinControl : public TControl {
 public:
  using TControl::TControl;
  const std::vector<TControl*>& Controls() const { return children_; }
  // The children in tab order.
  std::vector<TControl*> TabOrdered() const;
  // Lays the aligned children out in the client area, in the order top, bottom, left, right,
  // client.
  void AlignControls();
  virtual TRect ClientRect() const { return {0, 0, Width(), Height()}; }

 private:
  friend class TControl;
  std::vector<TControl*> children_;
};

class TPanel : public TWinControl {
 public:
  using TWinControl::TWinControl;
  ControlKind Kind() const override { return ControlKind::Panel; }
  bool TabStop() const override { return false; }
  TBevelCut BevelOuter = TBevelCut::bvRaised;
  TBevelCut BevelInner = TBevelCut::bvNone;
  int BevelWidth = 1;
  int BorderWidth = 0;
  TBorderStyle BorderStyle = TBorderStyle::bsNone;
};

class TGroupBox : public TWinControl {
 public:
  using TWinControl::TWinControl;
  ControlKind Kind() const override { return ControlKind::GroupBox; }
  bool TabStop() const override { return false; }
};

class TLabel : public TControl {
 public:
  using TControl::TControl;
  ControlKind Kind() const override { return ControlKind::Label; }
  bool Windowed() const override { return false; }
  bool AutoSize = true;
  bool Transparent = false;
};

class TImage : public TControl {
 public:
  using TControl::TControl;
  ControlKind Kind() const override { return ControlKind::Image; }
  bool Windowed() const override { return false; }
  const TPicture& Picture() const { return picture_; }
  void SetPicture(TPicture p);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool t);
  // Scale a larger picture down in proportion to fit the box, from its top-left corner.
  bool Proportional = false;

 private:
  TPicture picture_;
  bool transparent_ = false;
};

class TComboBox : public TWinControl {
 public:
  using TWinControl::TWinControl;
  ControlKind Kind() const override { return ControlKind::ComboBox; }
  const std::vector<std::string>& Items() const { return items_; }
  void SetItems(std::vector<std::string> items);  // clears the selection
  int ItemIndex() const { return item_index_; }
  // Selecting from the program does not fire OnChange.
  void SetItemIndex(int index);
  // The selected item's text, empty when nothing is selected.
  std::string Text() const;
  // The user picked an item: select it and fire OnChange.
  void UserSelect(int index);
  TNotifyEvent OnChange;
  int DropDownCount = 8;
  int ItemHeight = 13;

 private:
  std::vector<std::string> items_;
  int item_index_ = -1;
};

class TButton : public TWinControl {
 public:
  using TWinControl::TWinControl;
  ControlKind Kind() const override { return ControlKind::Button; }
};

class TBitBtn : public TButton {
 public:
  using TButton::TButton;
  ControlKind Kind() const override { return ControlKind::BitBtn; }
  const TPicture& Glyph() const { return glyph_; }
  void SetGlyph(TPicture p, int num_glyphs);
  int NumGlyphs() const { return num_glyphs_; }
  int Spacing = 4;

 private:
  TPicture glyph_;
  int num_glyphs_ = 1;
};

class TCheckBox : public TWinControl {
 public:
  using TWinControl::TWinControl;
  ControlKind Kind() const override { return ControlKind::CheckBox; }
  bool Checked() const { return checked_; }
  void SetChecked(bool c);
  // The user's click: the mark toggles, then OnClick runs.
  void Click() override;

 private:
  bool checked_ = false;
};

// Only the pair CR LF breaks a line of a memo.
class MemoPeer : public ControlPeer {
 public:
  virtual void Appended(std::size_t from) = 0;  // bytes [from, end) were appended
  virtual void ScrollToEnd() = 0;
  virtual void ScrollLines(int lines) = 0;
};

class TMemo : public TWinControl {
 public:
  using TWinControl::TWinControl;
  ControlKind Kind() const override { return ControlKind::Memo; }

  // The whole text. With RawBytes the bytes are Windows-1251 data shown decoded; otherwise
  // UTF-8. Lines end in CR LF.
  const std::string& Text() const { return text_; }
  void SetText(std::string text);
  void SetLines(const std::vector<std::string>& lines);  // each line followed by CR LF
  std::vector<std::string> Lines() const;
  // The number of lines, leaving out an empty last line (0 exactly when the text is empty).
  int LineCount() const;
  // Appending costs time in proportion to the bytes appended.
  void AppendBytes(std::string_view bytes);
  void Clear() { SetText({}); }
  // Show the newest text.
  void ScrollToEnd();
  // Scroll the view down by display lines.
  void ScrollLines(int lines);
  // The user edited the text in the peer; tells no peer.
  void SetTextFromPeer(std::string text) { text_ = std::move(text); }

  bool RawBytes = false;
  bool ReadOnly = false;
  bool WordWrap = true;
  bool WantTabs = false;
  TScrollStyle ScrollBars = TScrollStyle::ssNone;
  TBorderStyle BorderStyle = TBorderStyle::bsSingle;
  int MaxLength = 0;  // 0: no limit on typed input

 private:
  MemoPeer* memo_peer() const { return dynamic_cast<MemoPeer*>(Peer()); }
  std::string text_;
};

class TEdit : public TWinControl {
 public:
  using TWinControl::TWinControl;
  ControlKind Kind() const override { return ControlKind::Edit; }
  const std::string& Text() const { return Caption(); }
  void SetText(std::string t) { SetCaption(std::move(t)); }
};

// A timer: fires OnTimer every Interval milliseconds while enabled. The toolkit drives it;
// Tick() fires it once (what the toolkit calls).
class TimerPeer {
 public:
  virtual ~TimerPeer() = default;
  virtual void Changed() = 0;
};
class TTimer : public TObject {
 public:
  explicit TTimer(std::string name);
  ~TTimer() override;
  const std::string& Name() const { return name_; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool e);
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned ms);
  TNotifyEvent OnTimer;
  void Tick();

 private:
  std::string name_;
  bool enabled_ = true;
  unsigned interval_ = 1000;
  std::unique_ptr<TimerPeer> peer_;
};

}  // namespace ui
