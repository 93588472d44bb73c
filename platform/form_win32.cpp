#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "platform/form.h"
#include "platform/wide_text_win32.h"

namespace stowaway {
namespace {

constexpr wchar_t FormClass[] = L"StowawayForm";
constexpr wchar_t MailboxClass[] = L"StowawayMailbox";
constexpr int FirstControl = 100;

std::wstring WindowTextOf(HWND window) {
  const auto length = static_cast<int>(::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const auto got = static_cast<size_t>(
      ::SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
  text.resize(std::min(got, static_cast<size_t>(length)));
  return text;
}

// The forms of this thread, whose keyboard the event loop hands to the
// system's dialog handling.
std::vector<HWND>& Forms() {
  static std::vector<HWND> forms;
  return forms;
}

// The progress bar's class lives in the common controls library, which is
// loaded from the system folder only once the program asks for it: an
// import would have the loader look beside the program first.
void LoadCommonControls() {
  static bool loaded = false;
  if (loaded) return;
  loaded = true;
  HMODULE library = ::LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (library == nullptr) library = ::LoadLibraryW(L"comctl32.dll");
  if (library == nullptr) return;
  using Init = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  const auto init = reinterpret_cast<Init>(
      reinterpret_cast<void*>(::GetProcAddress(library, "InitCommonControlsEx")));
  if (init == nullptr) return;
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  init(&controls);
}

class Win32Form final : public Form {
 public:
  Win32Form(const std::string& title, int width, int height, FormEvents events)
      : events_(std::move(events)) {
    LoadCommonControls();
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    font_ = ::CreateFontIndirectW(&metrics.lfMessageFont);
    LOGFONTW bold = metrics.lfMessageFont;
    bold.lfWeight = FW_BOLD;
    bold.lfHeight = bold.lfHeight * 5 / 4;
    heading_font_ = ::CreateFontIndirectW(&bold);
    MeasureFont();

    static const bool registered = [] {
      WNDCLASSEXW window_class = {};
      window_class.cbSize = sizeof window_class;
      window_class.lpfnWndProc = Procedure;
      window_class.hInstance = ::GetModuleHandleW(nullptr);
      window_class.hIcon = ::LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
      window_class.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
      window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
      window_class.lpszClassName = FormClass;
      return ::RegisterClassExW(&window_class) != 0;
    }();
    (void)registered;
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame = {0, 0, X(width), Y(height)};
    ::AdjustWindowRectEx(&frame, style, FALSE, WS_EX_CONTROLPARENT);
    window_ = ::CreateWindowExW(WS_EX_CONTROLPARENT, FormClass, Wide(title).c_str(), style,
                                CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                                frame.bottom - frame.top, nullptr, nullptr,
                                ::GetModuleHandleW(nullptr), this);
    Forms().push_back(window_);
  }

  ~Win32Form() override {
    auto& forms = Forms();
    forms.erase(std::remove(forms.begin(), forms.end(), window_), forms.end());
    if (window_ != nullptr) {
      ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
      ::DestroyWindow(window_);
    }
    ::DeleteObject(font_);
    ::DeleteObject(heading_font_);
  }

  int Add(ControlKind kind, int x, int y, int width, int height, const std::string& text) override {
    const wchar_t* window_class = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD extended = 0;
    switch (kind) {
      case ControlKind::Label:
      case ControlKind::Heading: style |= SS_LEFT | SS_NOPREFIX; break;
      case ControlKind::Caption: style |= SS_LEFT; break;
      case ControlKind::Rule: style |= SS_ETCHEDHORZ; break;
      case ControlKind::Edit:
        window_class = L"EDIT";
        style |= WS_TABSTOP | ES_AUTOHSCROLL;
        extended = WS_EX_CLIENTEDGE;
        break;
      case ControlKind::Button:
        window_class = L"BUTTON";
        style |= WS_TABSTOP | BS_PUSHBUTTON;
        break;
      case ControlKind::Check:
        window_class = L"BUTTON";
        style |= WS_TABSTOP | BS_AUTOCHECKBOX;
        break;
      case ControlKind::Progress: window_class = PROGRESS_CLASSW; break;
      case ControlKind::TextBox:
        window_class = L"EDIT";
        style |= WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY;
        extended = WS_EX_CLIENTEDGE;
        break;
    }
    const int id = next_id_++;
    HWND control = ::CreateWindowExW(extended, window_class, Wide(text).c_str(), style, X(x), Y(y),
                                     X(width), Y(height), window_,
                                     reinterpret_cast<HMENU>(static_cast<intptr_t>(id)),
                                     ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(control, WM_SETFONT,
                   reinterpret_cast<WPARAM>(kind == ControlKind::Heading ? heading_font_ : font_), FALSE);
    if (kind == ControlKind::Progress) ::SendMessageW(control, PBM_SETRANGE32, 0, 1000);
    return id;
  }

  void SetText(int control, const std::string& text) override {
    ::SetWindowTextW(Control(control), Wide(text).c_str());
  }
  std::string Text(int control) override { return Narrow(WindowTextOf(Control(control))); }
  void Show(int control, bool shown) override { ::ShowWindow(Control(control), shown ? SW_SHOW : SW_HIDE); }
  void Enable(int control, bool enabled) override { ::EnableWindow(Control(control), enabled); }
  bool Checked(int control) override {
    return ::SendMessageW(Control(control), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  void SetChecked(int control, bool checked) override {
    ::SendMessageW(Control(control), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  void SetProgress(int control, int part) override {
    ::SendMessageW(Control(control), PBM_SETPOS, static_cast<WPARAM>(part), 0);
  }
  void SetDefault(int control) override {
    if (default_ != 0) ::SendMessageW(Control(default_), BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    default_ = control;
    ::SendMessageW(Control(control), BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
  }
  void Focus(int control) override { ::SetFocus(Control(control)); }

  void Present() override {
    RECT frame;
    ::GetWindowRect(window_, &frame);
    RECT work;
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    ::SetWindowPos(window_, nullptr, work.left + (work.right - work.left - width) / 2,
                   work.top + (work.bottom - work.top - height) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER);
    ::ShowWindow(window_, SW_SHOW);
    ::SetForegroundWindow(window_);
  }

  std::optional<std::string> ChooseFolder(const std::string& prompt) override {
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::wstring text = Wide(prompt);
    BROWSEINFOW browse = {};
    browse.hwndOwner = window_;
    browse.lpszTitle = text.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    std::optional<std::string> chosen;
    if (PIDLIST_ABSOLUTE list = ::SHBrowseForFolderW(&browse)) {
      wchar_t path[MAX_PATH] = {};
      if (::SHGetPathFromIDListW(list, path)) chosen = Narrow(path);
      ::CoTaskMemFree(list);
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return chosen;
  }

  void Tell(const std::string& text, bool error) override {
    ::MessageBoxW(window_, Wide(text).c_str(), WindowTextOf(window_).c_str(),
                  MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
  }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* form = reinterpret_cast<Win32Form*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr) return ::DefWindowProcW(window, message, wparam, lparam);
    switch (message) {
      case WM_COMMAND: {
        const int id = LOWORD(wparam);
        if (id == IDCANCEL) {
          if (form->events_.Cancel) form->events_.Cancel();
        } else if (id >= FirstControl && HIWORD(wparam) == BN_CLICKED && form->events_.Command) {
          form->events_.Command(id);
        }
        return 0;
      }
      case DM_GETDEFID:
        return form->default_ != 0 ? MAKELRESULT(form->default_, DC_HASDEFID) : 0;
      case WM_CLOSE:
        if (form->events_.Cancel) form->events_.Cancel();
        return 0;
      default: return ::DefWindowProcW(window, message, wparam, lparam);
    }
  }

  void MeasureFont() {
    HDC screen = ::GetDC(nullptr);
    HGDIOBJ previous = ::SelectObject(screen, font_);
    TEXTMETRICW text = {};
    ::GetTextMetricsW(screen, &text);
    SIZE size = {};
    static const wchar_t sample[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    ::GetTextExtentPoint32W(screen, sample, 52, &size);
    ::SelectObject(screen, previous);
    ::ReleaseDC(nullptr, screen);
    base_x_ = std::max(1L, (size.cx / 26 + 1) / 2);
    base_y_ = std::max(1L, text.tmHeight);
  }

  int X(int units) const { return ::MulDiv(units, base_x_, 4); }
  int Y(int units) const { return ::MulDiv(units, base_y_, 8); }
  HWND Control(int id) const { return ::GetDlgItem(window_, id); }

  FormEvents events_;
  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  HFONT heading_font_ = nullptr;
  LONG base_x_ = 6;
  LONG base_y_ = 13;
  int next_id_ = FirstControl;
  int default_ = 0;
};

LRESULT CALLBACK MailboxProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* handler = reinterpret_cast<MessageHandler*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (handler != nullptr) {
    if (const std::optional<LResult> result = (*handler)(message, wparam, static_cast<LParam>(lparam))) {
      return *result;
    }
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

HWND Native(WindowHandle window) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(window)); }
WindowHandle Handle(HWND window) { return static_cast<WindowHandle>(reinterpret_cast<uintptr_t>(window)); }

}  // namespace

std::unique_ptr<Form> CreateForm(const std::string& title, int width, int height, FormEvents events) {
  return std::make_unique<Win32Form>(title, width, height, std::move(events));
}

WindowHandle CreateMailbox(const std::string& title, MessageHandler handler) {
  static const bool registered = [] {
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = MailboxProcedure;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.lpszClassName = MailboxClass;
    return ::RegisterClassExW(&window_class) != 0;
  }();
  (void)registered;
  // The window lives as long as the process; so does its handler.
  auto* kept = new MessageHandler(std::move(handler));
  return Handle(::CreateWindowExW(0, MailboxClass, Wide(title).c_str(), WS_OVERLAPPED, 0, 0, 0, 0,
                                  nullptr, nullptr, ::GetModuleHandleW(nullptr), kept));
}

int RunEventLoop() {
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    const auto& forms = Forms();
    const bool taken = std::any_of(forms.begin(), forms.end(), [&](HWND form) {
      return (form == message.hwnd || ::IsChild(form, message.hwnd)) && ::IsDialogMessageW(form, &message);
    });
    if (taken) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

void QuitEventLoop(int code) { ::PostQuitMessage(code); }

void PostToWindow(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  ::PostMessageW(Native(window), message, wparam, lparam);
}

void ReleaseSender(LResult result) { ::ReplyMessage(result); }

void TellUser(const std::string& text, const std::string& caption, bool error) {
  ::MessageBoxW(nullptr, Wide(text).c_str(), Wide(caption).c_str(),
                MB_OK | MB_SETFOREGROUND | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

WindowHandle FindTopWindow(const std::string& title) {
  return Handle(::FindWindowW(nullptr, Wide(title).c_str()));
}

namespace {
struct ControlSearch {
  std::wstring text;
  std::wstring window_class;
  HWND found = nullptr;
};

BOOL CALLBACK MatchControl(HWND control, LPARAM lparam) {
  auto* search = reinterpret_cast<ControlSearch*>(lparam);
  if (!search->window_class.empty()) {
    wchar_t name[64] = {};
    ::GetClassNameW(control, name, 64);
    if (::lstrcmpiW(name, search->window_class.c_str()) != 0 || !::IsWindowVisible(control)) return TRUE;
  } else if (WindowTextOf(control) != search->text) {
    return TRUE;
  }
  search->found = control;
  return FALSE;
}
}  // namespace

WindowHandle FindControl(WindowHandle window, const std::string& text) {
  ControlSearch search{Wide(text), {}, nullptr};
  ::EnumChildWindows(Native(window), MatchControl, reinterpret_cast<LPARAM>(&search));
  return Handle(search.found);
}

WindowHandle FindControlOfClass(WindowHandle window, const std::string& class_name) {
  ControlSearch search{{}, Wide(class_name), nullptr};
  ::EnumChildWindows(Native(window), MatchControl, reinterpret_cast<LPARAM>(&search));
  return Handle(search.found);
}

void TypeInto(WindowHandle control, const std::string& text) {
  const std::wstring wide = Wide(text);
  ::SendMessageW(Native(control), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

void Press(WindowHandle button) { ::PostMessageW(Native(button), BM_CLICK, 0, 0); }

void PressKey(WindowHandle window, Key key) {
  const WPARAM code = key == Key::Enter ? VK_RETURN : VK_ESCAPE;
  ::PostMessageW(Native(window), WM_KEYDOWN, code, 1);
  ::PostMessageW(Native(window), WM_KEYUP, code, static_cast<LPARAM>(0xC0000001u));
}

bool IsShown(WindowHandle control) { return ::IsWindowVisible(Native(control)) != 0; }

}  // namespace stowaway
