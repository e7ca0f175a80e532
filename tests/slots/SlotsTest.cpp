// The five slots driven through the real Qt window as a user drives them: clicks, rows
// chosen with the mouse, keys typed, the input box answered. The hive underneath is real
// (or, for the value shapes, a Wine prefix's registry through the bridge: RegistryUnderTest.h);
// the log in front of it shows which registry operations each action made.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <QTest>

#include <optional>

#include "platform/ToolkitQt.h"
#include "registry/RegMod.h"
#include "slots/Slots.h"
#include "tests/platform/Driver.h"
#include "tests/support/RawRegistry.h"
#include "tests/support/RecordingRegistry.h"
#include "tests/support/RegistryUnderTest.h"
#include "tests/support/ValueShapes.h"
#include "window/Form1.h"

namespace {

using namespace std::string_literals;
using platform::kCurrentUser;
using registry::ValueType;
using Log = std::vector<std::string>;
using Texts = std::vector<std::string>;

// The program's registry calls pass through it; the test's own reads and writes don't.
RecordingRegistry& Recorder() {
  static RecordingRegistry recorder(RegistryUnderTest());
  return recorder;
}

std::string MessagesKey(const std::string& user) {
  return "SOFTWARE\\Yahoo\\Pager\\profiles\\" + user + "\\Custom Msgs";
}

// A slot's value as the registry holds it, or nothing when it is missing.
std::optional<RawValue> Slot(int k, const std::string& user = "jdoe") {
  return ReadRaw(RegistryUnderTest(), MessagesKey(user), std::to_string(k));
}

void RecordUser(const std::string& user) {
  registry::SetRegValue(kCurrentUser, "SOFTWARE\\yahoo\\pager\\", "yahoo! user ID", ValueType::String, user);
}

class Slots : public testing::Test {
 protected:
  void SetUp() override {
    registry::UseRegistry(Recorder());
    for (const std::string user : {"jdoe", "ann"})
      for (int k = 1; k <= 5; ++k) registry::DeleteRegValue(kCurrentUser, MessagesKey(user), std::to_string(k));
    RecordUser("jdoe");
    std::string why;
    form_ = window::CreateForm1(&why);
    ASSERT_TRUE(form_) << why;
    widget_ = &platform::WidgetOf(*form_);
    widget_->show();
  }

  // Stores texts into slots 1..5 of jdoe; std::nullopt, or no text at all, leaves a slot missing.
  static void Seed(const std::vector<std::optional<std::string>>& texts) {
    for (std::size_t k = 0; k < texts.size(); ++k)
      if (texts[k])
        registry::SetRegValue(kCurrentUser, MessagesKey("jdoe"), std::to_string(k + 1), ValueType::String, *texts[k]);
  }

  template <typename T>
  T* Control(const char* name) const {
    T* control = widget_->findChild<T*>(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  QLineEdit* Box(const char* name) const { return Control<QLineEdit>(name); }
  QListWidget* List() const { return Control<QListWidget>("List1"); }
  bool Enabled(const char* name) const { return Control<QWidget>(name)->isEnabled(); }
  void Click(const char* button) const { driver::Click(*form_, button); }
  void SelectRow(int row) const { driver::ClickRow(*form_, "List1", row); }

  Texts Rows() const { return driver::Rows(*form_, "List1"); }

  // Slot by slot: the texts of the read boxes (held by the window, never shown), the texts
  // of the edit boxes, and whether each edit box takes input.
  Texts ReadBoxTexts() const {
    Texts texts;
    for (const char* box : {"Text1", "Text2", "Text3", "Text4", "Text5"})
      texts.push_back(form_->TextBoxNamed(box)->Text());
    return texts;
  }
  static constexpr const char* kEditBoxes[] = {"Text7", "Text8", "Text9", "Text10", "Text11"};
  Texts EditBoxTexts() const {
    Texts texts;
    for (const char* box : kEditBoxes) texts.push_back(Box(box)->text().toStdString());
    return texts;
  }
  std::vector<bool> EditBoxesEnabled() const {
    std::vector<bool> enabled;
    for (const char* box : kEditBoxes) enabled.push_back(Enabled(box));
    return enabled;
  }

  std::unique_ptr<platform::Window> form_;
  QWidget* widget_ = nullptr;
};

TEST_F(Slots, ReloadListsTheSlotsThatHoldTextsAndEnablesCreate) {
  Seed({"a", "", "b", std::nullopt, "c"});
  ASSERT_FALSE(Enabled("Command5")) << "disabled at start";

  Recorder().Start();
  Click("Command2");
  // Each listed slot is written back through its edit box before the next slot is read.
  const std::string user = "get yahoo! user ID";
  EXPECT_EQ(Recorder().TakeValueCalls(), Log({user, "get 1", user, "set 1=a", user, "get 2", user, "get 3", user,
                                              "set 3=b", user, "get 4", user, "get 5", user, "set 5=c"}));
  EXPECT_EQ(Rows(), Texts({"a", "b", "c"}));
  EXPECT_EQ(ReadBoxTexts(), Texts({"a", "", "b", "Not Found", "c"}));
  EXPECT_EQ(EditBoxTexts(), Texts({"a", "", "b", "", "c"}));
  EXPECT_TRUE(Enabled("Command5"));
  EXPECT_EQ(List()->currentRow(), -1);
}

// Looking at the messages changes none of them: whatever shape of value a slot holds, a
// reload and a Modify and Submit with no edit leave what the registry held (ValueShapes.h).
TEST_F(Slots, ReloadAndSubmitLeaveEveryShapeOfValueAsItWas) {
  ExpectEveryShapeKept(RegistryUnderTest(), MessagesKey("jdoe"), [this] {
    Click("Command2");
    SelectRow(0);
    Click("Command4");
    Click("Command6");
    EXPECT_EQ(Rows().size(), 5u);
  });
}

TEST_F(Slots, EveryKeystrokeStoresTheWholeText) {
  Recorder().Start();
  driver::Type(*form_, "Text9", "abc");
  EXPECT_EQ(Recorder().TakeValueCalls(), Log({"get yahoo! user ID", "set 3=a", "get yahoo! user ID", "set 3=ab",
                                              "get yahoo! user ID", "set 3=abc"}));

  QTest::keyClick(Box("Text9"), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(Box("Text9"), Qt::Key_Backspace);
  EXPECT_EQ(Slot(3), Sz(""));  // emptied, not deleted
}

// Create asks for a message and puts the answer, as typed, into the first empty edit box, a
// disabled one too (in modify mode); the box stores it before the reload. A cancelled input
// box leaves the box empty and stores nothing.
const std::string kTyped = "  out to lunch ";
struct CreateCase {
  std::vector<std::optional<std::string>> seeded;
  bool modifyFirst;  // Modify on the first row before Create
  driver::Answer answer;
  int slot;  // the slot Create fills
  std::optional<RawValue> stored;
  Texts editBoxes;
};

class Create : public Slots, public testing::WithParamInterface<CreateCase> {};

TEST_P(Create, FillsTheFirstEmptyEditBox) {
  const CreateCase& c = GetParam();
  Seed(c.seeded);
  Click("Command2");
  if (c.modifyFirst) {
    SelectRow(0);
    Click("Command4");
  }
  ASSERT_TRUE(Enabled("Command5"));
  Recorder().Start();
  const auto dialog = driver::AnswerNextDialog(c.answer, kTyped);
  Click("Command5");
  EXPECT_EQ(dialog->title, "New Status...");
  EXPECT_EQ(dialog->text, "Enter New Status Message.");
  if (c.stored) {
    const Log log = Recorder().TakeValueCalls();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[1], "set " + std::to_string(c.slot) + "=" + kTyped);  // before the reload
  }
  EXPECT_EQ(Slot(c.slot), c.stored);
  EXPECT_EQ(EditBoxTexts(), c.editBoxes);
}

INSTANTIATE_TEST_SUITE_P(
    Slots, Create,
    testing::Values(
        CreateCase{{std::nullopt, "b", std::nullopt, "d", "e"},
                   false,
                   driver::Answer::Ok,
                   1,
                   Sz(kTyped),
                   {kTyped, "b", "", "d", "e"}},
        CreateCase{{"a"}, false, driver::Answer::Ok, 2, Sz(kTyped), {"a", kTyped, "", "", ""}},
        CreateCase{{"a", "b", "c", "d"}, false, driver::Answer::Ok, 5, Sz(kTyped), {"a", "b", "c", "d", kTyped}},
        CreateCase{{"a", std::nullopt, "c"}, true, driver::Answer::Ok, 2, Sz(kTyped), {"a", kTyped, "c", "", ""}},
        CreateCase{{"a"}, false, driver::Answer::Cancel, 2, std::nullopt, {"a", "", "", "", ""}}));

// Full slots leave Create disabled, and Submit's reload never enables it. The reload that
// finds a slot gone does, but the slot's edit box keeps its text: with no edit box empty,
// Create asks nothing.
TEST_F(Slots, CreateAsksNothingWhileNoEditBoxIsEmpty) {
  Seed({"x", "x", "y", "z", "w"});
  Click("Command2");
  EXPECT_EQ(Rows(), Texts({"x", "x", "y", "z", "w"}));
  EXPECT_FALSE(Enabled("Command5"));
  registry::DeleteRegValue(kCurrentUser, MessagesKey("jdoe"), "3");
  Click("Command6");
  EXPECT_EQ(Rows(), Texts({"x", "x", "z", "w"}));
  EXPECT_FALSE(Enabled("Command5"));
  Click("Command2");
  ASSERT_TRUE(Enabled("Command5"));

  // A dialog would block the click; this runs inside it then, and dismisses it.
  bool asked = false;
  driver::Later(0, [&asked] {
    if (QWidget* dialog = QApplication::activeModalWidget()) {
      asked = true;
      QTest::keyClick(dialog, Qt::Key_Escape);
    }
  });
  Recorder().Start();
  Click("Command5");
  QApplication::processEvents();  // the check runs now if no dialog ran it
  EXPECT_FALSE(asked);
  EXPECT_EQ(Recorder().TakeValueCalls(), Log());
  EXPECT_EQ(Box("Text9")->text(), "y");
}

TEST_F(Slots, DeleteRemovesEverySlotHoldingTheSelectedText) {
  Seed({"dup", "DUP", "dup", "keep", "dup"});
  Click("Command2");
  SelectRow(0);  // "dup", held by slots 1, 3 and 5; "DUP" differs in case only

  Recorder().Start();
  Click("Command3");
  const std::string user = "get yahoo! user ID";
  EXPECT_EQ(Recorder().TakeValueCalls(),
            Log({user, "delete 1", user, "set 1=", user, "delete 3", user, "set 3=", user, "delete 5", user, "set 5=",
                 user, "get 1",    user, "get 2",  user, "get 3",    user, "get 4",  user, "get 5"}));
  for (const int k : {1, 3, 5}) EXPECT_EQ(Slot(k), Sz("")) << k;  // emptied, not missing
  EXPECT_EQ(Rows(), Texts({"DUP", "keep"}));
  EXPECT_TRUE(Enabled("Command5"));
}

TEST_F(Slots, DeleteWithAnEmptySelectionDeletesNothing) {
  Seed({"Dup", "", "keep"});
  // No row chosen yet, and every edit box still empty: the button does this until the
  // timer's first tick. The empty selection names no message.
  slots::Delete(window::SlotControls(*form_));
  EXPECT_EQ(Slot(1), Sz("Dup"));
  EXPECT_EQ(Slot(2), Sz(""));
  EXPECT_EQ(Rows(), Texts({"Dup", "keep"}));
}

TEST_F(Slots, ModifyOpensOnlyTheLastHoldersEditBoxAndSubmitReloads) {
  Seed({"same", "other", "", "same"});
  Box("Text11")->setText("kept by the missing slot");
  registry::DeleteRegValue(kCurrentUser, MessagesKey("jdoe"), "5");  // the slot vanishes behind it
  Click("Command2");
  SelectRow(0);  // "same", held by slots 1 and 4
  Click("Command4");
  EXPECT_EQ(form_->OuterHeight(), 4575);
  EXPECT_FALSE(Enabled("List1"));
  EXPECT_EQ(EditBoxesEnabled(), std::vector<bool>({false, false, false, true, false}));

  driver::Type(*form_, "Text10", "!");
  EXPECT_EQ(Slot(4), Sz("same!"));

  Click("Command6");
  EXPECT_EQ(form_->OuterHeight(), 2800);
  EXPECT_TRUE(Enabled("List1"));
  EXPECT_EQ(EditBoxesEnabled(), std::vector<bool>(5, true));
  // Submit lists the empty slot as an empty row and leaves the missing slot's box alone.
  EXPECT_EQ(Rows(), Texts({"same", "other", "", "same!"}));
  EXPECT_EQ(ReadBoxTexts(), Texts({"same", "other", "", "same!", "Not Found"}));
  EXPECT_EQ(Box("Text11")->text(), "kept by the missing slot");
}

TEST_F(Slots, ModifyComparesTheListsSelectionAsItIsNow) {
  Seed({"a", "b"});
  Click("Command2");
  SelectRow(0);
  Box("Text7")->setText("changed");  // no box holds "a" any more
  Click("Command4");
  EXPECT_EQ(EditBoxesEnabled(), std::vector<bool>(5, true));

  // The reload leaves no row selected while the selection box still holds "a". Modify, as
  // the button runs it until the timer's next tick, takes the empty selection: the last
  // empty edit box matches.
  Click("Command2");
  slots::Modify(window::SlotControls(*form_));
  EXPECT_EQ(form_->TextBoxNamed("Text6")->Text(), "");
  EXPECT_EQ(EditBoxesEnabled(), std::vector<bool>({false, false, false, false, true}));
}

TEST_F(Slots, EachOperationUsesTheUserRecordedAtThatMoment) {
  Seed({"jdoe's"});
  Click("Command2");
  RecordUser("ann");
  registry::SetRegValue(kCurrentUser, MessagesKey("ann"), "2", ValueType::String, "ann's");
  driver::Type(*form_, "Text7", "?");
  EXPECT_EQ(Slot(1, "ann"), Sz("jdoe's?"));
  EXPECT_EQ(Slot(1, "jdoe"), Sz("jdoe's"));
  Click("Command1");  // Refresh Name: the new ID, and the list as it was
  EXPECT_EQ(form_->LabelNamed("Label2")->Caption(), "ann");
  EXPECT_EQ(Rows(), Texts({"jdoe's"}));
  Click("Command2");
  EXPECT_EQ(Rows(), Texts({"jdoe's?", "ann's"}));
}

TEST_F(Slots, DeleteAndModifyFollowTheSelectionAtOnceAndByTheTimer) {
  Seed({"a", ""});
  EXPECT_TRUE(QTest::qWaitFor([this] { return !Enabled("Command3"); })) << "a tick with nothing selected";
  Click("Command2");
  SelectRow(0);
  EXPECT_TRUE(Enabled("Command3"));
  EXPECT_TRUE(Enabled("Command4"));

  Click("Command2");  // the reload clears the selection
  EXPECT_FALSE(Enabled("Command3"));
  EXPECT_FALSE(Enabled("Command4"));

  Click("Command6");  // Submit lists slot 2's empty text as a row
  SelectRow(1);
  EXPECT_EQ(List()->currentRow(), 1);
  EXPECT_FALSE(Enabled("Command3"));  // an empty row counts as no selection

  // A selection that no event reports is the timer's to pick up.
  {
    const QSignalBlocker quiet(List());
    List()->setCurrentRow(0);
  }
  EXPECT_FALSE(Enabled("Command4"));
  EXPECT_TRUE(QTest::qWaitFor([this] { return Enabled("Command3") && Enabled("Command4"); }));
}

}  // namespace
