// Windows, window messages and the calls a windowed program makes at start,
// behind one small interface so that the logic above it can run against a
// fake of its own (the real one exists only in the Windows build).
//
// Sizes follow the 32-bit platform: a window handle, wParam, lParam and a
// window procedure's result are pointer-sized there and here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace stowaway {

enum class WindowHandle : uintptr_t { None = 0 };

using WParam = uintptr_t;
using LParam = intptr_t;
using LResult = intptr_t;

// The procedure of a window class; the platform calls it on the thread that
// created the window. An exception must not leave it through the platform's
// frames: the platform's own layer catches one there, ends the message loop
// and raises it again from NextMessage.
using WindowProcedure = LResult (*)(WindowHandle window, uint32_t message, WParam wparam,
                                    LParam lparam);

// Message numbers of the platform.
inline constexpr uint32_t WmDestroy = 2;
inline constexpr uint32_t WmClose = 16;
inline constexpr uint32_t WmQuit = 18;
inline constexpr uint32_t WmCopyData = 74;
inline constexpr uint32_t WmTimer = 0x0113;
inline constexpr uint32_t WmUser = 1024;

// Class and window styles, positions, show commands and resource numbers.
inline constexpr uint32_t CsVRedraw = 0x0001;
inline constexpr uint32_t CsHRedraw = 0x0002;
inline constexpr uint32_t WsOverlappedWindow = 0x00CF0000;
inline constexpr int32_t CwUseDefault = INT32_MIN;
inline constexpr int32_t SwShow = 5;
inline constexpr uint32_t IdiApplication = 32512;
inline constexpr uint32_t IdcArrow = 32512;
// Message box flags.
inline constexpr uint32_t MbIconError = 0x0010;
inline constexpr uint32_t MbTaskModal = 0x2000;
// The longest path the ANSI file calls take, without its terminating zero.
inline constexpr size_t LongestPath = 259;

// The data of a WM_COPYDATA message, laid out as the platform's descriptor.
// The platform copies cbData bytes at lpData into the receiving process.
struct CopyData {
  uintptr_t dwData = 0;
  uint32_t cbData = 0;
  void* lpData = nullptr;
};

// One message as the message loop retrieves it.
struct Message {
  WindowHandle window = WindowHandle::None;
  uint32_t message = 0;
  WParam wParam = 0;
  LParam lParam = 0;
  uint32_t time = 0;
  int32_t x = 0;
  int32_t y = 0;
};

// A window class; the instance is always the process's own.
struct WindowClass {
  uint32_t style = 0;
  WindowProcedure procedure = nullptr;
  uintptr_t icon = 0;
  uintptr_t cursor = 0;
  uintptr_t background = 0;
  std::string name;
};

// A top-level window without parent, menu or creation data, of the
// process's own instance.
struct WindowParams {
  uint32_t extendedStyle = 0;
  std::string className;
  std::string title;
  uint32_t style = 0;
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
};

class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  // The full path of the running executable, however long, with its long
  // names rather than their 8.3 forms.
  virtual std::string ModulePath() = 0;
  // The command line this process was started with, as the platform gives it.
  virtual std::string CommandLine() = 0;
  // The platform's system folder, read into a buffer of 260 bytes.
  virtual std::string SystemFolderPath() = 0;
  // The user's folder for temporary files, without a trailing separator.
  virtual std::string TemporaryFolderPath() = 0;
  // Starts the program file at program_path, handing it command_line (whose
  // first word only names the program to the program itself) and this
  // process's environment with the variables of `environment` added or
  // replaced. False when it cannot be started.
  virtual bool StartProgram(const std::string& program_path, const std::string& command_line,
                            const std::map<std::string, std::string>& environment,
                            int32_t show) = 0;
  // True while the process of the program started last still runs.
  virtual bool StartedProgramRunning() = 0;
  // A millisecond clock that wraps around; only differences mean anything.
  virtual uint32_t Milliseconds() = 0;

  // The platform's own icon and cursor of that resource number.
  virtual uintptr_t StandardIcon(uint32_t resource) = 0;
  virtual uintptr_t StandardCursor(uint32_t resource) = 0;
  virtual bool RegisterWindowClass(const WindowClass& window_class) = 0;
  // None when the window cannot be created.
  virtual WindowHandle CreateTopLevelWindow(const WindowParams& params) = 0;
  virtual void UpdateWindowNow(WindowHandle window) = 0;

  // Waits for the next message of any window of the thread: 0 when it is
  // WM_QUIT, -1 on failure, otherwise positive. Raises the exception that a
  // window procedure let out since the last call, if any.
  virtual int32_t NextMessage(Message& message) = 0;
  virtual void TranslateKeys(const Message& message) = 0;
  virtual LResult DispatchToWindow(const Message& message) = 0;
  virtual LResult DefaultProcedure(WindowHandle window, uint32_t message, WParam wparam,
                                   LParam lparam) = 0;
  virtual void PostQuit(int32_t exit_code) = 0;
  // Queues WmTimer with wParam id for window about every `milliseconds`,
  // until StopTimer. False when no timer can be had.
  virtual bool StartTimer(WindowHandle window, uintptr_t id, uint32_t milliseconds) = 0;
  virtual void StopTimer(WindowHandle window, uintptr_t id) = 0;

  // The top-level window of that title, of any class; None if there is none.
  virtual WindowHandle FindWindowByTitle(const std::string& title) = 0;
  // Synchronous: returns once the receiver's procedure has returned. A send
  // to no window does nothing.
  virtual LResult Send(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) = 0;

  // A message box with the given flags; returns when it is closed.
  virtual void ShowMessageBox(const std::string& text, const std::string& caption,
                              uint32_t flags) = 0;
};

// The platform's own window layer (Windows builds only).
WindowSystem& NativeWindowSystem();

}  // namespace stowaway
