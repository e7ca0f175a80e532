// vantor.exe as a person uses it under Wine: started in a process of its own on messages
// seeded into Wine's registry, driven through its window with the real mouse and keyboard
// (SendInput), and the registry read back while it runs and once it has ended. With
// VANTOR_SCREENSHOT=FILE.png set, the window is also saved as a picture.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/ToolkitWin32.h"
#include "registry/RegMod.h"
#include "slots/Slots.h"
#include "tests/support/RawRegistry.h"
#include "tests/support/ValueShapes.h"
#include "tests/support/Win32Input.h"
#include "tests/support/WinePath.h"
#include "window/ControlNames.h"
#include "window/Form1.h"
#include "window/Form1Layout.h"

namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::string>;

using namespace platform;
using namespace win32_input;
using registry::ValueType;

constexpr int kDialogTextId = 0xFFFF;
constexpr COLORREF kWindowGrey = 0xE0E0E0, kLabelGrey = 0xC0C0C0;

const std::string kUser = "scenario_user";
const std::string kMessagesKey = registry::kProfilesKey + kUser + "\\Custom Msgs";

const std::wstring kProgram = base::Wide(WinePath(VANTOR_EXE));

// Starts a program by its command line.
bool Launch(std::wstring command, PROCESS_INFORMATION* process) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  return CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, process);
}

// --- Wine's registry, through advapi32 --------------------------------------------------------

std::optional<RawValue> Stored(const std::string& key, const std::string& name) {
  return ReadRaw(Registry::Default(), key, name);
}

void SeedMessages(const std::vector<std::string>& messages) {
  registry::SetRegValue(kCurrentUser, registry::kProfilesKey, registry::kAlertValue, ValueType::String,
                        window::kWarningOff);
  registry::SetRegValue(kCurrentUser, registry::kPagerKey, registry::kLastUserValue, ValueType::String, kUser);
  for (std::size_t slot = 1; slot <= 5; ++slot) {
    if (slot > messages.size())
      registry::DeleteRegValue(kCurrentUser, kMessagesKey, std::to_string(slot));
    else
      registry::SetRegValue(kCurrentUser, kMessagesKey, std::to_string(slot), ValueType::String, messages[slot - 1]);
  }
}

// --- vantor.exe and the person at its window ----------------------------------------------------

int RowOf(const std::string& name) {
  const auto controls = window::Form1Controls();
  for (std::size_t row = 0; row < controls.size(); ++row)
    if (name == controls[row].name) return static_cast<int>(row);
  ADD_FAILURE() << "Form1 has no control " << name;
  return -1;
}

void Type(const std::string& text) { SendOnly(Typing(text)); }

class Vantor {
 public:
  Vantor() {
    if (!Launch(L"\"" + kProgram + L"\"", &process_)) ADD_FAILURE() << "vantor.exe did not start";
  }

  ~Vantor() {
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 1);
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }

  // A top-level window of the program's on show: its form or one of its dialogs.
  HWND Shown(const wchar_t* windowClass, const std::string& title) const {
    const HWND found = FindWindowW(windowClass, base::Wide(title).c_str());
    DWORD process = 0;
    GetWindowThreadProcessId(found, &process);
    return process == process_.dwProcessId && IsWindowVisible(found) ? found : nullptr;
  }

  // The same, once it takes input.
  HWND Foreground(const wchar_t* windowClass, const std::string& title) {
    HWND shown = nullptr;
    WaitFor([&] { return (shown = Shown(windowClass, title)) && GetForegroundWindow() == shown; });
    return shown;
  }

  HWND Dialog(const std::string& title) { return Foreground(L"#32770", title); }

  HWND Form() {
    if (!form_) form_ = Foreground(L"VantorForm", window::kForm1.title);
    return form_;
  }

  bool FormShown() const { return Shown(L"VantorForm", window::kForm1.title) != nullptr; }

  HWND Control(const std::string& name) { return GetDlgItem(Form(), kFirstControlId + RowOf(name)); }
  std::string Text(const std::string& name) { return WindowText(Control(name)); }
  bool Enabled(const std::string& name) { return IsWindowEnabled(Control(name)); }

  void Click(const std::string& name) { ClickAt(CentreOnScreen(Control(name))); }

  void ClickRow(int row) {
    const HWND list = Control("List1");
    DWORD_PTR height = 0;
    SendMessageTimeoutW(list, LB_GETITEMHEIGHT, 0, 0, SMTO_ABORTIFHUNG, 5000, &height);
    POINT point{10, row * static_cast<int>(height) + static_cast<int>(height) / 2};
    ClientToScreen(list, &point);
    ClickAt(point);
  }

  Texts Rows() { return ListRows(Control("List1")); }

  std::size_t RowCount() {
    DWORD_PTR count = 0;
    SendMessageTimeoutW(Control("List1"), LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count);
    return count;
  }

  // Once the program has taken a message sent now, it has finished what it was doing; and
  // once it has also painted what that changed, the person sees the outcome.
  bool Idle() {
    return SendMessageTimeoutW(Form(), WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(kPatience / 1ms), nullptr);
  }
  bool Shown() { return Idle() && RedrawWindow(Form(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN) && Idle(); }

  POINT CaptionOnScreen() {
    RECT outer;
    GetWindowRect(Form(), &outer);
    POINT client{0, 0};
    ClientToScreen(Form(), &client);
    return {(outer.left + outer.right) / 2, (outer.top + client.y) / 2};
  }

  int OuterHeight() {
    RECT outer;
    GetWindowRect(Form(), &outer);
    return outer.bottom - outer.top;
  }

  // Alt+F4 on the form once it takes input, and the program's exit code once it has ended.
  // With no window manager, Wine hands the foreground to the desktop when the X server's
  // word of a focus change comes late (a busy machine): keys sent then reach no window, and
  // the person would press them again once the form is in front. So would this, up to three
  // times; a program that ignores Alt+F4 on a form in front still fails.
  int Close() {
    for (int attempt = 0; attempt < 3; ++attempt) {
      if (WaitFor([&] { return GetForegroundWindow() == Form() && Idle(); }))
        SendOnly({win32_input::Key(VK_MENU, 0, false), win32_input::Key(VK_F4, 0, false),
                  win32_input::Key(VK_F4, 0, true), win32_input::Key(VK_MENU, 0, true)});
      if (WaitForSingleObject(process_.hProcess, 3000) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return static_cast<int>(code);
      }
      const HWND front = GetForegroundWindow();
      if (front == Form()) break;
      std::printf("Alt+F4 reached \"%s\", not the form: the form's caption clicked, and again\n",
                  WindowText(front).c_str());
      ClickAt(CaptionOnScreen());
    }
    return -1;
  }

 private:
  PROCESS_INFORMATION process_{};
  HWND form_ = nullptr;
};

int Pixels(int twips) { return MulDiv(twips, 96, 1440); }

// What the person sees at a point given in twips of the client area.
COLORREF SeenAt(HWND form, int leftTwips, int topTwips, int dx = 0, int dy = 0) {
  POINT point{Pixels(leftTwips) + dx, Pixels(topTwips) + dy};
  ClientToScreen(form, &point);
  HDC screen = GetDC(nullptr);
  const COLORREF colour = GetPixel(screen, point.x, point.y);
  ReleaseDC(nullptr, screen);
  return colour;
}

// The window as the screen shows it, frame included, saved by X's own tools from outside the
// program (window-picture). Wine starts a Unix program without a process handle to wait on:
// the picture is taken once its file is there.
bool SaveWindowPicture(HWND window, const std::string& file) {
  RECT outer;
  GetWindowRect(window, &outer);
  const std::wstring picture = base::Wide(WinePath(file));
  DeleteFileW(picture.c_str());
  std::wstring command = L"\"" + base::Wide(WinePath(WINDOW_PICTURE)) + L"\"";
  for (const LONG number : {outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top})
    command += L" " + std::to_wstring(number);
  command += L" \"" + base::Wide(file) + L"\"";
  PROCESS_INFORMATION process{};
  return Launch(command, &process) &&
         WaitFor([&] { return GetFileAttributesW(picture.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

// Shape1 outlines Label2, Line1 crosses Label3's foot, later boxes lie over earlier ones.
void ExpectEachControlDrawnInItsPlace(HWND form) {
  EXPECT_EQ(SeenAt(form, 0, 0, 2, 2), kWindowGrey);
  EXPECT_EQ(SeenAt(form, 1800, 120), GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_EQ(SeenAt(form, 1800 + 2775, 120, -1, 0), GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_EQ(SeenAt(form, 1800, 120, 1, 1), kLabelGrey);
  EXPECT_EQ(SeenAt(form, 1800 + 2775, 120, -2, 1), kLabelGrey);
  EXPECT_EQ(SeenAt(form, 120, 840, 2, 0), GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_EQ(SeenAt(form, 120, 840, 2, -1), kWindowGrey);
  for (const char* lower : {"Text8", "Text9", "Text10", "Text11"}) {
    const int row = RowOf(lower);
    const POINT overlap{Pixels(2000), Pixels(window::Form1Controls()[static_cast<std::size_t>(row)].top + 15)};
    EXPECT_EQ(ChildWindowFromPointEx(form, overlap, CWP_ALL), GetDlgItem(form, kFirstControlId + row))
        << lower << " in front where it overlaps the box above";
  }
}

#define EXPECT_SOON(condition) EXPECT_TRUE(WaitFor([&] { return (condition); })) << #condition

// --- The scenarios -----------------------------------------------------------------------------

TEST(VantorScenario, ListDeleteModifySubmitAndCreateStoreEachChangeInTheRegistry) {
  // Wine keeps strings in UTF-16: slot 5's text, beyond the ANSI code page, is shown whole,
  // and the reload's write-through stores it back unchanged.
  const std::string wide = "Привет é 😀";
  SeedMessages({"Out to lunch", "", "In a meeting", "Out to lunch"});
  ASSERT_TRUE(WriteRaw(Registry::Default(), kMessagesKey, "5", WideSz(wide), Through::Wide));
  Vantor vantor;
  ASSERT_NE(vantor.Form(), nullptr) << "the window never showed";
  EXPECT_EQ(vantor.Text("Label2"), "scenario_user");
  // The outer heights in pixels: Wine's frame is the one the layout was drawn for.
  EXPECT_EQ(vantor.OuterHeight(), Pixels(window::kCompactHeight));
  EXPECT_FALSE(vantor.Enabled("Command5"));

  vantor.Click("Command2");
  EXPECT_SOON(vantor.Rows() == (Texts{"Out to lunch", "In a meeting", "Out to lunch", wide}));
  EXPECT_TRUE(vantor.Enabled("Command5")) << "slot 2 is free";
  EXPECT_FALSE(vantor.Enabled("Command3")) << "no row is selected";

  // Delete empties every slot that holds the selected message: an empty REG_SZ, which
  // Submit below lists as an empty row.
  vantor.ClickRow(2);
  EXPECT_SOON(vantor.Enabled("Command3") && vantor.Enabled("Command4"));
  vantor.Click("Command3");
  EXPECT_SOON(vantor.Rows() == (Texts{"In a meeting", wide}));

  // Modify opens the edit area with only the selected message's box usable.
  vantor.ClickRow(0);
  EXPECT_SOON(vantor.Enabled("Command3") && vantor.Enabled("Command4"));
  vantor.Click("Command4");
  EXPECT_SOON(vantor.OuterHeight() == Pixels(window::kExpandedHeight));
  EXPECT_SOON(!vantor.Enabled("List1"));
  for (const char* box : {"Text7", "Text8", "Text10", "Text11"}) EXPECT_SOON(!vantor.Enabled(box)) << box;
  ASSERT_TRUE(vantor.Enabled("Text9"));

  // Each key stores the whole box at once.
  vantor.Click("Text9");
  SendOnly(Press(VK_END));
  std::string typed = "In a meeting";
  for (const char key : std::string(" until noon")) {
    Type(std::string(1, key));
    typed += key;
    EXPECT_SOON(vantor.Text("Text9") == typed);
    EXPECT_EQ(Stored(kMessagesKey, "3"), Sz(typed));
  }

  const HWND form = vantor.Form();
  ExpectEachControlDrawnInItsPlace(form);
  const char* picture = std::getenv("VANTOR_SCREENSHOT");
  EXPECT_TRUE(!picture || SaveWindowPicture(form, picture)) << picture;

  // Submit lists every slot the registry holds, empty ones too.
  vantor.Click("Command6");
  EXPECT_SOON(vantor.OuterHeight() == Pixels(window::kCompactHeight));
  EXPECT_SOON(vantor.Rows() == (Texts{"", "", "In a meeting until noon", "", wide}));
  EXPECT_TRUE(vantor.Enabled("List1"));

  // Create fills the first slot whose box is empty.
  vantor.Click("Command5");
  const HWND input = vantor.Dialog(slots::kNewStatusTitle);
  ASSERT_NE(input, nullptr) << "no input box";
  EXPECT_EQ(WindowText(GetDlgItem(input, kDialogTextId)), slots::kNewStatusPrompt);
  ClickAt(CentreOnScreen(FindWindowExW(input, nullptr, L"Edit", nullptr)));
  Type("Back at five");
  ClickAt(CentreOnScreen(GetDlgItem(input, IDOK)));
  EXPECT_SOON(vantor.Rows() == (Texts{"Back at five", "In a meeting until noon", wide}));

  EXPECT_EQ(vantor.Close(), 0);
  const Texts kept = {"Back at five", "", "In a meeting until noon", ""};
  for (std::size_t slot = 1; slot <= kept.size(); ++slot)
    EXPECT_EQ(Stored(kMessagesKey, std::to_string(slot)), Sz(kept[slot - 1])) << "slot " << slot;
  EXPECT_EQ(ReadRaw(Registry::Default(), kMessagesKey, "5", Through::Wide), WideSz(wide));
}

// Looking at the messages changes none of them: whatever shape of value a slot holds, a
// reload and a Modify and Submit with no edit leave what the registry held (ValueShapes.h).
// Two slots of 100,000 characters at once take each step well within the
// patience of EXPECT_SOON; the time each round took is printed.
TEST(VantorScenario, ReloadAndSubmitLeaveEveryShapeOfValueAsItWas) {
  SeedMessages({});
  Vantor vantor;
  ASSERT_NE(vantor.Form(), nullptr) << "the window never showed";
  ExpectEveryShapeKept(Registry::Default(), kMessagesKey, [&vantor] {
    const auto start = std::chrono::steady_clock::now();
    vantor.Click("Command2");
    EXPECT_SOON(vantor.RowCount() == 5);
    EXPECT_TRUE(vantor.Shown());
    const auto reloaded = std::chrono::steady_clock::now();
    vantor.ClickRow(0);
    EXPECT_SOON(vantor.Enabled("Command4"));
    vantor.Click("Command4");
    EXPECT_SOON(vantor.OuterHeight() == Pixels(window::kExpandedHeight));
    EXPECT_TRUE(vantor.Shown());
    vantor.Click("Command6");
    EXPECT_SOON(vantor.OuterHeight() == Pixels(window::kCompactHeight));
    EXPECT_TRUE(vantor.Shown());
    const std::chrono::duration<double> reload = reloaded - start, submit = std::chrono::steady_clock::now() - reloaded;
    std::printf("five slots: reload %.2f s, Modify and Submit %.2f s\n", reload.count(), submit.count());
  });
  EXPECT_EQ(vantor.Close(), 0);
}

// Only No switches the warning off. Wine's box, unlike Windows', ends on Escape: that is no
// answer and stores nothing either.
TEST(VantorScenario, TheWarningComesBeforeTheWindowUntilItIsAnsweredNo) {
  SeedMessages({"Hello"});
  registry::DeleteRegValue(kCurrentUser, registry::kProfilesKey, registry::kAlertValue);

  for (const int answer : {IDCANCEL, IDYES, IDNO}) {
    Vantor vantor;
    const HWND warning = vantor.Dialog(window::kWarningTitle);
    ASSERT_NE(warning, nullptr) << "no warning";
    EXPECT_EQ(WindowText(GetDlgItem(warning, kDialogTextId)), window::kWarningText);
    EXPECT_FALSE(vantor.FormShown());
    if (answer == IDCANCEL)
      SendOnly(Press(VK_ESCAPE));
    else
      ClickAt(CentreOnScreen(GetDlgItem(warning, answer)));
    ASSERT_NE(vantor.Form(), nullptr) << "the window never showed";
    EXPECT_EQ(vantor.Close(), 0);
    EXPECT_EQ(Stored(registry::kProfilesKey, registry::kAlertValue),
              answer == IDNO ? std::optional(Sz(window::kWarningOff)) : std::nullopt);
  }

  Vantor quiet;
  ASSERT_NE(quiet.Form(), nullptr) << "the window never showed";
  EXPECT_EQ(quiet.Close(), 0);
  EXPECT_EQ(Stored(registry::kProfilesKey, registry::kAlertValue), Sz(window::kWarningOff));
}

// The icon the build packed from the SVG, at the sizes Windows asks for, and the version.
TEST(VantorScenario, TheProgramFileCarriesItsIconAndVersion) {
  const HMODULE file = LoadLibraryExW(kProgram.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(file, nullptr);
  for (const int size : {16, 32, 48}) {
    const auto icon = static_cast<HICON>(LoadImageW(file, MAKEINTRESOURCEW(kProgramIconId), IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr) << size;
    ICONINFO info{};
    GetIconInfo(icon, &info);
    BITMAP colour{};
    GetObjectW(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
  FreeLibrary(file);

  std::vector<char> version(GetFileVersionInfoSizeW(kProgram.c_str(), nullptr));
  ASSERT_FALSE(version.empty());
  ASSERT_TRUE(GetFileVersionInfoW(kProgram.c_str(), 0, static_cast<DWORD>(version.size()), version.data()));
  wchar_t* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(version.data(), L"\\StringFileInfo\\040904B0\\FileVersion",
                             reinterpret_cast<void**>(&value), &length));
  EXPECT_EQ(base::Utf8(value), VANTOR_VERSION);
}

}  // namespace
