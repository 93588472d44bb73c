// The benchmark corpus: the files that bench/corpus.sh copied, in the order
// of the manifest, each held in memory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace stowaway::bench {

struct CorpusFile {
  std::string Name;   // "class/name", as the manifest lists it
  std::string Class;  // the part before the '/'
  std::filesystem::path Path;
  std::vector<uint8_t> Bytes;
};

struct Corpus {
  std::vector<CorpusFile> Files;
  std::vector<std::string> Classes;  // in order of first appearance

  size_t ClassIndex(const std::string& name) const;
  int64_t TotalBytes() const;
  int64_t ClassBytes(const std::string& name) const;
  size_t LargestFile() const;
};

// The bytes of the file at path; raises std::runtime_error naming it when it
// cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path);

// Reads every file the manifest lists from folder. Raises std::runtime_error
// naming the file when one cannot be read.
Corpus LoadCorpus(const std::filesystem::path& manifest, const std::filesystem::path& folder);

}  // namespace stowaway::bench
