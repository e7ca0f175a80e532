// What the toolkit adapters share: the window's controls found by their names, the frame
// the layout's outer heights were drawn for, the controls' boxes in pixels and the order in
// which the window starts.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "platform/Toolkit.h"

namespace platform {

// Outer minus client height of the frame the layout was drawn for: 330 twips of title bar
// and top border, 45 of bottom border. A toolkit can't choose its frame, so the window takes
// the client height this frame would leave, and each outer height shows the controls it should.
inline constexpr int kReferenceFrameTwips = 375;

// The text box of a TextHolder row. It keeps its text whole, as the toolkit's boxes do.
class TextHolder final : public TextBox {
 public:
  explicit TextHolder(bool enabled) : enabled_(enabled) {}

  std::string Text() const override { return text_; }

  void SetText(const std::string& text) override {
    if (text == text_) return;
    text_ = text;
    if (onChange_) onChange_();
  }

  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  bool IsEnabled() const override { return enabled_; }
  void OnChange(Handler handler) override { onChange_ = std::move(handler); }

 private:
  std::string text_;
  bool enabled_;
  Handler onChange_;
};

// A window whose controls the adapter adds by name as it builds them from the table.
class WindowOfNamedControls : public Window {
 public:
  TextBox* TextBoxNamed(const std::string& name) override { return Find(textBoxes_, name); }
  ListBox* ListBoxNamed(const std::string& name) override { return Find(listBoxes_, name); }
  Button* ButtonNamed(const std::string& name) override { return Find(buttons_, name); }
  Label* LabelNamed(const std::string& name) override { return Find(labels_, name); }
  Timer* TimerNamed(const std::string& name) override { return Find(timers_, name); }

  void SetOuterHeight(int twips) final {
    outerHeight_ = twips;
    SetClientHeight(Pixels(twips - kReferenceFrameTwips));
  }

  int OuterHeight() const final { return outerHeight_; }

  void OnLoad(Handler handler) final { onLoad_ = std::move(handler); }

  int Run() final {
    if (onLoad_) onLoad_();
    Centre();  // again: the load event may have changed the height
    Show();
    return RunEvents();
  }

 protected:
  explicit WindowOfNamedControls(const WindowDef& window) : outerHeight_(window.clientHeight + kReferenceFrameTwips) {}

  virtual int Pixels(int twips) const = 0;
  // Keeps the width and the top-left corner: the window changes at its lower edge.
  virtual void SetClientHeight(int pixels) = 0;
  virtual void Centre() = 0;
  // Shows the window with the focus on the first control of the focus order that can take it.
  virtual void Show() = 0;
  // Runs the window's events until it is closed; the program's exit code.
  virtual int RunEvents() = 0;

  struct PixelBox {
    int left, top, width, height;
  };

  // A line is level or upright: its box has no height or no width, and it is drawn one
  // pixel thick, from the box's top-left corner to its far end.
  PixelBox BoxOf(const ControlDef& control) const {
    const int minimumExtent = control.kind == ControlKind::Line ? 1 : 0;
    return {Pixels(control.left), Pixels(control.top), std::max(Pixels(control.width), minimumExtent),
            std::max(Pixels(control.height), minimumExtent)};
  }

  template <typename Control>
  using ByName = std::map<std::string, std::unique_ptr<Control>>;

  ByName<TextBox> textBoxes_;
  ByName<ListBox> listBoxes_;
  ByName<Button> buttons_;
  ByName<Label> labels_;
  ByName<Timer> timers_;

  void AddTextHolder(const ControlDef& control) {
    textBoxes_.emplace(control.name, std::make_unique<TextHolder>(control.enabled));
  }

 private:
  template <typename Control>
  static Control* Find(const ByName<Control>& controls, const std::string& name) {
    const auto found = controls.find(name);
    return found == controls.end() ? nullptr : found->second.get();
  }

  int outerHeight_;
  Handler onLoad_;
};

}  // namespace platform
