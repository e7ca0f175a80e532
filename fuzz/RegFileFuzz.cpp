// libFuzzer target for the .reg reader: any bytes at all either read into changes or fail
// at a line of the file, never crash or hang. Every key that reads is one the writer may
// write, and what reads goes back out through the writer and reads again to the same keys
// and values.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "RegFile.h"

namespace {

using regtool::RegChange;
using regtool::RegFileFault;

struct Key {
  std::string path;
  std::vector<regtool::RegValue> values;
};

// The keys made and values set, in order: what the writer can say again.
std::vector<Key> Written(std::string_view bytes, RegFileFault* fault) {
  std::vector<Key> keys;
  *fault = regtool::ReadRegFile(bytes, [&](const RegChange& change) {
    if (change.kind == RegChange::Kind::kCreateKey) keys.push_back({change.key, {}});
    if (change.kind == RegChange::Kind::kSetValue) keys.back().values.push_back(change.value);
    return true;
  });
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
  const std::vector<Key> keys = Written(bytes, &fault);
  if (fault.line > 0) {
    if (fault.message.empty() || static_cast<std::size_t>(fault.line) > size + 1) __builtin_trap();
    return 0;
  }
  std::string file = regtool::RegFileStart();
  for (const Key& key : keys) {
    if (regtool::KeyPathFault(key.path)) __builtin_trap();
    file += regtool::RegFileKey(key.path, key.values);
  }
  RegFileFault again;
  if (!SameKeys(Written(file, &again), keys) || again.line > 0) __builtin_trap();
  return 0;
}
