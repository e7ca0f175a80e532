// Starting the program: the warning and its switch in the registry, the compact height and
// the last user's ID, with the real window and its real modal dialogs on Qt.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include <functional>
#include <optional>

#include "registry/RegMod.h"
#include "tests/platform/Driver.h"
#include "tests/support/RawRegistry.h"
#include "tests/support/RecordingRegistry.h"
#include "window/Form1.h"

namespace {

using platform::kCurrentUser;

const std::string kProfiles = "SOFTWARE\\Yahoo\\Pager\\profiles\\";
const std::string kPager = "SOFTWARE\\yahoo\\pager\\";

const std::string kWarningTitle = "Vantor Registry Alert !";
const std::string kWarningText =
    "This program will purposefully access your Windows registry to get the last user logged in to Yahoo "
    "Messenger and to add, modify, or delete custom messages.  This program will NOT do any harmful "
    "modifications...but you are using this program 'as is' and Tolvane (https://www.example.com) is not "
    "responsible for anything that may happen as a result of using this application.  Do you want to show "
    "this warning each time this application launches?";

// The program's registry calls pass through it; the test's own reads and writes don't.
RecordingRegistry& Recorder() {
  static RecordingRegistry recorder(platform::Registry::Default());
  return recorder;
}

std::optional<RawValue> StoredFlag() { return ReadRaw(platform::Registry::Default(), kProfiles, "VantorAlert"); }

void StoreFlag(const std::string& text) {
  ASSERT_TRUE(WriteRaw(platform::Registry::Default(), kProfiles, "VantorAlert", Sz(text)));
}

struct Start {
  bool warned = false;
  int outerHeight = 0;
  std::string label2;
};

// What the user does with the warning box.
using Answer = std::function<void(QMessageBox&)>;

Answer Press(QMessageBox::StandardButton button) {
  return [button](QMessageBox& box) { QTest::mouseClick(box.button(button), Qt::LeftButton); };
}

// Starts the program, checks and answers the warning if one appears, and closes the window
// once shown.
Start StartProgram(const Answer& answer) {
  Start start;
  std::string why;
  std::unique_ptr<platform::Window> form = window::CreateForm1(&why);
  driver::Later(0, [&start, answer] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    start.warned = true;
    EXPECT_EQ(box->windowTitle().toStdString(), kWarningTitle);
    EXPECT_EQ(box->text().toStdString(), kWarningText);
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Yes));
    answer(*box);
  });
  // Start-up has ended once the window shows: then what it left is read.
  driver::WhileShown(*form, [&] {
    start.outerHeight = form->OuterHeight();
    start.label2 = form->LabelNamed("Label2")->Caption();
  });
  return start;
}

class Startup : public testing::Test {
 protected:
  void SetUp() override {
    registry::UseRegistry(Recorder());
    registry::DeleteRegValue(kCurrentUser, kProfiles, "VantorAlert");
    registry::DeleteRegValue(kCurrentUser, kPager, "yahoo! user ID");
  }
};

// Only No switches the warning off, for good. Escape and the title bar's close button give no
// answer: they store nothing either, and the warning comes again at the next start. Nor does a
// switch that is not the exact word keep it away.
TEST_F(Startup, OnlyNoAndTheExactWordSwitchTheWarningOff) {
  const Answer escape = [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); };
  const Answer closeButton = [](QMessageBox& box) { box.windowHandle()->close(); };
  for (const Answer& answer : {Press(QMessageBox::Yes), escape, closeButton}) {
    EXPECT_TRUE(StartProgram(answer).warned);
    EXPECT_EQ(StoredFlag(), std::nullopt);
  }
  for (const char* flag : {"disabled", "Disabled ", "DISABLED", ""}) {
    StoreFlag(flag);
    EXPECT_TRUE(StartProgram(Press(QMessageBox::Yes)).warned) << '"' << flag << '"';
  }
  EXPECT_TRUE(StartProgram(Press(QMessageBox::No)).warned);
  EXPECT_EQ(StoredFlag(), Sz("Disabled"));
  EXPECT_FALSE(StartProgram(Press(QMessageBox::No)).warned);
}

// The calls of a start answered No, with the paths and names exactly as the registry gets
// them: the switch read and stored, then the last user read; the window at its compact height.
TEST_F(Startup, ShowsTheLastUserAtTheCompactHeight) {
  StoreFlag("off");
  ASSERT_TRUE(WriteRaw(platform::Registry::Default(), kPager, "yahoo! user ID", Sz("jdoe")));
  Recorder().Start();
  const Start start = StartProgram(Press(QMessageBox::No));
  const std::vector<std::string> calls = {"open SOFTWARE\\Yahoo\\Pager\\profiles\\",
                                          "get VantorAlert",
                                          "close",
                                          "create SOFTWARE\\Yahoo\\Pager\\profiles\\",
                                          "set VantorAlert=Disabled",
                                          "flush",
                                          "close",
                                          "open SOFTWARE\\yahoo\\pager\\",
                                          "get yahoo! user ID",
                                          "close"};
  EXPECT_EQ(Recorder().Take(), calls);
  EXPECT_EQ(start.outerHeight, 2800);
  EXPECT_EQ(start.label2, "jdoe");

  registry::DeleteRegValue(kCurrentUser, kPager, "yahoo! user ID");
  EXPECT_EQ(StartProgram(Press(QMessageBox::Yes)).label2, "Not Found");
}

}  // namespace
