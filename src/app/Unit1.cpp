#include "app/Unit1.h"

#include <array>
#include <cstdio>

#include "ui/text.h"

TForm1* Form1 = nullptr;

namespace {

struct Named {
  const char* mnemonic;
  const char* description;
};

// Control characters 0 to 32; 127 follows separately.
constexpr std::array<Named, 33> kControls = {{
    {"NUL", "(Null char.)"}, {"SOH", "(Start of Header)"}, {"STX", "(Start of Text)"},
    {"ETX", "(End of Text)"}, {"EOT", "(End of Transmission)"}, {"ENQ", "(Enquiry)"},
    {"ACK", "(Acknowledgment)"}, {"BEL", "(Bell)"}, {"BS", "(Backspace)"},
    {"HT", "(Horizontal Tab)"}, {"LF", "(Line Feed)"}, {"VT", "(Vertical Tab)"},
    {"FF", "(Form Feed)"}, {"CR", "(Carriage Return)"}, {"SO", "(Shift Out)"},
    {"SI", "(Shift In)"}, {"DLE", "(Data Link Escape)"}, {"DC1", "(XON)(Device Control 1)"},
    {"DC2", "(Device Control 2)"}, {"DC3", "(XOFF)(Device Control 3)"}, {"DC4", "(Device Control 4)"},
    {"NAK", "(Negative Ack.)"}, {"SYN", "(Synchronous Idle)"}, {"ETB", "(End of Trans. Block)"},
    {"CAN", "(Cancel)"}, {"EM", "(End of Medium)"}, {"SUB", "(Substitute)"},
    {"ESC", "(Escape)"}, {"FS", "(File Separator)"}, {"GS", "(Group Separator)"},
    {"RS", "(Record Separator)"}, {"US", "(Unit Separator)"}, {"SP", "(Space)"},
}};
constexpr Named kDelete = {"DEL", "(delete)"};

// Punctuation and symbols, with their descriptions.
struct Symbol {
  int code;
  const char* description;
};
constexpr std::array<Symbol, 31> kSymbols = {{
    {33, "(exclamation mark)"}, {34, "(double quote)"}, {35, "(number sign)"},
    {36, "(dollar sign)"}, {37, "(percent)"}, {38, "(ampersand)"}, {39, "(single quote)"},
    {40, "(L/opening parenthesis)"}, {41, "(R/closing parenthesis)"}, {42, "(asterisk)"},
    {43, "(plus)"}, {44, "(comma)"}, {45, "(minus or dash)"}, {46, "(dot)"},
    {47, "(forward slash)"}, {58, "(colon)"}, {59, "(semi-colon)"}, {60, "(less than)"},
    {61, "(equal sign)"}, {62, "(greater than)"}, {63, "(question mark)"}, {64, "(AT symbol)"},
    {91, "(left/opening bracket)"}, {92, "(back slash)"}, {93, "(right/closing bracket)"},
    {94, "(caret/cirumflex)"}, {95, "(underscore)"}, {123, "(left/opening brace)"},
    {124, "(vertical bar)"}, {125, "(right/closing brace)"}, {126, "(tilde)"},
}};

std::string ValueColumn(int v) {
  auto named = [](const Named& n) {
    std::string m = n.mnemonic;
    m.resize(3, ' ');
    return m + " " + n.description;
  };
  if (v <= 32) return named(kControls[v]);
  if (v == 127) return named(kDelete);
  for (const Symbol& s : kSymbols)
    if (s.code == v) return std::string(1, static_cast<char>(v)) + "   " + s.description;
  if (v < 128) return std::string(1, static_cast<char>(v));
  if (v == 150) return "––";
  if (v == 151) return "———";
  if (v == 152) return "  ";
  return std::string(ui::Cp1251ToUtf8(static_cast<unsigned char>(v)));
}

std::vector<std::string> MakeTable() {
  std::vector<std::string> lines;
  lines.push_back(" Dec Oct Hex  Binary   Value");
  lines.push_back(" --- --- --- -------- --------------------------");
  for (int v = 0; v < 256; ++v) {
    char head[32];
    std::string bin;
    for (int bit = 7; bit >= 0; --bit) bin += (v >> bit) & 1 ? '1' : '0';
    std::snprintf(head, sizeof head, " %03d %03o %03X %s ", v, v, v, bin.c_str());
    lines.push_back(head + ValueColumn(v));
  }
  lines.push_back(" ");
  return lines;
}

const ui::TFont kFormFont{"MS Sans Serif", -11, 0, ui::clWindowText};

const ui::ControlSpec kControlsOfForm1[] = {
    {.name = "Memo1", .kind = ui::ControlKind::Memo, .parent = "Form1", .bounds = {0, 0, 337, 465},
     .tab_order = 0, .color = ui::clWhite, .scroll_bars = ui::TScrollStyle::ssVertical, .max_length = 260,
     .borderless = true},
};

const ui::FormSpec kForm1Layout = {
    .name = "Form1",
    .caption = "ASCII Table",
    .client_width = 337,
    .client_height = 465,
    .color = ui::clBtnFace,
    .font = kFormFont,
    .border_style = ui::TBorderStyle::bsSizeable,
    .minimize_box = false,
    .maximize_box = false,
    .position = ui::TPosition::poMainFormCenter,
    .auto_scroll = false,
    .active_control = "Memo1",
    .controls = kControlsOfForm1,
};

}  // namespace

const std::vector<std::string>& CodeTableLines() {
  static const std::vector<std::string> lines = MakeTable();
  return lines;
}

TForm1::TForm1() : TForm("Form1") {
  LoadLayout(kForm1Layout);
  Bind(Memo1, "Memo1");
  Memo1->SetLines(CodeTableLines());
}
