#include "setup/texts.h"

#include <cstdio>

#include "setup/exit_codes.h"

namespace stowaway::text {

std::string Size(int64_t bytes) {
  char text[32];
  const double value = static_cast<double>(bytes);
  if (bytes < 1024) {
    std::snprintf(text, sizeof text, "%lld bytes", static_cast<long long>(bytes));
  } else if (bytes < 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f KB", value / 1024);
  } else if (bytes < int64_t{1024} * 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f MB", value / (1024 * 1024));
  } else {
    std::snprintf(text, sizeof text, "%.2f GB", value / (1024.0 * 1024 * 1024));
  }
  return text;
}

std::string WelcomeText(const std::string& product, const std::string& version,
                        const std::string& publisher, int64_t size) {
  std::string text = "This will install " + product;
  if (!version.empty()) text += " version " + version;
  if (!publisher.empty()) text += " from " + publisher;
  text += " on your computer.\n\nIt needs " + Size(size) + " of disk space.\n\n"
          "Click Next to continue, or Cancel to leave Setup.";
  return text;
}

std::string SpaceText(int64_t needed) { return "Space needed: " + Size(needed) + "."; }

std::string NotEnoughSpace(const std::string& folder, int64_t needed, int64_t free) {
  return "There is not enough space for " + folder + ": " + Size(needed) + " are needed and " +
         Size(free) + " are free. Free some space, or choose another drive.";
}

std::string FailureText(const std::string& product, const std::string& file, bool extracted,
                        int code) {
  std::string text = product + " could not be installed completely: ";
  text += extracted ? file + " could not be put in place. The files before it are installed; "
                      "the others are not."
                    : file + " could not be extracted from the installer. Nothing was installed.";
  return text + "\n\nSetup ends with exit code " + std::to_string(code) +
         ". Run it again, or download the installer again if it keeps failing.";
}

const char* Outcome(int code) {
  switch (code) {
    case stowaway::Installed: return "installed";
    case stowaway::Incomplete: return "incomplete";
    case stowaway::Cancelled: return "cancelled";
    case stowaway::BadCommandLine: return "bad command line";
    case stowaway::FolderNotMade: return "the folder cannot be made";
    case stowaway::NotEnoughSpace: return "not enough space";
    default: return "failed";
  }
}

}  // namespace stowaway::text
