// Test entry point: off Windows every test binary gets a hive of its own in a fresh
// temporary folder, so no test ever touches the user's real one.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#endif

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
#ifndef _WIN32
  char pattern[] = "/tmp/vantor-test-XXXXXX";
  const char* folder = mkdtemp(pattern);
  if (!folder) return 2;
  setenv("XDG_DATA_HOME", folder, 1);
  const int result = RUN_ALL_TESTS();
  std::error_code error;
  std::filesystem::remove_all(folder, error);
  if (error) std::fprintf(stderr, "could not remove %s: %s\n", folder, error.message().c_str());
  return result;
#else
  return RUN_ALL_TESTS();
#endif
}
