// HiveTransaction.h on the hive: calls inside a transaction, key creation and deletion
// among them, land together at Commit and not at all at Rollback; another process sees
// nothing before Commit, and reads meanwhile without waiting for it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "HiveTransaction.h"
#include "RawRegistry.h"
#include "Registry.h"
#include "ToolRun.h"

namespace {

using namespace std::string_literals;
using namespace platform;

const std::string kPath = "Software\\VantorTest\\Transaction";

// What vantor-reg exports of kPath, or its error.
std::string Exported() {
  const std::string file = std::string(std::getenv("XDG_DATA_HOME")) + "/transaction.reg";
  const ToolRun run = RunReg({"export", "HKCU\\" + kPath, file, "/y"});
  return run.exitCode == 0 ? ReadFile(file) : run.err;
}

// Twice the same changes in one transaction, rolled back and then committed: a new key
// three levels deep with a value, a value replaced, and a key deleted with its values.
TEST(HiveTransaction, ChangesLandTogetherAtCommitAndNotAtAllAtRollback) {
  SetRaw(kPath, "old", kRegDword, "\1\0\0\0"s);
  SetRaw(kPath + "\\Doomed", "x", kRegSz, "x\0"s);
  const Tree before = ReadHive(kPath);
  const std::string exportedBefore = Exported();
  for (const bool commit : {false, true}) {
    ASSERT_EQ(BeginHiveTransaction(), kSuccess);
    EXPECT_TRUE(WriteRaw(Registry::Default(), kPath + "\\New\\Deeper\\Deepest", "v", Sz("new")));
    EXPECT_TRUE(WriteRaw(Registry::Default(), kPath, "old", {kRegDword, "\2\0\0\0"s}));
    EXPECT_EQ(Registry::Default().DeleteKey(kCurrentUser, kPath + "\\Doomed"), kSuccess);
    // Nothing is committed yet: another process still reads the hive as it was.
    EXPECT_EQ(RunReg({"query", "HKCU\\" + kPath + "\\New"}).exitCode, 1);
    // An export reads beside the transaction, without waiting for its lock.
    EXPECT_EQ(Exported(), exportedBefore);
    ASSERT_EQ(commit ? CommitHiveTransaction() : RollbackHiveTransaction(), kSuccess);
    if (!commit) ASSERT_EQ(ReadHive(kPath), before);
  }
  EXPECT_EQ(ReadHive(kPath), (Tree{{kPath, {{"old", {kRegDword, "\2\0\0\0"s}}}},
                                   {kPath + "\\New", {}},
                                   {kPath + "\\New\\Deeper", {}},
                                   {kPath + "\\New\\Deeper\\Deepest", {{"v", {kRegSz, "new\0"s}}}}}));
  EXPECT_EQ(RunReg({"query", "HKCU\\" + kPath + "\\New\\Deeper\\Deepest", "/v", "v"}).out,
            "\nHKEY_CURRENT_USER\\" + kPath + "\\New\\Deeper\\Deepest\n    v    REG_SZ    new\n\n");
}

}  // namespace
