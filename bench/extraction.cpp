#include "bench/extraction.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "archive/packerunit.h"
#include "archive/writer.h"

namespace stowaway::bench {

std::string EntryName(const CorpusFile& file) {
  std::string name = file.Name;
  std::replace(name.begin(), name.end(), '/', '_');
  return name;
}

Extraction::Extraction(const Corpus& corpus, TCompressMode mode, const std::filesystem::path& work,
                       bool hashes)
    : corpus_(corpus), mode_(mode), hashes_(hashes) {
  // Full paths, as the unpacker passes them, worked out here rather than in
  // the timed Run.
  const std::filesystem::path folder = std::filesystem::absolute(work);
  const std::string id = Id();
  archive_ = folder / (id + ".archive");
  destination_ = folder / (id + "-extracted");
  std::vector<ArchiveItem> items;
  for (const CorpusFile& file : corpus.Files) {
    ArchiveItem item;
    item.FileName = EntryName(file);
    item.StoredPath = item.FileName;
    item.Content = ByteSource::File(std::filesystem::absolute(file.Path).string());
    item.CompressMode = mode;
    items.push_back(std::move(item));
  }
  archive_size_ = WriteArchiveFile(archive_.string(), ByteSource::Memory({}), items,
                                   ArchiveLayout::FileNames);
  if (!hashes) archive_size_ = RemoveIntegrityBlock(archive_);
}

void Extraction::Clear() {
  std::filesystem::remove_all(destination_);
  std::filesystem::create_directories(destination_);
}

std::string Extraction::IdFor(TCompressMode mode, bool hashes) {
  return std::string(mode == TCompressMode::Good ? "extract-good" : "extract-fast") + (hashes ? "" : "-sizes");
}

std::string Extraction::Label() const {
  return std::string(mode_ == TCompressMode::Good ? "archive, Good: ExtractAllEntries"
                                                  : "archive, Fast: ExtractAllEntries") +
         (hashes_ ? ", SHA-256 checked" : ", sizes only");
}

void Extraction::Run() {
  int64_t points = 0;
  const auto hook = [&points] {
    int32_t read = 0;
    int32_t written = 0;
    GetEntryCounters(read, written);
    ++points;
  };
  if (!ExtractAllEntries(archive_.string(), destination_.string(), hook, false)) {
    throw std::runtime_error("ExtractAllEntries failed on " + archive_.string());
  }
  if (points == 0) throw std::runtime_error("ExtractAllEntries made no progress point");
}

bool Extraction::Matches() const {
  return std::all_of(corpus_.Files.begin(), corpus_.Files.end(), [this](const CorpusFile& file) {
    return ReadWholeFile(destination_ / EntryName(file)) == file.Bytes;
  });
}

}  // namespace stowaway::bench
