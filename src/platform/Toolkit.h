// The window toolkit as the program relies on it: one window built from a table of
// controls, each reached by its name, with the few operations and events the handlers use.
// One implementation per toolkit (ToolkitQt.cpp, ToolkitWin32.cpp). Lengths are in twips.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace platform {

// A colour as 0x00BBGGRR; kDefaultColour leaves the toolkit's own.
using Colour = std::uint32_t;
inline constexpr Colour kDefaultColour = 0xFFFFFFFF;

// A TextHolder is a text box the user never sees: it has no place in the window and no
// toolkit control of its own; it keeps its text and raises its change event as a text box does.
enum class ControlKind { Label, Rectangle, Line, Button, ListBox, TextBox, TextHolder, Timer };
enum class Alignment { Left, Centre };

struct Font {
  const char* face;
  double points;
  int weight;
};

// The font of the controls that have none of their own: the one the layout's sizes were
// chosen for. Where a face is missing, the toolkit takes the nearest one present.
inline constexpr Font kWindowFont = {"MS Sans Serif", 8.25, 400};

// One control of the window: where it lies in the client area and how it looks at creation.
struct ControlDef {
  const char* name;
  ControlKind kind;
  const char* text = "";
  // What a screen reader calls a control that shows no text of its own to name it.
  const char* accessibleName = "";
  int left = 0, top = 0, width = 0, height = 0;
  Colour background = kDefaultColour;
  Colour foreground = kDefaultColour;
  Alignment alignment = Alignment::Left;
  const Font* font = nullptr;  // nullptr: kWindowFont
  bool enabled = true;
  int intervalMs = 0;  // a timer's period; a shorter one than 10 ms is 10 ms, as on Windows
};

struct WindowDef {
  const char* title;
  int clientWidth, clientHeight;  // as laid out, before the program sets a height
  Colour background;
  // The Tab order of the controls the user can reach; the first one has the focus at start.
  std::span<const char* const> focusOrder;
};

using Handler = std::function<void()>;

// A control the user acts on. A disabled one takes no input and raises no event of the
// user's; the program may still set it.
class InputControl {
 public:
  virtual ~InputControl() = default;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool IsEnabled() const = 0;
};

// Text() gives back the text as set, whole: zero characters and lone surrogates (in the
// three bytes Utf8.h gives them) included, whatever the toolkit's own box can hold.
class TextBox : public InputControl {
 public:
  virtual std::string Text() const = 0;
  // Raises the change event when the text differs from the one held, and only then; the
  // handler has run to its end when this returns. Also while the box is disabled.
  virtual void SetText(const std::string& text) = 0;
  // Raised on every change of the text, typed by the user or set by the program.
  virtual void OnChange(Handler handler) = 0;
};

class ListBox : public InputControl {
 public:
  virtual void Clear() = 0;  // also removes the selection
  virtual void Append(const std::string& row) = 0;
  // The selected row's text, or the empty text when no row is selected; a disabled list
  // keeps its selection.
  virtual std::string SelectedText() const = 0;
  virtual void OnClick(Handler handler) = 0;  // the user selects a row
};

// A push button; a caption too wide for one line wraps onto more, as on Windows.
class Button : public InputControl {
 public:
  virtual void OnClick(Handler handler) = 0;
};

class Label {
 public:
  virtual ~Label() = default;
  virtual std::string Caption() const = 0;
  virtual void SetCaption(const std::string& caption) = 0;
};

class Timer {
 public:
  virtual ~Timer() = default;
  virtual void OnTick(Handler handler) = 0;  // once per interval, between other events
};

class Window {
 public:
  virtual ~Window() = default;

  // The controls of the table, by name; nullptr when the table has no control of that name
  // and kind (a TextHolder is a text box).
  virtual TextBox* TextBoxNamed(const std::string& name) = 0;
  virtual ListBox* ListBoxNamed(const std::string& name) = 0;
  virtual Button* ButtonNamed(const std::string& name) = 0;
  virtual Label* LabelNamed(const std::string& name) = 0;
  virtual Timer* TimerNamed(const std::string& name) = 0;

  // The outer height, frame and title bar included; the window keeps its width and its
  // top-left corner and grows or shrinks at its lower edge.
  virtual void SetOuterHeight(int twips) = 0;
  virtual int OuterHeight() const = 0;

  // Raised once, when the window has been created and before it is first shown.
  virtual void OnLoad(Handler handler) = 0;

  // Modal question with the buttons Yes (the default) and No and the error icon; true for Yes.
  // Only the No button gives false: a box left any other way (Escape, its close button) is Yes.
  virtual bool AskYesNo(const std::string& text, const std::string& title) = 0;
  // Modal input box with no default text: the text entered, or the empty text on cancel.
  virtual std::string InputBox(const std::string& prompt, const std::string& title) = 0;

  // Raises the load event, shows the window centred and runs its events until it is closed.
  virtual int Run() = 0;
};

// Builds the window and its controls from the table; the application object of the toolkit
// must exist already (see the app's main()). Null, with *why, when the system refuses the
// window or one of its controls.
std::unique_ptr<Window> CreateWindow(const WindowDef& window, std::span<const ControlDef> controls, std::string* why);

}  // namespace platform
