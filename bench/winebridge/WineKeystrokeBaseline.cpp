// wine_keystroke_baseline.exe PAIRS: the baseline of wine_bridge_bench, run under wine in the
// same prefix: one keystroke's write-through made inside a Windows process, straight on
// advapi32, as vantor.exe makes it. Prints the median in microseconds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "registry/RegMod.h"

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 3000;
  std::vector<double> micros;
  for (int i = 0; i < rounds; ++i) {
    const auto start = std::chrono::steady_clock::now();
    registry::SetRegValue(platform::kCurrentUser, registry::CustomMessageKey(), "1", registry::ValueType::String,
                          "Back in " + std::to_string(i % 60) + " minutes");
    micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
  }
  std::nth_element(micros.begin(), micros.begin() + rounds / 2, micros.end());
  std::printf("%.2f\n", micros[rounds / 2]);
  return 0;
}
