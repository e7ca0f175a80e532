// The hive under the conditions a real desktop gives it: processes killed mid-write, two
// writers at once, files that are not hives, and the file's place and modes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "hive/LockWait.h"
#include "registry/RegMod.h"
#include "tests/regtool/ToolRun.h"
#include "tests/support/RawRegistry.h"

namespace {

namespace fs = std::filesystem;
using namespace platform;
using registry::GetRegValue;

const std::string kKey = "Software\\VantorTest";

fs::path TestHome() { return std::getenv("XDG_DATA_HOME"); }

fs::path HiveFile(const fs::path& dataHome) { return dataHome / "vantor" / "hive.sqlite"; }

// The command line of hive_client (or a copy of it) on the hive in dataHome.
std::vector<std::string> Client(std::vector<std::string> args, const fs::path& dataHome = TestHome(),
                                const std::string& program = HIVE_CLIENT) {
  args.insert(args.begin(), {"env", "XDG_DATA_HOME=" + dataHome.string(), program});
  return args;
}

// Whether `hive_client hold` has said, within ten seconds, that it holds the write lock.
bool Holds(const Started& holder) {
  for (int look = 0; look < 2000 && ReadFile(holder.out) != "holding\n"; ++look)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return ReadFile(holder.out) == "holding\n";
}

// Runs SQL on the hive file in dataHome, made if need be, past the registry functions; the
// first column of the first row it gives, as text.
std::string Sql(const fs::path& dataHome, const std::string& sql) {
  std::string first = "(no row)";
  sqlite3* db = nullptr;
  sqlite3_open(HiveFile(dataHome).c_str(), &db);
  const auto keepFirst = [](void* first, int, char** row, char**) {
    *static_cast<std::string*>(first) = row[0] ? row[0] : "NULL";
    return 1;  // no more rows
  };
  sqlite3_exec(db, sql.c_str(), keepFirst, &first, nullptr);
  sqlite3_close(db);
  return first;
}

// A process that uses the hive in dataHome is refused it: its change fails and its read finds
// nothing, and one line on standard error says why, however many registry calls it makes.
// The hive file, if there is one, is left as it was.
void ExpectRefused(const fs::path& dataHome, const std::string& why) {
  const std::string before = ReadFile(HiveFile(dataHome));
  const ToolRun set = RunProgram(Client({"set", kKey, "1", "x"}, dataHome));
  const ToolRun get = RunProgram(Client({"get", kKey, "1"}, dataHome));
  EXPECT_EQ(set.exitCode, 1) << dataHome;
  EXPECT_EQ(set.out + get.out, "Not Found") << dataHome;
  for (const ToolRun& run : {set, get}) {
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_NE(run.err.find(why), std::string::npos) << run.err;
  }
  EXPECT_EQ(ReadFile(HiveFile(dataHome)), before) << "the hive was written";
}

class Hive : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = TestHome() / ("case-" + std::to_string(counter_++));
    fs::create_directories(folder_);
    fs::permissions(folder_, fs::perms::all);
  }
  fs::path folder_;
  static inline int counter_ = 0;
};

TEST_F(Hive, KilledWriterLosesNoWriteThatHadReturned) {
  std::mt19937 random(20261206);
  int acknowledged = 0;  // writes seen to return, over all rounds
  for (int round = 0; round < 25; ++round) {
    const std::string key = kKey + "\\Kill" + std::to_string(round);
    const Started child = StartProgram(Client({"write", key, "1000000"}));
    ASSERT_GT(child.pid, 0) << "the writer did not start";  // never signal -1: that is every process
    std::this_thread::sleep_for(std::chrono::milliseconds(5 + random() % 60));
    kill(child.pid, SIGKILL);
    const std::string output = Finish(child).out;

    int last = 0;  // the last write the child saw return
    for (std::size_t pos = 0, end; (end = output.find('\n', pos)) != std::string::npos; pos = end + 1)
      last = std::stoi(output.substr(pos, end - pos));
    acknowledged += last;
    for (int slot = 1; slot <= 5; ++slot) {
      int returned = last;  // the last returned write into this slot
      while (returned > 0 && returned % 5 + 1 != slot) --returned;
      const std::string kept = returned > 0 ? "value " + std::to_string(returned) : "Not Found";
      const int next = last + 1;  // may have been committed without being reported
      const std::string stored = GetRegValue(kCurrentUser, key, std::to_string(slot));
      EXPECT_TRUE(stored == kept || (next % 5 + 1 == slot && stored == "value " + std::to_string(next)))
          << "round " << round << " slot " << slot << ": " << stored << ", last returned " << last;
    }
  }
  // Rounds whose child died before its first write prove nothing; together they must not all be such.
  EXPECT_GT(acknowledged, 0);
  EXPECT_EQ(Sql(TestHome(), "PRAGMA integrity_check"), "ok");
}

TEST_F(Hive, TwoWritersAtOnceLoseNothing) {
  const std::string key = kKey + "\\Together";
  constexpr int kWrites = 300;
  const Started a = StartProgram(Client({"raw", key, "a", std::to_string(kWrites)}));
  const Started b = StartProgram(Client({"raw", key, "b", std::to_string(kWrites)}));
  for (const Started& writer : {a, b}) EXPECT_EQ(Finish(writer).exitCode, 0) << "a registry call failed";
  for (const char* prefix : {"a", "b"}) {
    for (int i = 1; i <= kWrites; ++i) {
      const std::string name = prefix + std::to_string(i);
      ASSERT_EQ(GetRegValue(kCurrentUser, key, name), name);
    }
  }
  const std::string shared = GetRegValue(kCurrentUser, key, "shared");
  EXPECT_TRUE(shared == "a" + std::to_string(kWrites) || shared == "b" + std::to_string(kWrites)) << shared;
}

TEST_F(Hive, ChangesWaitOutAnotherProcesssLongTransaction) {
  const std::string key = kKey + "\\Waiting";
  registry::SetRegValue(kCurrentUser, key, "typed", registry::ValueType::String, "");
  Registry& hive = Registry::Default();
  // A reader here, its handle open, keeps no other process from writing...
  RegKey reader = kNoKey;
  ASSERT_EQ(hive.OpenKey(kCurrentUser, key, &reader), kSuccess);
  ASSERT_EQ(hive.QueryValue(reader, "typed", nullptr, nullptr, nullptr), kSuccess);
  const Started holder = StartProgram(Client({"hold", key, std::to_string(hive::kHiveLockWaitMs + 1500)}));
  ASSERT_TRUE(Holds(holder));
  hive.CloseKey(reader);
  // ...and that process's write lock keeps no one from reading.
  EXPECT_EQ(GetRegValue(kCurrentUser, key, "typed"), "");

  // Keystrokes typed meanwhile, and a key created in another process, wait for the lock.
  const Started creator = StartProgram(Client({"set", key + "\\Created", "typed", "new"}));
  for (const std::string text : {"H", "Hi", "Hi!"}) EXPECT_TRUE(WriteRaw(hive, key, "typed", Sz(text))) << text;
  for (const Started& child : {holder, creator}) EXPECT_EQ(Finish(child).exitCode, 0);
  EXPECT_EQ(GetRegValue(kCurrentUser, key, "typed"), "Hi!");
  EXPECT_EQ(GetRegValue(kCurrentUser, key, "held"), "yes");
  EXPECT_EQ(GetRegValue(kCurrentUser, key + "\\Created", "typed"), "new");
}

TEST_F(Hive, WriteAheadLogIsMergedOnExitAndKeptSmall) {
  // A process that wrote and ended leaves its changes in the hive file itself.
  ASSERT_EQ(RunProgram(Client({"set", kKey, "1", "merged"}, folder_)).exitCode, 0);
  const fs::path log = HiveFile(folder_).string() + "-wal";
  EXPECT_TRUE(!fs::exists(log) || fs::file_size(log) == 0);

  // While a process runs, the log stays at 4 MiB: filled to it at the process's first
  // change, so that commits overwrite what the file holds, and cut back to it after a large
  // change.
  const Started writer = StartProgram(Client({"write", kKey, "1000000"}, folder_));
  for (int look = 0; look < 2000 && ReadFile(writer.out).empty(); ++look)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(fs::file_size(log), 4u << 20);
  kill(writer.pid, SIGKILL);
  Finish(writer);
  const std::string large(16 << 20, 'x');
  Registry& hive = Registry::Default();
  ASSERT_TRUE(WriteRaw(hive, kKey + "\\Large", "large", {kRegBinary, large}));
  registry::DeleteRegValue(kCurrentUser, kKey + "\\Large", "large");
  ASSERT_TRUE(WriteRaw(hive, kKey + "\\Large", "small", {kRegBinary, "x"}));
  EXPECT_EQ(fs::file_size(HiveFile(TestHome()).string() + "-wal"), 4u << 20);
}

TEST_F(Hive, ChangesOfAnotherProgramAreSeenAndBuiltOn) {
  const std::string key = kKey + "\\Moved";
  registry::SetRegValue(kCurrentUser, key, "v", registry::ValueType::String, "first");
  ASSERT_EQ(GetRegValue(kCurrentUser, key, "v"), "first");
  // Another program gives the key, already opened here, another id.
  Sql(TestHome(),
      "UPDATE vals SET key = 9999 WHERE key = (SELECT id FROM keys WHERE fold = 'MOVED');"
      "UPDATE keys SET id = 9999 WHERE fold = 'MOVED'");
  EXPECT_EQ(GetRegValue(kCurrentUser, key, "v"), "first");
  registry::SetRegValue(kCurrentUser, key, "v", registry::ValueType::String, "second");
  EXPECT_EQ(Sql(TestHome(),
                "SELECT group_concat(key || ' ' || data) FROM vals "
                "WHERE key IN (SELECT id FROM keys WHERE fold = 'MOVED')"),
            "9999 second");

  // A change on a handle opened before another program's change still lands.
  Registry& hive = Registry::Default();
  RegKey open = kNoKey;
  ASSERT_EQ(hive.OpenKey(kCurrentUser, key, &open), kSuccess);
  Sql(TestHome(), "UPDATE vals SET data = 'theirs' WHERE key = 9999");
  EXPECT_EQ(hive.SetValue(open, "w", kRegSz, reinterpret_cast<const std::uint8_t*>("mine"), 5), kSuccess);
  hive.CloseKey(open);
  EXPECT_EQ(Sql(TestHome(), "SELECT group_concat(name || ' ' || data) FROM vals WHERE key = 9999"), "v theirs,w mine");
}

// Reads are answered from memory while the hive is unchanged; every change of another
// program, by another connection or another process, is seen at the next read however it
// falls between this process's own reads and changes.
TEST_F(Hive, EveryReadSeesTheChangesOfOtherProgramsMadeBeforeIt) {
  const std::string key = kKey + "\\Seen";
  const auto set = [&](const std::string& name, const std::string& text) {
    registry::SetRegValue(kCurrentUser, key, name, registry::ValueType::String, text);
  };
  const auto theirs = [&](const std::string& sql) { Sql(TestHome(), sql); };
  const std::string vals = "UPDATE vals SET data = ";
  const std::string ofA = " WHERE fold = 'A' AND key = (SELECT id FROM keys WHERE fold = 'SEEN')";
  set("a", "mine");
  set("b", "mine too");
  ASSERT_EQ(GetRegValue(kCurrentUser, key, "a"), "mine");
  ASSERT_EQ(GetRegValue(kCurrentUser, key, "b"), "mine too");
  ASSERT_EQ(GetRegValue(kCurrentUser, key, "a"), "mine");

  theirs(vals + "'theirs 1'" + ofA);
  EXPECT_EQ(GetRegValue(kCurrentUser, key, "b"), "mine too");  // the first read after theirs
  EXPECT_EQ(GetRegValue(kCurrentUser, key, "a"), "theirs 1");
  set("b", "mine 2");  // a change of this process's between theirs and the next read
  theirs(vals + "'theirs 2'" + ofA);
  EXPECT_EQ(GetRegValue(kCurrentUser, key, "a"), "theirs 2");
  EXPECT_EQ(GetRegValue(kCurrentUser, key, "b"), "mine 2");
  theirs("PRAGMA wal_checkpoint(TRUNCATE)");  // the log begins anew
  EXPECT_EQ(GetRegValue(kCurrentUser, key, "a"), "theirs 2");
  theirs("DELETE FROM vals" + ofA);
  EXPECT_EQ(GetRegValue(kCurrentUser, key, "a"), "Not Found");
  EXPECT_EQ(RunProgram(Client({"set", key, "a", "another process's"})).exitCode, 0);
  EXPECT_EQ(GetRegValue(kCurrentUser, key, "a"), "another process's");

  // Their change lands after this process's view of the key began and before its own change
  // commits: the value read before theirs is not kept past this process's commit.
  Registry& hive = Registry::Default();
  RegKey open = kNoKey;
  ASSERT_EQ(hive.CreateKey(kCurrentUser, key, &open), kSuccess);
  theirs(vals + "'theirs 3'" + ofA);
  EXPECT_EQ(hive.SetValue(open, "b", kRegSz, reinterpret_cast<const std::uint8_t*>("mine 3"), 7), kSuccess);
  hive.CloseKey(open);
  EXPECT_EQ(GetRegValue(kCurrentUser, key, "a"), "theirs 3");
  EXPECT_EQ(GetRegValue(kCurrentUser, key, "b"), "mine 3");
}

TEST_F(Hive, FileThatIsNoHiveIsNeverWritten) {
  fs::create_directories(folder_ / "vantor");
  std::string noise(65536, '\0');
  std::generate(noise.begin(), noise.end(), std::mt19937(7));
  WriteFile(HiveFile(folder_), noise);

  // A real SQLite database of some other program, too.
  const fs::path other = folder_ / "other";
  fs::create_directories(other / "vantor");
  ASSERT_EQ(Sql(other, "CREATE TABLE notes(text); INSERT INTO notes VALUES('mine'); SELECT text FROM notes"), "mine");

  for (const fs::path& home : {folder_, other}) {
    const std::string before = ReadFile(HiveFile(home));
    EXPECT_EQ(RunProgram(Client({"set", kKey, "1", "x"}, home)).exitCode, 1) << home;
    EXPECT_EQ(RunProgram(Client({"get", kKey, "1"}, home)).out, "Not Found");
    EXPECT_EQ(ReadFile(HiveFile(home)), before) << home;
  }
}

TEST_F(Hive, ReadOnlyHiveStillReadsAndRefusesWrites) {
  // Root writes any file whatever its mode: the client runs as nobody, who must reach the
  // folder and the program (the build may lie in root's own home, which nobody can't enter).
  fs::permissions(TestHome(), fs::perms::others_exec, fs::perm_options::add);
  fs::copy_file(HIVE_CLIENT, folder_ / "hive_client");
  const auto client = [&](const std::vector<std::string>& args) {
    std::vector<std::string> argv = Client(args, folder_, folder_ / "hive_client");
    if (geteuid() == 0) argv.insert(argv.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    return RunProgram(argv);
  };
  ASSERT_EQ(client({"set", kKey, "1", "kept"}).exitCode, 0);
  ASSERT_EQ(client({"get", kKey, "1"}).out, "kept");
  fs::permissions(HiveFile(folder_), fs::perms::owner_read);
  const std::string before = ReadFile(HiveFile(folder_));

  EXPECT_EQ(client({"set", kKey, "1", "lost?"}).exitCode, 1);
  EXPECT_EQ(client({"get", kKey, "1"}).out, "kept");
  EXPECT_EQ(ReadFile(HiveFile(folder_)), before);
}

TEST_F(Hive, IsCreatedPrivateAndReadableByOtherPrograms) {
  const fs::path home = folder_ / "new" / "share";
  const mode_t oldMask = umask(0);  // the hive sets its own modes, whatever the umask
  ASSERT_EQ(RunProgram(Client({"set", "Software\\Yahoo\\Pager", "yahoo! user ID", "jdoe"}, home)).exitCode, 0);
  EXPECT_EQ(fs::status(home / "vantor").permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(fs::status(HiveFile(home)).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

  // A folder and a hive file opened to others' reading are closed again, and SQLite's own
  // files are as private.
  fs::permissions(home / "vantor", fs::perms::all);
  fs::permissions(HiveFile(home), fs::perms::group_read | fs::perms::others_read, fs::perm_options::add);
  const Started holder = StartProgram(Client({"hold", kKey, "500"}, home));
  umask(oldMask);
  ASSERT_TRUE(Holds(holder));
  EXPECT_EQ(fs::status(home / "vantor").permissions() & fs::perms::all, fs::perms::owner_all);
  for (const char* log : {"", "-wal", "-shm"})
    EXPECT_EQ(fs::status(HiveFile(home).string() + log).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write)
        << log;
  Finish(holder);

  // The schema the README documents: keys as a tree, values with their type and raw bytes.
  EXPECT_EQ(Sql(home,
                "SELECT v.type || ' ' || hex(v.data) FROM keys k1 JOIN keys k2 ON k2.parent = k1.id "
                "JOIN keys k3 ON k3.parent = k2.id JOIN vals v ON v.key = k3.id "
                "WHERE k1.parent = 1 AND k1.fold = 'SOFTWARE' AND k2.fold = 'YAHOO' "
                "AND k3.name = 'Pager' AND v.name = 'yahoo! user ID'"),
            "1 6A646F6500");  // REG_SZ, "jdoe" and its terminator
}

TEST_F(Hive, StoreThatIsNoFolderOrOthersCouldHaveChangedIsRefusedAndLeftAlone) {
  WriteFile(folder_ / "plain file", "not a folder");
  ExpectRefused(folder_ / "plain file" / "data", "Not a directory");
  EXPECT_EQ(ReadFile(folder_ / "plain file"), "not a folder");

  // No symbolic link is followed, and nothing appears where one points.
  for (const std::string name : {"hive.sqlite", "hive.sqlite-wal", "hive.sqlite-shm"}) {
    const fs::path home = folder_ / name;
    fs::create_directories(home / "vantor");
    fs::create_symlink(folder_ / (name + " target"), home / "vantor" / name);
    ExpectRefused(home, name + " is a symbolic link");
    EXPECT_FALSE(fs::exists(folder_ / (name + " target")));
  }
  const fs::path linked = folder_ / "linked";
  fs::create_directories(linked);
  fs::create_directories(folder_ / "elsewhere");
  fs::create_directory_symlink(folder_ / "elsewhere", linked / "vantor");
  ExpectRefused(linked, "vantor is a symbolic link");
  EXPECT_TRUE(fs::is_empty(folder_ / "elsewhere"));

  // A hive file that others may write may hold their changes: it is not taken as the user's.
  ASSERT_EQ(RunProgram(Client({"set", kKey, "1", "mine"}, folder_)).exitCode, 0);
  fs::permissions(HiveFile(folder_), fs::perms::group_write, fs::perm_options::add);
  ExpectRefused(folder_, "others than its owner may write it");

  // Nor is a hive file, or a folder, of another user (only root can give them one).
  if (geteuid() != 0) return;
  fs::permissions(HiveFile(folder_), fs::perms::group_write, fs::perm_options::remove);
  for (const fs::path& path : {HiveFile(folder_), HiveFile(folder_).parent_path()}) {
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    ExpectRefused(folder_, path.filename().string() + " belongs to another user");
  }
}

// The name at index in the listing of a key's values, read as vantor-reg reads it (the size
// first, then the data, which the test makes the name); "-" past the last one.
std::string ValueAt(RegKey key, std::uint32_t index) {
  Registry& hive = Registry::Default();
  std::string name;
  std::uint32_t size = 0;
  long rc = hive.EnumValue(key, index, &name, nullptr, nullptr, &size);
  std::string data(size, '?');
  if (rc == kSuccess)
    rc = hive.EnumValue(key, index, &name, nullptr, reinterpret_cast<std::uint8_t*>(data.data()), &size);
  if (rc == kNoMoreItems) return "-";
  return rc != kSuccess ? "error " + std::to_string(rc) : data == name + '\0' ? name : name + " with other data";
}

std::string SubkeyAt(RegKey key, std::uint32_t index) {
  std::string name;
  const long rc = Registry::Default().EnumKey(key, index, &name);
  return rc == kSuccess ? name : rc == kNoMoreItems ? "-" : "error " + std::to_string(rc);
}

TEST_F(Hive, ChangeOnAKeyThatAnotherProgramDeletedReachesNoOtherKey) {
  Registry& hive = Registry::Default();
  const std::string path = kKey + "\\Reused\\Gone";
  const auto text = reinterpret_cast<const std::uint8_t*>("mine");
  const std::vector<std::pair<const char*, std::function<long(RegKey)>>> changes = {
      {"SetValue", [&](RegKey key) { return hive.SetValue(key, "w", kRegSz, text, 5); }},
      {"DeleteValue", [&](RegKey key) { return hive.DeleteValue(key, "v"); }},
      {"CreateKey", [&](RegKey key) { return hive.CreateKey(key, "Sub", Key(hive).Receive()); }},
      {"DeleteKey", [&](RegKey key) { return hive.DeleteKey(key, ""); }},
  };
  for (const auto& [call, change] : changes) {
    RegKey open = kNoKey;
    ASSERT_EQ(hive.CreateKey(kCurrentUser, path, &open), kSuccess);
    hive.CloseKey(open);
    ASSERT_EQ(hive.OpenKey(kCurrentUser, path, &open), kSuccess);
    // Another program deletes the key and adds one in its place, the newest key, to which
    // SQLite gives the deleted key's id.
    const std::string id = Sql(TestHome(), "SELECT id FROM keys WHERE fold = 'GONE'");
    Sql(TestHome(),
        "DELETE FROM keys WHERE fold = 'GONE';"
        "INSERT INTO keys(parent, name, fold) SELECT id, 'Other', 'OTHER' FROM keys WHERE fold = 'REUSED';"
        "INSERT INTO vals VALUES(last_insert_rowid(), 'v', 'V', 1, 'theirs')");
    ASSERT_EQ(Sql(TestHome(), "SELECT id FROM keys WHERE fold = 'OTHER'"), id);
    EXPECT_EQ(change(open), kKeyDeleted) << call;
    hive.CloseKey(open);
    EXPECT_EQ(Sql(TestHome(),
                  "SELECT group_concat(name || ' ' || data) || ', subkeys: ' ||"
                  " (SELECT count(*) FROM keys WHERE parent = key) FROM vals WHERE key = " +
                      id),
              "v theirs, subkeys: 0")
        << call;
    Sql(TestHome(), "DELETE FROM keys WHERE " + id + " IN (id, parent); DELETE FROM vals WHERE key = " + id);
  }
}

TEST_F(Hive, ListingAnswersIndexesInAnyOrderAndFollowsChanges) {
  Registry& hive = Registry::Default();
  const std::string path = kKey + "\\Listing";
  RegKey first = kNoKey, second = kNoKey;
  ASSERT_EQ(hive.CreateKey(kCurrentUser, path, &first), kSuccess);
  std::vector<std::string> names;                  // in the listing's order
  const auto add = [&](const std::string& name) {  // a subkey and a value of that name
    ASSERT_TRUE(WriteRaw(hive, path + "\\" + name, "", Sz("")) && WriteRaw(hive, path, name, Sz(name)));
    names.insert(std::lower_bound(names.begin(), names.end(), name), name);
  };
  for (int i = 39; i >= 0; --i) add((i < 10 ? "n0" : "n") + std::to_string(i));
  const auto expect = [&](RegKey key, const std::vector<std::uint32_t>& indexes) {
    for (const std::uint32_t index : indexes) {
      const std::string wanted = index < names.size() ? names[index] : "-";
      EXPECT_EQ(ValueAt(key, index), wanted) << "value " << index;
      EXPECT_EQ(SubkeyAt(key, index), wanted) << "subkey " << index;
    }
  };
  std::vector<std::uint32_t> all(names.size() + 1);
  std::iota(all.begin(), all.end(), 0);

  // In one view of the hive: in order, backwards, by jumps, and on two handles in turn.
  ASSERT_EQ(hive.OpenKey(kCurrentUser, path, &second), kSuccess);
  expect(first, all);
  expect(first, {39, 38, 20, 5, 30, 31, 31, 0, 40, 39});
  expect(second, {0, 1, 2});
  expect(first, {10, 11});
  expect(second, {3, 4});

  // A change between two indexes: the listing goes on in the key as it now is.
  ASSERT_EQ(hive.DeleteValue(first, "n03"), kSuccess);
  ASSERT_EQ(hive.DeleteKey(first, "n03"), kSuccess);
  names.erase(names.begin() + 3);
  expect(first, {12, 13});
  expect(second, {5, 6});
  add("n051");
  expect(first, {14, 15});
  hive.CloseKey(second);
  ASSERT_EQ(hive.OpenKey(kCurrentUser, path, &second), kSuccess);
  expect(second, all);

  // Inside a transaction, whose changes end the view as well.
  ASSERT_EQ(hive.BeginTransaction(), kSuccess);
  expect(second, {0, 1, 2});
  add("n000");
  expect(second, {3, 4});
  ASSERT_EQ(hive.RollbackTransaction(), kSuccess);
  names.erase(names.begin());
  expect(second, {5, 6});
  hive.CloseKey(first);
  hive.CloseKey(second);
}

}  // namespace
