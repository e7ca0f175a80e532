// startup_bench [ROUNDS [PLATFORM [VANTOR_ARG...]]]: Vantor's start-up beside its floor, the
// same window written straight in Qt (qt_form1.cpp), and a bare Qt window's, measured in one
// run. Each round starts every program the same way: on the Qt platform named (offscreen
// unless told; xcb on an X display is what a desktop user starts it on), against a
// throw-away hive in which the start-up warning is switched off, with the idle probe
// preloaded; Vantor with the arguments given. For each it takes the time from just before
// the start until the probe reports the window shown and idle, and the child's peak resident
// memory as the kernel counts it. Prints the medians and their ratios to the floor's (the
// goals: Vantor at most 1.1 times it in both), and then how much of a core each uses while
// it sits idle, shown, for ten seconds.
//
// Run in a Wine prefix (WINEPREFIX set, as scripts/bench does with scripts/wine-prefix), it
// also starts `vantor --wine` in the same rotation, on that prefix's registry with its
// wineserver kept running, and a bare start of the prefix's bridge (from its start to its
// hello), saying which bridge ran under which loader. `vantor --wine` starts the bridge while
// Qt starts, so that the bridge's start hides behind Qt's: the goal is at most 1.1 times the
// floor above. Its ratio to Vantor's start on the hive is printed too, and a few starts with
// the wineserver stopped before each.
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/ProcessStat.h"
#include "registry/RegMod.h"
#include "winebridge/WineRegistry.h"

namespace {

constexpr int kDefaultRounds = 15;
constexpr int kPatienceMs = 20000;
constexpr double kGoal = 1.1;

struct Sample {
  double milliseconds;
  long peakKiB;
};

struct Program {
  const char* name;
  std::vector<const char*> command;  // the program's path, its arguments
  std::vector<Sample> samples;
  double idleCpuPercent = 0;  // of one core, over kIdleSeconds once shown
};

constexpr int kIdleSeconds = 10;
constexpr double kIdleGoalPercent = 0.5;
constexpr int kColdRounds = 5;

// In the registry RegMod works on.
void SwitchOffTheWarning() {
  using registry::ValueType;
  const platform::RegKey user = platform::kCurrentUser;
  registry::SetRegValue(user, registry::kProfilesKey, registry::kAlertValue, ValueType::String, "Disabled");
  registry::SetRegValue(user, registry::kPagerKey, registry::kLastUserValue, ValueType::String, "bench_user");
}

// The same in the prefix's registry, through the bridge.
void SwitchOffTheWarningInWine(const char* prefix) {
  std::string error;
  const std::unique_ptr<winebridge::WineRegistry> wine =
      winebridge::WineRegistry::Start(prefix, VANTOR_WINE_BRIDGE_FOLDER, &error);
  if (!wine || wine->WaitUntilReady(&error) != platform::kSuccess) {
    std::fprintf(stderr, "startup_bench: %s\n", error.c_str());
    std::exit(1);
  }
  registry::UseRegistry(*wine);
  SwitchOffTheWarning();
  registry::UseRegistry(platform::Registry::Default());
}

// The program of the process in the group that runs the bridge, its Wine loader as the kernel
// runs it; empty if none is found.
std::string LoaderOf(const winebridge::WineRegistry& wine) {
  for (const pid_t pid : base::Processes()) {
    const std::string folder = "/proc/" + std::to_string(pid);
    std::ifstream commandFile(folder + "/cmdline");
    const std::string command((std::istreambuf_iterator<char>(commandFile)), {});
    std::error_code ignored;
    if (command.find("vantor-wine-bridge") != std::string::npos && base::StatOf(pid).group == wine.BridgeGroup())
      return std::filesystem::read_symlink(folder + "/exe", ignored).string();
  }
  return {};
}

// The bridge's bare start in the prefix, to its hello, in milliseconds; 0 if it failed. Says
// once which bridge ran, and under which loader.
double BridgeStartOnce(const char* prefix) {
  static bool told = false;
  const auto start = std::chrono::steady_clock::now();
  std::string error;
  const std::unique_ptr<winebridge::WineRegistry> wine =
      winebridge::WineRegistry::Start(prefix, VANTOR_WINE_BRIDGE_FOLDER, &error);
  if (!wine || wine->WaitUntilReady(&error) != platform::kSuccess) {
    std::fprintf(stderr, "startup_bench: the bare bridge did not start: %s\n", error.c_str());
    return 0;
  }
  const double taken = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  if (!std::exchange(told, true))
    std::printf("The bridge: %s, run by %s\n", std::filesystem::path(wine->BridgeProgram()).filename().c_str(),
                LoaderOf(*wine).c_str());
  std::fflush(stdout);  // before the next fork, whose child would write it again
  return taken;
}

// Starts the program and stops it once the probe has reported, or, to measure the idle
// window, kIdleSeconds later; false if it never reported.
bool StartOnce(Program& program, bool measureIdle = false) {
  int report[2];
  if (pipe(report) != 0) return false;
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    close(report[0]);
    setenv("STARTUP_BENCH_FD", std::to_string(report[1]).c_str(), 1);
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    std::vector<char*> argv;
    for (const char* word : program.command) argv.push_back(const_cast<char*>(word));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(report[1]);
  pollfd waiting = {report[0], POLLIN, 0};
  char shown = 0;
  const bool reported = poll(&waiting, 1, kPatienceMs) == 1 && read(report[0], &shown, 1) == 1;
  const auto end = std::chrono::steady_clock::now();
  close(report[0]);
  if (reported && measureIdle) {
    const auto before = base::StatOf(child).cpuTicks;
    std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
    program.idleCpuPercent = 100.0 * static_cast<double>(base::StatOf(child).cpuTicks - before) /
                             static_cast<double>(sysconf(_SC_CLK_TCK)) / kIdleSeconds;
  }
  kill(child, SIGKILL);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  if (!reported) {
    std::fprintf(stderr, "startup_bench: %s never reported its window shown and idle\n", program.name);
    return false;
  }
  const std::chrono::duration<double, std::milli> taken = end - start;
  program.samples.push_back({taken.count(), usage.ru_maxrss});
  return true;
}

template <typename Field>
double Median(const std::vector<Sample>& samples, Field field) {
  std::vector<double> values;
  for (const Sample& sample : samples) values.push_back(static_cast<double>(sample.*field));
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : kDefaultRounds;
  const char* platform = argc > 2 ? argv[2] : "offscreen";
  if (rounds < 1) {
    std::fprintf(stderr, "usage: startup_bench [ROUNDS [PLATFORM [VANTOR_ARG...]]]\n");
    return 2;
  }
  char pattern[] = "/tmp/vantor-startup-XXXXXX";
  const char* hive = mkdtemp(pattern);
  if (!hive) return 1;
  setenv("XDG_DATA_HOME", hive, 1);
  setenv("QT_QPA_PLATFORM", platform, 1);
  setenv("LD_PRELOAD", IDLE_PROBE, 1);
  const char* winePrefix = std::getenv("WINEPREFIX");
  // The prefix's wineserver keeps running from here on, as beside a messenger under Wine
  // (-p fails when one runs already, which is as good).
  if (winePrefix) [[maybe_unused]]
    const int ignored = std::system("wineserver -p");
  SwitchOffTheWarning();
  if (winePrefix) SwitchOffTheWarningInWine(winePrefix);

  // The floor is the baseline of the goals. The bare window shows how much of it is Qt's own
  // start, before any text is drawn (the font system starts up) or any widget made.
  Program floor = {"Form1 in plain Qt", {QT_FORM1}, {}};
  Program bare = {"bare Qt window", {BARE_WINDOW}, {}};
  Program vantor = {"vantor", {VANTOR}, {}};
  for (int arg = 3; arg < argc; ++arg) vantor.command.push_back(argv[arg]);
  Program wine = {"vantor --wine", {VANTOR, "--wine"}, {}};
  Program cold = {"  wineserver cold", {VANTOR, "--wine"}, {}};
  std::vector<Program*> programs = {&floor, &bare, &vantor};
  if (winePrefix) programs.push_back(&wine);
  const int kPrograms = static_cast<int>(programs.size());
  // A first start of each fills the disk cache and is not counted; then the order rotates,
  // so that no program always starts on a machine another one just warmed.
  bool started = true;
  for (Program* program : programs) started = started && StartOnce(*program);
  for (Program* program : programs) program->samples.clear();
  std::vector<Sample> bridge;
  for (int round = 0; started && round < rounds; ++round) {
    for (int i = 0; started && i < kPrograms; ++i) started = StartOnce(*programs[(round + i) % kPrograms]);
    if (winePrefix && started) {
      bridge.push_back({BridgeStartOnce(winePrefix), 0});
      started = bridge.back().milliseconds > 0;
    }
  }
  // The idle runs come last and add no start-up samples to the medians.
  for (Program* program : programs) {
    const std::size_t counted = program->samples.size();
    started = started && StartOnce(*program, true);
    program->samples.resize(counted);
  }
  for (int round = 0; started && winePrefix && round < kColdRounds; ++round) {
    started = std::system("wineserver -k; wineserver -w") == 0 && StartOnce(cold);
  }
  if (winePrefix) std::system("wineserver -k");
  std::filesystem::remove_all(hive);
  if (!started) return 1;

  const double floorMs = Median(floor.samples, &Sample::milliseconds);
  const double floorKiB = Median(floor.samples, &Sample::peakKiB);
  std::printf("Start-up on the %s platform, medians of %d rounds\n", platform, rounds);
  std::printf("%-18s %18s %16s %12s %13s %10s\n", "", "shown and idle", "peak memory", "time/floor", "memory/floor",
              "idle CPU");
  if (winePrefix) programs.push_back(&cold);
  for (const Program* program : programs) {
    const double ms = Median(program->samples, &Sample::milliseconds);
    const double kiB = Median(program->samples, &Sample::peakKiB);
    std::printf("%-18s %15.1f ms %12.0f KiB %12.2f %13.2f %9.2f%%\n", program->name, ms, kiB, ms / floorMs,
                kiB / floorKiB, program->idleCpuPercent);
  }
  const double timeRatio = Median(vantor.samples, &Sample::milliseconds) / floorMs;
  const double memoryRatio = Median(vantor.samples, &Sample::peakKiB) / floorKiB;
  const auto verdict = [](double ratio) { return ratio <= kGoal ? "met" : "NOT MET"; };
  std::printf(
      "Goals: vantor at most %.1f times the floor: time %s, memory %s; idle at most %.1f%% of one core "
      "over %d s\n",
      kGoal, verdict(timeRatio), verdict(memoryRatio), kIdleGoalPercent, kIdleSeconds);
  if (winePrefix) {
    const double wineMs = Median(wine.samples, &Sample::milliseconds);
    const char* winearch = std::getenv("WINEARCH");
    std::printf(
        "In a %s prefix: bare start of its bridge %.1f ms; vantor --wine / the floor: %.2f (goal <= %.1f: "
        "%s); with a cold wineserver %.1f ms (median of %d)\n",
        winearch ? winearch : "win64", Median(bridge, &Sample::milliseconds), wineMs / floorMs, kGoal,
        verdict(wineMs / floorMs), Median(cold.samples, &Sample::milliseconds), kColdRounds);
    std::printf("vantor --wine / vantor on the hive: %.2f\n", wineMs / Median(vantor.samples, &Sample::milliseconds));
  }
  return 0;
}
