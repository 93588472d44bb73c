#include "bench/corpus.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace stowaway::bench {

size_t Corpus::ClassIndex(const std::string& name) const {
  return static_cast<size_t>(std::find(Classes.begin(), Classes.end(), name) - Classes.begin());
}

int64_t Corpus::TotalBytes() const {
  int64_t total = 0;
  for (const CorpusFile& file : Files) total += static_cast<int64_t>(file.Bytes.size());
  return total;
}

int64_t Corpus::ClassBytes(const std::string& name) const {
  int64_t total = 0;
  for (const CorpusFile& file : Files) {
    if (file.Class == name) total += static_cast<int64_t>(file.Bytes.size());
  }
  return total;
}

size_t Corpus::LargestFile() const {
  size_t largest = 0;
  for (const CorpusFile& file : Files) largest = std::max(largest, file.Bytes.size());
  return largest;
}

std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  std::vector<uint8_t> bytes(error ? 0 : size);
  if (!in || error || !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
    throw std::runtime_error("cannot read " + path.string());
  }
  return bytes;
}

Corpus LoadCorpus(const std::filesystem::path& manifest, const std::filesystem::path& folder) {
  std::ifstream lines(manifest);
  if (!lines) throw std::runtime_error("cannot read the manifest " + manifest.string());
  Corpus corpus;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#') continue;
    CorpusFile file;
    file.Name = line.substr(0, line.find('\t'));
    file.Class = file.Name.substr(0, file.Name.find('/'));
    file.Path = folder / file.Name;
    try {
      file.Bytes = ReadWholeFile(file.Path);
    } catch (const std::runtime_error& e) {
      throw std::runtime_error(e.what() + std::string(" (run bench/corpus.sh first)"));
    }
    if (corpus.ClassIndex(file.Class) == corpus.Classes.size()) corpus.Classes.push_back(file.Class);
    corpus.Files.push_back(std::move(file));
  }
  if (corpus.Files.empty()) throw std::runtime_error("the manifest lists no files");
  return corpus;
}

}  // namespace stowaway::bench
