#include "tests/app/fake_windows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

namespace stowaway::testing {
namespace {

// Ticks enough for any watch; more mean the unpacker would never end.
constexpr int TickLimit = 10000;

}  // namespace

LResult FakeWindows::SendToUnpacker(uint32_t message, WParam wparam, LParam lparam) {
  return UnpackerExists() ? CallUnpacker(message, wparam, lparam) : 0;
}

void FakeWindows::PostToUnpacker(uint32_t message, WParam wparam, LParam lparam) {
  Message posted;
  posted.window = UnpackerHandle;
  posted.message = message;
  posted.wParam = wparam;
  posted.lParam = lparam;
  posted_.push_back(posted);
}

LResult FakeWindows::SendFolder(const std::string& folder) {
  Bytes payload{static_cast<uint8_t>(folder.size())};
  payload.insert(payload.end(), folder.begin(), folder.end());
  CopyData data;
  data.cbData = static_cast<uint32_t>(payload.size());
  data.lpData = payload.data();
  return SendToUnpacker(WmCopyData, static_cast<WParam>(FrontEndHandle),
                        reinterpret_cast<LParam>(&data));
}

std::string FakeWindows::ModulePath() {
  calls.push_back("ModulePath");
  return module_path;
}

std::string FakeWindows::CommandLine() { return command_line; }

std::string FakeWindows::SystemFolderPath() {
  calls.push_back("SystemFolderPath");
  return system_folder;
}

std::string FakeWindows::TemporaryFolderPath() { return temporary_folder; }

bool FakeWindows::StartProgram(const std::string& program_path, const std::string& line,
                               const std::map<std::string, std::string>& environment,
                               int32_t show) {
  calls.push_back("StartProgram");
  programs.push_back(program_path);
  started.push_back(line);
  environments.push_back(environment);
  show_commands.push_back(show);
  if (on_start) on_start(line);
  return start_succeeds;
}

bool FakeWindows::StartedProgramRunning() { return front_end_running; }

uint32_t FakeWindows::Milliseconds() { return clock; }

uintptr_t FakeWindows::StandardIcon(uint32_t resource) {
  calls.push_back("StandardIcon " + std::to_string(resource));
  return 0x1C0;
}

uintptr_t FakeWindows::StandardCursor(uint32_t resource) {
  calls.push_back("StandardCursor " + std::to_string(resource));
  return 0xC0;
}

bool FakeWindows::RegisterWindowClass(const WindowClass& window_class) {
  calls.push_back("RegisterWindowClass");
  registered = window_class;
  return register_succeeds;
}

WindowHandle FakeWindows::CreateTopLevelWindow(const WindowParams& params) {
  calls.push_back("CreateTopLevelWindow");
  created = params;
  if (!create_succeeds) return WindowHandle::None;
  window_created_ = true;
  return UnpackerHandle;
}

void FakeWindows::UpdateWindowNow(WindowHandle window) {
  calls.push_back("UpdateWindowNow");
  EXPECT_EQ(window, UnpackerHandle);
}

int32_t FakeWindows::NextMessage(Message& message) {
  calls.push_back("NextMessage");
  for (;;) {
    if (!posted_.empty()) {
      message = posted_.front();
      posted_.pop_front();
      return 1;
    }
    // The platform hands out WM_QUIT only once nothing else is queued.
    if (quit_posted_) {
      message = Message{};
      message.message = WmQuit;
      message.wParam = static_cast<WParam>(quit_code_);
      return 0;
    }
    if (script.empty() && !timers.empty() && timer_ticks < TickLimit) {
      ++timer_ticks;
      const auto [id, interval] = *timers.begin();
      clock += interval;
      if (on_tick) on_tick();
      message = Message{};
      message.window = UnpackerHandle;
      message.message = WmTimer;
      message.wParam = id;
      return 1;
    }
    if (script.empty()) break;
    const auto step = std::move(script.front());
    script.pop_front();
    step();
  }
  ADD_FAILURE() << "the unpacker would wait for a message forever";
  message = Message{};
  message.wParam = 99;
  return 0;
}

void FakeWindows::TranslateKeys(const Message&) { calls.push_back("TranslateKeys"); }

LResult FakeWindows::DispatchToWindow(const Message& message) {
  calls.push_back("DispatchToWindow");
  if (message.window != UnpackerHandle || !UnpackerExists()) return 0;
  return CallUnpacker(message.message, message.wParam, message.lParam);
}

LResult FakeWindows::DefaultProcedure(WindowHandle window, uint32_t message, WParam, LParam) {
  calls.push_back("DefaultProcedure " + std::to_string(message));
  EXPECT_EQ(window, UnpackerHandle);
  if (default_throws) throw std::runtime_error("default handling failed");
  if (message == WmClose && UnpackerExists()) {
    CallUnpacker(WmDestroy, 0, 0);
    destroyed = true;
    return 0;
  }
  return default_result;
}

void FakeWindows::PostQuit(int32_t exit_code) {
  calls.push_back("PostQuit " + std::to_string(exit_code));
  quit_posted_ = true;
  quit_code_ = exit_code;
}

bool FakeWindows::StartTimer(WindowHandle window, uintptr_t id, uint32_t milliseconds) {
  EXPECT_EQ(window, UnpackerHandle);
  timers[id] = milliseconds;
  return true;
}

void FakeWindows::StopTimer(WindowHandle, uintptr_t id) { timers.erase(id); }

WindowHandle FakeWindows::FindWindowByTitle(const std::string& title) {
  if (title == "fSplashScreen" && front_end_present) return FrontEndHandle;
  if (title == "fUnpackerForm" && UnpackerExists()) return UnpackerHandle;
  return WindowHandle::None;
}

LResult FakeWindows::Send(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  if (window == UnpackerHandle && UnpackerExists()) return CallUnpacker(message, wparam, lparam);
  if (window != FrontEndHandle || !front_end_present) {
    ++lost_sends;
    return 0;
  }
  Received received;
  received.message = message;
  received.wParam = wparam;
  received.lParam = lparam;
  if (message == WmCopyData) {
    const auto* data = reinterpret_cast<const CopyData*>(lparam);
    received.dwData = data->dwData;
    received.cbData = data->cbData;
    const auto* bytes = static_cast<const uint8_t*>(data->lpData);
    received.data.assign(bytes, bytes + data->cbData);
  }
  front_end.push_back(received);
  if (on_front_end_message) on_front_end_message(received);
  return front_end_reply;
}

void FakeWindows::ShowMessageBox(const std::string& text, const std::string& caption,
                                 uint32_t flags) {
  boxes.push_back({text, caption, flags});
}

bool FakeWindows::UnpackerExists() const { return window_created_ && !destroyed; }

LResult FakeWindows::CallUnpacker(uint32_t message, WParam wparam, LParam lparam) {
  if (registered.procedure == nullptr) {
    ADD_FAILURE() << "a window without a procedure";
    return 0;
  }
  return registered.procedure(UnpackerHandle, message, wparam, lparam);
}

}  // namespace stowaway::testing
