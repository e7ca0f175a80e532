// The Linux program on a Wine prefix's live registry: the window on Qt's offscreen platform
// over the bridge, with every change read back by Wine's own reg.exe while the program still
// runs; the same when its bridge or wineserver is killed, stopped or garbled at a chosen
// call; and the command line's refusals, from the real vantor program. Runs under
// `scripts/wine-prefix with`, which hands it a fresh prefix in WINEPREFIX.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <sstream>
#include <thread>

#include "app/CommandLine.h"
#include "base/ProcessStat.h"
#include "registry/RegMod.h"
#include "tests/platform/Driver.h"
#include "tests/regtool/ToolRun.h"
#include "window/Form1.h"
#include "winebridge/WineRegistry.h"

namespace {

using base::ProcessStat;
using base::StatOf;

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;
using namespace std::chrono_literals;
using namespace std::string_literals;
const std::string kUserKey = "HKCU\\Software\\yahoo\\pager";
const std::string kMessagesKey = "HKCU\\Software\\Yahoo\\Pager\\profiles\\jdoe\\Custom Msgs";
const std::string kProfilesKey = "HKCU\\Software\\Yahoo\\Pager\\profiles";
const std::string kNobodysKey = kProfilesKey + "\\Not Found\\Custom Msgs";

std::string Prefix() { return std::getenv("WINEPREFIX"); }

void WineSet(const std::string& key, const std::string& name, const std::string& text) {
  ASSERT_EQ(RunInWine({"reg", "add", key, "/v", name, "/d", text, "/f"}).exitCode, 0) << key << " " << name;
}

// A REG_SZ value as `reg query` shows it, or nothing when it is missing.
std::optional<std::string> WineGet(const std::string& key, const std::string& name) {
  const ToolRun run = RunInWine({"reg", "query", key, "/v", name});
  std::istringstream lines(run.out);
  const std::string marker = "    " + name + "    REG_SZ";  // then four spaces and the text, if any
  for (std::string line; std::getline(lines, line);) {
    std::erase(line, '\r');
    if (line.starts_with(marker)) return line.substr(std::min(line.size(), marker.size() + 4));
  }
  return std::nullopt;
}

// --- The prefix's processes, found under /proc ------------------------------------------

// A process found by a test: its number, and when it started, so that a number handed on to
// another process meanwhile is never signalled.
struct Found {
  pid_t pid = -1;
  unsigned long long start = 0;
};

bool Ended(const Found& process) {
  const ProcessStat stat = StatOf(process.pid);
  return stat.state == 'Z' || stat.state == 0 || stat.start != process.start;
}

// Sends the signal to the process found, unless it has ended; false then.
bool Signal(const Found& process, int signal) {
  return process.pid > 0 && !Ended(process) && kill(process.pid, signal) == 0;
}

// The first live process that `matches` picks, by its folder in /proc; pid -1 for none.
Found FindProcess(const std::function<bool(const fs::path&, const ProcessStat&)>& matches) {
  for (const pid_t pid : base::Processes()) {
    const ProcessStat stat = StatOf(pid);
    if (stat.state != 0 && stat.state != 'Z' && matches("/proc/" + std::to_string(pid), stat)) return {pid, stat.start};
  }
  return {};
}

// The bridge that the registry runs: in the process group it started it in, whether Wine runs
// it there as the process started or as a new one.
Found Bridge(const winebridge::WineRegistry& wine) {
  const pid_t group = wine.BridgeGroup();
  if (group <= 0) return {};
  return FindProcess([group](const fs::path& folder, const ProcessStat& stat) {
    return stat.group == group && ReadFile(folder / "cmdline").find("vantor-wine-bridge") != std::string::npos;
  });
}

Found Wineserver() {
  return FindProcess([](const fs::path& folder, const ProcessStat&) {
    const std::string environment = '\0' + ReadFile(folder / "environ");
    return ReadFile(folder / "comm").starts_with("wineserver") &&
           environment.find('\0' + "WINEPREFIX="s + Prefix() + '\0') != std::string::npos;
  });
}

void KillBridge(const winebridge::WineRegistry& wine) {
  const Found bridge = Bridge(wine);
  ASSERT_GT(bridge.pid, 0) << "no bridge found in process group " << wine.BridgeGroup();
  ASSERT_TRUE(Signal(bridge, SIGKILL));
  for (int waited = 0; !Ended(bridge) && waited < 500; ++waited) std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(Ended(bridge));
}

// Keeps a process found stopped (kill -STOP) for its scope. Code that would wait for it for
// ever gets it back after a minute instead, and LetGo() then tells the test so. A process
// that was not found fails the test, and nothing is signalled.
class Stopped {
 public:
  explicit Stopped(Found process) : process_(process) {
    if (process_.pid <= 0) {
      ADD_FAILURE() << "no process found to stop";
      return;
    }
    EXPECT_TRUE(Signal(process_, SIGSTOP));
    watchdog_ = std::async(std::launch::async, [this, over = over_.get_future()] {
      if (over.wait_for(60s) == std::future_status::ready) return;
      letGo_ = true;
      Signal(process_, SIGCONT);
    });
  }
  ~Stopped() {
    if (process_.pid <= 0) return;
    over_.set_value();
    watchdog_.wait();
    Signal(process_, SIGCONT);
  }
  const Found& Process() const { return process_; }
  bool LetGo() const { return letGo_; }

 private:
  const Found process_;
  std::promise<void> over_;
  std::atomic<bool> letGo_ = false;
  std::future<void> watchdog_;
};

// The real Wine's program (wine or wineserver): the one that WINE or WINESERVER names, as
// for a user of a Wine build of their own, else the one on the PATH.
std::string RealWine(const std::string& program) {
  std::string variable = program;
  std::transform(variable.begin(), variable.end(), variable.begin(), ::toupper);
  if (const char* named = std::getenv(variable.c_str())) return named;
  return RunProgram({"sh", "-c", "command -v " + program + " | tr -d '\\n'"}).out;
}

// A shell script in folder, made executable, for a wine that the tests name.
std::string Script(const fs::path& folder, const std::string& name, const std::string& body) {
  const fs::path script = folder / name;
  WriteFile(script, "#!/bin/bash\n" + body);
  fs::permissions(script, fs::perms::owner_all);
  return script;
}

// Sets an environment variable for the life of the object (unsets it for nullptr).
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedVariable() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A `wine` script in the folder, which runs `body` with the wine to pass on to in $real: the
// real one, unless given another.
void WriteWine(const fs::path& folder, const std::string& body, std::string real = RealWine("wine")) {
  fs::create_directories(folder);
  Script(folder, "wine", "real='" + real + "'\n" + body);
}

// Runs the real vantor on the test's prefix with this `wine`, if given, first on the PATH.
ToolRun RunVantorOnWine(const std::optional<fs::path>& wineFolder = std::nullopt) {
  std::vector<std::string> argv = {"env"};
  if (wineFolder) argv.insert(argv.end(), {"-u", "WINE", "PATH=" + wineFolder->string() + ":" + std::getenv("PATH")});
  // Should it wait for ever after all, it is ended here.
  argv.insert(argv.end(), {"timeout", "60", VANTOR_PROGRAM, "--wine=" + Prefix()});
  return RunProgram(argv);
}

class WineProgram : public testing::Test {
 protected:
  // relaunched: every bridge starts as Wine's 32-bit loader starts a 64-bit program, again as
  // a new process in the same process group, inheriting standard input and output, while the
  // process started ends at once.
  explicit WineProgram(bool relaunched = false) : relaunched_(relaunched) {}

  void SetUp() override {
    ASSERT_NE(std::getenv("WINEPREFIX"), nullptr) << "run me under scripts/wine-prefix with";
    const fs::path relauncher = fakeWine_ / "relaunching";
    if (relaunched_) WriteWine(relauncher, "\"$real\" \"$@\" <&0 &\n");
    // Every bridge starts through a `wine` of the test's own, which runs the real one,
    // except that the next bridge after an Arm() runs through the commands given there.
    WriteWine(fakeWine_,
              "if [ -e '" + Armed() + "' ]; then mv '" + Armed() + "' '" + Fired() + "'; . '" + Fired() +
                  "'; fi\nexec \"$real\" \"$@\"\n",
              relaunched_ ? (relauncher / "wine").string() : RealWine("wine"));
    // The program reads the prefix from its command line, as `vantor --wine=DIR` does.
    const app::CommandLine command = app::ReadCommandLine({"--wine=" + Prefix()});
    ASSERT_EQ(command.registry.winePrefix, Prefix());
    std::string error;
    {
      const ScopedVariable path("PATH", (fakeWine_.string() + ":" + std::getenv("PATH")).c_str()),
          wine("WINE", (fakeWine_ / "wine").c_str());
      wine_ = winebridge::WineRegistry::Start(*command.registry.winePrefix, VANTOR_WINE_BRIDGE_FOLDER, &error);
    }
    ASSERT_TRUE(wine_ && wine_->WaitUntilReady(&error) == platform::kSuccess) << error;
    wine_->SendFaultsTo([this](const std::string& why) { told_.push_back(why); });
    registry::UseRegistry(*wine_);
    form_ = window::CreateForm1(&error);
    ASSERT_TRUE(form_) << error;
  }
  void TearDown() override {
    registry::UseRegistry(platform::Registry::Default());
    fs::remove_all(fakeWine_);
  }

  std::string Armed() const { return (fakeWine_ / "armed").string(); }
  std::string Fired() const { return (fakeWine_ / "fired").string(); }
  void Arm(const std::string& commands) { WriteFile(Armed(), commands); }

  const bool relaunched_;
  const fs::path fakeWine_ = fs::path(std::getenv("XDG_DATA_HOME")) / "fake-wine";
  std::unique_ptr<winebridge::WineRegistry> wine_;
  std::vector<std::string> told_;  // the faults the registry told the program of
  std::unique_ptr<platform::Window> form_;
};

// The messenger's last user, with the start-up warning switched off.
void SeedUserWithoutWarning(const std::string& user) {
  WineSet(kProfilesKey, "VantorAlert", "Disabled");
  WineSet(kUserKey, "yahoo! user ID", user);
}

// The bridge's faults, with the bridge started directly and relaunched by its Wine.
class BridgeLife : public WineProgram, public testing::WithParamInterface<bool> {
 protected:
  BridgeLife() : WineProgram(GetParam()) {}
};
INSTANTIATE_TEST_SUITE_P(Loaders, BridgeLife, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Relaunched" : "Direct"; });

// Kills the running bridge right before passing on the next call on the value named.
class BridgeKiller : public platform::RegistryWrapper {
 public:
  explicit BridgeKiller(winebridge::WineRegistry& wine) : RegistryWrapper(wine), wine_(wine) {}
  void KillBefore(const std::string& value) { victim_ = value; }
  // RegMod reads and stores texts through the wide calls.
  long QueryValueWide(platform::RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* size) override {
    Strike(name);
    return RegistryWrapper::QueryValueWide(key, name, type, data, size);
  }
  long SetValueWide(platform::RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                    std::uint32_t size) override {
    Strike(name);
    return RegistryWrapper::SetValueWide(key, name, type, data, size);
  }
  int kills = 0;

 private:
  void Strike(const std::string& name) {
    if (name != victim_) return;
    victim_.reset();
    KillBridge(wine_);
    ++kills;
  }
  const winebridge::WineRegistry& wine_;
  std::optional<std::string> victim_;
};

TEST_F(WineProgram, EditsTheMessagesInThePrefixWhileWineWatches) {
  WineSet(kUserKey, "yahoo! user ID", "jdoe");
  WineSet(kMessagesKey, "1", "Out to lunch");
  WineSet(kMessagesKey, "2", "In a meeting");
  driver::AnswerNextDialog(driver::Answer::No);
  driver::WhileShown(*form_, [&] {
    EXPECT_EQ(WineGet(kProfilesKey, "VantorAlert"), "Disabled");  // the warning's No
    EXPECT_EQ(form_->LabelNamed("Label2")->Caption(), "jdoe");

    driver::Click(*form_, "Command2");
    EXPECT_EQ(driver::Rows(*form_, "List1"), Texts({"Out to lunch", "In a meeting"}));

    driver::AnswerNextDialog(driver::Answer::Ok, "Back at 3");
    driver::Click(*form_, "Command5");
    EXPECT_EQ(WineGet(kMessagesKey, "3"), "Back at 3");

    driver::ClickRow(*form_, "List1", 0);
    driver::Click(*form_, "Command4");
    driver::Type(*form_, "Text7", "!");
    EXPECT_EQ(WineGet(kMessagesKey, "1"), "Out to lunch!");
    driver::Click(*form_, "Command6");

    driver::ClickRow(*form_, "List1", 1);
    driver::Click(*form_, "Command3");
    EXPECT_EQ(WineGet(kMessagesKey, "2"), "");  // deleted, then stored empty by its box

    // And the other way: what Wine's side changes shows at the next reload.
    WineSet(kMessagesKey, "4", "Changed outside");
    driver::Click(*form_, "Command2");
    EXPECT_EQ(driver::Rows(*form_, "List1"), Texts({"Out to lunch!", "Back at 3", "Changed outside"}));
  });
  // The hive was never touched.
  EXPECT_FALSE(fs::exists(std::string(std::getenv("XDG_DATA_HOME")) + "/vantor"));
}

// After a restart the caller's handles still work, a key opened under one closed since
// included; a handle on a key deleted meanwhile answers as a deleted key's does.
TEST_P(BridgeLife, HandlesOutliveTheirBridge) {
  using platform::kCurrentUser;
  platform::RegKey parent = platform::kNoKey, child = platform::kNoKey, doomed = platform::kNoKey;
  ASSERT_EQ(wine_->CreateKey(kCurrentUser, "Software\\VantorTest", &parent), platform::kSuccess);
  ASSERT_EQ(wine_->CreateKey(parent, "Restart", &child), platform::kSuccess);
  ASSERT_EQ(wine_->CreateKey(parent, "Doomed", &doomed), platform::kSuccess);
  wine_->CloseKey(doomed);
  ASSERT_EQ(wine_->OpenKey(parent, "Doomed", &doomed), platform::kSuccess);
  wine_->CloseKey(parent);
  KillBridge(*wine_);
  const std::string text = "kept\0"s;
  EXPECT_EQ(wine_->SetValue(child, "v", platform::kRegSz, reinterpret_cast<const std::uint8_t*>(text.data()),
                            static_cast<std::uint32_t>(text.size())),
            platform::kSuccess);
  EXPECT_EQ(WineGet("HKCU\\Software\\VantorTest\\Restart", "v"), "kept");
  EXPECT_EQ(wine_->CloseKey(parent), platform::kInvalidHandle);  // closed stays closed

  ASSERT_EQ(RunInWine({"reg", "delete", "HKCU\\Software\\VantorTest\\Doomed", "/f"}).exitCode, 0);
  KillBridge(*wine_);
  EXPECT_EQ(wine_->DeleteValue(doomed, "v"), platform::kKeyDeleted);
  EXPECT_EQ(wine_->CloseKey(doomed), platform::kSuccess);
  EXPECT_EQ(wine_->CloseKey(child), platform::kSuccess);
}

// A keystroke at each fault of the bridge or its wineserver: killed before the keystroke's
// write on the key it has open, or before its read of the last user; answering half of that
// read and ending; the wineserver killed; the bridge stopped, which costs the keystroke the
// answer's bound. A new bridge takes the call, with the caller's keys opened again in it:
// nothing typed is lost or stored elsewhere. A stopped wineserver fails the keystroke within
// the bounds, with one line saying why; the keystroke after its return stores the box whole.
TEST_P(BridgeLife, KeystrokesOutliveEveryFaultOfTheBridgeAndItsServer) {
  SeedUserWithoutWarning("jdoe");
  BridgeKiller killer(*wine_);
  registry::UseRegistry(killer);
  std::string typed;
  const auto keystroke = [&](const std::string& keys) {
    typed += keys;
    driver::Type(*form_, "Text11", keys);
  };
  const std::pair<const char*, std::function<void()>> faults[] = {
      {"bridge killed before the write",
       [&] {
         killer.KillBefore("5");
         keystroke("Z");
       }},
      {"bridge killed before the read",
       [&] {
         killer.KillBefore("yahoo! user ID");
         keystroke("Y");
       }},
      {"bridge answering half of the read",
       [&] {
         // Its hello (12 bytes), the open of the pager key (16) and 10 bytes of the read's 25
         // (dd passes each byte on as it comes).
         Arm("exec dd bs=1 count=38 status=none < <(exec \"$real\" \"$@\")\n");
         KillBridge(*wine_);
         keystroke("X");
         EXPECT_TRUE(fs::exists(Fired()));
       }},
      {"wineserver killed",
       [&] {
         ASSERT_EQ(RunProgram({RealWine("wineserver"), "-k"}).exitCode, 0);
         RunProgram({RealWine("wineserver"), "-w"});
         keystroke("W");
       }},
      {"bridge stopped",
       [&] {
         // Started cold by the bridge after the wineserver was killed, it is no part of the
         // bridge's process group, which is all that ending the bridge signals. (Whether it
         // then runs on is Wine's to decide: with no other program of the prefix left, it
         // ends by itself.)
         const Found server = Wineserver();
         ASSERT_GT(server.pid, 0);
         EXPECT_NE(StatOf(server.pid).group, wine_->BridgeGroup());
         Stopped bridge(Bridge(*wine_));
         keystroke("V");
         EXPECT_FALSE(bridge.LetGo());
         EXPECT_TRUE(Ended(bridge.Process()));
       }},
      {"wineserver stopped",
       [&] {
         std::optional<Stopped> server(Wineserver());
         told_.clear();
         keystroke("U");
         EXPECT_FALSE(server->LetGo());
         ASSERT_EQ(told_.size(), 1u) << testing::PrintToString(told_);
         EXPECT_TRUE(told_[0].starts_with("the Wine registry is out of reach: ")) << told_[0];
         server.reset();
         std::this_thread::sleep_for(2500ms);  // the client's rest after a failed call
         keystroke("T");
       }},
  };
  driver::WhileShown(*form_, [&] {
    keystroke("msgABC");
    EXPECT_EQ(WineGet(kMessagesKey, "5"), typed);
    for (const auto& [what, fault] : faults) {
      SCOPED_TRACE(what);
      fault();
      EXPECT_EQ(WineGet(kMessagesKey, "5"), typed);
    }
  });
  EXPECT_EQ(killer.kills, 2);
  EXPECT_EQ(WineGet(kNobodysKey, "5"), std::nullopt);
  // A stopped bridge doesn't keep the program from ending.
  Stopped bridge(Bridge(*wine_));
  wine_.reset();  // as when main returns after the window closed
  EXPECT_FALSE(bridge.LetGo());
  EXPECT_TRUE(Ended(bridge.Process()));
}

// The real program, whose bridge never says hello (its wineserver stopped, or a frame of
// 64 MiB announced and nothing after it): exit code 2 and the prefix named.
TEST_F(WineProgram, ProgramWithoutHelloEndsNamingThePrefix) {
  const fs::path stalling = fakeWine_ / "stalling";
  WriteWine(stalling, "printf '\\000\\000\\000\\004'\nexec sleep 600\n");
  for (const bool serverStopped : {true, false}) {
    std::optional<Stopped> server;
    if (serverStopped) server.emplace(Wineserver());
    const ToolRun run = RunVantorOnWine(serverStopped ? std::nullopt : std::optional<fs::path>(stalling));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("the Wine bridge did not start in " + Prefix()), std::string::npos) << run.err;
  }
}

// The real program, refusing what is no prefix, no Wine or no display before it opens
// anything, and starting no Wine for a command line that it refuses (the last case, whose
// display is found missing only once Wine runs, ends its bridge first).
TEST(WineCommandLine, RefusesWhatIsNoPrefixAndCreatesNothing) {
  const fs::path scratch = fs::path(std::getenv("XDG_DATA_HOME")) / "scratch";
  const fs::path empty = scratch / "empty", missing = scratch / "missing", runtime = scratch / "runtime";
  for (const fs::path& folder : {empty, scratch / "home", scratch / "bin", runtime}) fs::create_directories(folder);
  fs::permissions(runtime, fs::perms::owner_all);
  // A wine on the PATH that leaves a mark (its process ID) before it runs the real one.
  const fs::path mark = scratch / "wine-started";
  const std::string wine = RealWine("wine");
  ASSERT_FALSE(wine.empty()) << "no wine on the PATH";
  Script(scratch / "bin", "wine", "echo $$ >>" + mark.string() + "\nexec " + wine + " \"$@\"\n");
  const std::string markingPath = "PATH=" + (scratch / "bin").string() + ":" + std::getenv("PATH");
  // What Wine says, and how it ends, when the prefix's wineserver is of another version.
  const std::string mismatchedWine = Script(
      scratch / "bin", "mismatched-wine",
      "printf 'wine client error:0: version mismatch 757/758.\\nYour wineserver binary was not upgraded correctly,\\n"
      "or you have an older one somewhere in your PATH.\\nOr maybe the wrong wineserver is still running?\\n' >&2\n"
      "exit 1\n");
  const std::string noDisplay = "no display could be opened: neither DISPLAY nor WAYLAND_DISPLAY is set";
  struct Case {
    std::vector<std::string> env, args;
    std::string message;
    bool startsWine = false;
  };
  const std::string noFolder = "there is no Wine prefix at " + missing.string() + ": the folder does not exist";
  const std::string prefix = "--wine=" + Prefix();
  const Case cases[] = {
      {{markingPath}, {"--wine=" + missing.string()}, noFolder},
      {{markingPath}, {"--wine=" + empty.string()}, empty.string() + " is no Wine prefix: it has no system.reg"},
      {{markingPath, "WINEPREFIX=" + missing.string()}, {"--wine"}, noFolder},
      {{"PATH=/nonexistent"}, {prefix}, "wine is not on the PATH (WINE may name the Wine loader to start)"},
      {{"WINE=/nonexistent/wine"}, {prefix}, "WINE names /nonexistent/wine, which is no program that can be run"},
      {{"WINE=no-such-wine"}, {prefix}, "WINE names no-such-wine, which is not on the PATH"},
      {{markingPath, "WINESERVER=/nonexistent/wineserver"},
       {prefix},
       "WINESERVER names /nonexistent/wineserver, which is no program that can be run"},
      {{"WINE=" + mismatchedWine},
       {prefix},
       "the wineserver running for " + Prefix() + " is of another Wine version than " + mismatchedWine +
           " (Wine says \"version mismatch\"): set WINE to the Wine loader that the messenger runs under"},
      // A space for the `=`: the folder is refused before any Wine starts, as are Qt's options.
      {{markingPath}, {"--wine", Prefix()}, "unknown argument " + Prefix() + " (see vantor --help)"},
      {{}, {"-platform", "offscreen"}, "unknown argument -platform (see vantor --help)"},
      {{"QT_QPA_PLATFORM="}, {}, noDisplay},
      {{"QT_QPA_PLATFORM=", markingPath}, {prefix}, noDisplay},
      // A display that is named but out of reach is found only once the bridge has started:
      // the bridge is ended before the program exits.
      {{"QT_QPA_PLATFORM=", "DISPLAY=:4711", "HOME=" + (scratch / "wine-home").string(), markingPath},
       {prefix},
       "no display could be opened (DISPLAY is :4711)",
       true},
  };
  // Without WINEDEBUG, as users run it: then the program reads what Wine says; without WINE and
  // WINESERVER, unless a case names them, so that the PATH is what finds wine. A program that
  // opened its window after all is stopped, lest it wait for a user.
  const std::vector<std::string> base = {"timeout",
                                         "120",
                                         "env",
                                         "-u",
                                         "DISPLAY",
                                         "-u",
                                         "WAYLAND_DISPLAY",
                                         "-u",
                                         "WINEDEBUG",
                                         "-u",
                                         "WINE",
                                         "-u",
                                         "WINESERVER",
                                         "QT_QPA_PLATFORM=offscreen",
                                         "XDG_RUNTIME_DIR=" + runtime.string(),
                                         "HOME=" + (scratch / "home").string(),
                                         "XDG_DATA_HOME=" + scratch.string()};
  for (const Case& c : cases) {
    std::vector<std::string> argv = base;
    argv.insert(argv.end(), c.env.begin(), c.env.end());
    argv.push_back(VANTOR_PROGRAM);
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const ToolRun run = RunProgram(argv);
    EXPECT_EQ(run.exitCode, 2) << c.message;
    EXPECT_EQ(run.err, "vantor: " + c.message + "\n");
    EXPECT_EQ(fs::exists(mark), c.startsWine) << c.message;
    if (c.startsWine) {
      // The wine started leads the bridge's process group: none of it runs on.
      const pid_t started = std::stoi(ReadFile(mark));
      EXPECT_EQ(FindProcess([&](const fs::path&, const ProcessStat& stat) { return stat.group == started; }).pid, -1)
          << "the bridge runs on";
    }
  }
  // Nothing made: no prefix, nothing in the empty folder, no hive, nothing in HOME.
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_TRUE(fs::is_empty(empty));
  EXPECT_TRUE(fs::is_empty(scratch / "home"));
  EXPECT_FALSE(fs::exists(scratch / "vantor"));

  // --help and --version print without a display; --help tells how to pick the Wine.
  for (const char* arg : {"--help", "--version"}) {
    const ToolRun run = RunProgram({"env", "-u", "DISPLAY", "QT_QPA_PLATFORM=", VANTOR_PROGRAM, arg});
    EXPECT_EQ(run.exitCode, 0) << arg;
    EXPECT_NE(run.out.find(arg == std::string("--help") ? "--wine=DIR" : "vantor "), std::string::npos);
  }
  EXPECT_NE(RunProgram({VANTOR_PROGRAM, "--help"}).out.find("WINE names the Wine loader"), std::string::npos);
}

// The Wine that WINE names runs the bridge, wine on the PATH or not, with the WINESERVER
// named passed on to it.
TEST(WineStart, RunsTheBridgeUnderTheWineThatWineNames) {
  const fs::path scratch = fs::path(std::getenv("XDG_DATA_HOME")) / "named-wine";
  fs::create_directories(scratch);
  const std::string realWine = RealWine("wine"), realServer = RealWine("wineserver");
  ASSERT_FALSE(realWine.empty() || realServer.empty()) << "no wine on the PATH";
  const fs::path started = scratch / "started";
  const std::string wine =
      Script(scratch, "my-wine", "echo \"$@ $WINESERVER\" >>" + started.string() + "\nexec " + realWine + " \"$@\"\n");
  // The messenger's own 32-bit bridge, started once, wherever Wine runs 32-bit programs: in
  // every 32-bit prefix, and in a 64-bit one where the machine runs 32-bit x86 code and so has
  // Wine's 32-bit half. Elsewhere Wine refuses it, and the 64-bit bridge runs.
  const bool runs32 = std::string(std::getenv("WINEARCH") ? std::getenv("WINEARCH") : "") == "win32" ||
                      RunProgram({"/lib/ld-linux.so.2", "--version"}).exitCode == 0;
  const ScopedVariable namedWine("WINE", wine.c_str()), server("WINESERVER", realServer.c_str()),
      noPath("PATH", "/nonexistent");
  std::string error;
  const auto bridge = winebridge::WineRegistry::Start(Prefix(), VANTOR_WINE_BRIDGE_FOLDER, &error);
  ASSERT_TRUE(bridge && bridge->WaitUntilReady(&error) == platform::kSuccess) << error;
  EXPECT_EQ(bridge->CloseKey(platform::kCurrentUser), platform::kSuccess);  // a round trip
  const std::string folder = VANTOR_WINE_BRIDGE_FOLDER;
  const std::string given32 = folder + "/vantor-wine-bridge-win32.exe " + realServer + "\n";
  EXPECT_EQ(ReadFile(started),
            runs32 ? given32 : given32 + folder + "/vantor-wine-bridge-win64.exe " + realServer + "\n");
  EXPECT_EQ(bridge->BridgeProgram(),
            folder + (runs32 ? "/vantor-wine-bridge-win32.exe" : "/vantor-wine-bridge-win64.exe"));
}

// A 64-bit prefix whose Wine runs no 32-bit program gets the 64-bit bridge, and keeps it when
// a bridge is started again after a fault.
TEST(WineStart, RunsThe64BitBridgeWhereWineRunsNo32BitProgram) {
  if (std::string(std::getenv("WINEARCH") ? std::getenv("WINEARCH") : "") == "win32")
    GTEST_SKIP() << "a 32-bit prefix runs no 64-bit bridge";
  const fs::path scratch = fs::path(std::getenv("XDG_DATA_HOME")) / "wine64-only";
  fs::create_directories(scratch);
  const fs::path started = scratch / "started";
  // Refuses a 32-bit program as a Wine without its 32-bit half does, at once.
  const std::string wine =
      Script(scratch, "wine64-only",
             "case \"$1\" in *-win32.exe) echo \"wine: Bad EXE format for $1.\" >&2; exit 1;; esac\n"
             "echo \"$1\" >>" +
                 started.string() + "\nexec " + RealWine("wine") + " \"$@\"\n");
  const ScopedVariable namedWine("WINE", wine.c_str());
  std::string error;
  const auto bridge = winebridge::WineRegistry::Start(Prefix(), VANTOR_WINE_BRIDGE_FOLDER, &error);
  ASSERT_TRUE(bridge && bridge->WaitUntilReady(&error) == platform::kSuccess) << error;
  const std::string win64 = std::string(VANTOR_WINE_BRIDGE_FOLDER) + "/vantor-wine-bridge-win64.exe";
  EXPECT_EQ(bridge->BridgeProgram(), win64);
  KillBridge(*bridge);
  EXPECT_EQ(bridge->CloseKey(platform::kCurrentUser), platform::kSuccess);  // in a bridge started again
  EXPECT_EQ(ReadFile(started), win64 + "\n" + win64 + "\n");
}

// The bridge follows the architecture in the prefix's system.reg, as Wine's server reads it.
TEST(WineStart, ChoosesTheBridgeByThePrefixsArchitecture) {
  const fs::path scratch = fs::path(std::getenv("XDG_DATA_HOME")) / "architectures";
  const fs::path bridges = scratch / "bridges", prefix = scratch / "prefix";
  for (const fs::path& folder : {bridges, prefix}) fs::create_directories(folder);
  const fs::path win32 = bridges / "vantor-wine-bridge-win32.exe", win64 = bridges / "vantor-wine-bridge-win64.exe";
  for (const fs::path& bridge : {win32, win64}) WriteFile(bridge, "MZ");
  WriteFile(prefix / "user.reg", "WINE REGISTRY Version 2\n");
  // A wine that tells which program it was given, then ends, as one without its 32-bit half
  // ends when given a 32-bit program.
  const fs::path given = scratch / "given";
  const std::string wine = Script(scratch, "telling-wine", "echo \"$1\" >>" + given.string() + "\nexit 1\n");
  const ScopedVariable namedWine("WINE", wine.c_str()), quiet("WINEDEBUG", nullptr);
  const std::string header = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n";
  const std::string ended = " (" + wine + " ended with exit code 1)";
  const std::string both = win32.string() + "\n" + win64.string() + "\n";
  // The system.reg, the bridges that Wine is given in turn, and what Start or WaitUntilReady
  // then says.
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {header + "#arch=win32\n\n[Software] 1700000000\n", win32.string() + "\n", ended},
      // The 32-bit bridge first; the 64-bit one when Wine can't run that.
      {header + "#arch=win64\n\n[Software] 1700000000\n", both, ended},
      // Written before Wine had 64-bit prefixes: Wine takes it for 32-bit.
      {header + "[Software] 1700000000\n", win32.string() + "\n", ended},
      // Below the first key, a line of that form is the key's, not the prefix's.
      {header + "[Software] 1700000000\n#arch=win64\n", win32.string() + "\n", ended},
      // What Wine itself refuses is refused before it starts, and so is a missing bridge.
      {header + "#arch=win99\n",
       {},
       prefix.string() + " is a Wine prefix of an architecture Wine doesn't know: its system.reg says #arch=win99"},
      {"REGEDIT4\n", {}, prefix.string() + " is no Wine prefix: its system.reg is no Wine registry file"},
      {header + "#arch=win32\n", {}, "the Wine bridge " + win32.string() + " is missing"},
  };
  for (const auto& [systemReg, givenBridges, message] : cases) {
    WriteFile(prefix / "system.reg", systemReg);
    if (message.starts_with("the Wine bridge ")) fs::remove(win32);
    fs::remove(given);
    std::string error;
    const auto started = winebridge::WineRegistry::Start(prefix, bridges, &error);
    EXPECT_EQ(bool(started), !givenBridges.empty()) << systemReg;
    if (started) {
      EXPECT_FALSE(started->WaitUntilReady(&error) == platform::kSuccess);
      EXPECT_EQ(error, "the Wine bridge did not start in " + prefix.string() + message);
    } else {
      EXPECT_EQ(error, message);
    }
    EXPECT_EQ(fs::exists(given) ? ReadFile(given) : "", givenBridges);
  }
}

}  // namespace
