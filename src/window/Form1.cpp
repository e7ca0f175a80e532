#include "window/Form1.h"

#include <array>
#include <string>

#include "registry/RegMod.h"
#include "window/ControlNames.h"
#include "window/Form1Layout.h"

namespace window {
namespace {

using platform::kCurrentUser;

// Shows the ID of the messenger user who logged in last.
void RefreshName(platform::Window& form) { kLastUserLabel.In(form).SetCaption(registry::GetLastUser()); }

// The load event: the warning unless switched off, the compact height, the last user.
void Startup(platform::Window& form) {
  platform::TextBox& alert = kAlertBox.In(form);
  alert.SetText(registry::GetRegValue(kCurrentUser, registry::kProfilesKey, registry::kAlertValue));
  if (alert.Text() != kWarningOff && !form.AskYesNo(kWarningText, kWarningTitle)) {
    registry::SetRegValue(kCurrentUser, registry::kProfilesKey, registry::kAlertValue, registry::ValueType::String,
                          kWarningOff);
  }
  form.SetOuterHeight(kCompactHeight);
  RefreshName(form);
}

// Delete and Modify are usable exactly while a row with a text is selected.
void EnableRowCommands(platform::Window& form) {
  const bool selected = !kList.In(form).SelectedText().empty();
  kDeleteButton.In(form).SetEnabled(selected);
  kModifyButton.In(form).SetEnabled(selected);
}

void CopySelection(platform::Window& form) { kSelectionBox.In(form).SetText(kList.In(form).SelectedText()); }

struct Click {
  Form1Control<platform::Button> button;
  void (*handler)(platform::Window&);
};

// The slots' commands, on the controls the window hands them.
template <void (*command)(const slots::Controls&)>
void OnSlots(platform::Window& form) {
  command(SlotControls(form));
}

constexpr std::array<Click, 6> kClicks = {{
    {kRefreshNameButton, RefreshName},
    {kGetStatusesButton, OnSlots<slots::LoadStatuses>},
    {kDeleteButton, OnSlots<slots::Delete>},
    {kModifyButton, OnSlots<slots::Modify>},
    {kCreateButton, OnSlots<slots::Create>},
    {kSubmitButton, OnSlots<slots::Submit>},
}};

}  // namespace

slots::Controls SlotControls(platform::Window& form) {
  const auto boxes = [&](std::size_t k) { return slots::SlotBoxes{kReadBoxes[k].In(form), kEditBoxes[k].In(form)}; };
  return {form,
          {boxes(0), boxes(1), boxes(2), boxes(3), boxes(4)},
          kSelectionBox.In(form),
          kList.In(form),
          kCreateButton.In(form),
          kCompactHeight,
          kExpandedHeight};
}

std::unique_ptr<platform::Window> CreateForm1(std::string* why) {
  std::unique_ptr<platform::Window> window = platform::CreateWindow(kForm1, Form1Controls(), why);
  if (!window) return nullptr;
  platform::Window& form = *window;
  form.OnLoad([&form] { Startup(form); });
  // Every click may change the list or its selection: the rule for Delete and Modify runs
  // right after it, so the buttons never lag behind; the timer keeps it as a safety net.
  auto then_enable_row_commands = [&form](void (*handler)(platform::Window&)) {
    return [&form, handler] {
      handler(form);
      EnableRowCommands(form);
    };
  };
  for (const Click& click : kClicks) {
    click.button.In(form).OnClick(then_enable_row_commands(click.handler));
  }
  kList.In(form).OnClick(then_enable_row_commands(CopySelection));
  for (std::size_t k = 0; k < kEditBoxes.size(); ++k) {
    platform::TextBox& edit = kEditBoxes[k].In(form);
    edit.OnChange([&edit, k] { slots::StoreSlot(edit, k); });
  }
  kRowCommandsTimer.In(form).OnTick([&form] { EnableRowCommands(form); });
  return window;
}

}  // namespace window
