#include "RecordingRegistry.h"

#include "Registry.h"

// The real hive, built a second time under this namespace (see tests/CMakeLists.txt).
namespace recorded_hive {
extern const std::uintptr_t kCurrentUser;
long OpenKey(std::uintptr_t, const std::string&, std::uintptr_t*);
long CreateKey(std::uintptr_t, const std::string&, std::uintptr_t*);
long QueryValue(std::uintptr_t, const std::string&, std::uint32_t*, std::uint8_t*, std::uint32_t*);
long SetValue(std::uintptr_t, const std::string&, std::uint32_t, const std::uint8_t*, std::uint32_t);
long DeleteValue(std::uintptr_t, const std::string&);
long FlushKey(std::uintptr_t);
long CloseKey(std::uintptr_t);
std::string ToAnsi(std::string_view);
std::string FromAnsi(std::string_view);
}  // namespace recorded_hive

namespace recording {
namespace {
std::vector<std::string> g_log;
}  // namespace
void Start() { g_log.clear(); }
std::vector<std::string> Take() { return std::move(g_log); }
}  // namespace recording

namespace platform {

const RegKey kCurrentUser = 0x80000001;

long OpenKey(RegKey parent, const std::string& path, RegKey* key) {
  return recorded_hive::OpenKey(parent, path, key);
}
long CreateKey(RegKey parent, const std::string& path, RegKey* key) {
  return recorded_hive::CreateKey(parent, path, key);
}
long QueryValue(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                std::uint32_t* size) {
  recording::g_log.push_back("get " + name);
  return recorded_hive::QueryValue(key, name, type, data, size);
}
long SetValue(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
              std::uint32_t size) {
  if (type == kRegSz && size > 0)
    recording::g_log.push_back("set " + name + "=" + FromAnsi({reinterpret_cast<const char*>(data), size - 1}));
  else
    recording::g_log.push_back("set " + name + ":" + std::to_string(type));
  return recorded_hive::SetValue(key, name, type, data, size);
}
long DeleteValue(RegKey key, const std::string& name) {
  recording::g_log.push_back("delete " + name);
  return recorded_hive::DeleteValue(key, name);
}
long FlushKey(RegKey key) { return recorded_hive::FlushKey(key); }
long CloseKey(RegKey key) { return recorded_hive::CloseKey(key); }
std::string ToAnsi(std::string_view utf8) { return recorded_hive::ToAnsi(utf8); }
std::string FromAnsi(std::string_view ansi) { return recorded_hive::FromAnsi(ansi); }

}  // namespace platform
