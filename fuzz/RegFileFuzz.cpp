// libFuzzer target for the .reg reader: any bytes at all either read into changes or fail
// at a line of the file with nothing to apply, never crash or hang. What reads also goes
// back out through the writer and reads again to the same keys and values.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "RegFile.h"

namespace {

using regtool::RegChange;

// The keys made and values set, in order: what the writer can say again.
std::vector<regtool::RegKeyContents> Written(const std::vector<RegChange>& changes) {
  std::vector<regtool::RegKeyContents> keys;
  for (const RegChange& change : changes) {
    if (change.kind == RegChange::Kind::kCreateKey) keys.push_back({change.key, {}});
    if (change.kind == RegChange::Kind::kSetValue) keys.back().values.push_back(change.value);
  }
  return keys;
}

bool SameContents(const std::vector<regtool::RegKeyContents>& a,
                  const std::vector<regtool::RegKeyContents>& b) {
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
  const regtool::RegFileReading reading = regtool::ReadRegFile(bytes);
  if (reading.errorLine > 0) {
    if (!reading.changes.empty() || reading.error.empty() ||
        static_cast<std::size_t>(reading.errorLine) > size + 1)
      __builtin_trap();
    return 0;
  }
  const std::vector<regtool::RegKeyContents> keys = Written(reading.changes);
  const regtool::RegFileReading again = regtool::ReadRegFile(regtool::WriteRegFile(keys));
  if (again.errorLine > 0 || !SameContents(Written(again.changes), keys)) __builtin_trap();
  return 0;
}
