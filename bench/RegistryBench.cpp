// The registry procedures on the hive, next to the cost of one durable write of a plain file
// on the same filesystem: an 8-byte write plus fdatasync. Prints each result as a ratio, and
// the time of a read.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/DurableWrite.h"
#include "registry/RegMod.h"

namespace {

using platform::kCurrentUser;
using registry::ValueType;

std::string g_folder;

void SetUpProfile() {
  registry::SetRegValue(kCurrentUser, registry::kPagerKey, registry::kLastUserValue, ValueType::String, "jdoe");
  for (const char* slot : {"1", "2", "3", "4", "5"})
    registry::SetRegValue(kCurrentUser, registry::CustomMessageKey(), slot, ValueType::String, "Out for lunch");
}

void BM_DurableWriteBaseline(benchmark::State& state) { DurableWriteBaseline(state, g_folder); }

void BM_GetRegValue(benchmark::State& state) {
  const std::string key = registry::CustomMessageKey();
  for (auto _ : state) benchmark::DoNotOptimize(registry::GetRegValue(kCurrentUser, key, "2"));
}

// What one reload costs the registry when all five slots hold messages: each slot read and
// written back, each operation looking the user up again.
void BM_ReloadSequence(benchmark::State& state) {
  for (auto _ : state) {
    for (const char* slot : {"1", "2", "3", "4", "5"}) {
      const std::string text = registry::GetRegValue(kCurrentUser, registry::CustomMessageKey(), slot);
      registry::SetRegValue(kCurrentUser, registry::CustomMessageKey(), slot, ValueType::String, text);
    }
  }
}

BENCHMARK(BM_DurableWriteBaseline)->MinTime(2.0);
BENCHMARK(BM_GetRegValue)->MinTime(2.0);
BENCHMARK(BM_ReloadSequence)->MinTime(2.0);

constexpr int kPairs = 5000;

}  // namespace

int main(int argc, char** argv) {
  g_folder = MakeBenchFolder();
  SetUpProfile();

  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const std::string key = registry::CustomMessageKey();
  int i = 0;
  const PairedTimes set = TimeInPairs(
      g_folder, kPairs, [] {},
      [&] {
        registry::SetRegValue(kCurrentUser, key, "1", ValueType::String,
                              "Back in " + std::to_string(++i % 60) + " minutes");
      });
  const PairedTimes deleted = TimeInPairs(
      g_folder, kPairs, [&] { registry::SetRegValue(kCurrentUser, key, "5", ValueType::String, "to delete"); },
      [&] { registry::DeleteRegValue(kCurrentUser, key, "5"); });
  std::filesystem::remove_all(g_folder);

  const double getUs = reporter.Nanoseconds("BM_GetRegValue") / 1e3;
  std::printf("\nBaseline, 8-byte write + fdatasync, median of %d beside SetRegValue: %.1f us\n", kPairs,
              set.baselineUs);
  std::printf("SetRegValue     / baseline, median / median in pairs: %.2f  (goal <= 1.2) %s\n", set.Ratio(),
              Verdict(set.Ratio(), 1.2));
  std::printf("DeleteRegValue  / baseline, median / median in pairs: %.2f  (goal <= 1.2) %s\n", deleted.Ratio(),
              Verdict(deleted.Ratio(), 1.2));
  std::printf("Reload sequence / baseline: %.2f\n",
              reporter.Nanoseconds("BM_ReloadSequence") / reporter.Nanoseconds("BM_DurableWriteBaseline"));
  std::printf(
      "GetRegValue: %.2f us, of processor time %.2f us  (goal <= 3 us on a quiet machine, <= 5 us under "
      "load) %s\n",
      getUs, reporter.CpuNanoseconds("BM_GetRegValue") / 1e3, Verdict(getUs, 3));
  return 0;
}
