// The five custom-message slots as the window shows them: the reload, the commands that
// change which slots hold a message, and the write-through that stores every change of an
// edit box in its slot at once. Works on the window's controls that the window hands in.
#pragma once

#include <array>
#include <cstddef>

#include "platform/Toolkit.h"

namespace slots {

// The registry values under the custom message key that hold the slots' messages, slot by slot.
inline constexpr std::array<const char*, 5> kValueNames = {"1", "2", "3", "4", "5"};

// A slot's two boxes in the window.
struct SlotBoxes {
  platform::TextBox& read;  // receives the raw text read from the registry
  platform::TextBox& edit;  // shows and edits the message; stores every change
};

// The window's controls the slots work on, by their roles, and the window's outer heights:
// browse mode shows the list, modify mode the edit area too.
struct Controls {
  platform::Window& form;                           // asks for a new message and changes its height
  std::array<SlotBoxes, kValueNames.size()> boxes;  // slot by slot
  platform::TextBox& selection;
  platform::ListBox& list;
  platform::Button& create;
  int compactHeight;
  int expandedHeight;
};

// The change handler of a slot's edit box: stores the box's whole text as the slot's value.
void StoreSlot(const platform::TextBox& edit, std::size_t slot);

// Reads the five slots into the read boxes, lists every slot that holds a text and copies
// it into its edit box; enables Create when a slot is free.
void LoadStatuses(const Controls& controls);

// The input box that Create asks for a message with.
inline constexpr const char* kNewStatusTitle = "New Status...";
inline constexpr const char* kNewStatusPrompt = "Enter New Status Message.";

// Asks for a message and puts it into the first slot whose edit box is empty.
void Create(const Controls& controls);

// Removes every slot whose edit box holds the selected text.
void Delete(const Controls& controls);

// Modify mode: the edit area shows and only the selected message's edit box is enabled.
void Modify(const Controls& controls);

// Back to browse mode, with a reload that lists empty slots and leaves Create alone.
void Submit(const Controls& controls);

}  // namespace slots
