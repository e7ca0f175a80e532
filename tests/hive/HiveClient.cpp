// A second process on the hive for the reliability tests: writes, reads and reports.
//   hive_client write KEY COUNT    SetRegValue of "value i" into slot i % 5 + 1, i = 1..COUNT,
//                                  printing i once each call has returned
//   hive_client raw KEY PREFIX COUNT   values PREFIXi and "shared" through the registry
//                                  functions; exits 1 on the first failed call
//   hive_client set KEY NAME TEXT  SetRegValue; exits 0 when the value then reads back as TEXT
//   hive_client get KEY NAME       prints GetRegValue
//   hive_client hold KEY MS        in a hive transaction, sets "held" in KEY, prints "holding",
//                                  keeps the write lock for MS milliseconds and commits
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "registry/RegMod.h"
#include "tests/support/RawRegistry.h"

namespace {

platform::Registry& Hive() { return platform::Registry::Default(); }

int RawWrites(const std::string& path, const std::string& prefix, int count) {
  for (int i = 1; i <= count; ++i) {
    const std::string name = prefix + std::to_string(i);
    if (!WriteRaw(Hive(), path, name, Sz(name)) || !WriteRaw(Hive(), path, "shared", Sz(name))) return 1;
  }
  return 0;
}

int Hold(const std::string& path, int milliseconds) {
  platform::Transaction transaction(Hive());
  if (transaction.begun() != platform::kSuccess || !WriteRaw(Hive(), path, "held", Sz("yes"))) return 1;
  std::printf("holding\n");
  std::fflush(stdout);
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  return transaction.Commit() == platform::kSuccess ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Hive().SendFaultsTo([](const std::string& why) { std::fprintf(stderr, "hive_client: %s\n", why.c_str()); });
  const std::string command = argc > 1 ? argv[1] : "";
  const auto root = platform::kCurrentUser;
  if (command == "write" && argc == 4) {
    for (int i = 1, count = std::atoi(argv[3]); i <= count; ++i) {
      registry::SetRegValue(root, argv[2], std::to_string(i % 5 + 1), registry::ValueType::String,
                            "value " + std::to_string(i));
      const std::string line = std::to_string(i) + "\n";
      if (write(STDOUT_FILENO, line.data(), line.size()) < 0) return 1;
    }
    return 0;
  }
  if (command == "raw" && argc == 5) return RawWrites(argv[2], argv[3], std::atoi(argv[4]));
  if (command == "hold" && argc == 4) return Hold(argv[2], std::atoi(argv[3]));
  if (command == "set" && argc == 5) {
    registry::SetRegValue(root, argv[2], argv[3], registry::ValueType::String, argv[4]);
    return registry::GetRegValue(root, argv[2], argv[3]) == argv[4] ? 0 : 1;
  }
  if (command == "get" && argc == 4)
    return std::printf("%s", registry::GetRegValue(root, argv[2], argv[3]).c_str()) < 0;
  std::fprintf(stderr, "usage: hive_client write|raw|set|get|hold ...\n");
  return 2;
}
