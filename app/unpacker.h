// The unpacker process: its start-up, its hidden window and its side of the
// front-end protocol (app/protocol.h).
//
// At start it registers its window class, creates the hidden window, extracts
// archive entry 0 of its own executable into the system folder (or, where
// that cannot be written, into a new folder of its own under the temporary
// folder) and starts it as the front-end. Then it serves the front-end's
// messages: WM_COPYDATA names the destination folder, UM_EXTRACT_ALL
// extracts every entry there with a ProgressReport at every progress point,
// replies UM_EXTRACT_DONE or UM_EXTRACT_FAILED and ends the process. It
// watches the front-end's process meanwhile, so that a front-end that ends
// without a word does not leave it waiting for ever.
#pragma once

#include <exception>
#include <string>

#include "app/protocol.h"
#include "platform/window.h"

namespace stowaway {

// Where the run stands: an order is obeyed only while it waits for one.
enum class RunState { Waiting, Extracting, Ended };

// The timer that watches the front-end, how often it looks, and how long
// the front-end may be gone (its process ended and no window of its title)
// before the unpacker gives up on it: long enough for a front-end to hand
// over to a process of its own.
inline constexpr uintptr_t WatchTimer = 1;
inline constexpr uint32_t WatchInterval = 250;
inline constexpr uint32_t FrontEndGracePeriod = 5000;

// The process-wide state. Everything runs on the one thread that runs
// RunUnpacker.
struct UnpackerState {
  WindowSystem* Windows = nullptr;  // the window layer in use; not owned
  WindowHandle UnpackerWindow = WindowHandle::None;
  std::string InstallerPath;  // the own executable, taken once at start
  std::string SystemFolder;
  std::string FrontEndPath;  // where entry 0 was written and started from
  std::string DestinationFolder;  // the folder last received from the front-end
  bool FolderReceived = false;    // a well-formed folder payload arrived
  ProgressReport ReportBuffer{};
  CopyData ReportEnvelope{};  // points at ReportBuffer once a report was made
  Message MessageRecord{};
  bool Silent = false;  // started with a silent switch: no message box
  RunState State = RunState::Waiting;
  bool ExtractionSpoiled = false;  // a failure inside the extraction's sends
  int32_t CloseExitCode = ExitSucceeded;  // WM_CLOSE's wParam, before an order
  uint32_t QuietSince = 0;  // when the front-end's process or window was last seen
  std::exception_ptr Failure;  // caught in the window procedure, reported at the end
};

extern UnpackerState Unpacker;

// The program entry: runs the unpacker on the given window layer and returns
// the process's exit code (the Exit... codes of app/protocol.h). A failure
// before the front-end runs is shown in the failure report
// (app/failure_report.h), unless a silent switch was given.
int RunUnpacker(WindowSystem& windows);

// Registers the class UnpackerClassName with UnpackerWindowProc.
bool RegisterUnpackerClass();
// Creates the hidden window UnpackerWindowTitle and updates it once; None on
// failure.
WindowHandle CreateUnpackerWindow();
// Lets no exception out: one caught during the extraction fails it, one
// caught at another time ends the loop and is reported once it has ended.
LResult UnpackerWindowProc(WindowHandle window, uint32_t message, WParam wparam, LParam lparam);
// The progress hook of the extraction: sends one ProgressReport about the
// entry in progress to the front-end.
void ReportProgress();

}  // namespace stowaway
