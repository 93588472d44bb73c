// The installer's command line, as deployment tools and people type it:
//   /S, /VERYSILENT   no window at all
//   /SILENT           no questions: the progress window only
//   /D=folder         the folder; the last argument, taken as it stands
//                     (spaces and all, no quotes needed; a program that
//                     quotes the whole argument is understood too)
//   /DIR="folder"     the folder, quoted where it holds spaces
//   /LOG="file"       a plain-text log of the run
//   /?                the list of switches
// Switches are matched without regard to case. The folder is not looked at
// here; FolderProblem says whether it can be used.
#pragma once

#include <string>

namespace stowaway {

enum class Quietness { Normal, Silent, VerySilent };

struct SetupSwitches {
  Quietness Quiet = Quietness::Normal;
  bool FolderGiven = false;
  std::string Folder;    // normalised (see NormaliseFolder)
  std::string LogFile;   // empty: no log
  bool Usage = false;    // /? was given
  std::string Unknown;   // the first argument not understood; empty if none
};

SetupSwitches ParseSwitches(const std::string& arguments);

// The list of switches, for the usage message.
std::string SwitchUsage();

// folder with its surrounding quotes and spaces, and trailing separators,
// taken off, and '/' read as '\'.
std::string NormaliseFolder(std::string folder);

// The folder inside the installation folder that the unpacker extracts
// into, before each file is moved to its place: on the same volume, so that
// a move never copies.
inline constexpr char StagingFolderName[] = "~stowaway-staging";
// Paths for the system's older calls stay below this many characters.
inline constexpr size_t PathLimit = 260;
// The destination folder payload holds this many characters.
inline constexpr size_t FolderPayloadLimit = 255;

// Why folder (normalised) cannot be the installation folder, in words for
// the user; empty when it can. longest is the length of the longest path
// the installer writes below it.
std::string FolderProblem(const std::string& folder, size_t longest);

}  // namespace stowaway
