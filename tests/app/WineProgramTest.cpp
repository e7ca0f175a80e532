// The Linux program on a Wine prefix's live registry: the window on Qt's offscreen platform
// over the bridge, with every change read back by Wine's own reg.exe while the program still
// runs, and the command line's refusals, from the real vantor program. Runs under
// `scripts/wine-prefix with`, which hands it a fresh prefix in WINEPREFIX.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>

#include "CommandLine.h"
#include "Driver.h"
#include "Form1.h"
#include "RegMod.h"
#include "RegistryWine.h"
#include "ToolRun.h"

namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;
const std::string kUserKey = "HKCU\\Software\\yahoo\\pager";
const std::string kMessagesKey = "HKCU\\Software\\Yahoo\\Pager\\profiles\\jdoe\\Custom Msgs";
const std::string kProfilesKey = "HKCU\\Software\\Yahoo\\Pager\\profiles";

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

class WineProgram : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(std::getenv("WINEPREFIX"), nullptr) << "run me under scripts/wine-prefix with";
    // The program reads the prefix from its command line, as `vantor --wine=DIR` does.
    const app::CommandLine command = app::ReadCommandLine({"--wine=" + Prefix()});
    ASSERT_EQ(command.winePrefix, Prefix());
    std::string error;
    wine_ = platform::WineRegistry::Start(*command.winePrefix, VANTOR_WINE_BRIDGE_FOLDER, &error);
    ASSERT_TRUE(wine_ && wine_->WaitUntilReady(&error)) << error;
    regmod::UseRegistry(*wine_);
    form_ = window::CreateForm1();
  }
  void TearDown() override { regmod::UseRegistry(platform::Registry::Default()); }

  std::unique_ptr<platform::WineRegistry> wine_;
  std::unique_ptr<platform::Window> form_;
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
