// What the handlers rely on from any toolkit, checked through Toolkit.h and the user's
// driver (Driver.h) alone, so that each toolkit's adapter passes the same suite.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Toolkit.h"
#include "tests/platform/Driver.h"

namespace {

using platform::ControlDef;
using platform::ControlKind;
using Texts = std::vector<std::string>;
using namespace std::string_literals;

// One row a control, as the table reads
// clang-format off
constexpr ControlDef kControls[] = {
    {.name = "Go", .kind = ControlKind::Button, .text = "Go", .left = 120, .top = 120, .width = 1200, .height = 375},
    {.name = "Off", .kind = ControlKind::Button, .text = "Off", .left = 1440, .top = 120, .width = 1200, .height = 375,
     .enabled = false},
    {.name = "Edit", .kind = ControlKind::TextBox, .left = 120, .top = 600, .width = 3000, .height = 285},
    {.name = "Other", .kind = ControlKind::TextBox, .left = 120, .top = 960, .width = 3000, .height = 285},
    {.name = "List", .kind = ControlKind::ListBox, .left = 120, .top = 1320, .width = 3000, .height = 1200},
    {.name = "Kept", .kind = ControlKind::TextHolder},
    {.name = "Ticker", .kind = ControlKind::Timer, .intervalMs = 1},
};
// clang-format on
constexpr const char* kFocusOrder[] = {"Go", "Off", "Edit", "Other", "List"};
constexpr int kClientWidth = 4800;
constexpr int kClientHeight = 2700;
constexpr platform::WindowDef kWindow = {"Contract", kClientWidth, kClientHeight, 0x00E0E0E0, kFocusOrder};
constexpr int kTwipsPerPixel = 15;

class ToolkitTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(window_) << why_; }
  int WhileShown(std::function<void()> userPart) { return driver::WhileShown(*window_, std::move(userPart)); }

  const std::chrono::steady_clock::time_point created_ = std::chrono::steady_clock::now();
  std::string why_;  // why the window could not be made, if it could not
  std::unique_ptr<platform::Window> window_ = platform::CreateWindow(kWindow, kControls, &why_);
};

// --- Text boxes, shown and held -----------------------------------------------------------

class TextBoxTest : public ToolkitTest, public testing::WithParamInterface<const char*> {};

TEST_P(TextBoxTest, SetTextRaisesTheChangeEventBeforeItReturnsAndReadsBackAsSet) {
  platform::TextBox& box = *window_->TextBoxNamed(GetParam());
  Texts seen;
  box.OnChange([&] { seen.push_back(box.Text()); });

  box.SetText("first");
  EXPECT_EQ(seen, Texts{"first"});
  box.SetEnabled(false);
  box.SetText("while disabled");
  EXPECT_EQ(seen, (Texts{"first", "while disabled"}));
  box.SetText("while disabled");  // the text it holds: no change
  box.SetText("");
  EXPECT_EQ(seen, (Texts{"first", "while disabled", ""}));

  // Whatever the registry holds comes back whole: zero characters, and surrogates alone (a
  // low one, then a high one, in the three bytes the program spells them in).
  const Texts texts = {"plain",
                       "two\r\nlines",
                       "lone\nfeed",
                       "lone\rreturn",
                       " tab\tand spaces ",
                       "Grüße – ✓",
                       std::string(100000, 'x'),
                       "zero\0inside\0"s,
                       "\xED\xB0\x80lone\xED\xA0\xBD",
                       ""};
  for (const std::string& text : texts) {
    box.SetText(text);
    EXPECT_EQ(box.Text(), text) << "set " << text.size() << " bytes";
  }
}

INSTANTIATE_TEST_SUITE_P(ShownAndHeld, TextBoxTest, testing::Values("Edit", "Kept"));

// Typing keeps the characters it doesn't touch, a zero among them.
TEST_F(ToolkitTest, EachTypedKeyRaisesAChangeAndADisabledBoxTakesNone) {
  platform::TextBox& box = *window_->TextBoxNamed("Edit");
  platform::TextBox& disabled = *window_->TextBoxNamed("Other");
  box.SetText("z\0"s);
  Texts seen;
  box.OnChange([&] { seen.push_back(box.Text()); });
  disabled.OnChange([&] { seen.push_back("disabled box changed"); });
  disabled.SetEnabled(false);

  WhileShown([&] {
    driver::Type(*window_, "Edit", "abc");
    driver::Type(*window_, "Other", "xyz");
  });
  EXPECT_EQ(seen, (Texts{"z\0a"s, "z\0ab"s, "z\0abc"s}));
  EXPECT_EQ(disabled.Text(), "");
}

// --- List boxes ----------------------------------------------------------------------------

TEST_F(ToolkitTest, ListRowsStayInAppendOrderAndOnlyAnEnabledListTakesTheUsersRow) {
  // A name the table lacks, or one of a control of another kind, finds nothing.
  EXPECT_EQ(window_->ListBoxNamed("Missing"), nullptr);
  EXPECT_EQ(window_->ListBoxNamed("Edit"), nullptr);
  platform::ListBox& list = *window_->ListBoxNamed("List");
  Texts clicks;
  list.OnClick([&] { clicks.push_back(list.SelectedText()); });
  for (const char* row : {"pear", "apple", "fig"}) list.Append(row);
  EXPECT_EQ(driver::Rows(*window_, "List"), (Texts{"pear", "apple", "fig"}));
  EXPECT_EQ(list.SelectedText(), "");
  WhileShown([&] {
    driver::ClickRow(*window_, "List", 1);
    driver::ClickRow(*window_, "List", 0);
    list.SetEnabled(false);
    driver::ClickRow(*window_, "List", 2);
    EXPECT_EQ(list.SelectedText(), "pear");

    // Clear removes the rows and the selection, silently.
    list.SetEnabled(true);
    list.Clear();
    list.Append("ki\0wi"s);
    EXPECT_EQ(driver::Rows(*window_, "List").size(), 1u);
    EXPECT_EQ(list.SelectedText(), "");
    driver::ClickRow(*window_, "List", 0);
  });
  EXPECT_EQ(clicks, (Texts{"apple", "pear", "ki\0wi"s}));
}

// --- Buttons and the timer ---------------------------------------------------------

TEST_F(ToolkitTest, OnlyAnEnabledButtonRaisesItsClick) {
  Texts clicks;
  for (const char* name : {"Go", "Off"})
    window_->ButtonNamed(name)->OnClick([&clicks, name] { clicks.push_back(name); });

  WhileShown([&] {
    driver::Click(*window_, "Off");
    driver::Click(*window_, "Go");
    window_->ButtonNamed("Go")->SetEnabled(false);
    window_->ButtonNamed("Off")->SetEnabled(true);
    driver::Click(*window_, "Go");
    driver::Click(*window_, "Off");
  });
  EXPECT_EQ(clicks, (Texts{"Go", "Off"}));
}

TEST_F(ToolkitTest, AOneMillisecondTimerTicksOnTheWindowsThreadAtMostEveryTenMs) {
  constexpr std::size_t kTicks = 6;
  const std::thread::id windowThread = std::this_thread::get_id();
  std::vector<std::chrono::steady_clock::time_point> ticks;
  bool elsewhere = false;
  window_->TimerNamed("Ticker")->OnTick([&] {
    elsewhere |= std::this_thread::get_id() != windowThread;
    ticks.push_back(std::chrono::steady_clock::now());
    if (ticks.size() == kTicks) driver::Close(*window_);
  });

  window_->Run();
  ASSERT_EQ(ticks.size(), kTicks);
  EXPECT_FALSE(elsewhere);
  // A busy machine only delays ticks, and a timer may make up for a late tick with an early
  // one, but never gets ahead of its schedule by more than 5%.
  EXPECT_GE(ticks.back() - created_, kTicks * std::chrono::microseconds(9500));
}

// --- The window ----------------------------------------------------------------------------

// The first control of the focus order is disabled at load, the second from the start: the
// focus starts on the first enabled one, and Tab passes over both on its way round.
TEST_F(ToolkitTest, LoadComesOnceBeforeTheWindowShowsAndFocusFollowsTheEnabledControls) {
  int loads = 0;
  bool shownAtLoad = true;
  bool shownAfterwards = false;
  Texts focused;
  window_->OnLoad([&] {
    ++loads;
    shownAtLoad = driver::IsShown(*window_);
    window_->ButtonNamed("Go")->SetEnabled(false);
  });

  EXPECT_EQ(WhileShown([&] {
              shownAfterwards = driver::IsShown(*window_);
              focused.push_back(driver::FocusedControl(*window_));
              for (int i = 0; i < 3; ++i) {
                driver::PressTab(*window_);
                focused.push_back(driver::FocusedControl(*window_));
              }
            }),
            0);
  EXPECT_EQ(loads, 1);
  EXPECT_FALSE(shownAtLoad);
  EXPECT_TRUE(shownAfterwards);
  EXPECT_FALSE(driver::IsShown(*window_));
  EXPECT_EQ(focused, (Texts{"Edit", "Other", "List", "Edit"}));
}

TEST_F(ToolkitTest, HeightChangesAtOnceAtTheLowerEdge) {
  WhileShown([&] {
    const driver::Rect start = driver::ClientArea(*window_);
    EXPECT_EQ(start.width, kClientWidth / kTwipsPerPixel);
    EXPECT_EQ(start.height, kClientHeight / kTwipsPerPixel);

    const auto sides = [](const driver::Rect& area) {
      return std::array{area.left, area.top, area.width, area.height};
    };
    const int outer = window_->OuterHeight();
    for (const int change : {-1500, 3000}) {
      window_->SetOuterHeight(outer + change);
      EXPECT_EQ(sides(driver::ClientArea(*window_)),
                sides({start.left, start.top, start.width, start.height + change / kTwipsPerPixel}));
    }
  });
}

// --- Modal dialogs -------------------------------------------------------------------------

// Each dialog shows its text under its title and gives back the answer: AskYesNo true for
// Yes and for Enter and false for No, InputBox the typed text on Ok and the empty text on Cancel.
TEST_F(ToolkitTest, DialogsShowTheirTextAndGiveBackTheAnswer) {
  using driver::Answer;
  const struct {
    bool yesNo;  // AskYesNo, else InputBox
    Answer answer;
    std::string typed, result;
  } cases[] = {{true, Answer::Yes, "", "yes"},
               {true, Answer::No, "", "no"},
               {true, Answer::Enter, "", "yes"},
               {false, Answer::Ok, "Gone fishing", "Gone fishing"},
               {false, Answer::Cancel, "Never mind", ""},
               {false, Answer::Ok, "", ""}};
  for (const auto& c : cases) {
    const std::string title = c.yesNo ? "Alert" : "New Status...";
    const std::string text = c.yesNo ? "Show this warning again?" : "Enter New Status Message.";
    const auto dialog = driver::AnswerNextDialog(c.answer, c.typed);
    EXPECT_EQ(c.yesNo ? (window_->AskYesNo(text, title) ? "yes" : "no") : window_->InputBox(text, title), c.result);
    EXPECT_TRUE(dialog->answered);
    EXPECT_EQ(dialog->title, title);
    EXPECT_EQ(dialog->text, text);
  }
}

}  // namespace
