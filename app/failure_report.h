// The process's report of an exception that nothing caught: a task-modal
// error box, after which the process ends with exit code 1.
#pragma once

#include <exception>
#include <string>

#include "platform/window.h"

namespace stowaway {

inline constexpr char FailureReportCaption[] = "Application Error";
inline constexpr uint32_t FailureReportFlags = MbIconError | MbTaskModal;
inline constexpr int FailureExitCode = 1;

// "Exception <class> in module <module> at <address>.\n<message>", with a
// full stop after a message that lacks one. The address is written as
// upper-case hex digits, two per byte of a pointer.
std::string FailureReportText(const std::string& class_name, const std::string& module,
                              const void* address, const std::string& message);

// Shows the report for an exception on its way out of the program entry and
// gives the exit code to end with.
int ReportUncaughtException(WindowSystem& windows, std::exception_ptr failure);

}  // namespace stowaway
