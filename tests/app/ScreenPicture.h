// A picture of a window as the screen shows it, frame included, saved as a PNG file: for
// the documentation's screenshot of the program under Wine.
#pragma once

#include <string>

#include "ToolkitWin32.h"

namespace test_support {

bool SaveWindowPicture(HWND window, const std::wstring& path);

}  // namespace test_support
