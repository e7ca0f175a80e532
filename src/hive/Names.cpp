#include "hive/Names.h"

#include "base/CodePage1252.h"
#include "platform/Registry.h"

namespace hive {

using namespace platform;

// Upper-cased in the code page as Windows upper-cases it.
std::string Fold(std::string_view ansi) {
  std::string folded(ansi);
  for (char& c : folded) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7))
      c = static_cast<char>(b - 0x20);
    else if (b == 0x9A || b == 0x9C || b == 0x9E)
      c = static_cast<char>(b - 0x10);
    else if (b == 0xFF)
      c = static_cast<char>(0x9F);
  }
  return base::Windows1252ToUtf8(folded);
}

long SplitPath(const std::string& path, std::vector<std::string_view>* names) {
  const std::string_view full = CName(path);
  if (!full.empty() && full.front() == '\\') return kBadPathname;
  for (std::size_t begin = 0; begin <= full.size();) {
    std::size_t end = full.find('\\', begin);
    if (end == std::string_view::npos) end = full.size();
    if (end > begin) names->push_back(full.substr(begin, end - begin));
    if (end - begin > kMaxKeyNameLength) return kInvalidParameter;
    begin = end + 1;
  }
  return kSuccess;
}

}  // namespace hive
