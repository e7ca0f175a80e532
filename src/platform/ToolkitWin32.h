// What only Win32 code may ask of a Win32 window: its handle and the IDs of its controls,
// for the tests and tools that act on it as the user would, in its process or another.
#pragma once

#include "base/WideText.h"
// windows.h names CreateWindowW CreateWindow, which would rename platform::CreateWindow.
#undef CreateWindow

#include <string>

namespace platform {

class Window;

// A control's ID (GetDlgItem, WM_COMMAND) is this plus its row in the control table; the
// timers' IDs for SetTimer follow the same rule.
inline constexpr int kFirstControlId = 100;

// The window's frame: a fixed single border with a minimise button and no maximise button.
inline constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// The icon resource the program's .rc gives this ID is the window's icon.
inline constexpr int kProgramIconId = 1;

// The window's own handle; each control is a child window with the ID above.
HWND HandleOf(Window& window);
// A control of the table by its name (not a timer's), and the name of a control's window;
// the empty name for a window that is none of its controls.
HWND ControlOf(Window& window, const std::string& name);
std::string ControlName(Window& window, HWND control);

}  // namespace platform
