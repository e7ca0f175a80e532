// The user's input through SendInput, a patient wait for what it brings about, and what the
// user reads off a window: for the tests that act on a Win32 window as a person would, in
// its process or from another.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/ToolkitWin32.h"

namespace win32_input {

inline constexpr auto kPatience = std::chrono::seconds(10);
inline constexpr auto kPoll = std::chrono::milliseconds(5);

// True once the condition holds; false if it still doesn't after kPatience.
inline bool WaitFor(const std::function<bool()>& condition) {
  for (const auto deadline = std::chrono::steady_clock::now() + kPatience; !condition();) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(kPoll);
  }
  return true;
}

// A key by its virtual-key code, or a character typed as itself when it is not zero.
inline INPUT Key(WORD virtualKey, wchar_t character, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = virtualKey;
  input.ki.wScan = character;
  input.ki.dwFlags = (character ? KEYEVENTF_UNICODE : 0) | (up ? KEYEVENTF_KEYUP : 0);
  return input;
}

// A key pressed and let go.
inline std::vector<INPUT> Press(WORD virtualKey) { return {Key(virtualKey, 0, false), Key(virtualKey, 0, true)}; }

inline INPUT MouseButton(DWORD flag) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flag;
  return input;
}

inline void SendOnly(std::vector<INPUT> inputs) {
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// The keys that type the text, each character as itself.
inline std::vector<INPUT> Typing(const std::string& text) {
  std::vector<INPUT> keys;
  for (const wchar_t character : base::Wide(text))
    keys.insert(keys.end(), {Key(0, character, false), Key(0, character, true)});
  return keys;
}

// Wine moves the X pointer behind the cursor, and the X server's word of that move comes
// back a little later and moves the cursor once more; so the mouse has got there once the
// cursor has stayed at the point through a few looks. `settle` runs after each look: the
// window's thread can be made to catch up there when it is the caller's. False, and a
// failure of the test, when it never got there.
inline bool MoveMouseTo(
    POINT point, const std::function<void()>& settle = [] {}) {
  int settled = 0;
  const bool there = WaitFor([&] {
    POINT cursor;
    settled = GetCursorPos(&cursor) && cursor.x == point.x && cursor.y == point.y ? settled + 1 : 0;
    if (!settled) SetCursorPos(point.x, point.y);
    settle();
    return settled == 5;
  });
  EXPECT_TRUE(there) << "the mouse never stayed at " << point.x << "," << point.y;
  return there;
}

// A left click once the mouse is there.
inline void ClickAt(POINT point) {
  if (MoveMouseTo(point)) SendOnly({MouseButton(MOUSEEVENTF_LEFTDOWN), MouseButton(MOUSEEVENTF_LEFTUP)});
}

inline POINT CentreOnScreen(HWND hwnd, RECT clientRect) {
  POINT centre{(clientRect.left + clientRect.right) / 2, (clientRect.top + clientRect.bottom) / 2};
  ClientToScreen(hwnd, &centre);
  return centre;
}

inline POINT CentreOnScreen(HWND hwnd) {
  RECT client;
  GetClientRect(hwnd, &client);
  return CentreOnScreen(hwnd, client);
}

// A window's text, whichever process and thread it belongs to: a box's contents, a title.
inline std::string WindowText(HWND hwnd) {
  DWORD_PTR length = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 5000,
                      &copied);
  text.resize(copied);
  return base::Utf8(text);
}

// A list box's rows, whichever process and thread it belongs to.
inline std::vector<std::string> ListRows(HWND list) {
  DWORD_PTR count = 0;
  SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count);
  std::vector<std::string> rows;
  for (WPARAM row = 0; row < count; ++row) {
    wchar_t text[1024] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutW(list, LB_GETTEXT, row, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &length);
    rows.push_back(length < std::size(text) ? base::Utf8(std::wstring(text, length)) : "(unreadable)");
  }
  return rows;
}

}  // namespace win32_input
