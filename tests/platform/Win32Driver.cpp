// The user of a Win32 window: real mouse and keyboard input through SendInput. A person's
// input comes from outside the program while it waits in its message loop, so the user's
// part runs on a thread of its own and the window's thread stays in Window::Run (or in a
// modal dialog's loop), which takes the input exactly as it takes a person's. After each
// action the user waits until the window's thread has taken a marker key sent behind it:
// input is taken in the order sent, so by then the action has had its effect.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/ToolkitWin32.h"
#include "tests/platform/Driver.h"
#include "tests/support/Win32Input.h"

namespace driver {
namespace {

using namespace std::chrono_literals;

using namespace win32_input;

// A key no keyboard has; the controls ignore it.
constexpr WORD kMarkerKey = VK_F24;
constexpr int kMessageBoxTextId = 0xFFFF;

// The thread that makes and runs the windows: the test's own.
DWORD windowThread = 0;
HANDLE markerTaken = nullptr;
std::atomic<LPARAM> lastButtonDown{0};                     // where the window's thread took it, in screen pixels
std::map<UINT_PTR, std::function<void()>> laterFunctions;  // touched by the window's thread only

std::mutex usersMutex;
std::vector<std::thread> users;

void StartUser(std::function<void()> part) {
  const std::lock_guard lock(usersMutex);
  users.emplace_back(std::move(part));
}

// Every user thread of a test ends before the next test starts.
class JoinUsers final : public testing::EmptyTestEventListener {
  void OnTestEnd(const testing::TestInfo&) override {
    std::vector<std::thread> ending;
    {
      const std::lock_guard lock(usersMutex);
      ending.swap(users);
    }
    for (std::thread& user : ending) user.join();
  }
};

[[maybe_unused]] const bool kJoinsUsers = [] {
  testing::UnitTest::GetInstance()->listeners().Append(new JoinUsers);
  return true;
}();

LRESULT CALLBACK NoteMarker(int code, WPARAM removal, LPARAM message) {
  const auto* taken = reinterpret_cast<const MSG*>(message);
  if (code == HC_ACTION && removal == PM_REMOVE) {
    if (taken->message == WM_KEYUP && taken->wParam == kMarkerKey) SetEvent(markerTaken);
    if (taken->message == WM_LBUTTONDOWN || taken->message == WM_LBUTTONDBLCLK)
      lastButtonDown = MAKELPARAM(taken->pt.x, taken->pt.y);
  }
  return CallNextHookEx(nullptr, code, removal, message);
}

// Called on the window's thread before any user acts on it.
void WatchWindowThread() {
  if (windowThread) return;
  windowThread = GetCurrentThreadId();
  markerTaken = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  SetWindowsHookExW(WH_GETMESSAGE, NoteMarker, nullptr, windowThread);
}

// Sends the input with the marker behind it and waits until the window's thread took it.
void Send(std::vector<INPUT> inputs) {
  for (const INPUT& marker : Press(kMarkerKey)) inputs.push_back(marker);
  ResetEvent(markerTaken);
  SendOnly(std::move(inputs));
  if (WaitForSingleObject(markerTaken, static_cast<DWORD>(kPatience / 1ms)) != WAIT_OBJECT_0)
    ADD_FAILURE() << "the window's thread never took the input";
}

// The mouse has got there once the window's thread has taken input behind each look too.
void ClickAt(POINT point) {
  MoveMouseTo(point, [] { Send({}); });
  Send({MouseButton(MOUSEEVENTF_LEFTDOWN), MouseButton(MOUSEEVENTF_LEFTUP)});
  EXPECT_EQ(lastButtonDown.load(), MAKELPARAM(point.x, point.y)) << "the click landed elsewhere";
}

HWND FocusOfWindowThread() {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(windowThread, &info) ? info.hwndFocus : nullptr;
}

// The keyboard reaches a window once it is the active one; a person waits for that too.
HWND ActiveForm(platform::Window& window) {
  const HWND form = platform::HandleOf(window);
  if (!WaitFor([form] { return GetForegroundWindow() == form; })) ADD_FAILURE() << "the window never became active";
  return form;
}

// A modal dialog of the window's thread that is up and takes input: the message box or the
// input box, both of the dialog class; not the last one answered, which may be closing.
HWND lastDialog = nullptr;

HWND NewActiveDialog() {
  const HWND active = GetForegroundWindow();
  if (active == lastDialog) return nullptr;
  wchar_t windowClass[16] = {};
  GetClassNameW(active, windowClass, 16);
  const bool dialogOfTheWindowThread =
      GetWindowThreadProcessId(active, nullptr) == windowThread && std::wstring(windowClass) == L"#32770";
  return dialogOfTheWindowThread && IsWindowVisible(active) && IsWindowEnabled(active) ? active : nullptr;
}

void Respond(HWND dialog, Answer answer, const std::string& typed, Dialog& seen) {
  seen.title = WindowText(dialog);
  seen.text = WindowText(GetDlgItem(dialog, kMessageBoxTextId));
  seen.answered = true;
  if (const HWND field = FindWindowExW(dialog, nullptr, L"Edit", nullptr)) {
    ClickAt(CentreOnScreen(field));
    Send(Typing(typed));
  }
  // The answer closes the dialog, whose loop may be the last to take input: no marker
  // goes behind it.
  if (answer == Answer::Enter) return SendOnly(Press(VK_RETURN));
  const int button = answer == Answer::Yes  ? IDYES
                     : answer == Answer::No ? IDNO
                     : answer == Answer::Ok ? IDOK
                                            : IDCANCEL;
  win32_input::ClickAt(CentreOnScreen(GetDlgItem(dialog, button)));
}

void CALLBACK StartLater(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  const auto found = laterFunctions.find(timer);
  StartUser(std::move(found->second));
  laterFunctions.erase(found);
}

}  // namespace

void Later(int ms, std::function<void()> function) {
  WatchWindowThread();
  laterFunctions.emplace(SetTimer(nullptr, 0, static_cast<UINT>(ms), StartLater), std::move(function));
}

// What the close box sends.
void Close(platform::Window& window) { PostMessageW(platform::HandleOf(window), WM_SYSCOMMAND, SC_CLOSE, 0); }

// The user's thread starts once the window's thread takes messages: the window shows, and a
// dialog at start-up would be up already and in front.
int WhileShown(platform::Window& window, std::function<void()> userPart) {
  Later(0, [&window, userPart] {
    WaitFor([&window] { return GetForegroundWindow() == platform::HandleOf(window); });
    userPart();
    Close(window);
  });
  return window.Run();
}

bool IsShown(platform::Window& window) { return IsWindowVisible(platform::HandleOf(window)); }

Rect ClientArea(platform::Window& window) {
  const HWND form = platform::HandleOf(window);
  RECT client;
  GetClientRect(form, &client);
  POINT corner{0, 0};
  ClientToScreen(form, &corner);
  return {corner.x, corner.y, client.right, client.bottom};
}

std::string FocusedControl(platform::Window& window) {
  const HWND form = ActiveForm(window);
  for (HWND focus = FocusOfWindowThread(); focus; focus = GetParent(focus))
    if (GetParent(focus) == form) return platform::ControlName(window, focus);
  return {};
}

void PressTab(platform::Window& window) {
  ActiveForm(window);
  Send(Press(VK_TAB));
}

// A click into a disabled box leaves the caret where it was; a person then types nothing.
void Type(platform::Window& window, const std::string& box, const std::string& text) {
  ActiveForm(window);
  const HWND edit = platform::ControlOf(window, box);
  ClickAt(CentreOnScreen(edit));
  if (FocusOfWindowThread() == edit) Send(Typing(text));
}

void Click(platform::Window& window, const std::string& button) {
  ActiveForm(window);
  ClickAt(CentreOnScreen(platform::ControlOf(window, button)));
}

void ClickRow(platform::Window& window, const std::string& list, int row) {
  ActiveForm(window);
  const HWND rows = platform::ControlOf(window, list);
  RECT place{};
  SendMessageW(rows, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&place));
  ClickAt(CentreOnScreen(rows, place));
}

std::vector<std::string> Rows(platform::Window& window, const std::string& list) {
  return ListRows(platform::ControlOf(window, list));
}

std::shared_ptr<const Dialog> AnswerNextDialog(Answer answer, const std::string& typed) {
  WatchWindowThread();
  auto seen = std::make_shared<Dialog>();
  StartUser([seen, answer, typed] {
    HWND dialog = nullptr;
    if (!WaitFor([&dialog] { return (dialog = NewActiveDialog()) != nullptr; })) return;
    lastDialog = dialog;
    Respond(dialog, answer, typed, *seen);
  });
  return seen;
}

}  // namespace driver
