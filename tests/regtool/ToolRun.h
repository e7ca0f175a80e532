// Runs vantor-reg and other programs as a user would, and reads the registry whole, for
// the vantor-reg suites.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/support/RawRegistry.h"

struct ToolRun {
  int exitCode = -1;
  std::string out, err;
};

// A program running beside the test. Its standard streams are files, not pipes: a server
// it leaves running (wineserver) can't keep a reader waiting for their end.
struct Started {
  pid_t pid = -1;
  std::string in, out, err;
};
// Starts argv[0] (found on PATH) with input on its standard input.
Started StartProgram(const std::vector<std::string>& argv, const std::string& input = "");
// Waits for its end; the exit code is -1 when a signal ended it.
ToolRun Finish(const Started& program);
// Runs argv[0] to its end.
ToolRun RunProgram(const std::vector<std::string>& argv, const std::string& input = "");
// Runs vantor-reg with these arguments.
ToolRun RunReg(std::vector<std::string> args, const std::string& input = "");
// Runs a program of the Wine prefix in WINEPREFIX (reg, regedit), for the suites that run
// under `scripts/wine-prefix with`.
ToolRun RunInWine(std::vector<std::string> args);

// Every key at and below path (under HKEY_CURRENT_USER) with its values' types and bytes,
// by the names the registry enumerates, in the hive or another registry; empty when the key
// is missing.
using Values = std::map<std::string, RawValue>;
using Tree = std::map<std::string, Values>;
Tree ReadHive(const std::string& path);
Tree ReadRegistry(platform::Registry& registry, const std::string& path);

// Sets a value through the registry functions, creating its key; records it in *seeded too,
// if given, for a test to compare ReadHive with.
void SetRaw(const std::string& path, const std::string& name, std::uint32_t type, const std::string& data,
            Tree* seeded = nullptr);

// Test data: the bytes 0, 1, ... count - 1; path with "\\k" added levels times; Latin-1
// (ASCII in practice) text in UTF-16LE.
std::string Counting(int count);
std::string Below(std::string path, int levels);
std::string Utf16(const std::string& latin1);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
