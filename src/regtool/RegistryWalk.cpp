// Walks over the registry for vantor-reg's commands.
#include "RegistryWalk.h"

#include "HiveTransaction.h"

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

long CollectTree(platform::RegKey key, const std::string& path, std::vector<RegKeyContents>* keys) {
  RegKeyContents contents{path, {}};
  if (const long result = ReadValues(key, &contents.values); result != platform::kSuccess) return result;
  keys->push_back(std::move(contents));
  std::vector<std::string> names;
  if (const long result = ReadSubkeyNames(key, &names); result != platform::kSuccess) return result;
  for (const std::string& name : names) {
    KeyHandle subkey;
    long result = Hive().OpenKey(key, name, subkey.Receive());
    if (result == platform::kSuccess)
      result = CollectTree(subkey.get(), path.empty() ? name : path + '\\' + name, keys);
    if (result != platform::kSuccess) return result;
  }
  return platform::kSuccess;
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

long ReadTree(const std::string& path, std::vector<RegKeyContents>* keys) {
  KeyHandle key;
  const long result = Hive().OpenKey(platform::kCurrentUser, path, key.Receive());
  return result == platform::kSuccess ? CollectTree(key.get(), path, keys) : result;
}

long DeleteTree(platform::RegKey parent, const std::string& path) {
  KeyHandle key;
  long result = Hive().OpenKey(parent, path, key.Receive());
  // The key's own subkeys are gone one by one, so the first one left is always index 0.
  std::string subkey;
  while (result == platform::kSuccess &&
         (result = Hive().EnumKey(key.get(), 0, &subkey)) == platform::kSuccess)
    result = DeleteTree(key.get(), subkey);
  key.Close();
  return result == platform::kNoMoreItems ? Hive().DeleteKey(parent, path) : result;
}

long InHiveTransaction(const std::function<long()>& change) {
  if (const long result = platform::BeginHiveTransaction(); result != platform::kSuccess) return result;
  long result = change();
  if (result == platform::kSuccess) result = platform::CommitHiveTransaction();
  if (result != platform::kSuccess) platform::RollbackHiveTransaction();
  return result;
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
    case platform::kCantRead:
      return "The configuration registry key could not be read.";
    case platform::kCantWrite:
      return "The configuration registry key could not be written.";
    case platform::kKeyDeleted:
      return "Illegal operation attempted on a registry key that has been marked for deletion.";
    default:
      return "Error " + std::to_string(result) + ".";
  }
}

}  // namespace regtool
