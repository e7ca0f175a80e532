// Test entry point: off Windows every test binary gets a hive of its own in a fresh
// temporary folder, so no test ever touches the user's real one.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <cstdlib>
#include <filesystem>
#endif

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
#ifndef _WIN32
  char pattern[] = "/tmp/vantor-test-XXXXXX";
  const char* folder = mkdtemp(pattern);
  if (!folder) return 2;
  setenv("XDG_DATA_HOME", folder, 1);
  const int result = RUN_ALL_TESTS();
  std::filesystem::remove_all(folder);
  return result;
#else
  return RUN_ALL_TESTS();
#endif
}
