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
#include "tools/codec_choice.h"
#include "tools/command.h"
#include "tools/errors.h"
#include "tools/files.h"
#include "tools/output_file.h"
#include "tools/payload.h"
#include "tools/progress.h"
#include "tools/stub.h"
#include "tools/text.h"
#include "tools/windows1252.h"

namespace stowaway {
namespace {

const char Help[] = R"(Usage: stowaway pack -o OUT.exe --front-end SETUP.exe [OPTION]... [PATH]...
Build the installer OUT.exe: the unpacker, then SETUP.exe as entry 0 (the
program the unpacker starts), then every file named. A folder brings
everything in it, each folder's names in sorted order.

  -o, --output OUT.exe       the installer to write (replaced if it exists)
      --front-end SETUP.exe  the front-end program: entry 0
      --stub UNPACKER.exe    the unpacker to build on (see below)
      --mode good|fast|auto  the codec: good (LZH, smaller; the default),
                             fast (LZRW1/KH, quicker), or auto (per file)
      --threshold N          with --mode auto: fast for a file whose samples
                             the fast codec shrinks below N percent
                             (0 to 100; default 40)
      --tree                 keep the folders (see below)
      --jobs N               pack N files at once (default: one for each
                             processor); the installer is the same for any N
  -q, --quiet                print nothing but errors
  -h, --help                 show this help

The unpacker extracts every file straight into the folder the front-end
chooses, by file name alone. Two files that would get the same name there
(compared without regard to case, as Windows does) are refused.

--tree stores each file's path and an entry for each folder: a folder named
here keeps its own name (name it as DIR/. for its contents alone). The
unpacker itself still extracts flat; 'stowaway extract --stored-paths'
restores the folders.

Names are stored in Windows-1252: a name it cannot represent, or one that
Windows does not allow, is refused. An installer holds at most 501 entries
(the front-end and folder entries count), names of at most 200 characters,
and stays below 2 GiB. The same inputs always give the same bytes.

Without --stub, pack uses unpacker.exe in the folder that holds stowaway
itself, or, for stowaway in a build tree's native/bin folder, the one in the
tree's win32/bin folder (build/native/bin/stowaway uses
build/win32/bin/unpacker.exe). --stub names any other.
)";

constexpr char Name[] = "pack";
// Each job holds up to two packed files in memory.
constexpr int MaxJobs = 64;

// One entry of the installer, with where its bytes come from.
struct PlannedEntry {
  ArchiveItem item;
  std::string source;  // the path on this system; the stored name for a folder
  int64_t size = 0;
};

void RequireProgram(const std::string& path, const std::string& option, const std::string& role) {
  const std::unique_ptr<TFileStream> program = OpenInput(path);
  char start[2] = {};
  if (program->Read(start, 2) != 2 || start[0] != 'M' || start[1] != 'Z') {
    throw EToolFailure(path + ": not a Windows program (it does not begin with \"MZ\"); " +
                       option + " names " + role);
  }
}

// The host's spelling of an archive name, for messages.
std::string Shown(const std::string& archive_name) { return HostNameFromArchive(archive_name); }

class Plan {
 public:
  Plan(bool tree, std::string output) : tree_(tree), output_(std::move(output)) {}

  void AddFile(const PayloadEntry& file) {
    const std::string name = FileNamePart(file.stored);
    PlannedEntry entry;
    entry.item.FileName = tree_ ? file.stored : name;
    entry.item.StoredPath = tree_ ? file.stored : "";
    entry.source = file.source;
    Claim(tree_ ? file.stored : name, file.source, false);
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
  bool Claim(const std::string& output, const std::string& source, bool folder) {
    const auto [place, fresh] = claims_.emplace(FoldCase(output), std::make_pair(source, folder));
    if (fresh) return false;
    if (folder && place->second.second) return true;
    const std::string how = tree_ ? "stored as " + Shown(output)
                                  : "extracted as " + Shown(output) +
                                        " (the unpacker extracts by file name alone)";
    throw EToolFailure(place->second.first + " and " + source + " would both be " + how +
                       "; rename one or leave one out");
  }

  bool tree_;
  std::string output_;
  std::vector<PlannedEntry> entries_;
  std::map<std::string, std::pair<std::string, bool>> claims_;
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

// What pack was asked to do.
struct Request {
  std::string output;
  std::string front_end;
  std::string stub;
  CodecChoice choice;
  bool tree = false;
  bool quiet = false;
  int jobs = 1;
};

int ReadJobs(const Arguments& arguments) {
  if (!arguments.Has("jobs")) return DefaultPackJobs();
  const std::string text = arguments.Value("jobs");
  const bool digits = !text.empty() && text.size() <= 3 &&
                      std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
  if (!digits || std::stoi(text) < 1 || std::stoi(text) > MaxJobs) {
    throw EUsage("--jobs needs a whole number from 1 to " + std::to_string(MaxJobs) + ", not '" +
                 text + "'");
  }
  return std::stoi(text);
}

Request ReadRequest(const Arguments& arguments) {
  Request request;
  request.output = arguments.Value("output");
  request.front_end = arguments.Value("front-end");
  if (request.output.empty()) throw EUsage("missing -o OUT.exe, the installer to write");
  if (request.front_end.empty()) {
    throw EUsage("missing --front-end SETUP.exe, the program the installer starts");
  }
  request.choice = ReadCodecChoice(arguments);
  request.tree = arguments.Has("tree");
  request.quiet = arguments.Has("quiet");
  request.jobs = ReadJobs(arguments);
  request.stub = arguments.Has("stub") ? arguments.Value("stub") : FindDefaultStub();
  RequireProgram(request.stub, "--stub", "the unpacker the installer is built on");
  RequireProgram(request.front_end, "--front-end", "the program the installer starts");
  if (KindOfPath(request.output) == PathKind::Folder) {
    throw EToolFailure(request.output + " is a folder; -o names the installer file to write");
  }
  return request;
}

// The front-end, then everything found below the paths named, checked.
Plan MakePlan(const Request& request, const std::vector<std::string>& paths) {
  Plan plan(request.tree, request.output);
  plan.AddFile(CollectPayload({request.front_end}).front());
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
  return plan;
}

struct Written {
  int64_t size = 0;         // the whole installer
  int64_t source_size = 0;  // the files put in
  int64_t packed_size = 0;  // their packed streams
};

Written WriteInstaller(const Request& request, std::vector<PlannedEntry>& entries) {
  Written written;
  std::vector<ArchiveItem> items;
  std::vector<std::string> shown(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!entries[i].item.IsFolder()) Measure(entries[i], request.choice);
    written.source_size += entries[i].size;
    shown[i] = Shown(FileNamePart(entries[i].item.FileName));
    items.push_back(entries[i].item);
  }

  std::vector<std::pair<int32_t, int32_t>> counts(entries.size());  // read, written
  ProgressBar bar("packing", written.source_size, request.quiet);
  OutputFile out(request.output, InterruptNotice(Name, request.output));
  // Several files move at once with more than one job: the bar shows all
  // that was read.
  int64_t read_so_far = 0;
  const auto progress = [&](int32_t index, int32_t bytes_read, int32_t bytes_written) {
    const auto at = static_cast<size_t>(index);
    read_so_far += bytes_read - counts[at].first;
    counts[at] = {bytes_read, bytes_written};
    bar.Show(read_so_far, shown[at]);
  };
  try {
    written.size = WriteArchive(out.Stream(), ByteSource::File(request.stub), items,
                                request.tree ? ArchiveLayout::StoredPaths : ArchiveLayout::FileNames,
                                progress, request.jobs);
  } catch (const Exception& failure) {
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
  const Request request = ReadRequest(arguments);
  Plan plan = MakePlan(request, arguments.operands);
  const Written written = WriteInstaller(request, plan.Entries());
  if (request.quiet) return 0;
  if (request.tree) {
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
  return {Name,
          "build an installer from a front-end and files",
          Help,
          {{"output", 'o', true},
           {"front-end", 0, true},
           {"stub", 0, true},
           {"mode", 0, true},
           {"threshold", 0, true},
           {"tree", 0, false},
           {"jobs", 0, true}},
          Run};
}

}  // namespace stowaway
