#include "app/unpacker.h"

#include <algorithm>
#include <cstring>

#include "app/failure_report.h"
#include "app/percent.h"
#include "archive/packerunit.h"

namespace stowaway {

UnpackerState Unpacker;

namespace {

constexpr int NormalExitCode = 0;
constexpr uintptr_t BackgroundBrush = 5;

WindowSystem& Windows() { return *Unpacker.Windows; }

// The front-end may replace its window at any time, so it is looked up anew
// for every message; a message to no window is lost without harm.
void SendToFrontEnd(uint32_t message, WParam wparam, LParam lparam) {
  Windows().Send(Windows().FindWindowByTitle(FrontEndWindowTitle), message, wparam, lparam);
}

// A payload shorter than the length it announces, or none at all, would be
// read past its end: such a message leaves the folder as it was.
void TakeDestinationFolder(const CopyData* data) {
  if (data == nullptr || data->lpData == nullptr || data->cbData < 1) return;
  const auto* payload = static_cast<const uint8_t*>(data->lpData);
  const uint8_t length = payload[0];
  if (data->cbData < 1u + length) return;
  Unpacker.DestinationFolder.assign(reinterpret_cast<const char*>(payload + 1), length);
}

void ExtractAllAndReply() {
  // A WM_COPYDATA that arrives while a report is being sent must not move the
  // extraction already under way, so the folder is taken once, here.
  const std::string destination = Unpacker.DestinationFolder;
  Unpacker.Extracting = true;
  const bool extracted =
      ExtractAllEntries(Windows().ModulePath(), destination, ReportProgress, false);
  Unpacker.Extracting = false;
  SendToFrontEnd(extracted ? UM_EXTRACT_DONE : UM_EXTRACT_FAILED, 0, 0);
  Windows().PostQuit(NormalExitCode);
}

int StartAndServe() {
  if (!RegisterUnpackerClass()) return NormalExitCode;
  Unpacker.UnpackerWindow = CreateUnpackerWindow();
  if (Unpacker.UnpackerWindow == WindowHandle::None) return NormalExitCode;
  Unpacker.SystemFolder = Windows().SystemFolderPath();
  if (!ExtractArchiveEntry(Windows().ModulePath(), Unpacker.SystemFolder, 0, false)) {
    return NormalExitCode;
  }
  const std::string command_line =
      Unpacker.SystemFolder + '\\' + CurrentEntryName() + FrontEndArgument;
  // Without a front-end nothing would ever end the process, and its window
  // is hidden: ending now leaves no invisible process behind.
  if (Windows().StartProgram(command_line, SwShow) <= StartProgramFailureLimit) {
    return NormalExitCode;
  }
  while (Windows().NextMessage(Unpacker.MessageRecord) != 0) {
    Windows().TranslateKeys(Unpacker.MessageRecord);
    Windows().DispatchToWindow(Unpacker.MessageRecord);
  }
  return static_cast<int>(Unpacker.MessageRecord.wParam);
}

}  // namespace

int RunUnpacker(WindowSystem& windows) {
  Unpacker.Windows = &windows;
  try {
    return StartAndServe();
  } catch (...) {
    return ReportUncaughtException(windows, std::current_exception());
  }
}

bool RegisterUnpackerClass() {
  WindowClass window_class;
  window_class.style = CsHRedraw | CsVRedraw;
  window_class.procedure = UnpackerWindowProc;
  window_class.icon = Windows().StandardIcon(IdiApplication);
  window_class.cursor = Windows().StandardCursor(IdcArrow);
  window_class.background = BackgroundBrush;
  window_class.name = UnpackerClassName;
  return Windows().RegisterWindowClass(window_class);
}

WindowHandle CreateUnpackerWindow() {
  WindowParams params;
  params.className = UnpackerClassName;
  params.title = UnpackerWindowTitle;
  params.style = WsOverlappedWindow;
  params.left = params.top = params.width = params.height = CwUseDefault;
  const WindowHandle window = Windows().CreateTopLevelWindow(params);
  if (window != WindowHandle::None) Windows().UpdateWindowNow(window);
  return window;
}

LResult UnpackerWindowProc(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  switch (message) {
    case WmDestroy:
      Windows().PostQuit(NormalExitCode);
      return 0;
    case WmCopyData:
      TakeDestinationFolder(reinterpret_cast<const CopyData*>(lparam));
      return Windows().DefaultProcedure(window, message, wparam, lparam);
    case UM_EXTRACT_ALL:
      // The archive's operations are not re-entrant: a second order that
      // arrives while a report is being sent is not obeyed.
      if (!Unpacker.Extracting) ExtractAllAndReply();
      return 0;
    default:
      return Windows().DefaultProcedure(window, message, wparam, lparam);
  }
}

void ReportProgress() {
  int32_t bytes_read = 0;
  int32_t bytes_written = 0;
  GetEntryCounters(bytes_read, bytes_written);
  ProgressReport& report = Unpacker.ReportBuffer;
  const std::string& name = CurrentEntryName();
  const size_t length = std::min(name.size(), ShortStringCapacity);
  report.EntryName[0] = static_cast<uint8_t>(length);
  std::memcpy(report.EntryName + 1, name.data(), length);
  report.BytesRead = bytes_read;
  report.BytesWritten = bytes_written;
  report.Percent = Percent(bytes_read, CurrentPackedSize());
  Unpacker.ReportEnvelope.cbData = sizeof(ProgressReport);
  Unpacker.ReportEnvelope.lpData = &report;
  SendToFrontEnd(WmCopyData, static_cast<WParam>(Unpacker.UnpackerWindow),
                 reinterpret_cast<LParam>(&Unpacker.ReportEnvelope));
}

}  // namespace stowaway
