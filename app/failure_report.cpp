#include "app/failure_report.h"

#include <exception>

#include "app/protocol.h"
#include "platform/exception.h"
#include "platform/host.h"

namespace stowaway {
namespace {

// The program's file name, as the report names its module.
std::string ProgramFileName(const std::string& path) {
  size_t begin = path.size();
  while (begin > 0 && !EndsPathName(path[begin - 1])) --begin;
  return path.substr(begin);
}

}  // namespace

std::string FailureReportText(const std::string& class_name, const std::string& module,
                              const void* address, const std::string& message) {
  std::string hex(2 * sizeof(void*), '0');
  uintptr_t value = reinterpret_cast<uintptr_t>(address);
  for (auto digit = hex.rbegin(); digit != hex.rend(); ++digit, value >>= 4) {
    *digit = "0123456789ABCDEF"[value & 0xF];
  }
  const bool ends_with_full_stop = !message.empty() && message.back() == '.';
  return "Exception " + class_name + " in module " + module + " at " + hex + ".\n" + message +
         (ends_with_full_stop ? "" : ".");
}

int ReportUncaughtException(WindowSystem& windows, std::exception_ptr failure, bool show_box) {
  std::string class_name = "Exception";
  std::string message;
  const void* address = nullptr;
  int exit_code = ExitStartFailed;
  try {
    std::rethrow_exception(failure);
  } catch (const Exception& e) {
    class_name = e.ClassName();
    message = e.Message();
    address = e.Address();
    if (dynamic_cast<const EFrontEndStartError*>(&e) != nullptr) exit_code = ExitFrontEndNotStarted;
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
  }
  if (show_box) {
    windows.ShowMessageBox(
        FailureReportText(class_name, ProgramFileName(windows.ModulePath()), address, message),
        FailureReportCaption, FailureReportFlags);
  }
  return exit_code;
}

}  // namespace stowaway
