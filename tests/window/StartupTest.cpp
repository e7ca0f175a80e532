// Starting the program: the warning and its switch in the registry, the compact height and
// the last user's ID, with the real window and its real modal dialogs on Qt.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "Driver.h"
#include "Form1.h"
#include "RegMod.h"

namespace {

using platform::kCurrentUser;
using regmod::ValueType;

constexpr const char* kWarningText =
    "This program will purposefully access your Windows registry to get the last user logged in "
    "to Yahoo Messenger and to add, modify, or delete custom messages.  This program will NOT do "
    "any harmful modifications...but you are using this program 'as is' and Tolvane "
    "(https://www.example.com) is not responsible for anything that may happen as a result of "
    "using this application.  Do you want to show this warning each time this application "
    "launches?";

struct Flag {
  long result = -1;
  std::uint32_t type = 0;
  std::string bytes;
};

Flag StoredFlag() {
  Flag flag;
  platform::RegKey key = platform::kNoKey;
  platform::Registry::Default().OpenKey(kCurrentUser, "SOFTWARE\\Yahoo\\Pager\\profiles", &key);
  char data[64] = {};
  std::uint32_t size = sizeof data;
  flag.result = platform::Registry::Default().QueryValue(key, "VantorAlert", &flag.type, reinterpret_cast<std::uint8_t*>(data), &size);
  if (flag.result == platform::kSuccess) flag.bytes.assign(data, size);
  platform::Registry::Default().CloseKey(key);
  return flag;
}

struct Start {
  bool warned = false;
  std::string title, text;
  bool critical = false, yesIsDefault = false;
  int outerHeight = 0;
  std::string label2;
};

// Starts the program, answers a warning if one appears, and closes the window once shown.
Start StartProgram(QMessageBox::StandardButton answer) {
  Start start;
  std::unique_ptr<platform::Window> form = window::CreateForm1();
  driver::Later(0, [&start, answer] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    start.warned = true;
    start.title = box->windowTitle().toStdString();
    start.text = box->text().toStdString();
    start.critical = box->icon() == QMessageBox::Critical;
    start.yesIsDefault = box->defaultButton() == box->button(QMessageBox::Yes);
    QTest::mouseClick(box->button(answer), Qt::LeftButton);
  });
  driver::Later(50, [&] {
    start.outerHeight = form->OuterHeight();
    start.label2 = form->LabelNamed("Label2").Caption();
    driver::Close(*form);
  });
  form->Run();
  return start;
}

class Startup : public testing::Test {
 protected:
  void SetUp() override {
    regmod::DeleteRegValue(kCurrentUser, regmod::kProfilesKey, regmod::kAlertValue);
    regmod::DeleteRegValue(kCurrentUser, regmod::kPagerKey, regmod::kLastUserValue);
  }
};

TEST_F(Startup, AnsweringNoSwitchesTheWarningOffForGood) {
  const Start first = StartProgram(QMessageBox::No);
  EXPECT_TRUE(first.warned);
  EXPECT_EQ(first.title, "Vantor Registry Alert !");
  EXPECT_EQ(first.text, kWarningText);
  EXPECT_TRUE(first.critical);
  EXPECT_TRUE(first.yesIsDefault);
  const Flag flag = StoredFlag();
  EXPECT_EQ(flag.type, platform::kRegSz);
  EXPECT_EQ(flag.bytes, std::string("Disabled", 9));

  EXPECT_FALSE(StartProgram(QMessageBox::No).warned);
}

TEST_F(Startup, AnsweringYesStoresNothingAndWarnsAgain) {
  EXPECT_TRUE(StartProgram(QMessageBox::Yes).warned);
  EXPECT_EQ(StoredFlag().result, platform::kFileNotFound);
  EXPECT_TRUE(StartProgram(QMessageBox::Yes).warned);
}

TEST_F(Startup, OnlyTheExactWordSwitchesTheWarningOff) {
  for (const char* flag : {"disabled", "Disabled ", "DISABLED", ""}) {
    regmod::SetRegValue(kCurrentUser, regmod::kProfilesKey, regmod::kAlertValue, ValueType::String, flag);
    EXPECT_TRUE(StartProgram(QMessageBox::Yes).warned) << '"' << flag << '"';
  }
}

TEST_F(Startup, ShowsTheLastUserAtTheCompactHeight) {
  regmod::SetRegValue(kCurrentUser, regmod::kProfilesKey, regmod::kAlertValue, ValueType::String, "Disabled");
  Start start = StartProgram(QMessageBox::Yes);
  EXPECT_EQ(start.outerHeight, 2800);
  EXPECT_EQ(start.label2, "Not Found");

  regmod::SetRegValue(kCurrentUser, regmod::kPagerKey, regmod::kLastUserValue, ValueType::String, "jdoe");
  start = StartProgram(QMessageBox::Yes);
  EXPECT_FALSE(start.warned);
  EXPECT_EQ(start.label2, "jdoe");
}

}  // namespace
