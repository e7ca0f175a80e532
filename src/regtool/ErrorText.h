// What vantor-reg prints when a command fails: Windows' texts for the registry's result
// codes, as reg.exe prints them, and the texts for a file it can't read or write.
#pragma once

#include <string>

namespace regtool {

// A command's failure: what to print on stderr before exiting with 1.
struct Failure {
  std::string message;
};

// The text for a result code; "Error N." for a code without one.
std::string ErrorText(long result);

// "vantor-reg: FILE: " and errno's text, for a file that a call on it just failed.
std::string FileErrorText(const std::string& file);

}  // namespace regtool
