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
void RefreshName(platform::Window& form) { form.LabelNamed(kLastUserLabel).SetCaption(regmod::GetLastUser()); }

// The load event: the warning unless switched off, the compact height, the last user.
void Startup(platform::Window& form) {
  platform::TextBox& alert = form.TextBoxNamed(kAlertBox);
  alert.SetText(regmod::GetRegValue(kCurrentUser, regmod::kProfilesKey, regmod::kAlertValue));
  if (alert.Text() != kWarningOff && !form.AskYesNo(kWarningText, kWarningTitle)) {
    regmod::SetRegValue(kCurrentUser, regmod::kProfilesKey, regmod::kAlertValue,
                        regmod::ValueType::String, kWarningOff);
  }
  form.SetOuterHeight(status_slots::kCompactHeight);
  RefreshName(form);
}

// Delete and Modify are usable exactly while a row with a text is selected.
void EnableRowCommands(platform::Window& form) {
  const bool selected = !form.ListBoxNamed(kList).SelectedText().empty();
  form.ButtonNamed(kDeleteButton).SetEnabled(selected);
  form.ButtonNamed(kModifyButton).SetEnabled(selected);
}

void CopySelection(platform::Window& form) {
  form.TextBoxNamed(kSelectionBox).SetText(form.ListBoxNamed(kList).SelectedText());
}

struct Click {
  const char* button;
  void (*handler)(platform::Window&);
};

constexpr std::array<Click, 6> kClicks = {{
    {kRefreshNameButton, RefreshName},
    {kGetStatusesButton, status_slots::LoadStatuses},
    {kDeleteButton, status_slots::Delete},
    {kModifyButton, status_slots::Modify},
    {kCreateButton, status_slots::Create},
    {kSubmitButton, status_slots::Submit},
}};

}  // namespace

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
    form.ButtonNamed(click.button).OnClick(then_enable_row_commands(click.handler));
  }
  form.ListBoxNamed(kList).OnClick(then_enable_row_commands(CopySelection));
  for (const status_slots::Slot& slot : kSlots) {
    form.TextBoxNamed(slot.editBox).OnChange([&form, &slot] { status_slots::StoreSlot(form, slot); });
  }
  form.TimerNamed(kRowCommandsTimer).OnTick([&form] { EnableRowCommands(form); });
  return window;
}

}  // namespace window
