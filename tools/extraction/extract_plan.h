// What stowaway extract will write where, worked out and checked before
// anything is written: every name the archive gives, where it lands below
// the destination, what is refused and what exists already. Writing (tools/
// extract.cpp) checks again through folder handles, so a change on disk
// between plan and write cannot lead it elsewhere; the plan is there to
// refuse early, with every reason, and to write nothing when it refuses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/directory.h"

namespace stowaway {

struct ExtractRequest {
  std::string archive_path;  // as the user named it, for messages
  std::string dir;           // the destination folder, as the user named it
  bool stored_paths = false;
  bool force = false;
};

// Where one entry goes.
struct ExtractTarget {
  size_t index = 0;
  bool folder = false;
  std::string relative;            // below the destination, as the archive names it
  std::vector<std::string> names;  // this system's names below the destination; the last is the entry's own
  std::string path;                // the destination joined with names, for messages
  bool exists = false;             // a file has the name already (force replaces it)
};

struct ExtractionPlan {
  std::vector<ExtractTarget> targets;  // in directory order
  int64_t packed_total = 0;            // the packed bytes of the files
  int files = 0;
};

// Raises EToolFailure naming the entry and the reason: a name that would
// lead outside the destination or that this system cannot take, two entries
// that extract to one file, a link or a file where a folder must go, a
// folder where a file must go, an existing file without force, the
// installer itself (which is never replaced, with force neither), or a
// destination that is not a folder.
ExtractionPlan PlanExtraction(const ExtractRequest& request,
                              const std::vector<ArchiveDirectoryEntry>& directory);

}  // namespace stowaway
