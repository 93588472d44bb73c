// stowaway pack: an installer from the unpacker, a front-end and files.
#include <algorithm>
#include <cctype>
#include <iostream>
#include <map>
#include <set>

#include "archive/directory.h"
#include "archive/names.h"
#include "archive/parallel_pack.h"
#include "archive/writer.h"
#include "platform/folder.h"
#include "tools/cli/codec_choice.h"
#include "tools/cli/jobs.h"
#include "tools/command.h"
#include "tools/errors.h"
#include "tools/files/files.h"
#include "tools/files/output_file.h"
#include "tools/files/stub.h"
#include "tools/payload/payload.h"
#include "tools/payload/setup_front_end.h"
#include "tools/payload/windows1252.h"
#include "tools/terminal/progress.h"
#include "tools/terminal/text.h"

namespace stowaway {
namespace {

const char Help[] = R"(Usage: stowaway pack -o OUT.exe --name NAME [OPTION]... [PATH]...
  or:  stowaway pack -o OUT.exe --front-end SETUP.exe [OPTION]... [PATH]...
Build the installer OUT.exe: the unpacker, then the front-end as entry 0 (the
program the unpacker starts: stowaway's setup program, or SETUP.exe), then
every file named. A folder brings everything in it, each folder's names in
sorted order.

  -o, --output OUT.exe       the installer to write (an existing one is
                             replaced only with --force)
      --front-end SETUP.exe  a front-end program of your own as entry 0,
                             instead of the setup program (see below)
      --stub UNPACKER.exe    the unpacker to build on (see below)
      --elevation admin|user what the installer asks Windows for: admin
                             (the default) runs it elevated, user runs it
                             as the user who starts it (see below)
      --mode good|fast|auto  the codec: good (LZH, smaller; the default),
                             fast (LZRW1/KH, quicker), or auto (per file)
      --threshold N          with --mode auto: fast for a file whose samples
                             the fast codec shrinks below N percent
                             (0 to 100; default 40)
      --tree                 keep the folders (see below)
      --jobs N               pack N files at once (default: one for each
                             processor); the installer is the same for any N
  -f, --force                replace OUT.exe if it exists
  -q, --quiet                print nothing but errors
  -h, --help                 show this help

With --front-end, the unpacker extracts every file straight into the
folder the front-end chooses, by file name alone. Two files that would get
the same name there (compared without regard to case, as Windows does) are
refused, with --tree too.

--tree stores each file's path and an entry for each folder: a folder named
here keeps its own name (name it as DIR/. for its contents alone). The
unpacker itself still extracts flat; 'stowaway extract --stored-paths'
restores the folders. The setup program always installs the folders: each
file is stored under a flat name of its own, and its path.

Names are stored in Windows-1252: a name it cannot represent, or one that
Windows does not allow, is refused. An installer holds at most 501 entries
(the front-end and folder entries count), names of at most 200 characters,
and stays below 2 GiB. The same inputs always give the same bytes.

The front-end's name must not hold a space: the unpacker starts it from
the system folder by that name.

The unpacker comes in two builds that differ in their manifest's execution
level. unpacker.exe (--elevation admin) asks for elevation, since the
front-end's home is the system folder; unpacker-user.exe (--elevation user)
runs without it, and where the system folder cannot be written, the
front-end is started from a new folder under the user's temporary folder.
Without --stub, pack uses the one chosen in the folder that holds stowaway
itself, or, for stowaway in a build tree's native/bin folder, the one in the
tree's win32/bin folder (build/native/bin/stowaway uses
build/win32/bin/unpacker.exe). --stub names any other, and then the
unpacker named decides (--elevation is refused with it).
)";

constexpr char Name[] = "pack";

// One entry of the installer, with where its bytes come from.
struct PlannedEntry {
  ArchiveItem item;
  std::string source;  // the path on this system; the stored name for a folder
  int64_t size = 0;
};

// The host's spelling of an archive name, for messages.
std::string Shown(const std::string& archive_name) { return HostNameFromArchive(archive_name); }

class Plan {
 public:
  Plan(bool tree, bool setup, std::string output)
      : tree_(tree || setup), setup_(setup), output_(std::move(output)), flat_(SetupProgramName) {}

  void AddFile(const PayloadEntry& file) {
    const std::string name = FileNamePart(file.stored);
    PlannedEntry entry;
    entry.item.FileName = setup_ ? flat_.Claim(name) : tree_ ? file.stored : name;
    entry.item.StoredPath = tree_ ? file.stored : "";
    entry.source = file.source;
    if (tree_) Claim(file.stored, file.source, false);
    // The unpacker extracts by file name alone, even from a tree.
    if (!setup_) Claim(name, file.source, false, &flat_claims_);
    entries_.push_back(std::move(entry));
  }

  // Entry 0: the setup program, under its own name.
  void AddSetupProgram(const std::string& source) {
    PlannedEntry entry;
    entry.item.FileName = SetupProgramName;
    entry.item.StoredPath = SetupProgramName;
    entry.source = source;
    Claim(SetupProgramName, source, false);
    entries_.push_back(std::move(entry));
  }

  void AddFolder(const PayloadEntry& folder) {
    if (!tree_) return;
    if (Claim(folder.stored, folder.source, true)) return;
    PlannedEntry entry;
    entry.item = ArchiveItem::Folder(folder.stored);
    entry.source = folder.source;
    entries_.push_back(std::move(entry));
  }

  // Everything the installer's format and the unpacker cannot take, said in
  // terms of the files named.
  void Check() const {
    if (entries_.size() > static_cast<size_t>(DirectorySlots)) {
      throw EToolFailure(output_ + " would hold " + std::to_string(entries_.size()) +
                         " entries, and an installer holds at most 501 (the front-end and "
                         "folder entries count); pack fewer files");
    }
    for (const PlannedEntry& entry : entries_) {
      const std::string& longest = entry.item.StoredPath.size() > entry.item.FileName.size()
                                       ? entry.item.StoredPath
                                       : entry.item.FileName;
      if (longest.size() > static_cast<size_t>(record::NameCapacity)) {
        throw EToolFailure(entry.source + ": its name in the installer (" + Shown(longest) +
                           ") is " + std::to_string(longest.size()) +
                           " characters long, over the 200 an installer holds; shorten it");
      }
    }
  }

  std::vector<PlannedEntry>& Entries() { return entries_; }

 private:
  // Registers what the entry extracts to; true when a folder entry of the
  // same name is there already. Raises EToolFailure for two files or a file
  // and a folder.
  using Claims = std::map<std::string, std::pair<std::string, bool>>;
  bool Claim(const std::string& output, const std::string& source, bool folder,
             Claims* claims = nullptr) {
    const bool flat = claims != nullptr;
    if (!flat) claims = &claims_;
    const auto [place, fresh] = claims->emplace(NameIdentity(output), std::make_pair(source, folder));
    if (fresh) return false;
    if (folder && place->second.second) return true;
    const std::string how = !flat ? "stored as " + Shown(output)
                                  : "extracted as " + Shown(output) +
                                        " (the unpacker extracts by file name alone)";
    throw EToolFailure(place->second.first + " and " + source + " would both be " + how +
                       "; rename one or leave one out" +
                       (flat && tree_ ? ", or leave out --front-end: the setup program installs folders" : ""));
  }

  bool tree_;
  bool setup_;
  std::string output_;
  FlatNames flat_;
  std::vector<PlannedEntry> entries_;
  Claims claims_;
  Claims flat_claims_;
};

// The size measured here is checked against what packing reads: a file that
// changes in between would leave a header that disagrees with its body.
void Measure(PlannedEntry& entry, const CodecChoice& choice) {
  const std::unique_ptr<TFileStream> input = OpenInput(entry.source);
  entry.size = InputSize(*input, entry.source);
  if (entry.size >= ArchiveSizeLimit) {
    throw EToolFailure(entry.source + ": 2 GiB or larger; an installer holds less");
  }
  entry.item.Content = ByteSource::File(entry.source);
  entry.item.CompressMode = ResolveMode(*input, choice);
}

// Entry 0 becomes the setup program with the settings behind it, which
// include the size of everything it installs.
void SettleSetupProgram(SetupRequest& setup, std::vector<PlannedEntry>& entries) {
  setup.settings.TotalSize = 0;
  for (size_t i = 1; i < entries.size(); ++i) setup.settings.TotalSize += entries[i].size;
  std::vector<uint8_t> program = SetupProgramWithSettings(setup);
  entries[0].size = static_cast<int64_t>(program.size());
  entries[0].item.Content = ByteSource::Memory(std::move(program));
}

Elevation ReadElevation(const Arguments& arguments) {
  if (!arguments.Has("elevation")) return Elevation::Admin;
  if (arguments.Has("stub")) {
    throw EUsage("--elevation chooses between the unpackers pack finds itself; with --stub, "
                 "the unpacker named decides: leave one of them out");
  }
  const std::string value = arguments.Value("elevation");
  if (value == "admin") return Elevation::Admin;
  if (value == "user") return Elevation::User;
  throw EUsage("--elevation takes admin or user, not '" + value + "'");
}

// The unpacker starts entry 0 by its name; a space in it would split that
// name on the front-end's own command line.
void RequireFrontEndName(const std::string& path, const std::string& name) {
  if (name.find(' ') == std::string::npos) return;
  throw EToolFailure(path + ": the front-end's name holds a space, and the unpacker starts it "
                     "by that name; rename it");
}

// What pack was asked to do.
struct Request {
  std::string output;
  std::string front_end;
  std::string stub;
  Elevation elevation = Elevation::Admin;
  CodecChoice choice;
  bool tree = false;
  bool quiet = false;
  std::optional<SetupRequest> setup;  // the setup program instead of a front-end
  bool force = false;
  int jobs = 1;
};

Request ReadRequest(const Arguments& arguments) {
  Request request;
  request.output = arguments.Value("output");
  request.front_end = arguments.Value("front-end");
  if (request.output.empty()) throw EUsage("missing -o OUT.exe, the installer to write");
  if (arguments.Has("front-end") && request.front_end.empty()) {
    throw EUsage("--front-end needs the program the installer starts");
  }
  request.elevation = ReadElevation(arguments);
  request.setup = ReadSetupRequest(arguments, request.elevation == Elevation::User);
  if (request.setup) request.front_end = request.setup->program;
  request.choice = ReadCodecChoice(arguments);
  request.tree = arguments.Has("tree");
  request.quiet = arguments.Has("quiet");
  request.force = arguments.Has("force");
  request.jobs = ReadJobs(arguments);
  request.stub = arguments.Has("stub") ? arguments.Value("stub") : FindDefaultStub(request.elevation);
  RequireProgram(request.stub, "--stub", "the unpacker the installer is built on");
  if (!request.setup) {
    RequireProgram(request.front_end, "--front-end", "the program the installer starts");
  }
  if (KindOfPath(request.output) == PathKind::Folder) {
    throw EToolFailure(request.output + " is a folder; -o names the installer file to write");
  }
  RequireReplaceable(request.output, request.force);
  return request;
}

// The front-end, then everything found below the paths named, checked.
Plan MakePlan(const Request& request, const std::vector<std::string>& paths) {
  Plan plan(request.tree, request.setup.has_value(), request.output);
  if (request.setup) {
    plan.AddSetupProgram(request.front_end);
  } else {
    const PayloadEntry front_end = CollectPayload({request.front_end}).front();
    RequireFrontEndName(request.front_end, FileNamePart(front_end.stored));
    plan.AddFile(front_end);
  }
  const std::string output_identity = FileIdentity(request.output);
  for (const PayloadEntry& found : CollectPayload(paths)) {
    if (found.folder) {
      plan.AddFolder(found);
    } else if (!output_identity.empty() && FileIdentity(found.source) == output_identity) {
      if (!request.quiet) {
        Note(Name, "leaving out " + found.source + ", the installer being written");
      }
    } else {
      plan.AddFile(found);
    }
  }
  plan.Check();
  if (request.setup) {
    std::vector<std::string> stored;
    for (const PlannedEntry& entry : plan.Entries()) stored.push_back(entry.item.StoredPath);
    CheckRunProgram(request.setup->settings, stored);
  }
  return plan;
}

struct Written {
  int64_t size = 0;         // the whole installer
  int64_t source_size = 0;  // the files put in
  int64_t packed_size = 0;  // their packed streams
};

Written WriteInstaller(Request& request, std::vector<PlannedEntry>& entries) {
  Written written;
  std::vector<ArchiveItem> items;
  std::vector<std::string> shown(entries.size());
  std::vector<int> files_before(entries.size());
  int files = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    files_before[i] = files;
    if (!entries[i].item.IsFolder()) {
      Measure(entries[i], request.choice);
      ++files;
    }
  }
  if (request.setup) SettleSetupProgram(*request.setup, entries);
  for (size_t i = 0; i < entries.size(); ++i) {
    written.source_size += entries[i].size;
    shown[i] = Shown(FileNamePart(entries[i].item.FileName));
    items.push_back(entries[i].item);
  }

  std::vector<std::pair<int32_t, int32_t>> counts(entries.size());  // read, written
  ProgressBar bar("packing", written.source_size, files, request.quiet);
  OutputFile out(request.output, request.force, InterruptNotice(Name, request.output));
  // Several files move at once with more than one job: the bar shows all
  // that was read.
  int64_t read_so_far = 0;
  const auto progress = [&](int32_t index, int32_t bytes_read, int32_t bytes_written) {
    const auto at = static_cast<size_t>(index);
    read_so_far += bytes_read - counts[at].first;
    counts[at] = {bytes_read, bytes_written};
    bar.Show(read_so_far, files_before[at], shown[at]);
  };
  try {
    written.size = WriteArchive(out.Stream(), ByteSource::File(request.stub), items,
                                request.tree || request.setup ? ArchiveLayout::StoredPaths
                                                              : ArchiveLayout::FileNames,
                                progress, request.jobs);
  } catch (const Exception& failure) {
    const std::string& reason = out.Stream().WriteFailure();
    if (!reason.empty()) throw EToolFailure("cannot write " + request.output + ": " + reason);
    throw EToolFailure(request.output + " was not written: " + failure.Message());
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    if (counts[i].first != entries[i].size) {
      throw EToolFailure(entries[i].source + " changed while it was packed; " + request.output +
                         " was not written: pack again");
    }
    written.packed_size += counts[i].second;
  }
  out.Commit();
  return written;
}

int Run(const Arguments& arguments) {
  Request request = ReadRequest(arguments);
  if (arguments.operands.empty()) {
    throw EUsage("nothing to pack: name the files or folders to put beside the front-end");
  }
  Plan plan = MakePlan(request, arguments.operands);
  const Written written = WriteInstaller(request, plan.Entries());
  if (request.quiet) return 0;
  if (request.tree && !request.setup) {
    Note(Name,
         "the unpacker extracts by file name alone and ignores the folders of --tree; "
         "'stowaway extract --stored-paths' restores them");
  }
  std::cout << request.output << ": " << plan.Entries().size() << " entries, " << written.size
            << " bytes (" << written.source_size << " bytes of files packed to "
            << written.packed_size << ", " << Percentage(written.packed_size, written.source_size)
            << ")\n";
  return 0;
}

}  // namespace

Command PackCommand() {
  Command command{Name,
                  "build an installer from files, with the setup program or a front-end",
                  std::string(Help) + "\n" + SetupHelp,
                  {{"output", 'o', true},
                   {"front-end", 0, true},
                   {"stub", 0, true},
                   {"elevation", 0, true},
                   {"mode", 0, true},
                   {"threshold", 0, true},
                   {"tree", 0, false},
                   {"jobs", 0, true},
                   {"force", 'f', false}},
                  Run};
  const std::vector<OptionSpec> setup = SetupOptions();
  command.options.insert(command.options.end(), setup.begin(), setup.end());
  return command;
}

}  // namespace stowaway
