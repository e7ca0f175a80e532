// A registry with a log in front of it: tests read which registry operations the program
// made, in order, as the platform layer saw them.
#pragma once

#include <string>
#include <vector>

#include "base/Utf8.h"
#include "platform/Registry.h"

class RecordingRegistry : public platform::RegistryWrapper {
 public:
  using RegistryWrapper::RegistryWrapper;

  // Starts a fresh log. Entries: "open PATH", "create PATH", "get NAME", "set NAME=TEXT"
  // (REG_SZ data less the terminator; other types as "set NAME:TYPE"), "delete NAME",
  // "flush", "close".
  void Start() { log_.clear(); }
  std::vector<std::string> Take() { return std::move(log_); }
  // Only the entries that read or change a value: get, set and delete.
  std::vector<std::string> TakeValueCalls() {
    std::vector<std::string> values;
    for (std::string& entry : Take())
      if (entry.starts_with("get ") || entry.starts_with("set ") || entry.starts_with("delete "))
        values.push_back(std::move(entry));
    return values;
  }

  long OpenKey(platform::RegKey parent, const std::string& path, platform::RegKey* key) override {
    log_.push_back("open " + path);
    return RegistryWrapper::OpenKey(parent, path, key);
  }
  long CreateKey(platform::RegKey parent, const std::string& path, platform::RegKey* key) override {
    log_.push_back("create " + path);
    return RegistryWrapper::CreateKey(parent, path, key);
  }
  // The program reads and writes values through the wide calls only.
  long QueryValueWide(platform::RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* size) override {
    log_.push_back("get " + name);
    return RegistryWrapper::QueryValueWide(key, name, type, data, size);
  }
  long SetValueWide(platform::RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                    std::uint32_t size) override {
    const bool text = type == platform::kRegSz && size >= 2;
    log_.push_back("set " + name +
                   (text ? "=" + base::Utf16LeToUtf8({reinterpret_cast<const char*>(data), size - 2})
                         : ":" + std::to_string(type)));
    return RegistryWrapper::SetValueWide(key, name, type, data, size);
  }
  long DeleteValue(platform::RegKey key, const std::string& name) override {
    log_.push_back("delete " + name);
    return RegistryWrapper::DeleteValue(key, name);
  }
  long FlushKey(platform::RegKey key) override {
    log_.push_back("flush");
    return RegistryWrapper::FlushKey(key);
  }
  long CloseKey(platform::RegKey key) override {
    log_.push_back("close");
    return RegistryWrapper::CloseKey(key);
  }

 private:
  std::vector<std::string> log_;
};
