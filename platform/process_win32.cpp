#include <windows.h>

#include <vector>

#include "platform/process.h"

namespace stowaway {
namespace {

// A terminated process ends at once; this only bounds the wait if it hangs.
constexpr DWORD TerminationWait = 10000;

HANDLE ToHandle(uintptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// A process opened by its id, closed when it goes.
class OpenedProcess {
 public:
  OpenedProcess(uint32_t id, DWORD access) : handle_(::OpenProcess(access, FALSE, id)) {}
  ~OpenedProcess() {
    if (handle_ != nullptr) ::CloseHandle(handle_);
  }
  OpenedProcess(const OpenedProcess&) = delete;
  OpenedProcess& operator=(const OpenedProcess&) = delete;

  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

// NAME=value entries of this process, the given ones added or put in place
// of those of the same name (compared without case, as the platform does).
std::vector<char> EnvironmentBlock(const std::map<std::string, std::string>& changes) {
  std::vector<char> block;
  auto add = [&block](const std::string& entry) {
    block.insert(block.end(), entry.begin(), entry.end());
    block.push_back('\0');
  };
  char* const inherited = ::GetEnvironmentStringsA();
  for (const char* entry = inherited; *entry != '\0'; entry += lstrlenA(entry) + 1) {
    const std::string text(entry);
    const size_t equals = text.find('=', 1);
    const std::string name = text.substr(0, equals);
    bool replaced = false;
    for (const auto& change : changes) replaced |= lstrcmpiA(change.first.c_str(), name.c_str()) == 0;
    if (!replaced) add(text);
  }
  ::FreeEnvironmentStringsA(inherited);
  for (const auto& [name, value] : changes) add(name + "=" + value);
  block.push_back('\0');
  return block;
}

}  // namespace

std::string OwnCommandLine() { return ::GetCommandLineA(); }

uint32_t OwnProcessId() { return ::GetCurrentProcessId(); }

bool WaitForProcess(uint32_t id, uint32_t milliseconds) {
  const OpenedProcess process(id, SYNCHRONIZE);
  return process.Get() == nullptr ||
         ::WaitForSingleObject(process.Get(), milliseconds) == WAIT_OBJECT_0;
}

void EndProcess(uint32_t id) {
  const OpenedProcess process(id, PROCESS_TERMINATE | SYNCHRONIZE);
  if (process.Get() == nullptr) return;
  ::TerminateProcess(process.Get(), 1);
  ::WaitForSingleObject(process.Get(), TerminationWait);
}

ChildProcess::ChildProcess(const std::string& command_line,
                           const std::map<std::string, std::string>& environment) {
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');
  std::vector<char> block = EnvironmentBlock(environment);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, block.data(), nullptr,
                        &startup, &info)) {
    throw EProcessError("Cannot start process " + command_line);
  }
  ::CloseHandle(info.hThread);
  process_ = reinterpret_cast<uintptr_t>(info.hProcess);
  id_ = info.dwProcessId;
}

ChildProcess::~ChildProcess() {
  Terminate();
  ::CloseHandle(ToHandle(process_));
}

bool ChildProcess::WaitForExit(uint32_t milliseconds) {
  return ::WaitForSingleObject(ToHandle(process_), milliseconds) == WAIT_OBJECT_0;
}

void ChildProcess::Terminate() {
  if (WaitForExit(0)) return;
  ::TerminateProcess(ToHandle(process_), 1);
  WaitForExit(TerminationWait);
}

uint32_t ChildProcess::ExitCode() const {
  DWORD code = 0;
  ::GetExitCodeProcess(ToHandle(process_), &code);
  return code;
}

}  // namespace stowaway
