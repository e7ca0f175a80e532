// The floor of the Windows start-up benchmark: Vantor's window as it first shows (the compact
// height, the last user's name in place, no message listed yet), written straight in Win32.
// The same child windows of the same classes and styles at the same places, made in the same
// order, with the same texts, fonts, colours, timer and resources (icon, manifest); no
// registry, no control table, no toolkit layer.
// The wide forms of the system's names (IDC_ARROW), as the program takes them.
#define UNICODE
#include <windows.h>

namespace {

constexpr COLORREF kWindowGrey = 0x00E0E0E0;
constexpr COLORREF kLabelGrey = 0x00C0C0C0;
constexpr COLORREF kDarkRed = 0x000000C0;
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kChildStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
constexpr DWORD kButtonStyle = BS_PUSHBUTTON | BS_MULTILINE | WS_TABSTOP;
constexpr DWORD kEditStyle = ES_AUTOHSCROLL | WS_TABSTOP;

int g_dpi = USER_DEFAULT_SCREEN_DPI;
HWND g_form, g_label2, g_label3, g_label4, g_refresh;
HBRUSH g_windowGrey, g_labelGrey;

int Pixels(int twips) { return MulDiv(twips, g_dpi, 1440); }

HFONT Font(double points) {
  LOGFONTW face{};
  face.lfHeight = -static_cast<LONG>(points * g_dpi / 72 + 0.5);
  face.lfWeight = FW_NORMAL;
  face.lfCharSet = ANSI_CHARSET;
  lstrcpyW(face.lfFaceName, L"MS Sans Serif");
  return CreateFontIndirectW(&face);
}

HWND Child(const wchar_t* windowClass, const wchar_t* text, DWORD style, DWORD extendedStyle, int left, int top,
           int width, int height, HFONT font) {
  const HWND hwnd = CreateWindowExW(extendedStyle, windowClass, text, kChildStyle | style, Pixels(left), Pixels(top),
                                    Pixels(width), Pixels(height), g_form, nullptr, GetModuleHandleW(nullptr), nullptr);
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return hwnd;
}

LRESULT CALLBACK DrawingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCHITTEST) return HTTRANSPARENT;
  if (message == WM_ERASEBKGND) {
    RECT client;
    GetClientRect(hwnd, &client);
    FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_WINDOWTEXT));
    return 1;
  }
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    BeginPaint(hwnd, &paint);
    EndPaint(hwnd, &paint);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CTLCOLORSTATIC: {
      const auto control = reinterpret_cast<HWND>(lParam);
      const auto dc = reinterpret_cast<HDC>(wParam);
      if (control == g_label3 || control == g_label4) SetTextColor(dc, kDarkRed);
      SetBkColor(dc, control == g_label2 ? kLabelGrey : kWindowGrey);
      return reinterpret_cast<LRESULT>(control == g_label2 ? g_labelGrey : g_windowGrey);
    }
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(hwnd, &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, g_windowGrey);
      return 1;
    }
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) SetFocus(g_refresh);
      return 0;
    case WM_TIMER:
      return 0;
    case WM_CLOSE:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

int main() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  HDC screen = GetDC(nullptr);
  g_dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);

  WNDCLASSEXW form{};
  form.cbSize = sizeof form;
  form.lpfnWndProc = FormProc;
  form.hInstance = instance;
  form.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                             GetSystemMetrics(SM_CYICON), LR_SHARED));
  form.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  form.lpszClassName = L"Form1";
  RegisterClassExW(&form);
  WNDCLASSEXW drawing{};
  drawing.cbSize = sizeof drawing;
  drawing.lpfnWndProc = DrawingProc;
  drawing.hInstance = instance;
  drawing.lpszClassName = L"Drawing";
  RegisterClassExW(&drawing);
  g_windowGrey = CreateSolidBrush(kWindowGrey);
  g_labelGrey = CreateSolidBrush(kLabelGrey);
  const HFONT font = Font(8.25);

  // The compact height, centred in the work area.
  RECT outer{0, 0, Pixels(5775), Pixels(2800 - 375)};
  AdjustWindowRectEx(&outer, kFormStyle, FALSE, 0);
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  g_form = CreateWindowExW(
      0, L"Form1", L"Vantor - Tolvane", kFormStyle, work.left + (work.right - work.left - width) / 2,
      work.top + (work.bottom - work.top - height) / 2, width, height, nullptr, nullptr, instance, nullptr);

  // A new child window goes behind its siblings: the ones in front are made last.
  Child(L"BUTTON", L"Submit", kButtonStyle, 0, 4800, 3840, 855, 315, font);
  g_label4 = Child(L"STATIC", L"Make the necessary changes and then click Submit.", SS_NOPREFIX | SS_CENTER, 0, 0, 3840,
                   4695, 495, Font(9.75));
  for (int top = 3480; top >= 2520; top -= 240)
    Child(L"EDIT", L"", kEditStyle, WS_EX_CLIENTEDGE, 120, top, 5535, 285, font);
  Child(L"BUTTON", L"Modify Status", kButtonStyle, 0, 4440, 2040, 1215, 315, font);
  Child(L"BUTTON", L"Delete Status", kButtonStyle, 0, 3120, 2040, 1215, 315, font);
  Child(L"BUTTON", L"Create", kButtonStyle | WS_DISABLED, 0, 2040, 2040, 975, 315, font);
  Child(L"BUTTON", L"Get Existing Status's", kButtonStyle, 0, 120, 2040, 1815, 315, font);
  Child(L"LISTBOX", L"", LBS_NOTIFY | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE,
        120, 960, 5535, 1035, font);
  const HWND line = Child(L"Drawing", L"", 0, 0, 120, 840, 5520, 0, font);
  SetWindowPos(line, nullptr, 0, 0, Pixels(5520), 1, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  g_label3 = Child(L"STATIC",
                   L"Login to messenger with your name and click the button to change the above name if it needs "
                   L"changed.",
                   SS_NOPREFIX | SS_CENTER, 0, 120, 360, 4455, 495, font);
  g_refresh = Child(L"BUTTON", L"Refresh Name", kButtonStyle, 0, 4680, 120, 975, 615, font);
  const HWND shape = Child(L"Drawing", L"", 0, 0, 1800, 120, 2775, 255, font);
  HRGN outline = CreateRectRgn(0, 0, Pixels(2775), Pixels(255));
  HRGN inside = CreateRectRgn(1, 1, Pixels(2775) - 1, Pixels(255) - 1);
  CombineRgn(outline, outline, inside, RGN_DIFF);
  DeleteObject(inside);
  SetWindowRgn(shape, outline, FALSE);
  g_label2 =
      Child(L"STATIC", L"bench_user", SS_NOPREFIX | SS_CENTER, 0, 1800, 120, 2775, 255, font);  // the bench's user
  Child(L"STATIC", L"Last name logged in is:", SS_NOPREFIX | SS_LEFT, 0, 120, 120, 1695, 255, font);
  SetTimer(g_form, 1, 100, nullptr);

  ShowWindow(g_form, SW_SHOW);
  UpdateWindow(g_form);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(g_form, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
