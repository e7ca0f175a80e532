// The user's input through SendInput, and a patient wait for what it brings about: for the
// tests that act on a Win32 window as a person would.
#pragma once

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "ToolkitWin32.h"

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

inline INPUT MouseButton(DWORD flag) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flag;
  return input;
}

inline void SendOnly(std::vector<INPUT> inputs) {
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

}  // namespace win32_input
