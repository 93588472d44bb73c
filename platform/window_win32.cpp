#include <windows.h>

#include <cstddef>
#include <exception>
#include <map>
#include <vector>

#include "platform/host.h"
#include "platform/window.h"

namespace stowaway {

static_assert(WmDestroy == WM_DESTROY && WmClose == WM_CLOSE && WmQuit == WM_QUIT &&
              WmCopyData == WM_COPYDATA && WmTimer == WM_TIMER && WmUser == WM_USER);
static_assert(LongestPath == MAX_PATH - 1);
static_assert(CsHRedraw == CS_HREDRAW && CsVRedraw == CS_VREDRAW);
static_assert(WsOverlappedWindow == WS_OVERLAPPEDWINDOW);
static_assert(CwUseDefault == CW_USEDEFAULT && SwShow == SW_SHOW);
static_assert(MbIconError == MB_ICONERROR && MbTaskModal == MB_TASKMODAL);

static_assert(sizeof(CopyData) == sizeof(COPYDATASTRUCT));
static_assert(offsetof(CopyData, dwData) == offsetof(COPYDATASTRUCT, dwData));
static_assert(offsetof(CopyData, cbData) == offsetof(COPYDATASTRUCT, cbData));
static_assert(offsetof(CopyData, lpData) == offsetof(COPYDATASTRUCT, lpData));
static_assert(sizeof(WParam) == sizeof(WPARAM) && sizeof(LParam) == sizeof(LPARAM) &&
              sizeof(LResult) == sizeof(LRESULT) && sizeof(WindowHandle) == sizeof(HWND));

namespace {

HWND ToHwnd(WindowHandle window) {
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(window));
}

WindowHandle ToWindowHandle(HWND window) {
  return static_cast<WindowHandle>(reinterpret_cast<uintptr_t>(window));
}

MSG ToMsg(const Message& message) {
  MSG msg{};
  msg.hwnd = ToHwnd(message.window);
  msg.message = message.message;
  msg.wParam = message.wParam;
  msg.lParam = message.lParam;
  msg.time = message.time;
  msg.pt.x = message.x;
  msg.pt.y = message.y;
  return msg;
}

// The procedures of the classes registered here, by class atom. The platform
// calls one procedure of the calling convention it knows; that one forwards.
std::map<ATOM, WindowProcedure>& Procedures() {
  static std::map<ATOM, WindowProcedure> procedures;
  return procedures;
}

// An exception that a procedure let out, on its way to NextMessage.
std::exception_ptr& ProcedureFailure() {
  static std::exception_ptr failure;
  return failure;
}

// The platform's frames between here and the message loop cannot be unwound
// through: an exception stops here and the loop is ended, so that
// NextMessage can raise it on the loop's own side.
LRESULT CALLBACK ForwardToProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  try {
    const auto atom = static_cast<ATOM>(::GetClassLongA(window, GCW_ATOM));
    const auto found = Procedures().find(atom);
    if (found == Procedures().end()) return ::DefWindowProcA(window, message, wparam, lparam);
    return found->second(ToWindowHandle(window), message, wparam, lparam);
  } catch (...) {
    if (!ProcedureFailure()) ProcedureFailure() = std::current_exception();
    ::PostQuitMessage(1);
    return 0;
  }
}

void RaiseProcedureFailure() {
  if (!ProcedureFailure()) return;
  std::exception_ptr failure = ProcedureFailure();
  ProcedureFailure() = nullptr;
  std::rethrow_exception(failure);
}

// The long form of a path, where the platform can give one.
std::string LongForm(const std::string& path) {
  std::vector<char> buffer(path.size() + MAX_PATH);
  const DWORD length =
      ::GetLongPathNameA(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return path;
  return std::string(buffer.data(), length);
}

class Win32WindowSystem final : public WindowSystem {
 public:
  ~Win32WindowSystem() override {
    if (started_ != nullptr) ::CloseHandle(started_);
  }

  // Whole, however long: a buffer of MAX_PATH would cut it without a word.
  std::string ModulePath() override {
    const std::string path = ExecutablePath();
    return path.empty() ? path : LongForm(path);
  }

  std::string CommandLine() override { return ::GetCommandLineA(); }

  std::string SystemFolderPath() override {
    char path[MAX_PATH] = {};
    ::GetSystemDirectoryA(path, MAX_PATH);
    return path;
  }

  std::string TemporaryFolderPath() override {
    char path[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathA(sizeof path, path);
    if (length == 0 || length >= sizeof path) return {};
    std::string folder(path, length);
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return folder;
  }

  bool StartProgram(const std::string& program_path, const std::string& command_line,
                    const std::map<std::string, std::string>& environment,
                    int32_t show) override {
    // Set in this process's own environment, which the program inherits
    // whole: a block rebuilt in the ANSI code page would garble every
    // variable that it cannot represent.
    for (const auto& [name, value] : environment) {
      if (!::SetEnvironmentVariableA(name.c_str(), value.c_str())) return false;
    }
    std::vector<char> line(command_line.begin(), command_line.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessA(program_path.c_str(), line.data(), nullptr, nullptr, FALSE, 0,
                          nullptr, nullptr, &startup, &info)) {
      return false;
    }
    ::CloseHandle(info.hThread);
    if (started_ != nullptr) ::CloseHandle(started_);
    started_ = info.hProcess;
    return true;
  }

  bool StartedProgramRunning() override {
    return started_ != nullptr && ::WaitForSingleObject(started_, 0) == WAIT_TIMEOUT;
  }

  uint32_t Milliseconds() override { return ::GetTickCount(); }

  uintptr_t StandardIcon(uint32_t resource) override {
    return reinterpret_cast<uintptr_t>(::LoadIconA(nullptr, MAKEINTRESOURCEA(resource)));
  }

  uintptr_t StandardCursor(uint32_t resource) override {
    return reinterpret_cast<uintptr_t>(::LoadCursorA(nullptr, MAKEINTRESOURCEA(resource)));
  }

  bool RegisterWindowClass(const WindowClass& window_class) override {
    WNDCLASSA wc{};
    wc.style = window_class.style;
    wc.lpfnWndProc = ForwardToProcedure;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.hIcon = reinterpret_cast<HICON>(window_class.icon);
    wc.hCursor = reinterpret_cast<HCURSOR>(window_class.cursor);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(window_class.background);
    wc.lpszClassName = window_class.name.c_str();
    const ATOM atom = ::RegisterClassA(&wc);
    if (atom == 0) return false;
    Procedures()[atom] = window_class.procedure;
    return true;
  }

  WindowHandle CreateTopLevelWindow(const WindowParams& params) override {
    return ToWindowHandle(::CreateWindowExA(params.extendedStyle, params.className.c_str(),
                                            params.title.c_str(), params.style, params.left, params.top,
                                            params.width, params.height, nullptr, nullptr,
                                            ::GetModuleHandleA(nullptr), nullptr));
  }

  void UpdateWindowNow(WindowHandle window) override { ::UpdateWindow(ToHwnd(window)); }

  int32_t NextMessage(Message& message) override {
    RaiseProcedureFailure();
    MSG msg{};
    const BOOL result = ::GetMessageA(&msg, nullptr, 0, 0);
    RaiseProcedureFailure();
    message.window = ToWindowHandle(msg.hwnd);
    message.message = msg.message;
    message.wParam = msg.wParam;
    message.lParam = msg.lParam;
    message.time = msg.time;
    message.x = msg.pt.x;
    message.y = msg.pt.y;
    return result;
  }

  void TranslateKeys(const Message& message) override {
    const MSG msg = ToMsg(message);
    ::TranslateMessage(&msg);
  }

  LResult DispatchToWindow(const Message& message) override {
    const MSG msg = ToMsg(message);
    return ::DispatchMessageA(&msg);
  }

  LResult DefaultProcedure(WindowHandle window, uint32_t message, WParam wparam,
                           LParam lparam) override {
    return ::DefWindowProcA(ToHwnd(window), message, wparam, lparam);
  }

  void PostQuit(int32_t exit_code) override { ::PostQuitMessage(exit_code); }

  bool StartTimer(WindowHandle window, uintptr_t id, uint32_t milliseconds) override {
    return ::SetTimer(ToHwnd(window), id, milliseconds, nullptr) != 0;
  }

  void StopTimer(WindowHandle window, uintptr_t id) override { ::KillTimer(ToHwnd(window), id); }

  // A search asks the window server for the title of every top-level window
  // ahead of the one it finds; the window found last costs one question while
  // it still exists under that title, so it is asked about first.
  WindowHandle FindWindowByTitle(const std::string& title) override {
    if (found_ != nullptr && found_title_ == title && HasTitle(found_, title)) {
      return ToWindowHandle(found_);
    }
    found_ = ::FindWindowA(nullptr, title.c_str());
    found_title_ = title;
    return ToWindowHandle(found_);
  }

  LResult Send(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) override {
    return ::SendMessageA(ToHwnd(window), message, wparam, lparam);
  }

  void ShowMessageBox(const std::string& text, const std::string& caption,
                      uint32_t flags) override {
    ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), flags);
  }

 private:
  HANDLE started_ = nullptr;  // the process of the program started last
  // Compared as the search compares titles: without regard to case. A window
  // that no longer exists has no title.
  static bool HasTitle(HWND window, const std::string& title) {
    char text[258] = {};
    if (title.size() + 2 > sizeof text) return false;
    const int length = ::GetWindowTextA(window, text, static_cast<int>(title.size()) + 2);
    return length == static_cast<int>(title.size()) && ::lstrcmpiA(text, title.c_str()) == 0;
  }

  HWND found_ = nullptr;
  std::string found_title_;
};

}  // namespace

WindowSystem& NativeWindowSystem() {
  static Win32WindowSystem windows;
  return windows;
}

}  // namespace stowaway
