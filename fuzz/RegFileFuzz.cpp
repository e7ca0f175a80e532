// libFuzzer target for the .reg reader: any bytes at all either read into changes, with a
// note for each line passed over, or fail at a line of the file, never crash or hang. Every
// key that reads is one the writer may write, and what reads goes back out through the
// writer and reads again to the same keys and values, without a note.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "regtool/RegFile.h"

namespace {

using regtool::RegChange;
using regtool::RegFileFault;

struct Key {
  std::string path;
  std::vector<regtool::RegValue> values;
};

// A note or a fault names a line of the file and says what is wrong.
void CheckPlace(std::string_view bytes, int line, const std::string& message) {
  if (message.empty() || line < 1 || static_cast<std::size_t>(line) > bytes.size() + 1) __builtin_trap();
}

// The keys made and values set, in order: what the writer can say again.
std::vector<Key> Written(std::string_view bytes, RegFileFault* fault, int* notes) {
  std::vector<Key> keys;
  try {
    regtool::ReadRegFile(
        bytes,
        [&](const RegChange& change) {
          if (change.kind == RegChange::Kind::kCreateKey) keys.push_back({change.key, {}});
          if (change.kind == RegChange::Kind::kSetValue) keys.back().values.push_back(change.value);
        },
        [&](const regtool::RegFileNote& note) {
          CheckPlace(bytes, note.line, note.message);
          ++*notes;
        });
  } catch (const RegFileFault& thrown) {
    *fault = thrown;
  }
  return keys;
}

bool SameKeys(const std::vector<Key>& a, const std::vector<Key>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    if (a[k].path != b[k].path || a[k].values.size() != b[k].values.size()) return false;
    for (std::size_t v = 0; v < a[k].values.size(); ++v) {
      const regtool::RegValue &x = a[k].values[v], &y = b[k].values[v];
      if (x.name != y.name || x.type != y.type || x.data != y.data) return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  RegFileFault fault;
  int notes = 0;
  const std::vector<Key> keys = Written(bytes, &fault, &notes);
  if (fault.line > 0) {
    CheckPlace(bytes, fault.line, fault.message);
    return 0;
  }
  std::string file = regtool::RegFileStart();
  for (const Key& key : keys) {
    if (regtool::KeyPathFault(key.path)) __builtin_trap();
    file += regtool::RegFileKey(key.path, key.values);
  }
  RegFileFault again;
  int notesAgain = 0;
  if (!SameKeys(Written(file, &again, &notesAgain), keys) || again.line > 0 || notesAgain > 0) __builtin_trap();
  return 0;
}
