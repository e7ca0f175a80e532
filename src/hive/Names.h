// Key and value names as the hive keeps and compares them: paths split at backslashes,
// names upper-cased as Windows compares them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace hive {

// A name ends at its first zero byte, as a C string does.
inline std::string_view CName(const std::string& name) { return std::string_view(name.c_str()); }

// The upper-cased form of a name in the code page, in UTF-8, as the hive's fold columns
// hold it: two names are the same name when their folds are equal.
std::string Fold(std::string_view ansi);

// The names of a path, without the empty ones; a path can't start at the root. Returns
// kBadPathname or kInvalidParameter (a name too long) for a path that names no key.
long SplitPath(const std::string& path, std::vector<std::string_view>* names);

}  // namespace hive
