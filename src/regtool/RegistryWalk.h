// What vantor-reg does to the registry beyond single calls, through the platform's
// registry functions: reading a key's values and subkeys, walking and deleting a key with
// everything below it, and running changes as one hive transaction. Trees are walked with
// a stack of their own, not by recursion, so that no depth of keys can overflow the
// program's stack.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Registry.h"
#include "regtool/RegFile.h"

namespace regtool {

// vantor-reg works on the hive, the platform's default registry.
inline platform::Registry& Hive() { return platform::Registry::Default(); }

// An open key, closed when it goes.
class KeyHandle {
 public:
  KeyHandle() = default;
  ~KeyHandle() { Close(); }
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  KeyHandle(KeyHandle&& other) noexcept : key_(std::exchange(other.key_, platform::kNoKey)) {}

  platform::RegKey get() const { return key_; }
  // Where OpenKey and CreateKey put the handle; closes the key held before.
  platform::RegKey* Receive() {
    Close();
    return &key_;
  }
  void Close() {
    if (key_ != platform::kNoKey) Hive().CloseKey(key_);
    key_ = platform::kNoKey;
  }

 private:
  platform::RegKey key_ = platform::kNoKey;
};

long ReadValue(platform::RegKey key, const std::string& name, RegValue* value);
// Every value of the key, in the registry's order.
long ReadValues(platform::RegKey key, std::vector<RegValue>* values);
long ReadSubkeyNames(platform::RegKey key, std::vector<std::string>* names);

// Calls visit for the key and every key below it, each before its subkeys, subkeys in the
// registry's order, with the key's handle and its path from the key: "" for the key itself,
// "\A\B" for its subkey A's subkey B (ANSI). The first result other than kSuccess ends the
// walk and is returned. While the caller holds a handle on the key, the hive answers every
// read from one view of it (its snapshot while handles are open), which holds up no writer.
using Visit = std::function<long(platform::RegKey key, const std::string& below)>;
long WalkTree(platform::RegKey key, const Visit& visit);

// Deletes the key at path under parent with all its subkeys and values.
long DeleteTree(platform::RegKey parent, const std::string& path);

// Runs change() in one hive transaction: committed when it returns kSuccess, else rolled
// back, leaving the hive as it was.
long InHiveTransaction(const std::function<long()>& change);

// Windows' text for a registry result code.
std::string ErrorText(long result);

}  // namespace regtool
