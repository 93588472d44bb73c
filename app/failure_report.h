// The process's report of a failure that ends it before the front-end runs:
// a task-modal error box (unless the installer was started with a silent
// switch), after which the process ends with exit code 1, or 3 when it is
// the front-end that could not be started.
#pragma once

#include <exception>
#include <string>

#include "platform/exception.h"
#include "platform/window.h"

namespace stowaway {

inline constexpr char FailureReportCaption[] = "Application Error";
inline constexpr uint32_t FailureReportFlags = MbIconError | MbTaskModal;

// The unpacker's own failures at start-up.
STOWAWAY_EXCEPTION_CLASS(EUnpackerError, Exception);
// Entry 0 is no program, or the platform would not start it.
STOWAWAY_EXCEPTION_CLASS(EFrontEndStartError, EUnpackerError);

// "Exception <class> in module <module> at <address>.\n<message>", with a
// full stop after a message that lacks one. The address is written as
// upper-case hex digits, two per byte of a pointer.
std::string FailureReportText(const std::string& class_name, const std::string& module,
                              const void* address, const std::string& message);

// Shows the report for an exception on its way out of the program entry,
// unless show_box is false, and gives the exit code to end with.
int ReportUncaughtException(WindowSystem& windows, std::exception_ptr failure, bool show_box);

}  // namespace stowaway
