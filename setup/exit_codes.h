// How an installer run ends, as deployment tools see it. The unpacker ends
// with these: 0 and 2 from the extraction and this program's reply to its
// end, the others sent as WM_CLOSE's wParam before anything is extracted.
#pragma once

namespace stowaway {

enum SetupExitCode : int {
  Installed = 0,
  StartFailed = 1,         // the unpacker could not start this program
  Incomplete = 2,          // a file could not be extracted or put in place
  Cancelled = 5,           // by the user, or the licence was declined
  BadCommandLine = 6,      // an unknown switch, or /?
  FolderNotMade = 7,       // the installation folder cannot be made
  NotEnoughSpace = 8,
};

}  // namespace stowaway
