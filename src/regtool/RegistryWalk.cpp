// Walks over the registry for vantor-reg's commands.
#include "regtool/RegistryWalk.h"


namespace regtool {
namespace {

// Reads a value's data into value->data, growing the buffer while the value grows.
template <typename Read>
long ReadData(Read read, RegValue* value) {
  std::uint32_t size = 0;
  long result = read(&value->type, nullptr, &size);
  while (result == platform::kSuccess) {
    value->data.resize(size);
    result = read(&value->type, reinterpret_cast<std::uint8_t*>(value->data.data()), &size);
    if (result == platform::kSuccess) value->data.resize(size);
    if (result != platform::kMoreData) return result;
    result = platform::kSuccess;
  }
  return result;
}

}  // namespace

long ReadValue(platform::RegKey key, const std::string& name, RegValue* value) {
  value->name = name;
  return ReadData([&](std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* size) { return Hive().QueryValue(key, name, type, data, size); },
                  value);
}

long ReadValues(platform::RegKey key, std::vector<RegValue>* values) {
  for (std::uint32_t index = 0;; ++index) {
    RegValue value;
    const long result = ReadData(
        [&](std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) {
          return Hive().EnumValue(key, index, &value.name, type, data, size);
        },
        &value);
    if (result == platform::kNoMoreItems) return platform::kSuccess;
    if (result != platform::kSuccess) return result;
    values->push_back(std::move(value));
  }
}

long ReadSubkeyNames(platform::RegKey key, std::vector<std::string>* names) {
  for (std::uint32_t index = 0;; ++index) {
    std::string name;
    const long result = Hive().EnumKey(key, index, &name);
    if (result == platform::kNoMoreItems) return platform::kSuccess;
    if (result != platform::kSuccess) return result;
    names->push_back(std::move(name));
  }
}

long WalkTree(platform::RegKey key, const Visit& visit) {
  // The keys from the start down to the one visited last, each with the length of its path
  // and the index of its next subkey.
  struct Level {
    KeyHandle key;
    std::size_t pathLength = 0;
    std::uint32_t nextSubkey = 0;
  };
  std::vector<Level> levels(1);
  std::string path;
  long result = Hive().OpenKey(key, "", levels.back().key.Receive());
  if (result == platform::kSuccess) result = visit(levels.back().key.get(), path);
  std::string name;
  while (result == platform::kSuccess && !levels.empty()) {
    Level& level = levels.back();
    result = Hive().EnumKey(level.key.get(), level.nextSubkey++, &name);
    if (result == platform::kNoMoreItems) {
      path.resize(level.pathLength);
      levels.pop_back();
      result = platform::kSuccess;
    } else if (result == platform::kSuccess) {
      Level subkey{{}, path.size()};
      result = Hive().OpenKey(level.key.get(), name, subkey.key.Receive());
      levels.push_back(std::move(subkey));
      path += '\\';
      path += name;
      if (result == platform::kSuccess) result = visit(levels.back().key.get(), path);
    }
  }
  return result;
}

long DeleteTree(platform::RegKey parent, const std::string& path) {
  // The keys from the one at path down to the one being emptied, each with its name under
  // the key above it. A key goes once its last subkey has gone, so the first subkey left is
  // always at index 0.
  struct Level {
    KeyHandle key;
    std::string name;
  };
  std::vector<Level> levels(1);
  levels.back().name = path;
  long result = Hive().OpenKey(parent, path, levels.back().key.Receive());
  std::string name;
  while (result == platform::kSuccess && !levels.empty()) {
    result = Hive().EnumKey(levels.back().key.get(), 0, &name);
    if (result == platform::kSuccess) {
      Level subkey{{}, name};
      result = Hive().OpenKey(levels.back().key.get(), name, subkey.key.Receive());
      levels.push_back(std::move(subkey));
    } else if (result == platform::kNoMoreItems) {
      name = std::move(levels.back().name);
      levels.pop_back();
      result = Hive().DeleteKey(levels.empty() ? parent : levels.back().key.get(), name);
    }
  }
  return result;
}

long InHiveTransaction(const std::function<long()>& change) {
  platform::Transaction transaction(Hive());
  if (transaction.begun() != platform::kSuccess) return transaction.begun();
  const long result = change();
  return result == platform::kSuccess ? transaction.Commit() : result;
}

std::string ErrorText(long result) {
  switch (result) {
    case platform::kFileNotFound:
      return "The system cannot find the file specified.";
    case platform::kAccessDenied:
      return "Access is denied.";
    case platform::kInvalidParameter:
      return "The parameter is incorrect.";
    case platform::kBadPathname:
      return "The specified path is invalid.";
    case platform::kBadDb:
      return "The configuration registry database is corrupt.";
    case platform::kCantOpen:
      return "The configuration registry key could not be opened.";
    case platform::kCantWrite:
      return "The configuration registry key could not be written.";
    case platform::kKeyDeleted:
      return "Illegal operation attempted on a registry key that has been marked for deletion.";
    default:
      return "Error " + std::to_string(result) + ".";
  }
}

}  // namespace regtool
