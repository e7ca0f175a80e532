// The baseline of the Windows start-up benchmark: a bare Win32 window with Vantor's frame
// and its size when it starts (the compact height), centred, with nothing in it. Linked the
// same way as vantor.exe.
#include "platform/NamedControls.h"
#include "platform/ToolkitWin32.h"
#include "window/ControlNames.h"
#include "window/Form1Layout.h"

namespace {

using platform::kFormStyle;
using platform::kReferenceFrameTwips;

LRESULT CALLBACK BareProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

int Pixels(int twips) { return MulDiv(twips, 96, 1440); }

}  // namespace

int main() {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = BareProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = L"BareWindow";
  RegisterClassW(&windowClass);

  RECT outer{0, 0, Pixels(window::kForm1.clientWidth), Pixels(window::kCompactHeight - kReferenceFrameTwips)};
  AdjustWindowRectEx(&outer, kFormStyle, FALSE, 0);
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  const HWND hwnd = CreateWindowExW(
      0, L"BareWindow", L"Bare window", kFormStyle, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
      (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr, nullptr, windowClass.hInstance, nullptr);
  ShowWindow(hwnd, SW_SHOW);
  UpdateWindow(hwnd);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
