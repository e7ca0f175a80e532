// What only Qt code may ask of a Qt window: its widget, for the Qt tools and tests that
// grab it or act on its controls as the user would.
#pragma once

class QWidget;

namespace platform {

class Window;

// The window's top-level widget; each control is a child whose objectName is its name.
QWidget& WidgetOf(Window& window);

}  // namespace platform
