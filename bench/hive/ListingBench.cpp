// Listing all values of one key by index, as vantor-reg's query and export read them (each
// value's size first, then its data), for 10,000 and for 100,000 values in the key. The
// first is the baseline of the second: ten times the values should cost about ten times as
// much.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/DurableWrite.h"
#include "platform/Registry.h"

namespace {

using namespace platform;

std::string KeyOf(int count) { return "Software\\VantorBench\\" + std::to_string(count); }

// One transaction, so that filling the key costs one sync.
void Fill(int count) {
  Registry& hive = Registry::Default();
  Transaction transaction(hive);
  RegKey key = kNoKey;
  if (transaction.begun() != kSuccess || hive.CreateKey(kCurrentUser, KeyOf(count), &key) != kSuccess) std::abort();
  for (int i = 0; i < count; ++i) {
    const std::string data = "message " + std::to_string(i);
    hive.SetValue(key, "value " + std::to_string(i), kRegSz, reinterpret_cast<const std::uint8_t*>(data.c_str()),
                  static_cast<std::uint32_t>(data.size() + 1));
  }
  hive.CloseKey(key);
  if (transaction.Commit() != kSuccess) std::abort();
}

template <int kCount>
void BM_ListValues(benchmark::State& state) {
  Registry& hive = Registry::Default();
  for (auto _ : state) {
    RegKey key = kNoKey;
    hive.OpenKey(kCurrentUser, KeyOf(kCount), &key);
    std::uint32_t index = 0;
    for (std::string name;; ++index) {
      std::uint8_t data[64];
      std::uint32_t type = 0, size = 0;
      if (hive.EnumValue(key, index, &name, &type, nullptr, &size) != kSuccess) break;
      size = sizeof data;
      if (hive.EnumValue(key, index, &name, &type, data, &size) != kSuccess) break;
    }
    hive.CloseKey(key);
    if (index != kCount) state.SkipWithError("the listing ended early");
  }
}

BENCHMARK_TEMPLATE(BM_ListValues, 10000)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_TEMPLATE(BM_ListValues, 100000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = MakeBenchFolder();
  Fill(10000);
  Fill(100000);

  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::filesystem::remove_all(folder);

  const double small = reporter.Nanoseconds("BM_ListValues<10000>");
  const double large = reporter.Nanoseconds("BM_ListValues<100000>");
  std::printf("\nListing 10,000 values: %.1f ms\n", small / 1e6);
  std::printf("Listing 100,000 values: %.1f ms  (goal < 2000 ms)\n", large / 1e6);
  std::printf("100,000 / 10,000: %.2f  (goal: about 10 at most)\n", large / small);
  return 0;
}
