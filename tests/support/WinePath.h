// The path by which a Windows program under Wine reaches a file of this machine: Wine shows
// the machine's root as drive Z:.
#pragma once

#include <string>

inline std::string WinePath(std::string unixPath) {
  for (char& c : unixPath) c = c == '/' ? '\\' : c;
  return "Z:" + unixPath;
}
