// Every text the setup program shows or logs, in one place.
#pragma once

#include <cstdint>
#include <string>

namespace stowaway::text {

inline constexpr char UnknownProduct[] = "Setup";
inline constexpr char NoSettings[] =
    "This setup program carries no installer settings. It is put into installers by "
    "'stowaway pack'; run the installer instead.";
inline constexpr char NotStartedByInstaller[] =
    "This setup program was not started by an installer. Run the installer instead.";
inline constexpr char Damaged[] =
    "The installer is damaged: its list of files cannot be read. Please download it again.";
inline constexpr char FirstFile[] = "the first file";

inline std::string Title(const std::string& product) { return product + " Setup"; }

// Buttons, with the letter Alt presses marked by '&'.
inline constexpr char Back[] = "< &Back";
inline constexpr char Next[] = "&Next >";
inline constexpr char Install[] = "&Install";
inline constexpr char Finish[] = "&Finish";
inline constexpr char Close[] = "&Close";
inline constexpr char Cancel[] = "Cancel";
inline constexpr char Browse[] = "B&rowse...";
inline constexpr char Accept[] = "I &accept the terms of the licence agreement";

inline std::string WelcomeHeading(const std::string& product) { return "Welcome to " + product + " Setup"; }
std::string WelcomeText(const std::string& product, const std::string& version,
                        const std::string& publisher, int64_t size);
inline constexpr char LicenceHeading[] = "Licence agreement";
inline constexpr char LicenceText[] =
    "Please read the licence agreement. You must accept it to install.";
inline constexpr char FolderHeading[] = "Installation folder";
inline std::string FolderText(const std::string& product) {
  return "Setup will install " + product + " into this folder. To choose another, type it or "
         "click Browse.";
}
inline constexpr char FolderLabel[] = "&Folder:";
inline constexpr char ChooseFolder[] = "Choose the folder to install into:";
std::string SpaceText(int64_t needed);
inline constexpr char ProgressHeading[] = "Installing";
inline std::string ProgressText(const std::string& product) {
  return "Please wait while " + product + " is installed.";
}
inline constexpr char Preparing[] = "Preparing...";
inline std::string Writing(const std::string& file) { return "Writing " + file; }
inline constexpr char FinishHeading[] = "Installation complete";
inline std::string FinishText(const std::string& product, const std::string& folder) {
  return product + " has been installed in " + folder + ".";
}
inline std::string RunLabel(const std::string& product) { return "&Start " + product + " now"; }
inline constexpr char FailureHeading[] = "Installation incomplete";
// extracted: every file came out of the installer, and file could not be
// moved into place.
std::string FailureText(const std::string& product, const std::string& file, bool extracted,
                        int code);

inline std::string FolderIsFile(const std::string& folder) {
  return "\"" + folder + "\" is a file, not a folder. Choose another folder.";
}
inline std::string FolderNotMade(const std::string& folder, const std::string& why) {
  return "The folder \"" + folder + "\" cannot be made: " + why + " Choose another folder.";
}
std::string NotEnoughSpace(const std::string& folder, int64_t needed, int64_t free);
inline constexpr char FolderNotRepresentable[] =
    "This folder name holds characters that the installer cannot use. Choose another folder.";
inline std::string UsageText(const std::string& switches) {
  return "Switches this installer understands:\n\n" + switches;
}
inline std::string UnknownSwitch(const std::string& word, const std::string& switches) {
  return "Unknown switch: " + word + "\n\n" + UsageText(switches);
}
inline std::string RunFailed(const std::string& program) { return "Cannot start " + program + "."; }
const char* Outcome(int code);
std::string Size(int64_t bytes);

}  // namespace stowaway::text
