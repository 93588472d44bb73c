#include "app/unpacker.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "app/arguments.h"
#include "app/failure_report.h"
#include "app/percent.h"
#include "archive/packerunit.h"
#include "compression/bytes.h"
#include "platform/file.h"
#include "platform/host.h"
#include "platform/stream.h"

namespace stowaway {

UnpackerState Unpacker;

namespace {

constexpr uintptr_t BackgroundBrush = 5;
// Fresh names tried for the front-end's own folder before giving up.
constexpr int PrivateFolderAttempts = 16;

WindowSystem& Windows() { return *Unpacker.Windows; }

// The front-end may replace its window at any time, so it is looked up anew
// for every message; a message to no window is lost without harm.
LResult SendToFrontEnd(uint32_t message, WParam wparam, LParam lparam) {
  return Windows().Send(Windows().FindWindowByTitle(FrontEndWindowTitle), message, wparam, lparam);
}

// A payload shorter than the length it announces, or none at all, would be
// read past its end: such a message leaves the folder as it was.
void TakeDestinationFolder(const CopyData* data) {
  if (data == nullptr || data->lpData == nullptr || data->cbData < 1) return;
  const auto* payload = static_cast<const uint8_t*>(data->lpData);
  const uint8_t length = payload[0];
  if (data->cbData < 1u + length) return;
  Unpacker.DestinationFolder.assign(reinterpret_cast<const char*>(payload + 1), length);
  Unpacker.FolderReceived = true;
}

void EndRun(int32_t exit_code) {
  Unpacker.State = RunState::Ended;
  Windows().StopTimer(Unpacker.UnpackerWindow, WatchTimer);
  Windows().PostQuit(exit_code);
}

void ExtractAllAndReply() {
  Unpacker.State = RunState::Extracting;
  Windows().StopTimer(Unpacker.UnpackerWindow, WatchTimer);
  bool extracted = false;
  try {
    // A WM_COPYDATA that arrives while a report is being sent must not move
    // the extraction already under way, so the folder is taken once, here.
    const std::string destination = Unpacker.DestinationFolder;
    // Without a folder that the front-end meant, the files would land in the
    // root of the current drive: the order fails instead, with nothing
    // written.
    extracted = Unpacker.FolderReceived &&
                ExtractAllEntries(Unpacker.InstallerPath, destination, ReportProgress, false);
  } catch (...) {
    // The extraction catches its own failures; what is left (no memory for
    // the folder's copy) fails the order all the same.
  }
  extracted = extracted && !Unpacker.ExtractionSpoiled;
  Unpacker.State = RunState::Ended;
  if (extracted) {
    // A front-end that does more work when the files are in place reports
    // its failure by its reply.
    EndRun(static_cast<int32_t>(SendToFrontEnd(UM_EXTRACT_DONE, 0, 0)));
  } else {
    SendToFrontEnd(UM_EXTRACT_FAILED, 0, 0);
    EndRun(ExitExtractionFailed);
  }
}

// The front-end is gone once its process has ended and no window of its
// title has been seen for the grace period.
void WatchFrontEnd() {
  const uint32_t now = Windows().Milliseconds();
  if (Windows().StartedProgramRunning() ||
      Windows().FindWindowByTitle(FrontEndWindowTitle) != WindowHandle::None) {
    Unpacker.QuietSince = now;
  } else if (now - Unpacker.QuietSince >= FrontEndGracePeriod) {
    EndRun(ExitFrontEndVanished);
  }
}

LResult HandleMessage(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  switch (message) {
    case WmDestroy:
      // Once an order was taken, the extraction's end decides the exit code.
      if (Unpacker.State == RunState::Waiting) EndRun(Unpacker.CloseExitCode);
      return 0;
    case WmClose:
      if (Unpacker.State == RunState::Waiting) {
        Unpacker.CloseExitCode = static_cast<int32_t>(wparam);
      }
      return Windows().DefaultProcedure(window, message, wparam, lparam);
    case WmCopyData:
      TakeDestinationFolder(reinterpret_cast<const CopyData*>(lparam));
      return Windows().DefaultProcedure(window, message, wparam, lparam);
    case WmTimer:
      if (wparam != WatchTimer) return Windows().DefaultProcedure(window, message, wparam, lparam);
      if (Unpacker.State == RunState::Waiting) WatchFrontEnd();
      return 0;
    case UM_EXTRACT_ALL:
      // One extraction per run: an order that arrives during it (while a
      // report is being sent) or after it (posted twice) is not obeyed.
      if (Unpacker.State == RunState::Waiting) ExtractAllAndReply();
      return 0;
    default:
      return Windows().DefaultProcedure(window, message, wparam, lparam);
  }
}

void ExtractFrontEndInto(const std::string& folder) {
  if (!ExtractArchiveEntry(Unpacker.InstallerPath, folder, 0, false)) {
    throw EUnpackerError("The installer's archive cannot be read: " + Unpacker.InstallerPath +
                         "; download the installer again");
  }
  Unpacker.FrontEndPath = folder + '\\' + CurrentEntryName();
}

// Made here and now under a name nobody could have guessed: the platform
// refuses to make a folder where anything, a link included, is in the way,
// so nothing another program prepared is ever used.
std::string CreatePrivateFolder() {
  const std::string temporary = Windows().TemporaryFolderPath();
  for (int attempt = 0; !temporary.empty() && attempt < PrivateFolderAttempts; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "\\stowaway-%016llx",
                  static_cast<unsigned long long>(RandomNumber()));
    const std::string folder = temporary + name;
    if (Files().CreateFolder(HostPathFromArchive(folder))) return folder;
  }
  throw EUnpackerError("The installer cannot make a folder for its front-end in the temporary "
                       "folder " + temporary);
}

// Into the system folder, where it has always gone; where that cannot be
// written (a standard user, a policy), into a folder of this run's own.
void WriteFrontEnd() {
  try {
    ExtractFrontEndInto(Unpacker.SystemFolder);
    return;
  } catch (const EFCreateError&) {
  }
  ExtractFrontEndInto(CreatePrivateFolder());
}

// An "MZ" header that leads to a "PE" one: anything else, the platform would
// start as something else or not at all.
bool IsWindowsProgram(const std::string& path) {
  constexpr int32_t HeaderOffsetField = 0x3C;
  uint8_t start[HeaderOffsetField + 4] = {};
  uint8_t signature[4] = {};
  // Built with the separators of the installer's own system.
  TFileStream file(HostPathFromArchive(path), TFileStream::Mode::OpenRead);
  if (file.Read(start, sizeof start) != static_cast<int32_t>(sizeof start) || start[0] != 'M' ||
      start[1] != 'Z') {
    return false;
  }
  const uint32_t header = LoadLE32(start + HeaderOffsetField);
  return file.Seek(header, SeekOrigin::Begin) == static_cast<int64_t>(header) &&
         file.Read(signature, sizeof signature) == static_cast<int32_t>(sizeof signature) &&
         std::memcmp(signature, "PE\0\0", sizeof signature) == 0;
}

// The program's path is handed to the platform on its own, so whatever the
// command line says cannot select another program; the path is quoted where
// a blank would split it for the front-end itself.
void StartFrontEnd() {
  const std::string& program = Unpacker.FrontEndPath;
  if (!IsWindowsProgram(program)) {
    throw EFrontEndStartError("The installer's front-end is not a Windows program: " + program);
  }
  const bool blank = program.find_first_of(" \t") != std::string::npos;
  const std::string command_line = (blank ? '"' + program + '"' : program) + FrontEndArgument;
  const std::map<std::string, std::string> environment = {
      {InstallerVariable, Unpacker.InstallerPath},
      {ArgumentsVariable, ArgumentsOf(Windows().CommandLine())}};
  if (!Windows().StartProgram(program, command_line, environment, SwShow)) {
    throw EFrontEndStartError("The installer's front-end cannot be started: " + program);
  }
  Unpacker.QuietSince = Windows().Milliseconds();
  Windows().StartTimer(Unpacker.UnpackerWindow, WatchTimer, WatchInterval);
}

std::string CheckedInstallerPath() {
  const std::string path = Windows().ModulePath();
  if (path.empty()) throw EUnpackerError("The installer cannot find its own file");
  if (path.size() > LongestPath) {
    throw EUnpackerError("The installer's path is " + std::to_string(path.size()) +
                         " characters long, and it can read its archive only from a path of at "
                         "most 259: " + path + "; move it to a shorter path");
  }
  return path;
}

int StartAndServe() {
  if (!RegisterUnpackerClass()) throw EUnpackerError("The installer cannot register its window");
  Unpacker.UnpackerWindow = CreateUnpackerWindow();
  if (Unpacker.UnpackerWindow == WindowHandle::None) {
    throw EUnpackerError("The installer cannot create its window");
  }
  Unpacker.SystemFolder = Windows().SystemFolderPath();
  Unpacker.InstallerPath = CheckedInstallerPath();
  WriteFrontEnd();
  StartFrontEnd();
  while (Windows().NextMessage(Unpacker.MessageRecord) != 0) {
    Windows().TranslateKeys(Unpacker.MessageRecord);
    Windows().DispatchToWindow(Unpacker.MessageRecord);
  }
  if (Unpacker.Failure) std::rethrow_exception(Unpacker.Failure);
  return static_cast<int>(Unpacker.MessageRecord.wParam);
}

}  // namespace

int RunUnpacker(WindowSystem& windows) {
  Unpacker.Windows = &windows;
  try {
    Unpacker.Silent = HasSilentSwitch(ArgumentsOf(windows.CommandLine()));
    return StartAndServe();
  } catch (...) {
    return ReportUncaughtException(windows, std::current_exception(), !Unpacker.Silent);
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
  try {
    return HandleMessage(window, message, wparam, lparam);
  } catch (...) {
    if (Unpacker.State == RunState::Extracting) {
      // Inside one of the extraction's sends: the extraction ends as failed.
      Unpacker.ExtractionSpoiled = true;
    } else {
      if (!Unpacker.Failure) Unpacker.Failure = std::current_exception();
      EndRun(ExitStartFailed);
    }
    return 0;
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
