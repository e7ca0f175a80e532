// Where the hive's files live and when they can be trusted: the user's own folder and
// files, no symbolic links, nothing that others could write.
#pragma once

#include <string>

namespace hive {

inline constexpr const char* kHiveName = "hive.sqlite";

// The hive's folder; empty when the environment names none.
std::string HiveFolder();

// Creates the folder and any missing folder above it, private to the user: kSuccess, or
// kCantOpen with what went wrong in *why.
long MakeFolders(const std::string& folder, std::string* why);

// Checks the hive's folder and files (creating the hive file when it is missing) and closes
// them to others' reading: kSuccess when the hive can be used, else kAccessDenied with what
// is wrong in *why.
long CheckStore(const std::string& folder, std::string* why);

}  // namespace hive
