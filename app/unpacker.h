// The unpacker process: its start-up, its hidden window and its side of the
// front-end protocol (app/protocol.h).
//
// At start it registers its window class, creates the hidden window, extracts
// archive entry 0 of its own executable into the system folder and starts it
// as the front-end. Then it serves the front-end's messages: WM_COPYDATA
// names the destination folder, UM_EXTRACT_ALL extracts every entry there
// with a ProgressReport at every progress point, replies UM_EXTRACT_DONE or
// UM_EXTRACT_FAILED and ends the process.
#pragma once

#include <string>

#include "app/protocol.h"
#include "platform/window.h"

namespace stowaway {

// The process-wide state. Everything runs on the one thread that runs
// RunUnpacker.
struct UnpackerState {
  WindowSystem* Windows = nullptr;  // the window layer in use; not owned
  WindowHandle UnpackerWindow = WindowHandle::None;
  std::string SystemFolder;
  std::string DestinationFolder;  // the folder last received from the front-end
  ProgressReport ReportBuffer{};
  CopyData ReportEnvelope{};  // points at ReportBuffer once a report was made
  Message MessageRecord{};
  bool Extracting = false;
};

extern UnpackerState Unpacker;

// The program entry: runs the unpacker on the given window layer and returns
// the process's exit code. 0 for every end but one: an exception that escapes
// start-up is shown in the failure report (app/failure_report.h) and gives 1.
int RunUnpacker(WindowSystem& windows);

// Registers the class UnpackerClassName with UnpackerWindowProc.
bool RegisterUnpackerClass();
// Creates the hidden window UnpackerWindowTitle and updates it once; None on
// failure.
WindowHandle CreateUnpackerWindow();
LResult UnpackerWindowProc(WindowHandle window, uint32_t message, WParam wparam, LParam lparam);
// The progress hook of the extraction: sends one ProgressReport about the
// entry in progress to the front-end.
void ReportProgress();

}  // namespace stowaway
