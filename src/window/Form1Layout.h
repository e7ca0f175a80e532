// The main window Form1 as data: its frame and its 26 controls, in twips. The table is here,
// in the header, so that each name the program asks the window for is checked against it
// when the program is built (Form1Control).
#pragma once

#include <array>
#include <span>
#include <string_view>
#include <type_traits>

#include "platform/Toolkit.h"

namespace window {

using platform::Alignment;
using platform::ControlKind;

inline constexpr platform::Colour kWindowGrey = 0x00E0E0E0;
inline constexpr platform::Colour kLabelGrey = 0x00C0C0C0;
inline constexpr platform::Colour kDarkRed = 0x000000C0;
inline constexpr platform::Font kHintFont = {"MS Sans Serif", 9.75, 400};

// Later rows lie in front of earlier ones where controls overlap: Shape1 over Label2,
// Line1 over Label3, each edit box over the one above it.
// A row for each control, laid out as the table it is
// clang-format off
inline constexpr std::array<platform::ControlDef, 26> kForm1Controls = {{
    {.name = "Label1", .kind = ControlKind::Label, .text = "Last name logged in is:",
     .left = 120, .top = 120, .width = 1695, .height = 255, .background = kWindowGrey},
    {.name = "Label2", .kind = ControlKind::Label, .text = "",
     .left = 1800, .top = 120, .width = 2775, .height = 255, .background = kLabelGrey,
     .alignment = Alignment::Centre},
    {.name = "Shape1", .kind = ControlKind::Rectangle,
     .left = 1800, .top = 120, .width = 2775, .height = 255},
    {.name = "Command1", .kind = ControlKind::Button, .text = "Refresh Name",
     .left = 4680, .top = 120, .width = 975, .height = 615},
    {.name = "Label3", .kind = ControlKind::Label,
     .text = "Login to messenger with your name and click the button to change the above name "
             "if it needs changed.",
     .left = 120, .top = 360, .width = 4455, .height = 495, .background = kWindowGrey,
     .foreground = kDarkRed, .alignment = Alignment::Centre},
    {.name = "Line1", .kind = ControlKind::Line, .left = 120, .top = 840, .width = 5520, .height = 0},
    {.name = "List1", .kind = ControlKind::ListBox, .accessibleName = "Messages",
     .left = 120, .top = 960, .width = 5535, .height = 1035},
    {.name = "Command2", .kind = ControlKind::Button, .text = "Get Existing Status's",
     .left = 120, .top = 2040, .width = 1815, .height = 315},
    {.name = "Command5", .kind = ControlKind::Button, .text = "Create",
     .left = 2040, .top = 2040, .width = 975, .height = 315, .enabled = false},
    {.name = "Command3", .kind = ControlKind::Button, .text = "Delete Status",
     .left = 3120, .top = 2040, .width = 1215, .height = 315},
    {.name = "Command4", .kind = ControlKind::Button, .text = "Modify Status",
     .left = 4440, .top = 2040, .width = 1215, .height = 315},
    {.name = "Text7", .kind = ControlKind::TextBox, .accessibleName = "Message 1",
     .left = 120, .top = 2520, .width = 5535, .height = 285},
    {.name = "Text8", .kind = ControlKind::TextBox, .accessibleName = "Message 2",
     .left = 120, .top = 2760, .width = 5535, .height = 285},
    {.name = "Text9", .kind = ControlKind::TextBox, .accessibleName = "Message 3",
     .left = 120, .top = 3000, .width = 5535, .height = 285},
    {.name = "Text10", .kind = ControlKind::TextBox, .accessibleName = "Message 4",
     .left = 120, .top = 3240, .width = 5535, .height = 285},
    {.name = "Text11", .kind = ControlKind::TextBox, .accessibleName = "Message 5",
     .left = 120, .top = 3480, .width = 5535, .height = 285},
    {.name = "Label4", .kind = ControlKind::Label,
     .text = "Make the necessary changes and then click Submit.",
     .left = 0, .top = 3840, .width = 4695, .height = 495, .background = kWindowGrey,
     .foreground = kDarkRed, .alignment = Alignment::Centre, .font = &kHintFont},
    {.name = "Command6", .kind = ControlKind::Button, .text = "Submit",
     .left = 4800, .top = 3840, .width = 855, .height = 315},
    // The selection box, the flag box and the read boxes: only the handlers see their texts.
    {.name = "Text6", .kind = ControlKind::TextHolder},
    {.name = "Alert", .kind = ControlKind::TextHolder},
    {.name = "Text1", .kind = ControlKind::TextHolder},
    {.name = "Text2", .kind = ControlKind::TextHolder},
    {.name = "Text3", .kind = ControlKind::TextHolder},
    {.name = "Text4", .kind = ControlKind::TextHolder},
    {.name = "Text5", .kind = ControlKind::TextHolder},
    // Delete and Modify follow the list after every click already (Form1.cpp); the timer only
    // catches what no event reported, and ten wake-ups a second cost an idle window nothing.
    {.name = "Timer1", .kind = ControlKind::Timer, .intervalMs = 100},
}};
// clang-format on

extern const platform::WindowDef kForm1;
std::span<const platform::ControlDef> Form1Controls();

// Whether the table has a control of that name that the window gives out as a Control.
template <typename Control>
consteval bool HasControl(std::string_view name) {
  for (const platform::ControlDef& row : kForm1Controls) {
    if (name != row.name) continue;
    switch (row.kind) {
      case ControlKind::TextBox:
      case ControlKind::TextHolder:
        return std::is_same_v<Control, platform::TextBox>;
      case ControlKind::ListBox:
        return std::is_same_v<Control, platform::ListBox>;
      case ControlKind::Button:
        return std::is_same_v<Control, platform::Button>;
      case ControlKind::Label:
        return std::is_same_v<Control, platform::Label>;
      case ControlKind::Timer:
        return std::is_same_v<Control, platform::Timer>;
      default:
        return false;
    }
  }
  return false;
}

// A control of Form1 by its name in the table. The name is checked when the program is
// built: one the table lacks, or one of a control of another kind, doesn't compile.
template <typename Control>
class Form1Control {
 public:
  consteval Form1Control(const char* name) : name_(name) {
    if (!HasControl<Control>(name)) throw "Form1 has no control of this name and kind";
  }

  const char* name() const { return name_; }

  // The control in a window built from the table, which has it (see the constructor).
  Control& In(platform::Window& form) const {
    if constexpr (std::is_same_v<Control, platform::TextBox>)
      return *form.TextBoxNamed(name_);
    else if constexpr (std::is_same_v<Control, platform::ListBox>)
      return *form.ListBoxNamed(name_);
    else if constexpr (std::is_same_v<Control, platform::Button>)
      return *form.ButtonNamed(name_);
    else if constexpr (std::is_same_v<Control, platform::Label>)
      return *form.LabelNamed(name_);
    else
      return *form.TimerNamed(name_);
  }

 private:
  const char* name_;
};

}  // namespace window
