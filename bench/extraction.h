// The whole path an installer takes: an archive of the corpus, read from a
// file and extracted entry by entry through ExtractAllEntries into files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "bench/corpus.h"
#include "compression/LZRW1.h"

namespace stowaway::bench {

class Extraction {
 public:
  // Writes the archive of the corpus, every entry packed in mode, into work,
  // with the integrity block, or without it when hashes is false, so that
  // only sizes are checked. Raises whatever the archive writer raises.
  Extraction(const Corpus& corpus, TCompressMode mode, const std::filesystem::path& work,
             bool hashes = true);

  // "extract-fast" or "extract-good", with "-sizes" for an archive without
  // hashes: how --only names the extraction.
  static std::string IdFor(TCompressMode mode, bool hashes = true);
  std::string Id() const { return IdFor(mode_, hashes_); }
  std::string Label() const;
  int64_t ArchiveSize() const { return archive_size_; }

  // Empties the folder the entries go to, as an installer finds it on a
  // first run: replacing the files of the last run would measure the file
  // system's truncation of them instead.
  void Clear();
  // Extracts every entry into the work folder, as the unpacker does, with a
  // progress hook that reads the counters. Raises std::runtime_error when
  // the extraction fails.
  void Run();
  // Untimed: whether the files of the last Run hold the corpus's bytes.
  bool Matches() const;

 private:
  const Corpus& corpus_;
  TCompressMode mode_;
  bool hashes_;
  std::filesystem::path archive_;
  std::filesystem::path destination_;
  int64_t archive_size_ = 0;
};

// The name a corpus file has in the archive: unique without folders.
std::string EntryName(const CorpusFile& file);

// Cuts the integrity block out of the archive file at path, which then reads
// as an archive of an older writer; returns its new size.
int64_t RemoveIntegrityBlock(const std::filesystem::path& path);

}  // namespace stowaway::bench
