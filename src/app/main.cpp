// Talvik: start-up and end.
#include <cstdio>
#include <exception>

#include "app/Main.h"
#include "app/Unit1.h"
#include "app/resources/resources.h"
#include "platform/exceptions.h"
#include "platform/system.h"
#include "ui/fltk/fltk_toolkit.h"

int main() {
  try {
    platform::UseUserTimeSettings();
    ui::fltk::FltkToolkit toolkit;
    ui::TApplication application;
    application.Initialize();
    application.Title = "Talvik";
    if (auto icon = talvik::FindResource("ICON_PNG")) toolkit.SetIcon(icon->data, icon->size);
    application.CreateForm(MainForm);
    application.CreateForm(Form1);
    application.Run();
    // The windows go in the reverse order of their creation: the code table, then the main
    // window (its port closed before its controls).
    application.DestroyForms();
    Form1 = nullptr;
    MainForm = nullptr;
    return 0;
  } catch (...) {
    // A window that cannot be built: start-up stops.
    std::fprintf(stderr, "talvik: %s\n", platform::ExceptionMessage(std::current_exception()).c_str());
    return 1;
  }
}
