#include "slots/Slots.h"

#include <string>

#include "registry/RegMod.h"

namespace status_slots {
namespace {

using platform::kCurrentUser;

enum class Reload { Load, Submit };

// Both reloads read every slot through its read box; they differ in which texts they list
// and in whether a free slot enables Create.
void ReloadSlots(platform::Window& form, Reload reload) {
  platform::ListBox& list = form.ListBoxNamed(kList);
  list.Clear();
  for (const Slot& slot : kSlots) {
    platform::TextBox& readBox = form.TextBoxNamed(slot.readBox);
    readBox.SetText(regmod::GetRegValue(kCurrentUser, regmod::CustomMessageKey(), slot.valueName));
    const std::string text = readBox.Text();
    const bool missing = text == regmod::kNotFound;
    if (reload == Reload::Load && (missing || text.empty())) {
      form.ButtonNamed(kCreateButton).SetEnabled(true);
      continue;
    }
    if (missing) continue;
    list.Append(text);
    form.TextBoxNamed(slot.editBox).SetText(text);
  }
}

}  // namespace

void StoreSlot(platform::Window& form, const Slot& slot) {
  regmod::SetRegValue(kCurrentUser, regmod::CustomMessageKey(), slot.valueName,
                      regmod::ValueType::String, form.TextBoxNamed(slot.editBox).Text());
}

void LoadStatuses(platform::Window& form) { ReloadSlots(form, Reload::Load); }

void Create(platform::Window& form) {
  for (const Slot& slot : kSlots) {
    platform::TextBox& editBox = form.TextBoxNamed(slot.editBox);
    if (!editBox.Text().empty()) continue;
    editBox.SetText(form.InputBox(kNewStatusPrompt, kNewStatusTitle));
    LoadStatuses(form);
    return;
  }
}

void Delete(platform::Window& form) {
  const platform::TextBox& selection = form.TextBoxNamed(kSelectionBox);
  // An empty selection names no message; matching it against empty edit boxes would delete
  // slots whose messages the window has never shown.
  if (!selection.Text().empty()) {
    for (const Slot& slot : kSlots) {
      platform::TextBox& editBox = form.TextBoxNamed(slot.editBox);
      if (selection.Text() != editBox.Text()) continue;
      regmod::DeleteRegValue(kCurrentUser, regmod::CustomMessageKey(), slot.valueName);
      // On purpose: the write-through stores the emptied box back, so the slot stays, empty.
      editBox.SetText("");
    }
  }
  LoadStatuses(form);
}

void Modify(platform::Window& form) {
  form.SetOuterHeight(kExpandedHeight);
  platform::TextBox& selection = form.TextBoxNamed(kSelectionBox);
  platform::ListBox& list = form.ListBoxNamed(kList);
  selection.SetText(list.SelectedText());
  list.SetEnabled(false);
  for (const Slot& match : kSlots) {
    if (selection.Text() != form.TextBoxNamed(match.editBox).Text()) continue;
    for (const Slot& slot : kSlots) form.TextBoxNamed(slot.editBox).SetEnabled(&slot == &match);
  }
}

void Submit(platform::Window& form) {
  form.ListBoxNamed(kList).SetEnabled(true);
  for (const Slot& slot : kSlots) form.TextBoxNamed(slot.editBox).SetEnabled(true);
  form.SetOuterHeight(kCompactHeight);
  ReloadSlots(form, Reload::Submit);
}

}  // namespace status_slots
