// Writes the seed corpora: valid streams of each codec, single coded blocks,
// round-trip inputs and small archives, each in corpus/<target>/ below the
// folder given. The seeds are kept in the repository; run this again only
// when the formats change.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "archive/writer.h"
#include "compression/LZRW1.h"
#include "compression/LZRW1KH.h"

namespace {

namespace fs = std::filesystem;
using namespace stowaway;
using Bytes = std::vector<uint8_t>;

Bytes Text(size_t size, uint32_t seed) {
  static const char* const words[] = {"setup", "the", "file", "of", "folder", "and", "progress", "a", "window"};
  std::mt19937 rng(seed);
  Bytes out;
  while (out.size() < size) {
    const std::string word = words[rng() % std::size(words)];
    out.insert(out.end(), word.begin(), word.end());
    out.push_back(rng() % 8 == 0 ? '\n' : ' ');
  }
  out.resize(size);
  return out;
}

Bytes Noise(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(size);
  for (uint8_t& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

Bytes Runs(size_t size) {
  Bytes out;
  for (uint8_t value = 0; out.size() < size; ++value) out.insert(out.end(), 1000u + value * 37u, value);
  out.resize(size);
  return out;
}

Bytes Of(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Packed(const Bytes& input, TCompressMode mode) {
  TMemoryStream in(input);
  TMemoryStream out;
  Tlzrw1 codec;
  codec.UseStream = true;
  codec.InputStream = &in;
  codec.OutputStream = &out;
  codec.CompressMode = mode;
  codec.Compress();
  return out.Data();
}

// The size field and the body: what the stream targets put behind the
// signature.
Bytes Body(const Bytes& packed) { return Bytes(packed.begin() + 4, packed.end()); }

Bytes Block(const Bytes& input) {
  TLZR coder;
  Bytes coded(input.size() + LzrwCompressSlack);
  coded.resize(coder.CompressBlock(input.data(), coded.data(), static_cast<uint16_t>(input.size())));
  return coded;
}

Bytes RoundTrip(uint8_t control, uint8_t parameter, const Bytes& data) {
  Bytes out{control, parameter};
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

ArchiveItem File(const std::string& name, const std::string& stored, Bytes data, TCompressMode mode) {
  ArchiveItem item;
  item.FileName = name;
  item.StoredPath = stored;
  item.Content = ByteSource::Memory(std::move(data));
  item.CompressMode = mode;
  return item;
}

Bytes Archive(const std::vector<ArchiveItem>& items, ArchiveLayout layout) {
  TMemoryStream out;
  WriteArchive(out, ByteSource::Memory(Of("MZ stub")), items, layout);
  return out.Data();
}

class Corpus {
 public:
  Corpus(const fs::path& root, const std::string& target) : folder_(root / "corpus" / target) {
    fs::create_directories(folder_);
  }
  void Add(const std::string& name, const Bytes& seed) const {
    std::ofstream out(folder_ / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(seed.data()), static_cast<std::streamsize>(seed.size()));
  }

 private:
  fs::path folder_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_fuzz_seeds <fuzz source folder>\n";
    return 2;
  }
  const fs::path root = argv[1];
  constexpr auto Good = TCompressMode::Good;
  constexpr auto Fast = TCompressMode::Fast;

  const Corpus lzh(root, "lzh_decompress");
  lzh.Add("empty", Body(Packed({}, Good)));
  lzh.Add("abc", Body(Packed(Of("abc"), Good)));
  lzh.Add("a-and-59-spaces", Body(Packed(Of("a" + std::string(59, ' ')), Good)));
  lzh.Add("text-1500", Body(Packed(Text(1500, 1), Good)));
  lzh.Add("noise-600", Body(Packed(Noise(600, 2), Good)));
  lzh.Add("runs-40000", Body(Packed(Runs(40000), Good)));

  const Corpus lzrw(root, "lzrw_decompress");
  lzrw.Add("empty", Body(Packed({}, Fast)));
  lzrw.Add("text-1500", Body(Packed(Text(1500, 3), Fast)));
  lzrw.Add("noise-300-stored", Body(Packed(Noise(300, 4), Fast)));
  lzrw.Add("runs-32768-then-empty-block", Body(Packed(Runs(32768), Fast)));
  lzrw.Add("runs-70000-three-blocks", Body(Packed(Runs(70000), Fast)));

  const Corpus block(root, "lzrw_block");
  block.Add("empty", Block({}));
  block.Add("abc-stored", Block(Of("abc")));
  block.Add("abcd-four-times", Block(Of("abcdabcdabcdabcd")));
  block.Add("run-of-20", Block(Bytes(20, 'a')));
  block.Add("run-of-4100", Block(Bytes(4100, 'a')));
  block.Add("text-2000", Block(Text(2000, 5)));
  block.Add("noise-200-stored", Block(Noise(200, 6)));

  const Corpus round(root, "round_trip");
  round.Add("good-text", RoundTrip(0, 40, Text(300, 7)));
  round.Add("fast-text", RoundTrip(1, 40, Text(300, 8)));
  round.Add("fast-noise", RoundTrip(1, 40, Noise(100, 9)));
  round.Add("auto-small", RoundTrip(2, 40, Text(200, 10)));
  round.Add("auto-repeated", RoundTrip(2 | 4, 40, Of("abcabcabd")));
  round.Add("fast-noise-stretched", RoundTrip(1 | 8, 100, Text(50, 11)));
  round.Add("auto-repeated-low-threshold", RoundTrip(2 | 4, 3, Text(120, 12)));

  const Corpus archive(root, "archive_extract");
  archive.Add("one-file", Archive({File("readme.txt", "", Text(500, 13), Good)}, ArchiveLayout::FileNames));
  archive.Add("stored-paths",
              Archive({ArchiveItem::Folder("sub"), File("sub\\a.txt", "sub\\a.txt", Text(400, 14), Good),
                       File("sub\\b.bin", "sub\\b.bin", Runs(40000), Fast), File("empty.txt", "empty.txt", {}, Good)},
                      ArchiveLayout::StoredPaths));
  archive.Add("file-names", Archive({File("C:data.bin", "", Noise(100, 15), Fast),
                                     File("dir\\x.txt", "", Text(300, 16), Good)},
                                    ArchiveLayout::FileNames));
  return 0;
}
