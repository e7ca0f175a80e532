#include "slots/Slots.h"

#include <string>

#include "registry/RegMod.h"

namespace slots {
namespace {

using platform::kCurrentUser;

enum class Reload { Load, Submit };

// Both reloads read every slot through its read box; they differ in which texts they list
// and in whether a free slot enables Create.
void ReloadSlots(const Controls& controls, Reload reload) {
  controls.list.Clear();
  for (std::size_t k = 0; k < kValueNames.size(); ++k) {
    const SlotBoxes& slot = controls.boxes[k];
    slot.read.SetText(registry::GetRegValue(kCurrentUser, registry::CustomMessageKey(), kValueNames[k]));
    const std::string text = slot.read.Text();
    const bool missing = text == registry::kNotFound;
    if (reload == Reload::Load && (missing || text.empty())) {
      controls.create.SetEnabled(true);
      continue;
    }
    if (missing) continue;
    controls.list.Append(text);
    slot.edit.SetText(text);
  }
}

}  // namespace

void StoreSlot(const platform::TextBox& edit, std::size_t slot) {
  registry::SetRegValue(kCurrentUser, registry::CustomMessageKey(), kValueNames[slot], registry::ValueType::String,
                        edit.Text());
}

void LoadStatuses(const Controls& controls) { ReloadSlots(controls, Reload::Load); }

void Create(const Controls& controls) {
  for (const SlotBoxes& slot : controls.boxes) {
    if (!slot.edit.Text().empty()) continue;
    slot.edit.SetText(controls.form.InputBox(kNewStatusPrompt, kNewStatusTitle));
    LoadStatuses(controls);
    return;
  }
}

void Delete(const Controls& controls) {
  const platform::TextBox& selection = controls.selection;
  // An empty selection names no message; matching it against empty edit boxes would delete
  // slots whose messages the window has never shown.
  if (!selection.Text().empty()) {
    for (std::size_t k = 0; k < kValueNames.size(); ++k) {
      platform::TextBox& editBox = controls.boxes[k].edit;
      if (selection.Text() != editBox.Text()) continue;
      registry::DeleteRegValue(kCurrentUser, registry::CustomMessageKey(), kValueNames[k]);
      // On purpose: the write-through stores the emptied box back, so the slot stays, empty.
      editBox.SetText("");
    }
  }
  LoadStatuses(controls);
}

void Modify(const Controls& controls) {
  controls.form.SetOuterHeight(controls.expandedHeight);
  controls.selection.SetText(controls.list.SelectedText());
  controls.list.SetEnabled(false);
  for (const SlotBoxes& match : controls.boxes) {
    if (controls.selection.Text() != match.edit.Text()) continue;
    for (const SlotBoxes& slot : controls.boxes) slot.edit.SetEnabled(&slot == &match);
  }
}

void Submit(const Controls& controls) {
  controls.list.SetEnabled(true);
  for (const SlotBoxes& slot : controls.boxes) slot.edit.SetEnabled(true);
  controls.form.SetOuterHeight(controls.compactHeight);
  ReloadSlots(controls, Reload::Submit);
}

}  // namespace slots
