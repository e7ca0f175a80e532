// What the kernel says of a process in /proc/PID/stat (Linux): enough to tell whether it
// runs, whose child and in which process group it is, and who it is.
#pragma once

#include <sys/types.h>

#include <vector>

namespace base {

struct ProcessStat {
  char state = 0;  // 'R', 'S', 'Z', ...; 0 when there is no such process
  pid_t parent = 0, group = 0;
  unsigned long long cpuTicks = 0;  // processor time used so far, user and system, in clock ticks
  unsigned long long start = 0;     // in clock ticks since boot: with the number, who it is
};

ProcessStat StatOf(pid_t pid);

// The numbers of the processes there are now.
std::vector<pid_t> Processes();

}  // namespace base
