#include "setup/installation.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/protocol.h"
#include "archive/directory.h"
#include "platform/file.h"
#include "platform/folder.h"
#include "platform/form.h"
#include "platform/host.h"
#include "platform/places.h"
#include "platform/stream.h"
#include "setup/texts.h"

namespace stowaway {
namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string ParentOf(const std::string& path) {
  const size_t separator = path.find_last_of('\\');
  return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

bool IsRoot(const std::string& folder) {
  return (folder.size() == 2 && folder[1] == ':') || folder.empty();
}

// Makes folder and the parents it lacks; records those it made in made.
bool MakeFolders(const std::string& folder, std::vector<std::string>* made) {
  std::vector<std::string> missing;
  for (std::string at = folder; !IsRoot(at) && KindOfPath(at) == PathKind::Missing; at = ParentOf(at)) {
    missing.push_back(at);
  }
  for (auto at = missing.rbegin(); at != missing.rend(); ++at) {
    if (!Files().CreateFolder(*at) && KindOfPath(*at) != PathKind::Folder) return false;
    if (made != nullptr) made->push_back(*at);
  }
  return KindOfPath(folder) == PathKind::Folder;
}

// The nearest folder at or above folder that exists.
std::string ExistingAncestor(std::string folder) {
  while (!IsRoot(folder) && KindOfPath(folder) == PathKind::Missing) folder = ParentOf(folder);
  return IsRoot(folder) ? folder + "\\" : folder;
}

}  // namespace

void SetupLog::Open(const std::string& path) { file_.reset(std::fopen(path.c_str(), "w")); }

void SetupLog::Write(const std::string& line) {
  if (!file_) return;
  std::fputs(line.c_str(), file_.get());
  std::fputc('\n', file_.get());
  std::fflush(file_.get());
}

Installation::Installation() {
  switches_ = ParseSwitches(Environment("STOWAWAY_ARGS"));
  if (!switches_.LogFile.empty()) log_.Open(switches_.LogFile);
  try {
    TFileStream own(ExecutablePath(), TFileStream::Mode::OpenRead);
    front_end_size_ = std::max<int64_t>(own.Seek(0, SeekOrigin::End), 0);
    if (std::optional<SetupSettings> settings = ReadSettings(own)) settings_ = std::move(*settings);
  } catch (const Exception&) {
  }
  if (settings_.Name.empty()) {
    settings_.Name = text::UnknownProduct;
    problem_ = text::NoSettings;
    return;
  }
  const std::string installer = Environment("STOWAWAY_INSTALLER");
  // The unpacker's window exists before it starts this program.
  if (installer.empty() ||
      NativeWindowSystem().FindWindowByTitle(UnpackerWindowTitle) == WindowHandle::None) {
    problem_ = text::NotStartedByInstaller;
    return;
  }
  started_by_installer_ = true;
  std::optional<InstallPlan> plan;
  try {
    plan = PlanInstall(ReadDirectory(installer));
  } catch (const Exception&) {
  }
  if (!plan) {
    problem_ = text::Damaged;
    return;
  }
  plan_ = std::move(*plan);
  early_.assign(plan_.Places.size(), false);
}

std::string Installation::SuggestedFolder() const {
  if (switches_.FolderGiven) return switches_.Folder;
  const std::optional<std::string> folder = AnsiFromUtf8(settings_.DefaultFolder);
  if (!folder) return {};
  return NormaliseFolder(ExpandFolder(*folder, ProgramFilesFolder(), UserProgramsFolder()));
}

int Installation::PrepareFolder(const std::string& chosen) {
  const std::string folder = NormaliseFolder(chosen);
  const std::string shown = Utf8FromAnsi(folder);
  folder_message_ = FolderProblem(folder, plan_.Longest);
  if (!folder_message_.empty()) return FolderNotMade;
  if (KindOfPath(folder) == PathKind::File || KindOfPath(folder) == PathKind::Other) {
    folder_message_ = text::FolderIsFile(shown);
    return FolderNotMade;
  }
  const std::string existing = ExistingAncestor(folder);
  const std::optional<int64_t> free = FreeSpaceAt(existing);
  const int64_t needed = settings_.TotalSize + front_end_size_;
  if (free && *free < needed) {
    folder_message_ = text::NotEnoughSpace(shown, needed, *free);
    return NotEnoughSpace;
  }
  made_.clear();
  folder_ = folder;
  staging_ = folder + '\\' + StagingFolderName;
  if (!MakeFolders(folder, &made_) || !MakeFolders(staging_, &made_)) {
    folder_message_ = text::FolderNotMade(shown, LastErrorText());
    RemoveMadeFolders();
    return FolderNotMade;
  }
  return Installed;
}

void Installation::Start(WindowHandle mailbox, Observer observer) {
  observer_ = std::move(observer);
  mover_ = std::make_unique<EarlyMover>([this](size_t index) { PlaceEarly(index); });
  log_.Write("installing " + settings_.Name + (settings_.Version.empty() ? "" : " " + settings_.Version) +
             " into " + Utf8FromAnsi(folder_));
  WindowSystem& windows = NativeWindowSystem();
  const WindowHandle unpacker = windows.FindWindowByTitle(UnpackerWindowTitle);
  DestinationFolderPayload payload{};
  payload.Length = static_cast<uint8_t>(staging_.size());
  std::memcpy(payload.Path, staging_.data(), payload.Length);
  CopyData data;
  data.cbData = 1u + payload.Length;
  data.lpData = &payload;
  windows.Send(unpacker, WmCopyData, static_cast<WParam>(mailbox), reinterpret_cast<LParam>(&data));
  // Posted: the extraction then runs while this program's own messages,
  // the reports among them, keep flowing.
  PostToWindow(unpacker, UM_EXTRACT_ALL, 0, 0);
}

void Installation::Close(int code) {
  WindowSystem& windows = NativeWindowSystem();
  windows.Send(windows.FindWindowByTitle(UnpackerWindowTitle), WmClose, static_cast<WParam>(code), 0);
  LogEnd(code);
}

void Installation::LogPlaced(const Placement& place) { log_.Write("file " + Utf8FromAnsi(place.Target)); }

void Installation::LogEnd(int code) {
  std::string outcome = "outcome: ";
  outcome += text::Outcome(code);
  log_.Write(outcome);
  log_.Write("exit code " + std::to_string(code));
}

std::optional<LResult> Installation::OnMessage(uint32_t message, WParam, LParam lparam) {
  switch (message) {
    case WmCopyData: {
      const auto* data = reinterpret_cast<const CopyData*>(lparam);
      if (data == nullptr || data->cbData != sizeof(ProgressReport) || data->lpData == nullptr) return 1;
      ProgressReport report;
      std::memcpy(&report, data->lpData, sizeof report);
      // The unpacker waits for every report: let it extract on while this
      // program takes the report in and brings its window up to date.
      ReleaseSender(1);
      Report(report);
      return 1;
    }
    case UM_EXTRACT_DONE: {
      FinishEarly();
      const int code = PlaceFiles();
      LogEnd(code);
      if (observer_.Finished) observer_.Finished(code);
      return code;
    }
    case UM_EXTRACT_FAILED:
      FinishEarly();
      failed_ = FirstMissing();
      log_.Write("failed " + failed_ + ": it could not be extracted (the installer is damaged or "
                 "the disk refused it)");
      TakeBackEarly();
      DiscardStaging();
      RemoveMadeFolders();
      LogEnd(Incomplete);
      if (observer_.Finished) observer_.Finished(Incomplete);
      return 0;
    default: return std::nullopt;
  }
}

void Installation::Report(const ProgressReport& report) {
  const std::string name(reinterpret_cast<const char*>(report.EntryName + 1), report.EntryName[0]);
  if (name != current_) {
    if (mover_ && current_place_) mover_->Add(*current_place_);
    done_ += written_;
    written_ = 0;
    current_ = name;
    current_place_.reset();
    current_target_.clear();
    // The setup program's own copy comes first; it is no file of the product.
    if (name != plan_.FrontEnd) {
      current_place_ = PlaceOf(plan_, name);
      current_target_ = Utf8FromAnsi(current_place_ ? plan_.Places[*current_place_].Target : name);
    }
  }
  written_ = std::max<int64_t>(report.BytesWritten, 0);
  if (observer_.Progress) observer_.Progress();
}

// The unpacker extracts in archive order and goes on to the next entry only
// once an entry is whole, so a report about a new entry completes the one
// before. Its file goes to its place now, on the mover's thread while the
// next ones come out, where that replaces nothing: taking it back after a
// failed extraction then leaves the folder as it was. The others wait for
// the extraction's end.
void Installation::PlaceEarly(size_t index) {
  const Placement& place = plan_.Places[index];
  const std::string target = Target(place.Target);
  const std::string needed = ParentOf(target);
  if (needed != early_ready_ && !MakeFolders(needed, &early_folders_)) return;
  early_ready_ = needed;
  early_[index] = MoveToFreePath(Staged(place.Staged), target);
}

void Installation::FinishEarly() {
  if (mover_) mover_->Finish();
}

void Installation::TakeBackEarly() {
  for (size_t i = 0; i < plan_.Places.size(); ++i) {
    if (early_[i]) Files().Delete(Target(plan_.Places[i].Target));
  }
  for (auto at = early_folders_.rbegin(); at != early_folders_.rend(); ++at) RemoveEmptyFolder(*at);
  early_folders_.clear();
}

int Installation::Progress() const {
  const int64_t total = settings_.TotalSize + front_end_size_;
  if (total <= 0) return 1000;
  return static_cast<int>(std::min<int64_t>(1000, (done_ + written_) * 1000 / total));
}

// The unpacker extracts in archive order and removes the file of the entry
// that fails, so that entry is the first whose file is neither in the
// staging folder nor already in its place (its reports may not have begun).
std::string Installation::FirstMissing() const {
  if (KindOfPath(Staged(plan_.FrontEnd)) != PathKind::File) return Utf8FromAnsi(plan_.FrontEnd);
  for (size_t i = 0; i < plan_.Places.size(); ++i) {
    const Placement& place = plan_.Places[i];
    if (!place.Staged.empty() && !early_[i] && KindOfPath(Staged(place.Staged)) != PathKind::File) {
      return Utf8FromAnsi(place.Target);
    }
  }
  return current_target_.empty() ? std::string(text::FirstFile) : current_target_;
}

std::string Installation::Staged(const std::string& name) const { return staging_ + '\\' + name; }
std::string Installation::Target(const std::string& path) const { return folder_ + '\\' + path; }

int Installation::PlaceFiles() {
  extracted_ = true;
  int code = Installed;
  // The folder made or found for the last place: the files of a folder come
  // one after another, and under Wine each look at a folder is several calls
  // to its server.
  std::string ready;
  size_t at = 0;
  for (; at < plan_.Places.size(); ++at) {
    const Placement& place = plan_.Places[at];
    if (early_[at]) {
      LogPlaced(place);
      continue;
    }
    const std::string target = Target(place.Target);
    const bool folder = place.Staged.empty();
    const std::string needed = folder ? target : ParentOf(target);
    const bool placed = (needed == ready || MakeFolders(needed, nullptr)) &&
                        (folder || MoveReplacing(Staged(place.Staged), target));
    if (!placed) {
      failed_ = Utf8FromAnsi(place.Target);
      log_.Write("failed " + failed_ + ": " + LastErrorText());
      code = Incomplete;
      break;
    }
    ready = needed;
    if (!folder) LogPlaced(place);
  }
  // Those placed during the extraction stay, as do those before the failure.
  for (size_t i = at; i < plan_.Places.size(); ++i) {
    if (early_[i]) LogPlaced(plan_.Places[i]);
  }
  // The files placed are gone from the staging folder; under Wine each
  // delete of a name that is not there costs a search of the folder.
  DiscardStaging(at);
  return code;
}

void Installation::DiscardStaging(size_t first) {
  Files().Delete(Staged(plan_.FrontEnd));
  for (size_t i = first; i < plan_.Places.size(); ++i) {
    if (!plan_.Places[i].Staged.empty() && !early_[i]) Files().Delete(Staged(plan_.Places[i].Staged));
  }
  RemoveEmptyFolder(staging_);
}

void Installation::RemoveMadeFolders() {
  for (auto at = made_.rbegin(); at != made_.rend(); ++at) RemoveEmptyFolder(*at);
  made_.clear();
}

}  // namespace stowaway
