// Form1, the program's only window: built from its control table, with every event the
// program handles connected to its handler.
#pragma once

#include <memory>

#include "platform/Toolkit.h"

namespace window {

std::unique_ptr<platform::Window> CreateForm1();

}  // namespace window
