// The texts of vantor-reg's failures.
#include "regtool/Failure.h"

#include <cerrno>
#include <cstring>
#include <map>

#include "platform/Registry.h"

namespace regtool {

std::string ErrorText(long result) {
  static const std::map<long, const char*> kTexts = {
      {platform::kFileNotFound, "The system cannot find the file specified."},
      {platform::kAccessDenied, "Access is denied."},
      {platform::kInvalidParameter, "The parameter is incorrect."},
      {platform::kBadPathname, "The specified path is invalid."},
      {platform::kBadDb, "The configuration registry database is corrupt."},
      {platform::kCantOpen, "The configuration registry key could not be opened."},
      {platform::kCantWrite, "The configuration registry key could not be written."},
      {platform::kKeyDeleted, "Illegal operation attempted on a registry key that has been marked for deletion."},
  };
  const auto text = kTexts.find(result);
  return text != kTexts.end() ? text->second : "Error " + std::to_string(result) + ".";
}

std::string AboutFile(const std::string& file, int line) {
  return "vantor-reg: " + file + (line > 0 ? ":" + std::to_string(line) : "") + ": ";
}

Failure FileFailure(const std::string& file) { return {AboutFile(file) + std::strerror(errno)}; }

}  // namespace regtool
