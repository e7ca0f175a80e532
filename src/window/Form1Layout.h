// The main window Form1 as data: its frame and its 26 controls, in twips.
#pragma once

#include <span>

#include "platform/Toolkit.h"

namespace window {

extern const platform::WindowDef kForm1;
std::span<const platform::ControlDef> Form1Controls();

}  // namespace window
