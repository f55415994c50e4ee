// The code table window: one memo holding a table of all 256 byte values.
#pragma once

#include <string>
#include <vector>

#include "ui/forms.h"

class TForm1 : public ui::TForm {
 public:
  TForm1();
  ui::TMemo* Memo1 = nullptr;
};

extern TForm1* Form1;

// The table's lines: header, rule, one row for each value 0 to 255, a closing blank line.
const std::vector<std::string>& CodeTableLines();
