// vantor.exe as a person uses it under Wine: started in a process of its own on messages
// seeded into Wine's registry, driven through its window with the real mouse and keyboard
// (SendInput), and the registry read back while it runs and, once it has ended, with Wine's
// own reg.exe. With VANTOR_SCREENSHOT=FILE.png set, the window is also saved as a picture.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Form1Layout.h"
#include "ToolkitWin32.h"
#include "Win32Input.h"

namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::string>;

using platform::Utf8;
using platform::Wide;
using win32_input::Key;
using win32_input::kPatience;
using win32_input::MouseButton;
using win32_input::SendOnly;
using win32_input::WaitFor;

constexpr int kDialogTextId = 0xFFFF;
constexpr COLORREF kWindowGrey = 0xE0E0E0, kLabelGrey = 0xC0C0C0;

const std::wstring kPagerKey = L"SOFTWARE\\yahoo\\pager";
const std::wstring kProfilesKey = L"SOFTWARE\\Yahoo\\Pager\\profiles";
const std::wstring kUser = L"scenario_user";
const std::wstring kMessagesKey = kProfilesKey + L"\\" + kUser + L"\\Custom Msgs";

// Wine shows the build machine's root as drive Z:.
std::wstring WindowsPath(const std::string& unixPath) {
  std::wstring path = L"Z:" + Wide(unixPath);
  for (wchar_t& character : path) {
    if (character == L'/') character = L'\\';
  }
  return path;
}

// --- Wine's registry, through advapi32 --------------------------------------------------------

void SetString(const std::wstring& key, const std::wstring& name, const std::wstring& value) {
  HKEY handle;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
}

void DeleteValue(const std::wstring& key, const std::wstring& name) {
  RegDeleteKeyValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str());
}

struct Stored {
  DWORD type;
  std::string text;
  bool operator==(const Stored&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Stored& stored) {
  return out << "type " << stored.type << " \"" << stored.text << '"';
}

std::optional<Stored> Query(const std::wstring& key, const std::wstring& name) {
  wchar_t data[1024] = {};
  DWORD size = sizeof data - sizeof(wchar_t);
  DWORD type = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return Stored{type, Utf8(data)};
}

void SeedMessages(const std::vector<std::wstring>& messages) {
  SetString(kProfilesKey, L"VantorAlert", L"Disabled");
  SetString(kPagerKey, L"yahoo! user ID", kUser);
  RegDeleteTreeW(HKEY_CURRENT_USER, kMessagesKey.c_str());
  for (std::size_t slot = 0; slot < messages.size(); ++slot) {
    SetString(kMessagesKey, std::to_wstring(slot + 1), messages[slot]);
  }
}

// `reg query KEY` as Wine's reg.exe prints it: NAME, TYPE and DATA on each value's line.
std::map<std::string, std::pair<std::string, std::string>> RegQuery(const std::wstring& key) {
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(system) + L"\\reg.exe\" query \"HKCU\\" + key + L"\"";
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  HANDLE readEnd, writeEnd;
  CreatePipe(&readEnd, &writeEnd, &inherited, 0);
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION process{};
  const bool started =
      CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  CloseHandle(writeEnd);
  std::string output;
  char buffer[4096];
  DWORD read;
  while (started && ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0) output.append(buffer, read);
  CloseHandle(readEnd);
  EXPECT_TRUE(started) << "reg.exe did not start";
  if (!started) return {};
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);

  std::map<std::string, std::pair<std::string, std::string>> values;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // "    NAME    TYPE    DATA", the fields four spaces apart.
    const std::size_t name = line.find_first_not_of(' ');
    if (name != 4) continue;
    const std::size_t type = line.find("    ", name);
    if (type == std::string::npos) continue;
    const std::size_t data = line.find("    ", type + 4);
    values[line.substr(name, type - name)] = {line.substr(type + 4, data == std::string::npos ? data : data - type - 4),
                                              data == std::string::npos ? "" : line.substr(data + 4)};
  }
  return values;
}

// --- vantor.exe and the person at its window ----------------------------------------------------

int RowOf(const std::string& name) {
  const auto controls = window::Form1Controls();
  for (std::size_t row = 0; row < controls.size(); ++row) {
    if (name == controls[row].name) return static_cast<int>(row);
  }
  ADD_FAILURE() << "Form1 has no control " << name;
  return -1;
}

std::string TextOf(HWND hwnd) {
  DWORD_PTR length = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 5000,
                      &copied);
  text.resize(copied);
  return Utf8(text);
}

POINT CentreOnScreen(HWND hwnd) {
  RECT client;
  GetClientRect(hwnd, &client);
  POINT centre{client.right / 2, client.bottom / 2};
  ClientToScreen(hwnd, &centre);
  return centre;
}


// Wine moves the X pointer behind the cursor, and the X server's word of that move comes
// back a little later and moves the cursor once more; so the mouse is there once the cursor
// has stayed at the point a while.
void MoveMouseTo(POINT point) {
  int settled = 0;
  const bool there = WaitFor([&] {
    POINT cursor;
    GetCursorPos(&cursor);
    settled = cursor.x == point.x && cursor.y == point.y ? settled + 1 : 0;
    if (!settled) SetCursorPos(point.x, point.y);
    return settled == 5;
  });
  EXPECT_TRUE(there) << "the mouse never stayed at " << point.x << "," << point.y;
}

void ClickAt(POINT point) {
  MoveMouseTo(point);
  SendOnly({MouseButton(MOUSEEVENTF_LEFTDOWN), MouseButton(MOUSEEVENTF_LEFTUP)});
}

void Type(const std::string& text) {
  for (const wchar_t character : Wide(text)) SendOnly({Key(0, character, false), Key(0, character, true)});
}

struct Wanted {
  DWORD process;
  const wchar_t* windowClass;
  std::string title;
  HWND found = nullptr;
};

BOOL CALLBACK FindShown(HWND hwnd, LPARAM wantedWindow) {
  auto& wanted = *reinterpret_cast<Wanted*>(wantedWindow);
  DWORD process = 0;
  GetWindowThreadProcessId(hwnd, &process);
  wchar_t windowClass[64] = {};
  GetClassNameW(hwnd, windowClass, 64);
  if (process != wanted.process || !IsWindowVisible(hwnd) || std::wstring(windowClass) != wanted.windowClass ||
      TextOf(hwnd) != wanted.title) {
    return TRUE;
  }
  wanted.found = hwnd;
  return FALSE;
}

// A top-level window of the process on show: its form or one of its dialogs.
HWND ShownWindow(DWORD process, const wchar_t* windowClass, const std::string& title) {
  Wanted wanted{process, windowClass, title};
  EnumWindows(FindShown, reinterpret_cast<LPARAM>(&wanted));
  return wanted.found;
}

class Vantor {
 public:
  Vantor() {
    std::wstring command = L"\"" + WindowsPath(VANTOR_EXE) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_)) {
      ADD_FAILURE() << "vantor.exe did not start";
    }
  }

  ~Vantor() {
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 1);
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }

  // The dialog of the program's on show with this title, once it takes input.
  HWND Dialog(const std::string& title) {
    HWND dialog = nullptr;
    WaitFor([&] {
      dialog = ShownWindow(process_.dwProcessId, L"#32770", title);
      return dialog && GetForegroundWindow() == dialog;
    });
    return dialog;
  }

  // The form once it shows and takes input.
  HWND Form() {
    if (!form_) {
      WaitFor([&] {
        form_ = ShownWindow(process_.dwProcessId, L"VantorForm", window::kForm1.title);
        return form_ && GetForegroundWindow() == form_;
      });
    }
    return form_;
  }

  bool FormShown() const {
    return ShownWindow(process_.dwProcessId, L"VantorForm", window::kForm1.title) != nullptr;
  }

  HWND Control(const std::string& name) { return GetDlgItem(Form(), platform::kFirstControlId + RowOf(name)); }
  std::string Text(const std::string& name) { return TextOf(Control(name)); }
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

  Texts Rows() {
    const HWND list = Control("List1");
    DWORD_PTR count = 0;
    SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count);
    Texts rows;
    for (WPARAM row = 0; row < count; ++row) {
      wchar_t text[1024] = {};
      DWORD_PTR length = 0;
      SendMessageTimeoutW(list, LB_GETTEXT, row, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &length);
      rows.push_back(length < std::size(text) ? Utf8(std::wstring(text, length)) : "(unreadable)");
    }
    return rows;
  }

  int OuterHeight() {
    RECT outer;
    GetWindowRect(Form(), &outer);
    return outer.bottom - outer.top;
  }

  // Alt+F4, and the program's exit code once it has ended.
  int Close() {
    SendOnly({Key(VK_MENU, 0, false), Key(VK_F4, 0, false), Key(VK_F4, 0, true), Key(VK_MENU, 0, true)});
    if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(kPatience / 1ms)) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return static_cast<int>(code);
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

// The control in front at a point in twips of the client area.
std::string InFront(HWND form, int leftTwips, int topTwips) {
  const HWND child = ChildWindowFromPointEx(form, POINT{Pixels(leftTwips), Pixels(topTwips)}, CWP_ALL);
  const auto controls = window::Form1Controls();
  const int row = GetDlgCtrlID(child) - platform::kFirstControlId;
  return row >= 0 && row < static_cast<int>(controls.size()) ? controls[static_cast<std::size_t>(row)].name : "";
}

// The window as the screen shows it, frame included, saved by X's own tools from outside the
// program (window-picture). Wine starts a Unix program without a process handle to wait on:
// the picture is taken once its file is there.
bool SaveWindowPicture(HWND window, const std::string& file) {
  RECT outer;
  GetWindowRect(window, &outer);
  const std::wstring picture = WindowsPath(file);
  DeleteFileW(picture.c_str());
  std::wstring command = L"\"" + WindowsPath(WINDOW_PICTURE) + L"\"";
  for (const LONG number : {outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top}) {
    command += L" " + std::to_wstring(number);
  }
  command += L" \"" + Wide(file) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  return CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process) &&
         WaitFor([&] { return GetFileAttributesW(picture.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

#define EXPECT_SOON(condition) EXPECT_TRUE(WaitFor([&] { return (condition); })) << #condition

// --- The scenarios -----------------------------------------------------------------------------

TEST(VantorScenario, ListDeleteModifySubmitAndCreateStoreEachChangeInTheRegistry) {
  SeedMessages({L"Out to lunch", L"", L"In a meeting", L"Out to lunch", L"Working from home"});
  Vantor vantor;
  ASSERT_NE(vantor.Form(), nullptr) << "the window never showed";
  EXPECT_EQ(vantor.Text("Label2"), "scenario_user");
  // The outer heights in pixels: Wine's frame is the one the layout was drawn for.
  EXPECT_EQ(vantor.OuterHeight(), Pixels(2800));
  EXPECT_FALSE(vantor.Enabled("Command5"));

  vantor.Click("Command2");
  EXPECT_SOON(vantor.Rows() == (Texts{"Out to lunch", "In a meeting", "Out to lunch", "Working from home"}));
  EXPECT_TRUE(vantor.Enabled("Command5")) << "slot 2 is free";
  EXPECT_FALSE(vantor.Enabled("Command3")) << "no row is selected";

  // Delete empties every slot that holds the selected message: an empty REG_SZ.
  vantor.ClickRow(2);
  EXPECT_SOON(vantor.Enabled("Command3") && vantor.Enabled("Command4"));
  vantor.Click("Command3");
  EXPECT_SOON(vantor.Rows() == (Texts{"In a meeting", "Working from home"}));
  EXPECT_EQ(Query(kMessagesKey, L"1"), (Stored{REG_SZ, ""}));
  EXPECT_EQ(Query(kMessagesKey, L"4"), (Stored{REG_SZ, ""}));
  EXPECT_EQ(Query(kMessagesKey, L"3"), (Stored{REG_SZ, "In a meeting"}));

  // Modify opens the edit area with only the selected message's box usable.
  vantor.ClickRow(0);
  EXPECT_SOON(vantor.Enabled("Command3") && vantor.Enabled("Command4"));
  vantor.Click("Command4");
  EXPECT_SOON(vantor.OuterHeight() == Pixels(4575));
  EXPECT_SOON(!vantor.Enabled("List1"));
  for (const char* box : {"Text7", "Text8", "Text10", "Text11"}) EXPECT_SOON(!vantor.Enabled(box)) << box;
  ASSERT_TRUE(vantor.Enabled("Text9"));

  // Each key stores the whole box at once.
  vantor.Click("Text9");
  SendOnly({Key(VK_END, 0, false), Key(VK_END, 0, true)});
  std::string typed = "In a meeting";
  for (const char key : std::string(" until noon")) {
    Type(std::string(1, key));
    typed += key;
    EXPECT_SOON(vantor.Text("Text9") == typed);
    EXPECT_EQ(Query(kMessagesKey, L"3"), (Stored{REG_SZ, typed}));
  }

  // Shape1 outlines Label2, Line1 crosses Label3's foot, later boxes lie over earlier ones.
  const HWND form = vantor.Form();
  EXPECT_EQ(SeenAt(form, 0, 0, 2, 2), kWindowGrey);
  EXPECT_EQ(SeenAt(form, 1800, 120), GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_EQ(SeenAt(form, 1800 + 2775, 120, -1, 0), GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_EQ(SeenAt(form, 1800, 120, 1, 1), kLabelGrey);
  EXPECT_EQ(SeenAt(form, 1800 + 2775, 120, -2, 1), kLabelGrey);
  EXPECT_EQ(SeenAt(form, 120, 840, 2, 0), GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_EQ(SeenAt(form, 120, 840, 2, -1), kWindowGrey);
  for (const char* lower : {"Text8", "Text9", "Text10", "Text11"}) {
    const platform::ControlDef& box = window::Form1Controls()[static_cast<std::size_t>(RowOf(lower))];
    EXPECT_EQ(InFront(form, 2000, box.top + 15), lower) << "where it overlaps the box above";
  }
  if (const char* picture = std::getenv("VANTOR_SCREENSHOT")) {
    EXPECT_TRUE(SaveWindowPicture(form, picture)) << picture;
  }

  // Submit lists every slot the registry holds, empty ones too.
  vantor.Click("Command6");
  EXPECT_SOON(vantor.OuterHeight() == Pixels(2800));
  EXPECT_SOON(vantor.Rows() == (Texts{"", "", "In a meeting until noon", "", "Working from home"}));
  EXPECT_TRUE(vantor.Enabled("List1"));

  // Create fills the first slot whose box is empty.
  vantor.Click("Command5");
  const HWND input = vantor.Dialog("New Status...");
  ASSERT_NE(input, nullptr) << "no input box";
  EXPECT_EQ(TextOf(GetDlgItem(input, kDialogTextId)), "Enter New Status Message.");
  ClickAt(CentreOnScreen(FindWindowExW(input, nullptr, L"Edit", nullptr)));
  Type("Back at five");
  ClickAt(CentreOnScreen(GetDlgItem(input, IDOK)));
  EXPECT_SOON(vantor.Rows() == (Texts{"Back at five", "In a meeting until noon", "Working from home"}));

  EXPECT_EQ(vantor.Close(), 0);
  using Value = std::pair<std::string, std::string>;
  const std::map<std::string, Value> expected = {{"1", {"REG_SZ", "Back at five"}},
                                                 {"2", {"REG_SZ", ""}},
                                                 {"3", {"REG_SZ", "In a meeting until noon"}},
                                                 {"4", {"REG_SZ", ""}},
                                                 {"5", {"REG_SZ", "Working from home"}}};
  EXPECT_EQ(RegQuery(kMessagesKey), expected);
}

TEST(VantorScenario, TheWarningComesBeforeTheWindowUntilItIsAnsweredNo) {
  SeedMessages({L"Hello"});
  DeleteValue(kProfilesKey, L"VantorAlert");
  const std::string warningTitle = "Vantor Registry Alert !";

  for (const bool answerYes : {true, false}) {
    Vantor vantor;
    const HWND warning = vantor.Dialog(warningTitle);
    ASSERT_NE(warning, nullptr) << "no warning";
    EXPECT_NE(TextOf(GetDlgItem(warning, kDialogTextId)).find("Do you want to show this warning"), std::string::npos);
    EXPECT_FALSE(vantor.FormShown());
    ClickAt(CentreOnScreen(GetDlgItem(warning, answerYes ? IDYES : IDNO)));
    ASSERT_NE(vantor.Form(), nullptr) << "the window never showed";
    EXPECT_EQ(vantor.Close(), 0);
    EXPECT_EQ(Query(kProfilesKey, L"VantorAlert"),
              answerYes ? std::nullopt : std::optional<Stored>(Stored{REG_SZ, "Disabled"}));
  }

  Vantor quiet;
  ASSERT_NE(quiet.Form(), nullptr) << "the window never showed";
  EXPECT_EQ(quiet.Close(), 0);
  EXPECT_EQ(RegQuery(kProfilesKey)["VantorAlert"], (std::pair<std::string, std::string>{"REG_SZ", "Disabled"}));
}

// The icon the build packed from the SVG, at the sizes Windows asks for, and the version.
TEST(VantorScenario, TheProgramFileCarriesItsIconAndVersion) {
  const HMODULE file = LoadLibraryExW(WindowsPath(VANTOR_EXE).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(file, nullptr);
  for (const int size : {16, 32, 48}) {
    const auto icon = static_cast<HICON>(
        LoadImageW(file, MAKEINTRESOURCEW(platform::kProgramIconId), IMAGE_ICON, size, size, 0));
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

  const std::wstring path = WindowsPath(VANTOR_EXE);
  std::vector<char> version(GetFileVersionInfoSizeW(path.c_str(), nullptr));
  ASSERT_FALSE(version.empty());
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(version.size()), version.data()));
  wchar_t* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(version.data(), L"\\StringFileInfo\\040904B0\\FileVersion",
                             reinterpret_cast<void**>(&value), &length));
  EXPECT_EQ(Utf8(value), VANTOR_VERSION);
}

}  // namespace
