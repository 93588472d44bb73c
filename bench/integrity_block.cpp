// Archives without the integrity block, for the extraction rows that check
// sizes only: what an older writer made.
#include <stdexcept>
#include <vector>

#include "archive/directory.h"
#include "archive/integrity.h"
#include "bench/extraction.h"

namespace stowaway::bench {

int64_t RemoveIntegrityBlock(const std::filesystem::path& path) {
  const std::vector<uint8_t> bytes = ReadWholeFile(path);
  TMemoryStream archive(bytes);
  const ArchiveIndex index = ReadArchiveIndex(archive, path.string());
  if (!index.HasHashes()) throw std::runtime_error(path.string() + " has no integrity block");
  const int64_t block = index.FirstRecord - IntegrityBlockSize(static_cast<int64_t>(index.Entries.size()));
  std::vector<uint8_t> without(bytes.begin(), bytes.begin() + block);
  without.insert(without.end(), bytes.begin() + index.FirstRecord, bytes.end());
  TFileStream out(path.string(), TFileStream::Mode::Create);
  if (out.Write(without.data(), static_cast<int32_t>(without.size())) != static_cast<int32_t>(without.size())) {
    throw std::runtime_error("cannot write " + path.string());
  }
  return static_cast<int64_t>(without.size());
}

}  // namespace stowaway::bench
