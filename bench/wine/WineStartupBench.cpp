// wine_startup_bench [ROUNDS]: vantor.exe's start-up beside that of the same window written
// straight in Win32 (Win32Form1.cpp), its floor, and of a bare Win32 window (BareWindow.cpp),
// measured in one run under Wine. Each round starts the programs the same way, in turn and
// each round from the next one, on a registry in which the start-up warning is switched off:
// from just before CreateProcess until a window of the new process is visible, found by
// polling every millisecond. Each program is started once beforehand, so that none pays alone
// for Wine loading its libraries and fonts. Prints the medians and vantor.exe's ratios to the
// other two (the goal: at most 1.1 times the same window in Win32).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/ToolkitWin32.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultRounds = 15;
constexpr auto kPatience = std::chrono::seconds(20);
constexpr double kGoal = 1.1;

struct Program {
  const char* name;
  const char* unixPath;
  std::vector<double> milliseconds;
};

void SetString(const wchar_t* key, const wchar_t* name, const std::wstring& value) {
  HKEY handle;
  RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr);
  RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
}

// The user vantor.exe finds at start, with five messages, and its warning switched off.
void SeedRegistry() {
  SetString(L"SOFTWARE\\Yahoo\\Pager\\profiles", L"VantorAlert", L"Disabled");
  SetString(L"SOFTWARE\\yahoo\\pager", L"yahoo! user ID", L"bench_user");
  for (int slot = 1; slot <= 5; ++slot) {
    SetString(L"SOFTWARE\\Yahoo\\Pager\\profiles\\bench_user\\Custom Msgs", std::to_wstring(slot).c_str(),
              L"Message " + std::to_wstring(slot));
  }
}

struct Search {
  DWORD process;
  HWND found = nullptr;
};

BOOL CALLBACK FindVisible(HWND hwnd, LPARAM wanted) {
  auto& search = *reinterpret_cast<Search*>(wanted);
  DWORD process = 0;
  GetWindowThreadProcessId(hwnd, &process);
  if (process != search.process || !IsWindowVisible(hwnd)) return TRUE;
  search.found = hwnd;
  return FALSE;
}

// Wine shows the build machine's root as drive Z:.
std::wstring WindowsPath(const char* unixPath) {
  std::wstring path = L"Z:";
  for (const char* at = unixPath; *at; ++at) path += *at == '/' ? L'\\' : static_cast<wchar_t>(*at);
  return path;
}

// Milliseconds from the start to the first visible window; negative if none came.
double StartToShown(const Program& program) {
  std::wstring command = L"\"" + WindowsPath(program.unixPath) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const Clock::time_point start = Clock::now();
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return -1;
  }
  Search search{process.dwProcessId};
  while (!search.found && Clock::now() - start < kPatience) {
    EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&search));
    if (!search.found) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const double shown = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  if (search.found) PostMessageW(search.found, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return search.found ? shown : -1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultRounds;
  SeedRegistry();
  Program programs[] = {
      {"vantor.exe", VANTOR, {}}, {"Form1 in Win32", WIN32_FORM1, {}}, {"bare window", BARE_WINDOW, {}}};
  constexpr int kPrograms = sizeof programs / sizeof programs[0];
  for (const Program& program : programs) {
    if (StartToShown(program) < 0) {
      std::fprintf(stderr, "%s showed no window\n", program.name);
      return 1;
    }
  }
  for (int round = 0; round < rounds; ++round) {
    for (int turn = 0; turn < kPrograms; ++turn) {
      Program& program = programs[(round + turn) % kPrograms];
      const double milliseconds = StartToShown(program);
      if (milliseconds < 0) {
        std::fprintf(stderr, "%s showed no window\n", program.name);
        return 1;
      }
      program.milliseconds.push_back(milliseconds);
    }
  }
  std::printf("start to window shown under Wine, median of %d rounds:\n", rounds);
  for (const Program& program : programs) {
    std::printf("  %-14s %8.1f ms\n", program.name, Median(program.milliseconds));
  }
  const double ratio = Median(programs[0].milliseconds) / Median(programs[1].milliseconds);
  std::printf("ratio vantor.exe / Form1 in Win32: %.2f (goal: at most %.1f) %s\n", ratio, kGoal,
              ratio <= kGoal ? "met" : "NOT MET");
  std::printf("ratio vantor.exe / bare window: %.2f\n",
              Median(programs[0].milliseconds) / Median(programs[2].milliseconds));
  return 0;
}
