#include "window/Form1Layout.h"

#include <algorithm>

namespace window {
namespace {

constexpr const char* kFocusOrder[] = {"Command1", "Command2", "Command3", "Command4", "Command5", "Command6",
                                       "Text7",    "Text8",    "Text9",    "Text10",   "Text11",   "List1"};

constexpr bool InTable(std::string_view name) {
  for (const platform::ControlDef& row : kForm1Controls)
    if (name == row.name) return true;
  return false;
}
static_assert(std::ranges::all_of(kFocusOrder, InTable), "the focus order names a control Form1 lacks");

}  // namespace

const platform::WindowDef kForm1 = {"Vantor - Tolvane", 5775, 6255, kWindowGrey, kFocusOrder};

std::span<const platform::ControlDef> Form1Controls() { return kForm1Controls; }

}  // namespace window
