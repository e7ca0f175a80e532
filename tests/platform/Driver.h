// The user's side of a window for the toolkit suite: what a person does with mouse and
// keyboard, sent through the toolkit's real event path. Each toolkit has its own driver
// (QtDriver.cpp here), which also brings the toolkit up for the whole test program.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Toolkit.h"

namespace driver {

// Runs the function from the event loop after at least `ms` milliseconds, e.g. while
// Window::Run shows the window.
void Later(int ms, std::function<void()> function);

// Closes the window as its close button does.
void Close(platform::Window& window);

// Runs the window and, once it shows with no dialog in front of it, the user's part; then
// closes it. What Window::Run returns.
int WhileShown(platform::Window& window, std::function<void()> userPart);

bool IsShown(platform::Window& window);

// The client area on the screen, in pixels.
struct Rect {
  int left, top, width, height;
};
Rect ClientArea(platform::Window& window);

// The control that has the keyboard focus, or the empty name.
std::string FocusedControl(platform::Window& window);
void PressTab(platform::Window& window);

// Clicks into the box and types the text, one key a character.
void Type(platform::Window& window, const std::string& box, const std::string& text);
void Click(platform::Window& window, const std::string& button);
void ClickRow(platform::Window& window, const std::string& list, int row);
// The list's rows, top to bottom, as the user reads them.
std::vector<std::string> Rows(platform::Window& window, const std::string& list);

// The next modal dialog, as the user saw and answered it.
enum class Answer { Yes, No, Enter, Ok, Cancel };
struct Dialog {
  bool answered = false;
  std::string title, text;
};
// Waits from the event loop for the next modal dialog, types `typed` into its text field
// if it has one, and gives the answer; the result is filled in by then.
std::shared_ptr<const Dialog> AnswerNextDialog(Answer answer, const std::string& typed = "");

}  // namespace driver
