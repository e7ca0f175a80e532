// wine_bridge_bench [PAIRS]: the Wine prefix's registry through the bridge, in the prefix
// that WINEPREFIX names (scripts/bench runs it in a fresh one). Measured in pairs, one
// right after the other so that both meet the same machine: an empty round trip, and the
// write-through of one keystroke (the edit box's change handler: the last user looked up,
// the slot's value stored and flushed). The baseline is the same write-through made inside
// a Windows process under wine (wine_keystroke_baseline.exe, in the same prefix); through
// the bridge it may cost that plus one empty round trip per registry call, plus 20%.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "backends/Backends.h"
#include "registry/RegMod.h"

namespace {

using platform::kCurrentUser;

constexpr int kRounds = 10;

// Counts the calls that cross to the bridge.
class CallCounter final : public platform::RegistryWrapper {
 public:
  using RegistryWrapper::RegistryWrapper;
  int calls = 0;
  long OpenKey(platform::RegKey parent, const std::string& path, platform::RegKey* key) override {
    ++calls;
    return RegistryWrapper::OpenKey(parent, path, key);
  }
  long CreateKey(platform::RegKey parent, const std::string& path, platform::RegKey* key) override {
    ++calls;
    return RegistryWrapper::CreateKey(parent, path, key);
  }
  long QueryValueWide(platform::RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* size) override {
    ++calls;
    return RegistryWrapper::QueryValueWide(key, name, type, data, size);
  }
  long SetValueWide(platform::RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                    std::uint32_t size) override {
    ++calls;
    return RegistryWrapper::SetValueWide(key, name, type, data, size);
  }
  long FlushKey(platform::RegKey key) override {
    ++calls;
    return RegistryWrapper::FlushKey(key);
  }
  long CloseKey(platform::RegKey key) override {
    ++calls;
    return RegistryWrapper::CloseKey(key);
  }
};

double Median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

// The baseline program's median, in microseconds: the one of the prefix's kind (WINEARCH, as
// scripts/wine-prefix sets it), under the Wine that WINE names.
double InProcessKeystroke(int rounds) {
  const char* winearch = std::getenv("WINEARCH");
  const char* wine = std::getenv("WINE");
  const std::string command = std::string(wine ? wine : "wine") + " " + KEYSTROKE_BASELINE_FOLDER +
                              "/wine_keystroke_baseline-" + (winearch ? winearch : "win64") + ".exe " +
                              std::to_string(rounds);
  const std::unique_ptr<FILE, int (*)(FILE*)> output(popen(command.c_str(), "r"), pclose);
  double micros = 0;
  return output && std::fscanf(output.get(), "%lf", &micros) == 1 ? micros : 0;
}

template <typename Work>
double Microseconds(Work work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int pairs = argc > 1 ? std::atoi(argv[1]) : 3000;
  const char* prefix = std::getenv("WINEPREFIX");
  std::string error;
  const auto wine = backends::OpenRegistry({prefix ? prefix : "", VANTOR_WINE_BRIDGE_FOLDER}, {}, &error);
  if (!wine || wine->WaitUntilReady(&error) != platform::kSuccess) {
    std::fprintf(stderr, "wine_bridge_bench: %s\n", error.c_str());
    return 2;
  }
  CallCounter counter(*wine);
  registry::UseRegistry(counter);
  registry::SetRegValue(kCurrentUser, registry::kPagerKey, registry::kLastUserValue, registry::ValueType::String,
                        "jdoe");

  // What one keystroke's change handler does with the box's text.
  auto keystroke = [](const std::string& text) {
    registry::SetRegValue(kCurrentUser, registry::CustomMessageKey(), "1", registry::ValueType::String, text);
  };
  counter.calls = 0;
  keystroke("Back in 5 minutes");
  const int calls = counter.calls;

  // In rounds, so that the baseline, which runs in a program of its own, meets the same
  // machine as the bridge does: the ratios are taken round by round.
  std::vector<double> ping, ascii, western, inProcess, ratio, westernRatio;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<double> roundPing, roundAscii, roundWestern;
    inProcess.push_back(InProcessKeystroke(pairs / kRounds));
    for (int i = 0; i < pairs / kRounds; ++i) {
      // The bare round trip: closing HKEY_CURRENT_USER goes to the bridge, whose RegCloseKey
      // on a predefined key does nothing and succeeds.
      roundPing.push_back(Microseconds([&] { wine->CloseKey(kCurrentUser); }));
      roundAscii.push_back(Microseconds([&] { keystroke("Back in " + std::to_string(i % 60) + " minutes"); }));
      roundWestern.push_back(Microseconds([&] { keystroke("Caf\u00e9 at " + std::to_string(i % 60)); }));
    }
    const double allowed = inProcess.back() + calls * Median(roundPing);
    ratio.push_back(Median(roundAscii) / allowed);
    westernRatio.push_back(Median(roundWestern) / allowed);
    ping.insert(ping.end(), roundPing.begin(), roundPing.end());
    ascii.insert(ascii.end(), roundAscii.begin(), roundAscii.end());
    western.insert(western.end(), roundWestern.begin(), roundWestern.end());
  }
  std::printf("Empty round trip through the bridge: median %.1f us (%d pairs)\n", Median(ping), pairs);
  std::printf("Keystroke write-through inside a Windows process under wine: median %.1f us\n", Median(inProcess));
  std::printf("Keystroke write-through through the bridge, %d registry calls: median %.1f us (goal <= 1000)\n", calls,
              Median(ascii));
  std::printf("  / (in-process + %d x round trip): %.2f (median of %d rounds; goal <= 1.2)\n", calls, Median(ratio),
              kRounds);
  std::printf("  a text beyond ASCII, sent in UTF-16 as any other: median %.1f us, ratio %.2f\n", Median(western),
              Median(westernRatio));
  return 0;
}
