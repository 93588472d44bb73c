// A front-end for the end-to-end tests: it plays the front-end's part of the
// protocol from a script in its environment and writes down everything the
// unpacker sends it, one line per message, for the tests to read.
//
//   PROBE_LOG      the log file (required)
//   PROBE_FOLDERS  folders to send by WM_COPYDATA, in order, separated by '|';
//                  unset: none
//   PROBE_FINISH   "extract" (the default): UM_EXTRACT_ALL; "close": WM_CLOSE;
//                  "close N": WM_CLOSE with wParam N; "none": nothing (the
//                  probe just ends)
//   PROBE_REPLY    what its procedure returns for UM_EXTRACT_DONE (default 0)
//
// Log lines (numbers in decimal, handles in hex):
//   start <process id> <own command line>
//   installer <STOWAWAY_INSTALLER>                (only when it is set)
//   arguments <STOWAWAY_ARGS>                     (only when it is set)
//   unpacker <window of "fUnpackerForm", 0 if none>
//   report <wParam> <dwData> <cbData> <BytesRead> <BytesWritten> <Percent> <length byte> <name>
//   copydata <wParam> <dwData> <cbData>          (a WM_COPYDATA that is no report)
//   message <number> <wParam> <lParam>           (UM_EXTRACT_DONE, UM_EXTRACT_FAILED)
//   finish <what> <result>
//   end
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/protocol.h"
#include "platform/process.h"
#include "platform/window.h"

namespace stowaway {
namespace {

std::ofstream Log;

void Write(const std::string& line) { Log << line << std::endl; }

std::string Hex(uintptr_t value) {
  std::ostringstream text;
  text << std::hex << value;
  return text.str();
}

std::string Environment(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : fallback;
}

void LogCopyData(WParam wparam, const CopyData& data) {
  std::ostringstream line;
  if (data.cbData == sizeof(ProgressReport) && data.lpData != nullptr) {
    ProgressReport report;
    std::memcpy(&report, data.lpData, sizeof report);
    const auto* name = reinterpret_cast<const char*>(report.EntryName + 1);
    line << "report " << Hex(wparam) << ' ' << data.dwData << ' ' << data.cbData << ' '
         << report.BytesRead << ' ' << report.BytesWritten << ' ' << int{report.Percent} << ' '
         << int{report.EntryName[0]} << ' ' << std::string(name, report.EntryName[0]);
  } else {
    line << "copydata " << Hex(wparam) << ' ' << data.dwData << ' ' << data.cbData;
  }
  Write(line.str());
}

LResult ProbeWindowProc(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  switch (message) {
    case WmCopyData:
      LogCopyData(wparam, *reinterpret_cast<const CopyData*>(lparam));
      return 1;
    case UM_EXTRACT_DONE:
    case UM_EXTRACT_FAILED:
      Write("message " + std::to_string(message) + ' ' + std::to_string(wparam) + ' ' +
            std::to_string(lparam));
      return message == UM_EXTRACT_DONE ? std::stoi(Environment("PROBE_REPLY", "0")) : 0;
    default:
      return NativeWindowSystem().DefaultProcedure(window, message, wparam, lparam);
  }
}

std::vector<std::string> Folders() {
  std::vector<std::string> folders;
  const char* value = std::getenv("PROBE_FOLDERS");
  if (value == nullptr) return folders;
  std::istringstream list(value);
  for (std::string folder; std::getline(list, folder, '|');) folders.push_back(folder);
  return folders;
}

LResult SendFolder(WindowSystem& windows, WindowHandle unpacker, WindowHandle own,
                   const std::string& folder) {
  DestinationFolderPayload payload{};
  payload.Length = static_cast<uint8_t>(folder.size());
  std::memcpy(payload.Path, folder.data(), payload.Length);
  CopyData data;
  data.cbData = 1u + payload.Length;
  data.lpData = &payload;
  return windows.Send(unpacker, WmCopyData, static_cast<WParam>(own),
                      reinterpret_cast<LParam>(&data));
}

int Run() {
  Log.open(Environment("PROBE_LOG", ""), std::ios::app);
  if (!Log) return 2;
  Write("start " + std::to_string(OwnProcessId()) + " " + OwnCommandLine());
  for (const auto& [variable, line] : {std::pair{InstallerVariable, "installer "},
                                       std::pair{ArgumentsVariable, "arguments "}}) {
    if (const char* value = std::getenv(variable)) Write(line + std::string(value));
  }

  WindowSystem& windows = NativeWindowSystem();
  WindowClass window_class;
  window_class.procedure = ProbeWindowProc;
  window_class.name = "StowawayProbeFrontEnd";
  if (!windows.RegisterWindowClass(window_class)) return 3;
  WindowParams params;
  params.className = window_class.name;
  params.title = FrontEndWindowTitle;
  const WindowHandle own = windows.CreateTopLevelWindow(params);
  if (own == WindowHandle::None) return 4;

  const WindowHandle unpacker = windows.FindWindowByTitle(UnpackerWindowTitle);
  Write("unpacker " + Hex(static_cast<uintptr_t>(unpacker)));
  for (const std::string& folder : Folders()) SendFolder(windows, unpacker, own, folder);

  const std::string finish = Environment("PROBE_FINISH", "extract");
  LResult result = 0;
  if (finish == "extract") result = windows.Send(unpacker, UM_EXTRACT_ALL, 0, 0);
  if (finish.rfind("close", 0) == 0) {
    const WParam code = finish == "close" ? 0 : std::stoul(finish.substr(6));
    result = windows.Send(unpacker, WmClose, code, 0);
  }
  Write("finish " + finish + ' ' + std::to_string(result));
  Write("end");
  return 0;
}

}  // namespace
}  // namespace stowaway

int main() { return stowaway::Run(); }
