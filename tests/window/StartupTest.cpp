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
#include "slots/Slots.h"
#include "tests/platform/Driver.h"
#include "tests/support/RawRegistry.h"
#include "window/ControlNames.h"
#include "window/Form1.h"

namespace {

using platform::kCurrentUser;
using regmod::ValueType;

std::optional<RawValue> StoredFlag() {
  return ReadRaw(platform::Registry::Default(), regmod::kProfilesKey, regmod::kAlertValue);
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
  std::unique_ptr<platform::Window> form = window::CreateForm1();
  driver::Later(0, [&start, answer] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    start.warned = true;
    EXPECT_EQ(box->windowTitle().toStdString(), window::kWarningTitle);
    EXPECT_EQ(box->text().toStdString(), window::kWarningText);
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Yes));
    answer(*box);
  });
  // Start-up has ended once the window shows: then what it left is read.
  driver::WhileShown(*form, [&] {
    start.outerHeight = form->OuterHeight();
    start.label2 = form->LabelNamed(window::kLastUserLabel).Caption();
  });
  return start;
}

class Startup : public testing::Test {
 protected:
  void SetUp() override {
    regmod::DeleteRegValue(kCurrentUser, regmod::kProfilesKey, regmod::kAlertValue);
    regmod::DeleteRegValue(kCurrentUser, regmod::kPagerKey, regmod::kLastUserValue);
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
    regmod::SetRegValue(kCurrentUser, regmod::kProfilesKey, regmod::kAlertValue, ValueType::String, flag);
    EXPECT_TRUE(StartProgram(Press(QMessageBox::Yes)).warned) << '"' << flag << '"';
  }
  EXPECT_TRUE(StartProgram(Press(QMessageBox::No)).warned);
  EXPECT_EQ(StoredFlag(), Sz(window::kWarningOff));
  EXPECT_FALSE(StartProgram(Press(QMessageBox::No)).warned);
}

TEST_F(Startup, ShowsTheLastUserAtTheCompactHeight) {
  regmod::SetRegValue(kCurrentUser, regmod::kProfilesKey, regmod::kAlertValue, ValueType::String, window::kWarningOff);
  const Start start = StartProgram(Press(QMessageBox::Yes));
  EXPECT_EQ(start.outerHeight, status_slots::kCompactHeight);
  EXPECT_EQ(start.label2, regmod::kNotFound);

  regmod::SetRegValue(kCurrentUser, regmod::kPagerKey, regmod::kLastUserValue, ValueType::String, "jdoe");
  EXPECT_EQ(StartProgram(Press(QMessageBox::Yes)).label2, "jdoe");
}

}  // namespace
