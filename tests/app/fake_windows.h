// A window layer in memory for the unpacker's logic: one unpacker window, a
// front-end window that records what it is sent, a scripted front-end that
// acts whenever the message loop would wait, and a clock that moves only
// with the timers' ticks.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/window.h"
#include "tests/support/test_data.h"

namespace stowaway::testing {

// A message sent to the front-end's window; for WM_COPYDATA with the
// descriptor's fields and a copy of its data.
struct Received {
  uint32_t message = 0;
  WParam wParam = 0;
  LParam lParam = 0;
  uintptr_t dwData = 0;
  uint32_t cbData = 0;
  Bytes data;
};

struct ShownBox {
  std::string text;
  std::string caption;
  uint32_t flags = 0;
};

class FakeWindows final : public WindowSystem {
 public:
  static constexpr WindowHandle UnpackerHandle = static_cast<WindowHandle>(0x1234);
  static constexpr WindowHandle FrontEndHandle = static_cast<WindowHandle>(0x5678);

  // What the platform answers.
  std::string module_path;
  std::string command_line = "installer.exe";
  std::string system_folder;
  std::string temporary_folder;
  bool register_succeeds = true;
  bool create_succeeds = true;
  bool start_succeeds = true;
  bool front_end_present = true;  // the window titled "fSplashScreen"
  bool front_end_running = true;  // the process started last
  LResult default_result = 0;
  LResult front_end_reply = 0;  // what the front-end's procedure returns
  bool default_throws = false;  // DefaultProcedure raises
  uint32_t clock = 1000;

  // What the unpacker did, call by call.
  std::vector<std::string> calls;
  WindowClass registered;
  WindowParams created;
  std::vector<std::string> programs;  // the program paths started
  std::vector<std::string> started;   // their command lines
  std::vector<std::map<std::string, std::string>> environments;
  std::vector<int32_t> show_commands;
  std::map<uintptr_t, uint32_t> timers;  // id: interval
  int timer_ticks = 0;
  std::vector<Received> front_end;
  int lost_sends = 0;
  std::vector<ShownBox> boxes;
  bool destroyed = false;

  // The front-end's steps, one each time the message loop finds nothing
  // queued. When none is left, the timers tick; without a timer the loop
  // would wait forever: the test fails.
  std::deque<std::function<void()>> script;
  // Called with every message the front-end receives, while the unpacker
  // waits for its send to return.
  std::function<void(const Received&)> on_front_end_message;
  // Called at every tick, once the clock has moved on.
  std::function<void()> on_tick;
  // Called when the front-end is started.
  std::function<void(const std::string&)> on_start;

  // The front-end's side.
  LResult SendToUnpacker(uint32_t message, WParam wparam = 0, LParam lparam = 0);
  void PostToUnpacker(uint32_t message, WParam wparam = 0, LParam lparam = 0);
  // WM_COPYDATA with a length-prefixed folder, of cbData 1 + its length.
  LResult SendFolder(const std::string& folder);

  std::string ModulePath() override;
  std::string CommandLine() override;
  std::string SystemFolderPath() override;
  std::string TemporaryFolderPath() override;
  bool StartProgram(const std::string& program_path, const std::string& command_line,
                    const std::map<std::string, std::string>& environment,
                    int32_t show) override;
  bool StartedProgramRunning() override;
  uint32_t Milliseconds() override;
  uintptr_t StandardIcon(uint32_t resource) override;
  uintptr_t StandardCursor(uint32_t resource) override;
  bool RegisterWindowClass(const WindowClass& window_class) override;
  WindowHandle CreateTopLevelWindow(const WindowParams& params) override;
  void UpdateWindowNow(WindowHandle window) override;
  int32_t NextMessage(Message& message) override;
  void TranslateKeys(const Message& message) override;
  LResult DispatchToWindow(const Message& message) override;
  LResult DefaultProcedure(WindowHandle window, uint32_t message, WParam wparam,
                           LParam lparam) override;
  void PostQuit(int32_t exit_code) override;
  bool StartTimer(WindowHandle window, uintptr_t id, uint32_t milliseconds) override;
  void StopTimer(WindowHandle window, uintptr_t id) override;
  WindowHandle FindWindowByTitle(const std::string& title) override;
  LResult Send(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) override;
  void ShowMessageBox(const std::string& text, const std::string& caption,
                      uint32_t flags) override;

 private:
  bool UnpackerExists() const;
  LResult CallUnpacker(uint32_t message, WParam wparam, LParam lparam);

  bool window_created_ = false;
  std::deque<Message> posted_;
  bool quit_posted_ = false;
  int32_t quit_code_ = 0;
};

}  // namespace stowaway::testing
