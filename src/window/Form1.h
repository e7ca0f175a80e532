// Form1, the program's only window: built from its control table, with every event the
// program handles connected to its handler.
#pragma once

#include <memory>
#include <string>

#include "platform/Toolkit.h"
#include "slots/Slots.h"

namespace window {

// The start-up warning, and the switch's value in the registry that keeps it from showing.
inline constexpr const char* kWarningTitle = "Vantor Registry Alert !";
inline constexpr const char* kWarningText =
    "This program will purposefully access your Windows registry to get the last user logged "
    "in to Yahoo Messenger and to add, modify, or delete custom messages.  This program will "
    "NOT do any harmful modifications...but you are using this program 'as is' and Tolvane "
    "(https://www.example.com) is not responsible for anything that may happen as a result of "
    "using this application.  Do you want to show this warning each time this application "
    "launches?";
inline constexpr const char* kWarningOff = "Disabled";

// Null, with *why, when the system refuses the window (platform::CreateWindow).
std::unique_ptr<platform::Window> CreateForm1(std::string* why);

// The controls of a window that CreateForm1 built, as the slots work on them.
slots::Controls SlotControls(platform::Window& form);

}  // namespace window
