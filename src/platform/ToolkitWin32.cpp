// The toolkit on Win32: the window's controls are the system's own BUTTON, EDIT, LISTBOX and
// STATIC windows, placed at their twips scaled to the screen's DPI (15 twips a pixel at 96).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/NamedControls.h"
#include "platform/Toolkit.h"
#include "platform/ToolkitWin32.h"

namespace platform {

namespace {

constexpr wchar_t kFormClass[] = L"VantorForm";
// Shapes and lines: windows that paint their whole region in the text colour.
constexpr wchar_t kDrawingClass[] = L"VantorDrawing";

constexpr int kTwipsPerInch = 1440;

// The input box. Its layout in dialog units is the one Windows' BASIC dialects show: the
// prompt at the top left, OK (the default) and Cancel at the right, the edit box along the
// bottom.
namespace input_box {
constexpr WORD kEditId = 50;  // apart from IDOK, IDCANCEL and the IDs of the window's controls
constexpr short kWidth = 240, kHeight = 80;
constexpr short kMargin = 7;  // from the box's edges to the controls
constexpr short kPromptWidth = 170, kPromptHeight = 44;
constexpr short kButtonLeft = 185, kCancelTop = 25, kButtonWidth = 48, kButtonHeight = 14;
constexpr short kEditTop = 58, kEditWidth = 226, kEditHeight = 13;
}  // namespace input_box

std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

struct GdiObjectDeleter {
  void operator()(void* object) const { DeleteObject(static_cast<HGDIOBJ>(object)); }
};
template <typename Handle>
using GdiObject = std::unique_ptr<std::remove_pointer_t<Handle>, GdiObjectDeleter>;

// A control's reaction to the WM_COMMAND notification its parent receives from it.
class CommandTarget {
 public:
  virtual ~CommandTarget() = default;
  virtual void OnCommand(WORD notification) = 0;
};

void Raise(const Handler& handler) {
  if (handler) handler();
}

// What the adapters of the input controls share: the child window they switch on and off,
// and the handler that the one notification each reacts to raises.
template <typename Interface, WORD kNotification>
class Win32InputControl : public Interface, public CommandTarget {
 public:
  explicit Win32InputControl(HWND hwnd) : hwnd_(hwnd) {}

  void SetEnabled(bool enabled) override { EnableWindow(hwnd_, enabled); }
  bool IsEnabled() const override { return IsWindowEnabled(hwnd_); }

  void OnCommand(WORD notification) override {
    if (notification == kNotification) Raise(handler_);
  }

 protected:
  HWND hwnd_;
  Handler handler_;
};

// An EDIT or LISTBOX window ends a text at its first zero character, so the adapters below
// keep their texts whole themselves and show each zero as this sign.
constexpr wchar_t kZeroShownAs = L'\x2400';  // SYMBOL FOR NULL

std::wstring Shown(std::wstring text) {
  std::replace(text.begin(), text.end(), L'\0', kZeroShownAs);
  return text;
}

class Win32TextBox final : public Win32InputControl<TextBox, EN_CHANGE> {
 public:
  explicit Win32TextBox(HWND edit) : Win32InputControl(edit) {
    SendMessageW(hwnd_, EM_SETLIMITTEXT, 0, 0);  // as long as memory allows
  }

  std::string Text() const override { return text_; }

  void SetText(const std::string& text) override {
    if (text == text_) return;
    text_ = text;
    settingText_ = true;
    SetWindowTextW(hwnd_, Shown(base::Wide(text_)).c_str());
    settingText_ = false;
    Raise(handler_);
  }

  void OnChange(Handler handler) override { handler_ = std::move(handler); }

  // A change the user made: the characters before and after the part typed over stay as
  // they were, zeros among them.
  void OnCommand(WORD notification) override {
    if (notification != EN_CHANGE || settingText_) return;
    const std::wstring now = WindowText(hwnd_);
    const std::wstring was = base::Wide(text_);
    const std::wstring shown = Shown(was);
    const std::size_t common = std::min(now.size(), shown.size());
    const std::size_t before = std::mismatch(now.begin(), now.begin() + common, shown.begin()).first - now.begin();
    const std::size_t after =
        std::mismatch(now.rbegin(), now.rbegin() + (common - before), shown.rbegin()).first - now.rbegin();
    text_ = base::Utf8(was.substr(0, before) + now.substr(before, now.size() - before - after) +
                       was.substr(was.size() - after));
    Raise(handler_);
  }

 private:
  std::string text_;
  bool settingText_ = false;
};

// LBN_SELCHANGE comes from the user's selections only, never from LB_SETCURSEL.
class Win32ListBox final : public Win32InputControl<ListBox, LBN_SELCHANGE> {
 public:
  using Win32InputControl::Win32InputControl;

  void Clear() override {
    SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0);
    rows_.clear();
  }

  // Without LBS_SORT the list adds each row at its end.
  void Append(const std::string& row) override {
    rows_.push_back(row);
    SendMessageW(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Shown(base::Wide(row)).c_str()));
  }

  std::string SelectedText() const override {
    const LRESULT row = SendMessageW(hwnd_, LB_GETCURSEL, 0, 0);
    return row == LB_ERR ? std::string() : rows_.at(static_cast<std::size_t>(row));
  }

  void OnClick(Handler handler) override { handler_ = std::move(handler); }

 private:
  std::vector<std::string> rows_;
};

class Win32Button final : public Win32InputControl<Button, BN_CLICKED> {
 public:
  using Win32InputControl::Win32InputControl;

  void OnClick(Handler handler) override { handler_ = std::move(handler); }
};

class Win32Label final : public Label {
 public:
  explicit Win32Label(HWND label) : label_(label) {}

  std::string Caption() const override { return base::Utf8(WindowText(label_)); }
  void SetCaption(const std::string& caption) override { SetWindowTextW(label_, base::Wide(caption).c_str()); }

 private:
  HWND label_;
};

class Win32Timer final : public Timer {
 public:
  void OnTick(Handler handler) override { onTick_ = std::move(handler); }
  void Tick() const { Raise(onTick_); }

 private:
  Handler onTick_;
};

// The colours a control paints itself in, answered to its WM_CTLCOLOR* message.
struct ControlColours {
  Colour foreground;
  Colour background;
  GdiObject<HBRUSH> backgroundBrush;
};

LRESULT CALLBACK DrawingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCHITTEST:
      return HTTRANSPARENT;  // clicks go to the control below
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(hwnd, &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_WINDOWTEXT));
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(hwnd, &paint);
      EndPaint(hwnd, &paint);
      return 0;
    }
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

HICON ProgramIcon(HINSTANCE instance, int widthMetric, int heightMetric) {
  const auto icon =
      static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kProgramIconId), IMAGE_ICON,
                                    GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric), LR_SHARED));
  return icon ? icon : LoadIconW(nullptr, IDI_APPLICATION);
}

HINSTANCE ThisInstance() { return GetModuleHandleW(nullptr); }

// The system's window class that shows a kind of control, and the styles it takes.
struct ChildClass {
  const wchar_t* name;
  DWORD style;
  DWORD extendedStyle;
};

ChildClass ChildClassOf(const ControlDef& control) {
  switch (control.kind) {
    case ControlKind::Label: {
      const DWORD alignment = control.alignment == Alignment::Centre ? SS_CENTER : SS_LEFT;
      return {L"STATIC", SS_NOPREFIX | alignment, 0};
    }
    case ControlKind::Rectangle:
    case ControlKind::Line:
      return {kDrawingClass, 0, 0};
    case ControlKind::Button:
      return {L"BUTTON", BS_PUSHBUTTON | BS_MULTILINE, 0};  // a caption wider than the button wraps
    case ControlKind::ListBox:
      // LBS_HASSTRINGS tells other processes (screen readers, test drivers) that the rows are
      // texts, which LB_GETTEXT then copies across to them.
      return {L"LISTBOX", LBS_NOTIFY | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT | WS_VSCROLL, WS_EX_CLIENTEDGE};
    case ControlKind::TextBox:
      return {L"EDIT", ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case ControlKind::TextHolder:
    case ControlKind::Timer:
      break;  // no window of their own: AddControl makes none for them
  }
  return {};
}

// Only the outline belongs to the window, so what lies below shows inside it.
void KeepOutlineOnly(HWND hwnd, int width, int height) {
  HRGN outline = CreateRectRgn(0, 0, width, height);
  GdiObject<HRGN> inside(CreateRectRgn(1, 1, width - 1, height - 1));
  CombineRgn(outline, outline, inside.get(), RGN_DIFF);
  SetWindowRgn(hwnd, outline, FALSE);  // the window owns the region from here on
}

// Builds a dialog template in memory: DLGTEMPLATE and its DLGITEMTEMPLATEs with their
// strings, each item on a DWORD boundary, as DialogBoxIndirect reads them.
class DialogTemplate {
 public:
  // The predefined classes by their atoms.
  static constexpr WORD kButton = 0x0080, kEdit = 0x0081, kStatic = 0x0082;

  DialogTemplate(DWORD style, short width, short height, const std::wstring& title) {
    AddDword(style | DS_SETFONT);
    AddDword(0);
    itemCountAt_ = words_.size();
    words_.push_back(0);
    for (short value : {short{0}, short{0}, width, height}) words_.push_back(static_cast<WORD>(value));
    words_.push_back(0);  // no menu
    words_.push_back(0);  // the predefined dialog class
    AddString(title);
    words_.push_back(8);  // points
    AddString(L"MS Shell Dlg");
  }

  void AddItem(WORD windowClass, DWORD style, short x, short y, short width, short height, WORD id,
               const std::wstring& text) {
    if (words_.size() % 2) words_.push_back(0);
    AddDword(style | WS_CHILD | WS_VISIBLE);
    AddDword(0);
    for (short value : {x, y, width, height}) words_.push_back(static_cast<WORD>(value));
    words_.push_back(id);
    words_.push_back(0xFFFF);
    words_.push_back(windowClass);
    AddString(text);
    words_.push_back(0);  // no creation data
    ++words_[itemCountAt_];
  }

  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void AddDword(DWORD value) {
    words_.push_back(LOWORD(value));
    words_.push_back(HIWORD(value));
  }
  void AddString(const std::wstring& text) {
    words_.insert(words_.end(), text.begin(), text.end());
    words_.push_back(0);
  }

  std::vector<WORD> words_;  // the allocator aligns it for the DWORDs at its start
  std::size_t itemCountAt_ = 0;
};

INT_PTR CALLBACK InputBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      const HWND edit = GetDlgItem(dialog, input_box::kEditId);
      SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
      SetFocus(edit);
      return FALSE;  // the focus is set
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK: {
          auto* answer = reinterpret_cast<std::wstring*>(GetWindowLongPtrW(dialog, DWLP_USER));
          *answer = WindowText(GetDlgItem(dialog, input_box::kEditId));
          EndDialog(dialog, IDOK);
          return TRUE;
        }
        case IDCANCEL:  // also Escape and the close box
          EndDialog(dialog, IDCANCEL);
          return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

class Win32Window final : public WindowOfNamedControls {
 public:
  // Failure() says why, when the system refused the window or one of its controls.
  Win32Window(const WindowDef& window, std::span<const ControlDef> controls) : WindowOfNamedControls(window) {
    if (!RegisterClasses()) {
      failure_ = "Windows refused to register the window classes";
      return;
    }
    HDC screen = GetDC(nullptr);
    dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    formBrush_.reset(CreateSolidBrush(window.background));
    windowFont_.reset(CreateControlFont(kWindowFont));

    clientWidth_ = Pixels(window.clientWidth);
    const SIZE outer = OuterSize(Pixels(window.clientHeight));
    form_ = CreateWindowExW(0, kFormClass, base::Wide(window.title).c_str(), kFormStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            outer.cx, outer.cy, nullptr, nullptr, ThisInstance(), this);
    if (!form_) {
      failure_ = std::string("Windows refused to create the window ") + window.title;
      return;
    }

    // A new child window goes behind its siblings, so the controls are made from the last
    // row up: each row of the table then lies in front of the rows before it.
    for (std::size_t row = controls.size(); row-- > 0;) {
      AddControl(controls[row], kFirstControlId + static_cast<int>(row));
      if (!failure_.empty()) return;
    }
    for (const char* name : window.focusOrder) {
      const HWND control = Control(name);
      SetWindowLongPtrW(control, GWL_STYLE, GetWindowLongPtrW(control, GWL_STYLE) | WS_TABSTOP);
      focusOrder_.push_back(control);
    }
  }

  ~Win32Window() override { DestroyWindow(form_); }

  const std::string& Failure() const { return failure_; }

  // Windows ignores Escape in a box without Cancel, but Wine's box ends on it with IDCANCEL,
  // which is no answer: only No may count as No.
  bool AskYesNo(const std::string& text, const std::string& title) override {
    return MessageBoxW(form_, base::Wide(text).c_str(), base::Wide(title).c_str(),
                       MB_YESNO | MB_ICONERROR | MB_DEFBUTTON1) != IDNO;
  }

  std::string InputBox(const std::string& prompt, const std::string& title) override {
    using namespace input_box;
    DialogTemplate dialog(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER, kWidth, kHeight,
                          base::Wide(title));
    dialog.AddItem(DialogTemplate::kStatic, SS_LEFT | SS_NOPREFIX, kMargin, kMargin, kPromptWidth, kPromptHeight,
                   0xFFFF, base::Wide(prompt));
    dialog.AddItem(DialogTemplate::kButton, BS_DEFPUSHBUTTON | WS_TABSTOP, kButtonLeft, kMargin, kButtonWidth,
                   kButtonHeight, IDOK, L"OK");
    dialog.AddItem(DialogTemplate::kButton, BS_PUSHBUTTON | WS_TABSTOP, kButtonLeft, kCancelTop, kButtonWidth,
                   kButtonHeight, IDCANCEL, L"Cancel");
    dialog.AddItem(DialogTemplate::kEdit, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, kMargin, kEditTop, kEditWidth,
                   kEditHeight, kEditId, L"");
    std::wstring answer;
    const INT_PTR result =
        DialogBoxIndirectParamW(ThisInstance(), dialog.Get(), form_, InputBoxProc, reinterpret_cast<LPARAM>(&answer));
    return result == IDOK ? base::Utf8(answer) : std::string();
  }

  HWND Handle() const { return form_; }

  // The control's window; null for a name the window lacks.
  HWND Control(const std::string& name) const {
    const auto found = handles_.find(name);
    return found == handles_.end() ? nullptr : found->second;
  }

  std::string Name(HWND control) const {
    for (const auto& [name, hwnd] : handles_) {
      if (hwnd == control) return name;
    }
    return {};
  }

 private:
  static bool RegisterClasses() {
    static const bool registered = [] {
      WNDCLASSEXW form{};
      form.cbSize = sizeof form;
      form.lpfnWndProc = FormProc;
      form.hInstance = ThisInstance();
      form.hIcon = ProgramIcon(form.hInstance, SM_CXICON, SM_CYICON);
      form.hIconSm = ProgramIcon(form.hInstance, SM_CXSMICON, SM_CYSMICON);
      form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
      form.lpszClassName = kFormClass;
      WNDCLASSEXW drawing{};
      drawing.cbSize = sizeof drawing;
      drawing.lpfnWndProc = DrawingProc;
      drawing.hInstance = form.hInstance;
      drawing.lpszClassName = kDrawingClass;
      return RegisterClassExW(&form) && RegisterClassExW(&drawing);
    }();
    return registered;
  }

  // A face the system lacks gives way to the nearest one it has.
  HFONT CreateControlFont(const Font& font) const {
    LOGFONTW face{};
    face.lfHeight = -static_cast<LONG>(font.points * dpi_ / 72 + 0.5);
    face.lfWeight = font.weight;
    face.lfCharSet = ANSI_CHARSET;
    wcsncpy(face.lfFaceName, base::Wide(font.face).c_str(), LF_FACESIZE - 1);
    return CreateFontIndirectW(&face);
  }

  static LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self ? self->HandleMessage(hwnd, message, wParam, lParam) : DefWindowProcW(hwnd, message, wParam, lParam);
  }

  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_COMMAND: {
        const auto target = commandTargets_.find(LOWORD(wParam));
        if (lParam != 0 && target != commandTargets_.end()) target->second->OnCommand(HIWORD(wParam));
        return 0;
      }
      case WM_TIMER: {
        const auto timer = timerIds_.find(static_cast<int>(wParam));
        if (timer != timerIds_.end()) timer->second->Tick();
        return 0;
      }
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORLISTBOX:
        return PaintInColours(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam),
                              DefWindowProcW(hwnd, message, wParam, lParam));
      case WM_ERASEBKGND: {
        RECT client;
        GetClientRect(hwnd, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, formBrush_.get());
        return 1;
      }
      case WM_ACTIVATE:
        if (KeepFocusOnActivation(hwnd, LOWORD(wParam))) return 0;
        break;
      // Closing the window ends the program. It hides and stays until it is destroyed with
      // this object, so the program may still read its controls after Run.
      case WM_CLOSE:
        ShowWindow(hwnd, SW_HIDE);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }

  // The brush a control paints its background with, its own colours set into its DC; the
  // system's brush for a control with none of its own.
  LRESULT PaintInColours(HWND control, HDC dc, LRESULT systemBrush) const {
    const auto colours = colours_.find(control);
    if (colours == colours_.end()) return systemBrush;
    if (colours->second.foreground != kDefaultColour) SetTextColor(dc, colours->second.foreground);
    if (colours->second.background == kDefaultColour) return systemBrush;
    SetBkColor(dc, colours->second.background);
    return reinterpret_cast<LRESULT>(colours->second.backgroundBrush.get());
  }

  // The focus leaves with the window's activation and comes back to the same control, as in
  // a dialog box; DefWindowProc would give it to the window itself. False where no control
  // can take it.
  bool KeepFocusOnActivation(HWND hwnd, WORD activation) {
    if (activation == WA_INACTIVE) {
      const HWND focus = GetFocus();
      if (focus && IsChild(hwnd, focus)) focus_ = focus;
      return true;
    }
    if (!focus_ || !IsWindowEnabled(focus_)) focus_ = NextFocus(nullptr, false);
    if (!focus_) return false;
    SetFocus(focus_);
    return true;
  }

  int Pixels(int twips) const override { return MulDiv(twips, dpi_, kTwipsPerInch); }

  void SetClientHeight(int pixels) override {
    const SIZE outer = OuterSize(pixels);
    SetWindowPos(form_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  // The window's size for a client area of the window's width and this height.
  SIZE OuterSize(int clientHeight) const {
    RECT outer{0, 0, clientWidth_, clientHeight};
    AdjustWindowRectEx(&outer, kFormStyle, FALSE, 0);
    return {outer.right - outer.left, outer.bottom - outer.top};
  }

  void Centre() override {
    RECT outer;
    GetWindowRect(form_, &outer);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(form_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    SetWindowPos(form_, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  void Show() override {
    focus_ = NextFocus(nullptr, false);  // WM_ACTIVATE gives it the focus
    ShowWindow(form_, SW_SHOW);
    UpdateWindow(form_);
  }

  int RunEvents() override {
    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
      if (got == -1) return 1;
      if (MoveFocusOnTab(message) || IsDialogMessageW(form_, &message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
  }

  // Each kind of control: its child window, and what the handlers reach it by.
  void AddControl(const ControlDef& control, int id) {
    switch (control.kind) {
      case ControlKind::Label:
        labels_.emplace(control.name, std::make_unique<Win32Label>(AddChild(control, id)));
        return;
      case ControlKind::Rectangle: {
        const PixelBox box = BoxOf(control);
        KeepOutlineOnly(AddChild(control, id), box.width, box.height);
        return;
      }
      case ControlKind::Line:
        AddChild(control, id);
        return;
      case ControlKind::Button:
        Register(id, buttons_, control.name, std::make_unique<Win32Button>(AddChild(control, id)));
        return;
      case ControlKind::ListBox:
        Register(id, listBoxes_, control.name, std::make_unique<Win32ListBox>(AddChild(control, id)));
        return;
      case ControlKind::TextBox:
        Register(id, textBoxes_, control.name, std::make_unique<Win32TextBox>(AddChild(control, id)));
        return;
      case ControlKind::TextHolder:
        AddTextHolder(control);
        return;
      case ControlKind::Timer:
        AddTimer(control, id);
        return;
    }
  }

  // The control's child window in its place, with its font and colours.
  HWND AddChild(const ControlDef& control, int id) {
    const ChildClass child = ChildClassOf(control);
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | child.style;
    if (!control.enabled) style |= WS_DISABLED;
    const PixelBox box = BoxOf(control);
    const HWND hwnd = CreateWindowExW(child.extendedStyle, child.name, base::Wide(control.text).c_str(), style,
                                      box.left, box.top, box.width, box.height, form_,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ThisInstance(), nullptr);
    if (!hwnd) failure_ = std::string("Windows refused to create the control ") + control.name;
    handles_.emplace(control.name, hwnd);

    HFONT font = windowFont_.get();
    if (control.font) {
      fonts_.emplace_back(CreateControlFont(*control.font));
      font = fonts_.back().get();
    }
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (control.background != kDefaultColour || control.foreground != kDefaultColour) {
      colours_.emplace(hwnd, ControlColours{control.foreground, control.background,
                                            GdiObject<HBRUSH>(control.background != kDefaultColour
                                                                  ? CreateSolidBrush(control.background)
                                                                  : nullptr)});
    }
    return hwnd;
  }

  void AddTimer(const ControlDef& control, int id) {
    auto timer = std::make_unique<Win32Timer>();
    timerIds_.emplace(id, timer.get());
    timers_.emplace(control.name, std::move(timer));
    // Windows raises a shorter period to USER_TIMER_MINIMUM (10 ms).
    SetTimer(form_, static_cast<UINT_PTR>(id), static_cast<UINT>(control.intervalMs), nullptr);
  }

  template <typename Interface, typename Control>
  void Register(int id, ByName<Interface>& controls, const char* name, std::unique_ptr<Control> control) {
    commandTargets_.emplace(id, control.get());
    controls.emplace(name, std::move(control));
  }

  // The control after (or before) `from` in the focus order that can take the focus; the
  // first one that can when `from` is none of them.
  HWND NextFocus(HWND from, bool backwards) const {
    const auto count = static_cast<std::ptrdiff_t>(focusOrder_.size());
    const auto current = std::find(focusOrder_.begin(), focusOrder_.end(), from);
    std::ptrdiff_t index = current == focusOrder_.end() ? (backwards ? 0 : -1) : current - focusOrder_.begin();
    for (std::ptrdiff_t step = 0; step < count; ++step) {
      index = (index + (backwards ? count - 1 : 1)) % count;
      const HWND control = focusOrder_[static_cast<std::size_t>(index)];
      if (IsWindowEnabled(control) && IsWindowVisible(control)) return control;
    }
    return nullptr;
  }

  // Tab and Shift+Tab follow the focus order, which the z-order of the controls (that
  // IsDialogMessage would follow) can't give: later rows of the table lie in front.
  bool MoveFocusOnTab(const MSG& message) {
    if (message.message != WM_KEYDOWN || message.wParam != VK_TAB) return false;
    if (message.hwnd != form_ && !IsChild(form_, message.hwnd)) return false;
    const HWND next = NextFocus(GetFocus(), GetKeyState(VK_SHIFT) < 0);
    if (!next) return true;
    SetFocus(next);
    if (SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(next, EM_SETSEL, 0, -1);
    return true;
  }

  HWND form_ = nullptr;
  int dpi_ = USER_DEFAULT_SCREEN_DPI;
  int clientWidth_ = 0;
  HWND focus_ = nullptr;
  GdiObject<HBRUSH> formBrush_;
  GdiObject<HFONT> windowFont_;
  std::vector<GdiObject<HFONT>> fonts_;
  std::map<HWND, ControlColours> colours_;
  std::map<std::string, HWND> handles_;
  std::vector<HWND> focusOrder_;
  std::map<int, CommandTarget*> commandTargets_;
  std::map<int, Win32Timer*> timerIds_;
  std::string failure_;
};

}  // namespace

std::unique_ptr<Window> CreateWindow(const WindowDef& window, std::span<const ControlDef> controls, std::string* why) {
  auto created = std::make_unique<Win32Window>(window, controls);
  if (created->Failure().empty()) return created;
  *why = created->Failure();
  return nullptr;
}

// Every Window of a Win32 build is a Win32Window.
HWND HandleOf(Window& window) { return static_cast<Win32Window&>(window).Handle(); }
HWND ControlOf(Window& window, const std::string& name) { return static_cast<Win32Window&>(window).Control(name); }
std::string ControlName(Window& window, HWND control) { return static_cast<Win32Window&>(window).Name(control); }

}  // namespace platform
