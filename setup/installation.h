// One installation, with or without a window: the settings read from this
// program's own file, the switches and the archive directory handed over by
// the unpacker, the folder made ready, the extraction ordered, and the files
// moved from the staging folder to their places.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/protocol.h"
#include "platform/window.h"
#include "setup/early_mover.h"
#include "setup/exit_codes.h"
#include "setup/placement.h"
#include "setup/settings.h"
#include "setup/switches.h"

namespace stowaway {

// A plain-text log, one line per event; writes nothing without a file.
class SetupLog {
 public:
  void Open(const std::string& path);
  void Write(const std::string& line);

 private:
  // C's streams rather than C++'s: those would bring their locales into the
  // program, most of its size.
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
};

class Installation {
 public:
  // What the user sees of a run; every callback runs on the program's
  // thread.
  struct Observer {
    std::function<void()> Progress;                 // Percent() or CurrentFile() changed
    std::function<void(int code)> Finished;         // the unpacker has been told the outcome
  };

  // Reads everything the run needs; Problem() says what is missing.
  Installation();

  const std::string& Problem() const { return problem_; }
  // A copy made by pack and started by an installer: not the build's own.
  bool StartedByInstaller() const { return started_by_installer_; }
  const SetupSettings& Settings() const { return settings_; }
  const SetupSwitches& Switches() const { return switches_; }
  SetupLog& Log() { return log_; }

  // The folder to offer: the switch's, or the default one.
  std::string SuggestedFolder() const;

  // Checks folder and makes it with its parents and the staging folder in
  // it: Installed, or the code to end with, and FolderMessage() says why.
  int PrepareFolder(const std::string& folder);
  const std::string& FolderMessage() const { return folder_message_; }

  // Orders the extraction into the prepared folder, the reports to go to
  // mailbox (the window titled "fSplashScreen"); observer hears of them.
  void Start(WindowHandle mailbox, Observer observer);
  // Ends the unpacker before anything was extracted, with code.
  void Close(int code);

  // The protocol window's messages.
  std::optional<LResult> OnMessage(uint32_t message, WParam wparam, LParam lparam);

  // Of the whole installation, in thousandths.
  int Progress() const;
  const std::string& CurrentFile() const { return current_target_; }
  const std::string& Folder() const { return folder_; }
  // The file that failed, after a failure.
  const std::string& FailedFile() const { return failed_; }
  // Whether every file came out of the installer (a failure was then in
  // moving one into place).
  bool Extracted() const { return extracted_; }

 private:
  void Report(const ProgressReport& report);
  void PlaceEarly(size_t index);
  void FinishEarly();
  void TakeBackEarly();
  // One line of the log for each file in its place.
  void LogPlaced(const Placement& place);
  void LogEnd(int code);
  int PlaceFiles();
  std::string FirstMissing() const;
  // Deletes the staged files from the place with index first on, and the
  // staging folder once it is empty.
  void DiscardStaging(size_t first = 0);
  void RemoveMadeFolders();
  std::string Staged(const std::string& name) const;
  std::string Target(const std::string& path) const;

  std::string problem_;
  SetupSettings settings_;
  SetupSwitches switches_;
  InstallPlan plan_;
  int64_t front_end_size_ = 0;
  bool started_by_installer_ = false;  // the copy of this program extracted with the files
  SetupLog log_;
  Observer observer_;

  std::string folder_;
  std::string staging_;
  std::string folder_message_;
  std::vector<std::string> made_;  // folders this run made, outermost first
  // The places whose files went to their place during the extraction, and
  // the folders made for them, outermost first: the mover's until it has
  // finished.
  std::vector<bool> early_;
  std::vector<std::string> early_folders_;
  std::string early_ready_;  // the folder made or found for the last of them

  std::string current_;         // the entry in progress, as the unpacker names it
  std::optional<size_t> current_place_;  // its place; none for the setup program's copy
  std::string current_target_;  // where it goes
  int64_t done_ = 0;            // bytes of the entries before it
  int64_t written_ = 0;         // bytes of it so far
  std::string failed_;
  bool extracted_ = false;
  // Last, so that its thread has ended before anything it uses goes.
  std::unique_ptr<EarlyMover> mover_;
};

}  // namespace stowaway
