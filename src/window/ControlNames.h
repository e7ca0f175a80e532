// Form1's controls that the program works on, by their roles, and the window's two outer
// heights. Each name is checked against the control table (Form1Layout.h) when the program
// is built. The slots get their controls from here (SlotControls in Form1.h), since they
// may not reach up into the window.
#pragma once

#include <array>

#include "window/Form1Layout.h"

namespace window {

// Outer heights of the window: browse mode shows the list, modify mode the edit area too.
inline constexpr int kCompactHeight = 2800;
inline constexpr int kExpandedHeight = 4575;

inline constexpr Form1Control<platform::Label> kLastUserLabel = "Label2";
inline constexpr Form1Control<platform::TextBox> kAlertBox = "Alert";  // holds the start-up warning's switch
inline constexpr Form1Control<platform::Button> kRefreshNameButton = "Command1";
inline constexpr Form1Control<platform::Button> kGetStatusesButton = "Command2";
inline constexpr Form1Control<platform::Button> kDeleteButton = "Command3";
inline constexpr Form1Control<platform::Button> kModifyButton = "Command4";
inline constexpr Form1Control<platform::Button> kCreateButton = "Command5";
inline constexpr Form1Control<platform::Button> kSubmitButton = "Command6";
inline constexpr Form1Control<platform::ListBox> kList = "List1";
inline constexpr Form1Control<platform::TextBox> kSelectionBox = "Text6";
inline constexpr Form1Control<platform::Timer> kRowCommandsTimer = "Timer1";

// The slots' boxes, slot by slot: the read box receives the raw text read from the
// registry, the edit box shows and edits the message.
inline constexpr std::array<Form1Control<platform::TextBox>, 5> kReadBoxes = {"Text1", "Text2", "Text3", "Text4",
                                                                              "Text5"};
inline constexpr std::array<Form1Control<platform::TextBox>, 5> kEditBoxes = {"Text7", "Text8", "Text9", "Text10",
                                                                              "Text11"};

}  // namespace window
