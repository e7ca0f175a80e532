// Vantor on Windows: the program's one window until it is closed. A GUI program
// (-mwindows): MinGW's start-up code calls main.
#include <string>

#include "window/Form1.h"

// After the toolkit's header: windows.h, which WideText.h brings, names CreateWindow as a macro.
#include <windows.h>

#include "base/WideText.h"

int main() {
  std::string why;
  const auto form = window::CreateForm1(&why);
  if (form) return form->Run();
  MessageBoxW(nullptr, base::Wide("Vantor can't show its window: " + why).c_str(), L"Vantor", MB_ICONERROR);
  return 2;
}
