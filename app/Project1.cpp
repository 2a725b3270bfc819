// Program entry: the window framework, the main window, the message loop.
// The command line is not read.
#include <memory>

#include "app/Unit6.h"

int main() {
  TApplication application;
  // Created before the loop runs: its creation handler opens the source
  // file, and its box (if any) comes before the window is first shown.
  auto form = std::make_unique<TForm6>(nullptr);
  // The window's 1448 x 877 at x 232 runs off smaller screens.
  form->FitOnAvailableScreen();
  application.SetMainForm(form.get());
  return application.Run();
}
