// The hive under the conditions a real desktop gives it: processes killed mid-write, two
// writers at once, files that are not hives, and the file's place and modes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "HiveTransaction.h"
#include "RegMod.h"

namespace {

namespace fs = std::filesystem;
using regmod::GetRegValue;
using platform::kCurrentUser;

struct Child {
  pid_t pid = -1;
  int output = -1;  // read end of the child's standard output
};

struct ChildOptions {
  std::optional<std::string> dataHome;  // XDG_DATA_HOME of the child; the test's own if unset
  bool asNobody = false;                // drop root's right to write any file
  std::string program = HIVE_CLIENT;    // a copy of the client that the child's user can run
  bool errorsToOutput = false;          // its standard error into the same pipe
};

Child Spawn(const std::vector<std::string>& args, const ChildOptions& options = {}) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeEnds[1], STDOUT_FILENO);
    if (options.errorsToOutput) dup2(pipeEnds[1], STDERR_FILENO);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    if (options.dataHome) setenv("XDG_DATA_HOME", options.dataHome->c_str(), 1);
    if (options.asNobody && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    std::vector<char*> argv;
    std::string program = options.program;
    argv.push_back(program.data());
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(pipeEnds[1]);
  return {pid, pipeEnds[0]};
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
  close(fd);
  return text;
}

// Runs the client to its end; returns its output, and its exit code through *status.
std::string RunClient(const std::vector<std::string>& args, const ChildOptions& options = {}, int* status = nullptr) {
  Child child = Spawn(args, options);
  std::string output = ReadAll(child.output);
  int wstatus = 0;
  waitpid(child.pid, &wstatus, 0);
  if (status) *status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  return output;
}

// The child's next line of output, without its line end.
std::string ReadLine(int fd) {
  std::string line;
  for (char c; read(fd, &c, 1) == 1 && c != '\n';) line += c;
  return line;
}

std::string FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

fs::path HiveFile(const fs::path& dataHome) { return dataHome / "vantor" / "hive.sqlite"; }

// A process that uses the hive in dataHome is refused it: its change fails and its read finds
// nothing, and one line on standard error says why, however many registry calls it makes.
void ExpectRefused(const fs::path& dataHome, const std::string& why) {
  const ChildOptions options{.dataHome = dataHome.string(), .errorsToOutput = true};
  int status = 0;
  const std::string errors = RunClient({"set", "Software\\VantorTest", "1", "x"}, options, &status);
  EXPECT_EQ(status, 1) << dataHome;
  EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
  EXPECT_NE(errors.find(why), std::string::npos) << errors;
  EXPECT_TRUE(RunClient({"get", "Software\\VantorTest", "1"}, options).ends_with("\nNot Found")) << dataHome;
}

class Hive : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::path(std::getenv("XDG_DATA_HOME")) / ("case-" + std::to_string(counter_++));
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
    const std::string key = "Software\\VantorTest\\Kill" + std::to_string(round);
    Child child = Spawn({"write", key, "1000000"});
    std::this_thread::sleep_for(std::chrono::milliseconds(5 + random() % 60));
    kill(child.pid, SIGKILL);
    waitpid(child.pid, nullptr, 0);
    const std::string output = ReadAll(child.output);

    int last = 0;  // the last write the child saw return
    for (std::size_t pos = 0, end; (end = output.find('\n', pos)) != std::string::npos; pos = end + 1)
      last = std::stoi(output.substr(pos, end - pos));
    acknowledged += last;
    for (int slot = 1; slot <= 5; ++slot) {
      int returned = last;  // the last returned write into this slot
      while (returned > 0 && returned % 5 + 1 != slot) --returned;
      const int next = last + 1;  // may have been committed without being reported
      const std::string stored = GetRegValue(kCurrentUser, key, std::to_string(slot));
      if (returned == 0) {
        EXPECT_TRUE(stored == "Not Found" || (next % 5 + 1 == slot && stored == "value " + std::to_string(next)))
            << "round " << round << " slot " << slot << ": " << stored;
      } else {
        EXPECT_TRUE(stored == "value " + std::to_string(returned) ||
                    (next % 5 + 1 == slot && stored == "value " + std::to_string(next)))
            << "round " << round << " slot " << slot << ": " << stored << ", last returned " << last;
      }
    }
  }
  // Rounds whose child died before its first write prove nothing; together they must not all be such.
  EXPECT_GT(acknowledged, 0);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(HiveFile(std::getenv("XDG_DATA_HOME")).c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
            SQLITE_OK);
  sqlite3_stmt* check = nullptr;
  sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr);
  ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
  sqlite3_finalize(check);
  sqlite3_close(db);
}

TEST_F(Hive, TwoWritersAtOnceLoseNothing) {
  const std::string key = "Software\\VantorTest\\Together";
  constexpr int kWrites = 300;
  Child a = Spawn({"raw", key, "a", std::to_string(kWrites)});
  Child b = Spawn({"raw", key, "b", std::to_string(kWrites)});
  for (Child* child : {&a, &b}) {
    ReadAll(child->output);
    int status = 0;
    waitpid(child->pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a registry call failed";
  }
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
  using namespace platform;
  const std::string key = "Software\\VantorTest\\Waiting";
  regmod::SetRegValue(kCurrentUser, key, "typed", regmod::ValueType::String, "");
  Registry& hive = Registry::Default();
  // A reader here, its handle open, keeps no other process from writing...
  RegKey reader = kNoKey;
  ASSERT_EQ(hive.OpenKey(kCurrentUser, key, &reader), kSuccess);
  ASSERT_EQ(hive.QueryValue(reader, "typed", nullptr, nullptr, nullptr), kSuccess);
  Child holder = Spawn({"hold", key, std::to_string(kHiveLockWaitMs + 1500)});
  ASSERT_EQ(ReadLine(holder.output), "holding");
  hive.CloseKey(reader);
  // ...and that process's write lock keeps no one from reading.
  EXPECT_EQ(GetRegValue(kCurrentUser, key, "typed"), "");

  // Keystrokes typed meanwhile, and a key created in another process, wait for the lock.
  Child creator = Spawn({"set", key + "\\Created", "typed", "new"});
  RegKey typing = kNoKey;
  ASSERT_EQ(hive.OpenKey(kCurrentUser, key, &typing), kSuccess);
  for (const std::string text : {"H", "Hi", "Hi!"})
    EXPECT_EQ(hive.SetValue(typing, "typed", kRegSz, reinterpret_cast<const std::uint8_t*>(text.c_str()),
                            static_cast<std::uint32_t>(text.size() + 1)),
              kSuccess)
        << text;
  hive.CloseKey(typing);
  for (Child* child : {&holder, &creator}) {
    ReadAll(child->output);
    int status = 0;
    waitpid(child->pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(GetRegValue(kCurrentUser, key, "typed"), "Hi!");
  EXPECT_EQ(GetRegValue(kCurrentUser, key, "held"), "yes");
  EXPECT_EQ(GetRegValue(kCurrentUser, key + "\\Created", "typed"), "new");
}

TEST_F(Hive, WriteAheadLogIsMergedOnExitAndKeptSmall) {
  // A process that wrote and ended leaves its changes in the hive file itself.
  int status = 0;
  RunClient({"set", "Software\\VantorTest", "1", "merged"}, {folder_.string()}, &status);
  ASSERT_EQ(status, 0);
  const fs::path log = HiveFile(folder_).string() + "-wal";
  EXPECT_TRUE(!fs::exists(log) || fs::file_size(log) == 0);

  // While a process runs, the log shrinks again after a large change.
  platform::Registry& hive = platform::Registry::Default();
  const std::string large(16 << 20, 'x');
  platform::RegKey key = platform::kNoKey;
  ASSERT_EQ(hive.CreateKey(kCurrentUser, "Software\\VantorTest\\Large", &key), platform::kSuccess);
  ASSERT_EQ(hive.SetValue(key, "large", platform::kRegBinary, reinterpret_cast<const std::uint8_t*>(large.data()),
                          static_cast<std::uint32_t>(large.size())),
            platform::kSuccess);
  ASSERT_EQ(hive.DeleteValue(key, "large"), platform::kSuccess);
  ASSERT_EQ(hive.SetValue(key, "small", platform::kRegBinary, reinterpret_cast<const std::uint8_t*>("x"), 1),
            platform::kSuccess);
  hive.CloseKey(key);
  EXPECT_LT(fs::file_size(HiveFile(std::getenv("XDG_DATA_HOME")).string() + "-wal"), large.size() / 2);
}

TEST_F(Hive, FileThatIsNoHiveIsNeverWritten) {
  fs::create_directories(folder_ / "vantor");
  std::string noise(65536, '\0');
  std::mt19937 random(7);
  for (char& c : noise) c = static_cast<char>(random());
  std::ofstream(HiveFile(folder_), std::ios::binary) << noise;

  // A real SQLite database of some other program, too.
  const fs::path other = folder_ / "other";
  fs::create_directories(other / "vantor");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(HiveFile(other).c_str(), &db), SQLITE_OK);
  sqlite3_exec(db, "CREATE TABLE notes(text); INSERT INTO notes VALUES('mine')", nullptr, nullptr, nullptr);
  sqlite3_close(db);

  for (const fs::path& home : {folder_, other}) {
    const std::string before = FileBytes(HiveFile(home));
    const ChildOptions options{home.string()};
    int status = 0;
    RunClient({"set", "Software\\VantorTest", "1", "x"}, options, &status);
    EXPECT_EQ(status, 1) << home;
    EXPECT_EQ(RunClient({"get", "Software\\VantorTest", "1"}, options), "Not Found");
    EXPECT_EQ(FileBytes(HiveFile(home)), before) << home;
  }
}

TEST_F(Hive, ReadOnlyHiveStillReadsAndRefusesWrites) {
  // Root writes any file whatever its mode: the client runs as nobody, who must reach the
  // folder and the program (the build may lie in root's own home, which nobody can't enter).
  fs::permissions(std::getenv("XDG_DATA_HOME"), fs::perms::others_exec, fs::perm_options::add);
  const fs::path client = folder_ / "hive_client";
  fs::copy_file(HIVE_CLIENT, client);
  const ChildOptions options{folder_.string(), true, client.string()};
  int status = 0;
  RunClient({"set", "Software\\VantorTest", "1", "kept"}, options, &status);
  ASSERT_EQ(status, 0);
  ASSERT_EQ(RunClient({"get", "Software\\VantorTest", "1"}, options), "kept");
  fs::permissions(HiveFile(folder_), fs::perms::owner_read);
  const std::string before = FileBytes(HiveFile(folder_));

  RunClient({"set", "Software\\VantorTest", "1", "lost?"}, options, &status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(RunClient({"get", "Software\\VantorTest", "1"}, options), "kept");
  EXPECT_EQ(FileBytes(HiveFile(folder_)), before);
}

TEST_F(Hive, UnusableFolderGivesNotFoundAndFailedWrites) {
  std::ofstream(folder_ / "plain file") << "not a folder";
  ExpectRefused(folder_ / "plain file" / "data", "Not a directory");
  EXPECT_EQ(FileBytes(folder_ / "plain file"), "not a folder");
}

TEST_F(Hive, IsCreatedPrivateAndReadableByOtherPrograms) {
  const fs::path home = folder_ / "new" / "share";
  const mode_t oldMask = umask(0);  // the hive sets its own modes, whatever the umask
  RunClient({"set", "Software\\Yahoo\\Pager", "yahoo! user ID", "jdoe"}, {home.string()});
  umask(oldMask);
  EXPECT_EQ(fs::status(home / "vantor").permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(fs::status(HiveFile(home)).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);

  // A folder and a hive file opened to others' reading are closed again, and SQLite's own
  // files are as private.
  fs::permissions(home / "vantor", fs::perms::all);
  fs::permissions(HiveFile(home), fs::perms::group_read | fs::perms::others_read, fs::perm_options::add);
  umask(0);
  Child holder = Spawn({"hold", "Software\\VantorTest", "500"}, {home.string()});
  umask(oldMask);
  ASSERT_EQ(ReadLine(holder.output), "holding");
  EXPECT_EQ(fs::status(home / "vantor").permissions() & fs::perms::all, fs::perms::owner_all);
  for (const char* log : {"", "-wal", "-shm"})
    EXPECT_EQ(fs::status(HiveFile(home).string() + log).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write)
        << log;
  ReadAll(holder.output);
  waitpid(holder.pid, nullptr, 0);

  // The schema the README documents: keys as a tree, values with their type and raw bytes.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(HiveFile(home).c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* query = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db,
                               "SELECT v.type, v.data FROM keys k1 JOIN keys k2 ON k2.parent = k1.id "
                               "JOIN keys k3 ON k3.parent = k2.id JOIN vals v ON v.key = k3.id "
                               "WHERE k1.parent = 1 AND k1.fold = 'SOFTWARE' AND k2.fold = 'YAHOO' "
                               "AND k3.name = 'Pager' AND v.name = 'yahoo! user ID'",
                               -1, &query, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(query), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(query, 0), 1);
  EXPECT_EQ(std::string(static_cast<const char*>(sqlite3_column_blob(query, 1)), sqlite3_column_bytes(query, 1)),
            std::string("jdoe", 5));
  sqlite3_finalize(query);
  sqlite3_close(db);
}

TEST_F(Hive, StoreOthersCouldHaveChangedIsRefusedAndLeftAlone) {
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
  int status = 0;
  RunClient({"set", "Software\\VantorTest", "1", "mine"}, {folder_.string()}, &status);
  ASSERT_EQ(status, 0);
  fs::permissions(HiveFile(folder_), fs::perms::group_write, fs::perm_options::add);
  const std::string before = FileBytes(HiveFile(folder_));
  ExpectRefused(folder_, "others than its owner may write it");
  EXPECT_EQ(FileBytes(HiveFile(folder_)), before);
}

TEST_F(Hive, StoreOfAnotherUserIsRefusedAndLeftAlone) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  int status = 0;
  RunClient({"set", "Software\\VantorTest", "1", "theirs"}, {folder_.string()}, &status);
  ASSERT_EQ(status, 0);
  const std::string before = FileBytes(HiveFile(folder_));
  for (const fs::path& path : {HiveFile(folder_), HiveFile(folder_).parent_path()}) {
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    ExpectRefused(folder_, path.filename().string() + " belongs to another user");
    EXPECT_EQ(FileBytes(HiveFile(folder_)), before);
  }
}

// The name at index in the listing of a key's values, read as vantor-reg reads it (the size
// first, then the data, which the test makes the name); "-" past the last one.
std::string ValueAt(platform::RegKey key, std::uint32_t index) {
  platform::Registry& hive = platform::Registry::Default();
  std::string name;
  std::uint32_t size = 0;
  long rc = hive.EnumValue(key, index, &name, nullptr, nullptr, &size);
  std::string data(size, '?');
  if (rc == platform::kSuccess) rc = hive.EnumValue(key, index, &name, nullptr, reinterpret_cast<std::uint8_t*>(data.data()), &size);
  if (rc == platform::kNoMoreItems) return "-";
  return rc != platform::kSuccess ? "error " + std::to_string(rc) : data == name + '\0' ? name : name + " with other data";
}

std::string SubkeyAt(platform::RegKey key, std::uint32_t index) {
  std::string name;
  const long rc = platform::Registry::Default().EnumKey(key, index, &name);
  return rc == platform::kSuccess ? name : rc == platform::kNoMoreItems ? "-" : "error " + std::to_string(rc);
}

TEST_F(Hive, ListingAnswersIndexesInAnyOrderAndFollowsChanges) {
  using namespace platform;
  Registry& hive = Registry::Default();
  const std::string path = "Software\\VantorTest\\Listing";
  RegKey first = kNoKey, second = kNoKey;
  ASSERT_EQ(hive.CreateKey(kCurrentUser, path, &first), kSuccess);
  std::vector<std::string> names;  // in the listing's order
  const auto add = [&](const std::string& name) {
    RegKey subkey = kNoKey;
    ASSERT_EQ(hive.CreateKey(first, name, &subkey), kSuccess);
    hive.CloseKey(subkey);
    ASSERT_EQ(hive.SetValue(first, name, kRegSz, reinterpret_cast<const std::uint8_t*>(name.c_str()),
                            static_cast<std::uint32_t>(name.size() + 1)),
              kSuccess);
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
  ASSERT_EQ(BeginHiveTransaction(), kSuccess);
  expect(second, {0, 1, 2});
  add("n000");
  expect(second, {3, 4});
  ASSERT_EQ(RollbackHiveTransaction(), kSuccess);
  names.erase(names.begin());
  expect(second, {5, 6});
  hive.CloseKey(first);
  hive.CloseKey(second);
}

}  // namespace
