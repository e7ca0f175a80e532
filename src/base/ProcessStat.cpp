#include "base/ProcessStat.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace base {

ProcessStat StatOf(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  std::getline(file, text);
  const std::size_t nameEnd = text.rfind(')');  // the program's name may hold anything
  if (nameEnd == std::string::npos) return {};
  std::istringstream fields(text.substr(nameEnd + 1));
  ProcessStat stat;
  unsigned long long user = 0, system = 0;
  std::string skipped;
  fields >> stat.state >> stat.parent >> stat.group;  // fields 3 to 5
  for (int field = 6; field < 14; ++field) fields >> skipped;
  fields >> user >> system;  // fields 14 and 15
  for (int field = 16; field < 22; ++field) fields >> skipped;
  fields >> stat.start;  // field 22
  stat.cpuTicks = user + system;
  return fields ? stat : ProcessStat();
}

std::vector<pid_t> Processes() {
  std::vector<pid_t> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error))
    if (const pid_t pid = std::atoi(entry.path().filename().c_str()); pid > 0) found.push_back(pid);
  return found;
}

}  // namespace base
