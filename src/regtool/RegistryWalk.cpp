// Walks over the registry for vantor-reg's commands.
#include "regtool/RegistryWalk.h"

namespace regtool {

long ReadValue(platform::Registry& registry, platform::RegKey key, const std::string& name, RegValue* value) {
  value->name = name;
  return platform::ReadWholeValue([&](std::uint32_t* type, std::uint8_t* data,
                                      std::uint32_t* size) { return registry.QueryValue(key, name, type, data, size); },
                                  &value->type, &value->data);
}

long ReadValues(platform::Registry& registry, platform::RegKey key, std::vector<RegValue>* values) {
  for (std::uint32_t index = 0;; ++index) {
    RegValue value;
    const long result = platform::ReadWholeValue(
        [&](std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) {
          return registry.EnumValue(key, index, &value.name, type, data, size);
        },
        &value.type, &value.data);
    if (result == platform::kNoMoreItems) return platform::kSuccess;
    if (result != platform::kSuccess) return result;
    values->push_back(std::move(value));
  }
}

long ReadSubkeyNames(platform::Registry& registry, platform::RegKey key, std::vector<std::string>* names) {
  for (std::uint32_t index = 0;; ++index) {
    std::string name;
    const long result = registry.EnumKey(key, index, &name);
    if (result == platform::kNoMoreItems) return platform::kSuccess;
    if (result != platform::kSuccess) return result;
    names->push_back(std::move(name));
  }
}

long WalkTree(platform::Registry& registry, platform::RegKey key, const Visit& visit) {
  // The keys from the start down to the one visited last, each with the length of its path
  // and the index of its next subkey.
  struct Level {
    platform::Key key;
    std::size_t pathLength = 0;
    std::uint32_t nextSubkey = 0;
  };
  std::vector<Level> levels;
  levels.push_back({platform::Key(registry)});
  std::string path;
  long result = registry.OpenKey(key, "", levels.back().key.Receive());
  if (result == platform::kSuccess) result = visit(levels.back().key.get(), path);
  std::string name;
  while (result == platform::kSuccess && !levels.empty()) {
    Level& level = levels.back();
    result = registry.EnumKey(level.key.get(), level.nextSubkey++, &name);
    if (result == platform::kNoMoreItems) {
      path.resize(level.pathLength);
      levels.pop_back();
      result = platform::kSuccess;
    } else if (result == platform::kSuccess) {
      Level subkey{platform::Key(registry), path.size()};
      result = registry.OpenKey(level.key.get(), name, subkey.key.Receive());
      levels.push_back(std::move(subkey));
      path += '\\';
      path += name;
      if (result == platform::kSuccess) result = visit(levels.back().key.get(), path);
    }
  }
  return result;
}

long DeleteTree(platform::Registry& registry, platform::RegKey parent, const std::string& path) {
  // The keys from the one at path down to the one being emptied, each with its name under
  // the key above it. A key goes once its last subkey has gone, so the first subkey left is
  // always at index 0.
  struct Level {
    platform::Key key;
    std::string name;
  };
  std::vector<Level> levels;
  levels.push_back({platform::Key(registry), path});
  long result = registry.OpenKey(parent, path, levels.back().key.Receive());
  std::string name;
  while (result == platform::kSuccess && !levels.empty()) {
    result = registry.EnumKey(levels.back().key.get(), 0, &name);
    if (result == platform::kSuccess) {
      Level subkey{platform::Key(registry), name};
      result = registry.OpenKey(levels.back().key.get(), name, subkey.key.Receive());
      levels.push_back(std::move(subkey));
    } else if (result == platform::kNoMoreItems) {
      name = std::move(levels.back().name);
      levels.pop_back();
      result = registry.DeleteKey(levels.empty() ? parent : levels.back().key.get(), name);
    }
  }
  return result;
}

}  // namespace regtool
