// What the toolkit adapters share: the window's controls found by their names, and the
// frame the layout's outer heights were drawn for.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "Toolkit.h"

namespace platform {

// Outer minus client height of the frame the layout was drawn for: 330 twips of title bar
// and top border, 45 of bottom border. A toolkit can't choose its frame, so the window takes
// the client height this frame would leave, and each outer height shows the controls it should.
inline constexpr int kReferenceFrameTwips = 375;

// A window whose controls the adapter adds by name as it builds them from the table.
class WindowOfNamedControls : public Window {
 public:
  TextBox& TextBoxNamed(const std::string& name) override { return Find(textBoxes_, name); }
  ListBox& ListBoxNamed(const std::string& name) override { return Find(listBoxes_, name); }
  Button& ButtonNamed(const std::string& name) override { return Find(buttons_, name); }
  Label& LabelNamed(const std::string& name) override { return Find(labels_, name); }
  Timer& TimerNamed(const std::string& name) override { return Find(timers_, name); }

 protected:
  template <typename Control>
  using ByName = std::map<std::string, std::unique_ptr<Control>>;

  ByName<TextBox> textBoxes_;
  ByName<ListBox> listBoxes_;
  ByName<Button> buttons_;
  ByName<Label> labels_;
  ByName<Timer> timers_;

 private:
  template <typename Control>
  static Control& Find(const ByName<Control>& controls, const std::string& name) {
    const auto found = controls.find(name);
    if (found == controls.end()) {
      std::fprintf(stderr, "vantor: the window has no control %s of that kind\n", name.c_str());
      std::abort();
    }
    return *found->second;
  }
};

}  // namespace platform
