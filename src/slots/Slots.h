// The five custom-message slots as the window shows them: the reload, the commands that
// change which slots hold a message, and the write-through that stores every change of an
// edit box in its slot at once. Works on the window's controls by name.
#pragma once

#include <array>

#include "platform/Toolkit.h"

namespace status_slots {

// Outer heights of the window: browse mode shows the list, modify mode the edit area too.
inline constexpr int kCompactHeight = 2800;
inline constexpr int kExpandedHeight = 4575;

struct Slot {
  const char* valueName;  // the registry value under the custom message key
  const char* readBox;    // receives the raw text read from the registry
  const char* editBox;    // shows and edits the message; stores every change
};

inline constexpr std::array<Slot, 5> kSlots = {{
    {"1", "Text1", "Text7"},
    {"2", "Text2", "Text8"},
    {"3", "Text3", "Text9"},
    {"4", "Text4", "Text10"},
    {"5", "Text5", "Text11"},
}};

// The controls the slots work on besides the slots' own boxes, named by their roles.
inline constexpr const char* kSelectionBox = "Text6";
inline constexpr const char* kList = "List1";
inline constexpr const char* kCreateButton = "Command5";

// The change handler of a slot's edit box: stores the box's whole text as the slot's value.
void StoreSlot(platform::Window& form, const Slot& slot);

// Reads the five slots into the read boxes, lists every slot that holds a text and copies
// it into its edit box; enables Create when a slot is free.
void LoadStatuses(platform::Window& form);

// The input box that Create asks for a message with.
inline constexpr const char* kNewStatusTitle = "New Status...";
inline constexpr const char* kNewStatusPrompt = "Enter New Status Message.";

// Asks for a message and puts it into the first slot whose edit box is empty.
void Create(platform::Window& form);

// Removes every slot whose edit box holds the selected text.
void Delete(platform::Window& form);

// Modify mode: the edit area shows and only the selected message's edit box is enabled.
void Modify(platform::Window& form);

// Back to browse mode, with a reload that lists empty slots and leaves Create alone.
void Submit(platform::Window& form);

}  // namespace status_slots
