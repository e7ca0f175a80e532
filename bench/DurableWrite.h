// The baseline of the benchmarks: one durable write of a plain file, 8 bytes and fdatasync,
// in the folder where the hive lives, so that both pay for the same disk.
#pragma once

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

inline void DurableWriteBaseline(benchmark::State& state, const std::string& folder) {
  const std::string path = folder + "/baseline";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT, 0600);
  const char bytes[8] = {'b', 'a', 's', 'e', 'l', 'i', 'n', 'e'};
  for (auto _ : state) {
    if (pwrite(fd, bytes, sizeof bytes, 0) != sizeof bytes || fdatasync(fd) != 0) state.SkipWithError("write failed");
  }
  close(fd);
}

// The medians, in microseconds, of the baseline's durable write and of a call, made in turn:
// the disk's speed drifts over a run, and with other processes' load, by more than a goal's
// margin, so each call is timed right beside a baseline write.
struct PairedTimes {
  double baselineUs;
  double callUs;
  double Ratio() const { return callUs / baselineUs; }
};

// Times call() `pairs` times, each right after one baseline write; prepare() runs before each
// pair, untimed.
template <typename Prepare, typename Call>
PairedTimes TimeInPairs(const std::string& folder, int pairs, Prepare prepare, Call call) {
  const int fd = open((folder + "/paired-baseline").c_str(), O_RDWR | O_CREAT, 0600);
  std::vector<double> baseline, calls;
  auto since = [](auto start) {
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
  };
  for (int i = 0; i < pairs; ++i) {
    prepare();
    auto start = std::chrono::steady_clock::now();
    if (pwrite(fd, "baseline", 8, 0) != 8 || fdatasync(fd) != 0) std::abort();
    baseline.push_back(since(start));
    start = std::chrono::steady_clock::now();
    call();
    calls.push_back(since(start));
  }
  close(fd);
  for (auto* times : {&baseline, &calls}) std::nth_element(times->begin(), times->begin() + pairs / 2, times->end());
  return {baseline[pairs / 2], calls[pairs / 2]};
}

// "met" or "NOT MET", after a figure and its goal.
inline const char* Verdict(double figure, double goal) { return figure <= goal ? "met" : "NOT MET"; }

// Time per iteration of each benchmark run, in nanoseconds, for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const double scale = run.time_unit == benchmark::kMillisecond   ? 1e6
                           : run.time_unit == benchmark::kMicrosecond ? 1e3
                                                                      : 1;
      nanoseconds_[run.run_name.function_name] = run.GetAdjustedRealTime() * scale;
      cpuNanoseconds_[run.run_name.function_name] = run.GetAdjustedCPUTime() * scale;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double Nanoseconds(const std::string& benchmark) { return nanoseconds_[benchmark]; }
  // The processor's time alone: on a busy machine, the part of a call's time that is its own.
  double CpuNanoseconds(const std::string& benchmark) { return cpuNanoseconds_[benchmark]; }

 private:
  std::map<std::string, double> nanoseconds_, cpuNanoseconds_;
};

// A fresh folder for the hive and the baseline file; XDG_DATA_HOME points the hive at it.
inline std::string MakeBenchFolder() {
  const char* parent = std::getenv("VANTOR_BENCH_DIR");
  std::string pattern = std::string(parent ? parent : "/var/tmp") + "/vantor-bench-XXXXXX";
  if (!mkdtemp(pattern.data())) std::abort();
  setenv("XDG_DATA_HOME", pattern.c_str(), 1);
  return pattern;
}
