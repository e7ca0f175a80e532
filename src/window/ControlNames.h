// Form1's controls that the program works on, by their roles. The names are the window's own
// (the control table, Form1Layout.cpp). The slots name the controls they work on themselves
// (Slots.h), since they may not reach up into the window; this header lends those names too.
#pragma once

#include "slots/Slots.h"

namespace window {

inline constexpr const char* kLastUserLabel = "Label2";
inline constexpr const char* kAlertBox = "Alert";  // holds the start-up warning's switch
inline constexpr const char* kRefreshNameButton = "Command1";
inline constexpr const char* kGetStatusesButton = "Command2";
inline constexpr const char* kDeleteButton = "Command3";
inline constexpr const char* kModifyButton = "Command4";
inline constexpr const char* kSubmitButton = "Command6";
inline constexpr const char* kRowCommandsTimer = "Timer1";

using status_slots::kCreateButton;
using status_slots::kList;
using status_slots::kSelectionBox;
using status_slots::kSlots;

}  // namespace window
