// Runs vantor-reg and other programs as a user would, and reads the registry whole, for
// the vantor-reg suites.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct ToolRun {
  int exitCode = -1;
  std::string out, err;
};

// Runs argv[0] (found on PATH) to its end with input on its standard input.
ToolRun RunProgram(const std::vector<std::string>& argv, const std::string& input = "");
// Runs vantor-reg with these arguments.
ToolRun RunReg(std::vector<std::string> args, const std::string& input = "");

// Every key at and below path (under HKEY_CURRENT_USER) with its values' types and bytes,
// by the names the registry enumerates; empty when the key is missing.
using Values = std::map<std::string, std::pair<std::uint32_t, std::string>>;
using Tree = std::map<std::string, Values>;
Tree ReadHive(const std::string& path);

// Sets a value through the registry functions, creating its key.
void SetRaw(const std::string& path, const std::string& name, std::uint32_t type, const std::string& data);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
