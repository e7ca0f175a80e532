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
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <sstream>
#include <thread>

#include "CommandLine.h"
#include "Driver.h"
#include "Form1.h"
#include "RegMod.h"
#include "RegistryWine.h"
#include "ToolRun.h"

namespace {

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

// The first process that `matches` picks, by its folder in /proc, or -1.
pid_t FindProcess(const std::function<bool(const fs::path&)>& matches) {
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
    const pid_t pid = std::atoi(entry.path().filename().c_str());
    if (pid > 0 && matches(entry.path())) return pid;
  }
  return -1;
}

// The state letter of /proc/PID/stat and the parent after it, or {0, 0} once it is reaped.
std::pair<char, pid_t> StateAndParent(pid_t pid) {
  std::istringstream stat(ReadFile("/proc/" + std::to_string(pid) + "/stat"));
  std::string beforeState;
  std::getline(stat, beforeState, ')');  // the program's name may hold spaces, not a ')'
  char state = 0;
  pid_t parent = 0;
  stat >> state >> parent;
  return {state, parent};
}

bool Ended(pid_t pid) {
  const char state = StateAndParent(pid).first;
  return state == 'Z' || state == 0;
}

// The bridge this test started.
pid_t Bridge() {
  return FindProcess([](const fs::path& folder) {
    const pid_t pid = std::atoi(folder.filename().c_str());
    return StateAndParent(pid).second == getpid() && ReadFile(folder / "cmdline").find("vantor-wine-bridge") != std::string::npos;
  });
}

pid_t Wineserver() {
  return FindProcess([](const fs::path& folder) {
    const std::string environment = '\0' + ReadFile(folder / "environ");
    return ReadFile(folder / "comm").starts_with("wineserver") &&
           environment.find('\0' + "WINEPREFIX="s + Prefix() + '\0') != std::string::npos;
  });
}

void KillBridge() {
  const pid_t bridge = Bridge();
  ASSERT_GT(bridge, 0);
  kill(bridge, SIGKILL);
  for (int waited = 0; !Ended(bridge) && waited < 500; ++waited) std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(Ended(bridge));
}

// Keeps a process stopped (kill -STOP) for its scope. Code that would wait for it for ever
// gets it back after a minute instead, and LetGo() then tells the test so.
class Stopped {
 public:
  explicit Stopped(pid_t pid) : pid_(pid) {
    EXPECT_GT(pid_, 0);
    kill(pid_, SIGSTOP);
    watchdog_ = std::async(std::launch::async, [this, over = over_.get_future()] {
      if (over.wait_for(60s) == std::future_status::ready) return;
      letGo_ = true;
      kill(pid_, SIGCONT);
    });
  }
  ~Stopped() {
    over_.set_value();
    watchdog_.wait();
    kill(pid_, SIGCONT);
  }
  pid_t Pid() const { return pid_; }
  bool LetGo() const { return letGo_; }

 private:
  const pid_t pid_;
  std::promise<void> over_;
  std::atomic<bool> letGo_ = false;
  std::future<void> watchdog_;
};

// A `wine` script in the folder, which runs `body` with the real wine in $real.
void WriteWine(const fs::path& folder, const std::string& body) {
  static const std::string real = [] {
    const char* chosen = std::getenv("WINE");
    std::string found = chosen ? chosen : RunProgram({"sh", "-c", "command -v wine"}).out;
    std::erase(found, '\n');
    return found;
  }();
  fs::create_directories(folder);
  WriteFile(folder / "wine", "#!/bin/bash\nreal='" + real + "'\n" + body);
  fs::permissions(folder / "wine", fs::perms::owner_all);
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
  void SetUp() override {
    ASSERT_NE(std::getenv("WINEPREFIX"), nullptr) << "run me under scripts/wine-prefix with";
    // Every bridge starts through a `wine` of the test's own, which runs the real one,
    // except that the next bridge after an Arm() runs through the commands given there.
    WriteWine(fakeWine_, "if [ -e '" + Armed() + "' ]; then mv '" + Armed() + "' '" + Fired() + "'; . '" + Fired() +
                             "'; fi\nexec \"$real\" \"$@\"\n");
    const std::string path = std::getenv("PATH");
    const char* wine = std::getenv("WINE");
    const std::optional<std::string> realWine = wine ? std::optional<std::string>(wine) : std::nullopt;
    setenv("PATH", (fakeWine_.string() + ":" + path).c_str(), 1);
    setenv("WINE", (fakeWine_ / "wine").c_str(), 1);
    // The program reads the prefix from its command line, as `vantor --wine=DIR` does.
    const app::CommandLine command = app::ReadCommandLine({"--wine=" + Prefix()});
    ASSERT_EQ(command.winePrefix, Prefix());
    std::string error;
    wine_ = platform::WineRegistry::Start(*command.winePrefix, VANTOR_WINE_BRIDGE, &error);
    setenv("PATH", path.c_str(), 1);
    realWine ? setenv("WINE", realWine->c_str(), 1) : unsetenv("WINE");
    ASSERT_TRUE(wine_ && wine_->WaitUntilReady(&error)) << error;
    regmod::UseRegistry(*wine_);
    form_ = window::CreateForm1();
  }
  void TearDown() override {
    regmod::UseRegistry(platform::Registry::Default());
    fs::remove_all(fakeWine_);
  }

  std::string Armed() const { return (fakeWine_ / "armed").string(); }
  std::string Fired() const { return (fakeWine_ / "fired").string(); }
  void Arm(const std::string& commands) { WriteFile(Armed(), commands); }

  const fs::path fakeWine_ = fs::path(std::getenv("XDG_DATA_HOME")) / "fake-wine";
  std::unique_ptr<platform::WineRegistry> wine_;
  std::unique_ptr<platform::Window> form_;
};

// Kills the running bridge right before passing on the next call on the value named.
class BridgeKiller : public platform::RegistryWrapper {
 public:
  using RegistryWrapper::RegistryWrapper;
  void KillBefore(const std::string& value) { victim_ = value; }
  long QueryValue(platform::RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override {
    Strike(name);
    return RegistryWrapper::QueryValue(key, name, type, data, size);
  }
  long SetValue(platform::RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override {
    Strike(name);
    return RegistryWrapper::SetValue(key, name, type, data, size);
  }
  int kills = 0;

 private:
  void Strike(const std::string& name) {
    if (name != victim_) return;
    victim_.reset();
    KillBridge();
    ++kills;
  }
  std::optional<std::string> victim_;
};

TEST_F(WineProgram, EditsTheMessagesInThePrefixWhileWineWatches) {
  WineSet(kUserKey, "yahoo! user ID", "jdoe");
  WineSet(kMessagesKey, "1", "Out to lunch");
  WineSet(kMessagesKey, "2", "In a meeting");
  driver::AnswerNextDialog(driver::Answer::No);
  driver::WhileShown(*form_, [&] {
    EXPECT_EQ(WineGet(kProfilesKey, "VantorAlert"), "Disabled");  // the warning's No
    EXPECT_EQ(form_->LabelNamed("Label2").Caption(), "jdoe");

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

TEST_F(WineProgram, KeystrokeAfterTheWineserverWasKilledIsStored) {
  WineSet(kProfilesKey, "VantorAlert", "Disabled");
  WineSet(kUserKey, "yahoo! user ID", "jdoe");
  driver::WhileShown(*form_, [&] {
    driver::Type(*form_, "Text11", "a");
    EXPECT_EQ(WineGet(kMessagesKey, "5"), "a");
    ASSERT_EQ(RunProgram({"wineserver", "-k"}).exitCode, 0);
    RunProgram({"wineserver", "-w"});
    driver::Type(*form_, "Text11", "b");
    EXPECT_EQ(WineGet(kMessagesKey, "5"), "ab");
  });
}

// A bridge that dies inside a keystroke's call is started again with the key the call was
// made on, and the call is made there: nothing typed is lost or stored elsewhere.
TEST_F(WineProgram, KeystrokeWhoseBridgeDiesIsStoredThroughTheNextOne) {
  WineSet(kProfilesKey, "VantorAlert", "Disabled");
  WineSet(kUserKey, "yahoo! user ID", "jdoe");
  BridgeKiller killer(*wine_);
  regmod::UseRegistry(killer);
  driver::WhileShown(*form_, [&] {
    driver::Type(*form_, "Text11", "msgABC");
    killer.KillBefore("5");  // the keystroke's RegSetValueExA, on the key it has open
    driver::Type(*form_, "Text11", "Z");
    EXPECT_EQ(WineGet(kMessagesKey, "5"), "msgABCZ");
    killer.KillBefore("yahoo! user ID");  // its read of the last user
    driver::Type(*form_, "Text11", "Y");
    EXPECT_EQ(WineGet(kMessagesKey, "5"), "msgABCZY");

    // A bridge that answers half of that read and ends: its hello (8 bytes), the open of
    // the pager key (16) and 10 bytes of the read's 25 (dd passes each byte on as it comes).
    Arm("exec dd bs=1 count=34 status=none < <(exec \"$real\" \"$@\")\n");
    KillBridge();
    driver::Type(*form_, "Text11", "X");
    EXPECT_EQ(WineGet(kMessagesKey, "5"), "msgABCZYX");
  });
  EXPECT_EQ(killer.kills, 2);
  EXPECT_TRUE(fs::exists(Fired()));
  EXPECT_EQ(WineGet(kNobodysKey, "5"), std::nullopt);
}

// After a restart the caller's handles still work, a key opened under one closed since
// included; a handle on a key deleted meanwhile answers as a deleted key's does.
TEST_F(WineProgram, HandlesOutliveTheirBridge) {
  using platform::kCurrentUser;
  platform::RegKey parent = platform::kNoKey, child = platform::kNoKey, doomed = platform::kNoKey;
  ASSERT_EQ(wine_->CreateKey(kCurrentUser, "Software\\VantorTest", &parent), platform::kSuccess);
  ASSERT_EQ(wine_->CreateKey(parent, "Restart", &child), platform::kSuccess);
  ASSERT_EQ(wine_->CreateKey(parent, "Doomed", &doomed), platform::kSuccess);
  wine_->CloseKey(doomed);
  ASSERT_EQ(wine_->OpenKey(parent, "Doomed", &doomed), platform::kSuccess);
  wine_->CloseKey(parent);
  KillBridge();
  const std::string text = "kept\0"s;
  EXPECT_EQ(wine_->SetValue(child, "v", platform::kRegSz, reinterpret_cast<const std::uint8_t*>(text.data()),
                            static_cast<std::uint32_t>(text.size())),
            platform::kSuccess);
  EXPECT_EQ(WineGet("HKCU\\Software\\VantorTest\\Restart", "v"), "kept");
  EXPECT_EQ(wine_->CloseKey(parent), platform::kInvalidHandle);  // closed stays closed

  ASSERT_EQ(RunInWine({"reg", "delete", "HKCU\\Software\\VantorTest\\Doomed", "/f"}).exitCode, 0);
  KillBridge();
  EXPECT_EQ(wine_->DeleteValue(doomed, "v"), platform::kKeyDeleted);
  EXPECT_EQ(wine_->CloseKey(doomed), platform::kSuccess);
  EXPECT_EQ(wine_->CloseKey(child), platform::kSuccess);
}

// A stopped bridge costs a keystroke the answer's bound, then a new bridge takes the call;
// and it doesn't keep the program from ending.
TEST_F(WineProgram, StoppedBridgeIsReplacedAndDoesntHoldTheEnd) {
  WineSet(kProfilesKey, "VantorAlert", "Disabled");
  WineSet(kUserKey, "yahoo! user ID", "jdoe");
  driver::WhileShown(*form_, [&] {
    driver::Type(*form_, "Text11", "a");
    Stopped bridge(Bridge());
    driver::Type(*form_, "Text11", "b");
    EXPECT_FALSE(bridge.LetGo());
    EXPECT_TRUE(Ended(bridge.Pid()));
    EXPECT_EQ(WineGet(kMessagesKey, "5"), "ab");
  });
  Stopped bridge(Bridge());
  wine_.reset();  // as when main returns after the window closed
  EXPECT_FALSE(bridge.LetGo());
  EXPECT_TRUE(Ended(bridge.Pid()));
}

// A stopped wineserver fails the keystroke within the bounds, with one line saying why; the
// keystroke after its return stores the box whole.
TEST_F(WineProgram, StoppedWineserverFailsTheKeystrokeAndSaysSo) {
  WineSet(kProfilesKey, "VantorAlert", "Disabled");
  WineSet(kUserKey, "yahoo! user ID", "jdoe");
  driver::WhileShown(*form_, [&] {
    driver::Type(*form_, "Text11", "a");
    {
      Stopped server(Wineserver());
      testing::internal::CaptureStderr();
      driver::Type(*form_, "Text11", "b");
      const std::string said = testing::internal::GetCapturedStderr();
      EXPECT_FALSE(server.LetGo());
      EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
      EXPECT_NE(said.find("the Wine registry is out of reach"), std::string::npos) << said;
    }
    std::this_thread::sleep_for(2500ms);  // the client's rest after a failed call
    driver::Type(*form_, "Text11", "c");
    EXPECT_EQ(WineGet(kMessagesKey, "5"), "abc");
  });
  EXPECT_EQ(WineGet(kNobodysKey, "5"), std::nullopt);
}

// The real program, whose bridge never says hello: exit code 2 and the prefix named.
TEST_F(WineProgram, ProgramWithoutHelloEndsNamingThePrefix) {
  {
    Stopped server(Wineserver());
    const ToolRun run = RunVantorOnWine();
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("the Wine bridge did not start in " + Prefix()), std::string::npos) << run.err;
  }
  // A frame of 64 MiB announced, and nothing after it.
  const fs::path stalling = fakeWine_ / "stalling";
  WriteWine(stalling, "printf '\\000\\000\\000\\004'\nexec sleep 600\n");
  const ToolRun run = RunVantorOnWine(stalling);
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("the Wine bridge did not start in " + Prefix()), std::string::npos) << run.err;
}

// The real program, refusing what is no prefix before it opens anything.
TEST(WineCommandLine, RefusesWhatIsNoPrefixAndCreatesNothing) {
  const fs::path scratch = fs::path(std::getenv("XDG_DATA_HOME")) / "scratch";
  const fs::path empty = scratch / "empty", missing = scratch / "missing";
  for (const fs::path& folder : {empty, scratch / "home"}) fs::create_directories(folder);
  struct Case {
    std::vector<std::string> env;
    std::string arg, message;
  };
  const Case cases[] = {
      {{}, "--wine=" + missing.string(), "there is no Wine prefix at " + missing.string()},
      {{}, "--wine=" + empty.string(), empty.string() + " is no Wine prefix: it has no system.reg"},
      {{"WINEPREFIX=" + missing.string()}, "--wine", "there is no Wine prefix at " + missing.string()},
      {{"PATH=/nonexistent"}, "--wine=" + Prefix(), "wine is not on the PATH"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv = {"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM=",
                                     "HOME=" + (scratch / "home").string(), "XDG_DATA_HOME=" + scratch.string()};
    argv.insert(argv.end(), c.env.begin(), c.env.end());
    argv.insert(argv.end(), {VANTOR_PROGRAM, c.arg});
    const ToolRun run = RunProgram(argv);
    EXPECT_EQ(run.exitCode, 2) << c.arg;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
  // Nothing made: no prefix, nothing in the empty folder, no hive, nothing in HOME.
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_TRUE(fs::is_empty(empty));
  EXPECT_TRUE(fs::is_empty(scratch / "home"));
  EXPECT_FALSE(fs::exists(scratch / "vantor"));

  // --help and --version print without a display.
  for (const char* arg : {"--help", "--version"}) {
    const ToolRun run = RunProgram({"env", "-u", "DISPLAY", "QT_QPA_PLATFORM=", VANTOR_PROGRAM, arg});
    EXPECT_EQ(run.exitCode, 0) << arg;
    EXPECT_NE(run.out.find(arg == std::string("--help") ? "--wine=DIR" : "vantor "), std::string::npos);
  }
}

}  // namespace
