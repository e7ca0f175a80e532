// How vantor-reg's commands fail: each throws a Failure, which the command runner prints,
// with Windows' texts for the registry's result codes, as reg.exe prints them, and the
// program's own name before what it says about a file.
#pragma once

#include <string>

namespace regtool {

// A command's failure: what to print on stderr before exiting with 1.
struct Failure {
  std::string message;
};

// The text for a result code; "Error N." for a code without one.
std::string ErrorText(long result);

// Where a message about a file points: "vantor-reg: FILE: ", or "vantor-reg: FILE:LINE: "
// for a line of it, from 1.
std::string AboutFile(const std::string& file, int line = 0);

// The failure of a call on a file that just failed, in errno's text.
Failure FileFailure(const std::string& file);

}  // namespace regtool
