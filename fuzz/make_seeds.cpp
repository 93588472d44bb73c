// Writes the seed corpora: valid streams of each codec, single coded blocks,
// round-trip inputs and small archives, each in corpus/<target>/ below the
// folder given. The seeds are kept in the repository; run this again only
// when the formats change.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "archive/writer.h"
#include "compression/LZRW1.h"
#include "compression/LZRW1KH.h"
#include "compression/bytes.h"
#include "tests/support/test_data.h"

namespace {

namespace fs = std::filesystem;
using namespace stowaway;
using testing::Bytes;
using testing::ToBytes;
using testing::RandomBytes;
using testing::TextLike;

Bytes Runs(size_t size) {
  Bytes out;
  for (uint8_t value = 0; out.size() < size; ++value) out.insert(out.end(), 1000u + value * 37u, value);
  out.resize(size);
  return out;
}

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

Bytes Archive(const std::vector<ArchiveItem>& items, ArchiveLayout layout, const Bytes& image = ToBytes("MZ stub")) {
  TMemoryStream out;
  WriteArchive(out, ByteSource::Memory(image), items, layout);
  return out.Data();
}

// The extraction_plan target's input: flags, then FileName and StoredPath of
// each entry, every field ended by a zero byte.
Bytes Plan(uint8_t flags, const std::vector<std::string>& fields) {
  Bytes out{flags};
  for (const std::string& field : fields) {
    out.insert(out.end(), field.begin(), field.end());
    out.push_back(0);
  }
  return out;
}

// The headers of a 32-bit Windows program whose certificate directory lies
// at 216, and nothing else: 512 bytes.
Bytes ProgramImage() {
  Bytes image(512, 0);
  image[0] = 'M';
  image[1] = 'Z';
  StoreLE32(image.data() + 0x3C, 64);
  image[64] = 'P';
  image[65] = 'E';
  image[84] = 224;
  image[88] = 0x0B;
  image[89] = 0x01;
  StoreLE32(image.data() + 180, 16);
  return image;
}

// file with a certificate table of one 64-byte certificate at offset at
// (where file ends, unless the table is the image's own).
Bytes WithCertificate(Bytes file, size_t at) {
  if (file.size() < at + 64) file.resize(at + 64, 0);
  StoreLE32(file.data() + at, 64);
  StoreLE32(file.data() + at + 4, 0x00020200);
  StoreLE32(file.data() + 216, static_cast<uint32_t>(at));
  StoreLE32(file.data() + 220, 64);
  return file;
}

class Corpus {
 public:
  Corpus(const fs::path& root, const std::string& target) : folder_(root / "corpus" / target) {
    fs::create_directories(folder_);
  }
  void Add(const std::string& name, const Bytes& seed) const { testing::WriteFileBytes(folder_ / name, seed); }

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
  lzh.Add("abc", Body(Packed(ToBytes("abc"), Good)));
  lzh.Add("a-and-59-spaces", Body(Packed(ToBytes("a" + std::string(59, ' ')), Good)));
  lzh.Add("text-1500", Body(Packed(TextLike(1500, 1), Good)));
  lzh.Add("noise-600", Body(Packed(RandomBytes(600, 2), Good)));
  lzh.Add("runs-40000", Body(Packed(Runs(40000), Good)));

  const Corpus lzrw(root, "lzrw_decompress");
  lzrw.Add("empty", Body(Packed({}, Fast)));
  lzrw.Add("text-1500", Body(Packed(TextLike(1500, 3), Fast)));
  lzrw.Add("noise-300-stored", Body(Packed(RandomBytes(300, 4), Fast)));
  lzrw.Add("runs-32768-then-empty-block", Body(Packed(Runs(32768), Fast)));
  lzrw.Add("runs-70000-three-blocks", Body(Packed(Runs(70000), Fast)));

  const Corpus block(root, "lzrw_block");
  block.Add("empty", Block({}));
  block.Add("abc-stored", Block(ToBytes("abc")));
  block.Add("abcd-four-times", Block(ToBytes("abcdabcdabcdabcd")));
  block.Add("run-of-20", Block(Bytes(20, 'a')));
  block.Add("run-of-4100", Block(Bytes(4100, 'a')));
  block.Add("text-2000", Block(TextLike(2000, 5)));
  block.Add("noise-200-stored", Block(RandomBytes(200, 6)));

  const Corpus round(root, "round_trip");
  round.Add("good-text", RoundTrip(0, 40, TextLike(300, 7)));
  round.Add("fast-text", RoundTrip(1, 40, TextLike(300, 8)));
  round.Add("fast-noise", RoundTrip(1, 40, RandomBytes(100, 9)));
  round.Add("auto-small", RoundTrip(2, 40, TextLike(200, 10)));
  round.Add("auto-repeated", RoundTrip(2 | 4, 40, ToBytes("abcabcabd")));
  round.Add("fast-noise-stretched", RoundTrip(1 | 8, 100, TextLike(50, 11)));
  round.Add("auto-repeated-low-threshold", RoundTrip(2 | 4, 3, TextLike(120, 12)));

  // The directory target reads the same archives.
  for (const char* target : {"archive_extract", "archive_directory"}) {
    const Corpus archive(root, target);
    archive.Add("one-file", Archive({File("readme.txt", "", TextLike(500, 13), Good)}, ArchiveLayout::FileNames));
    archive.Add("stored-paths",
                Archive({ArchiveItem::Folder("sub"), File("sub\\a.txt", "sub\\a.txt", TextLike(400, 14), Good),
                         File("sub\\b.bin", "sub\\b.bin", Runs(40000), Fast), File("empty.txt", "empty.txt", {}, Good)},
                        ArchiveLayout::StoredPaths));
    archive.Add("file-names", Archive({File("C:data.bin", "", RandomBytes(100, 15), Fast),
                                       File("dir\\x.txt", "", TextLike(300, 16), Good)},
                                      ArchiveLayout::FileNames));
  }

  const Corpus plan(root, "extraction_plan");
  plan.Add("flat", Plan(0, {"setup.exe", "", "readme.txt", "", "sub\\data.bin", ""}));
  plan.Add("stored-paths", Plan(1, {"setup.exe", "setup.exe", "tools", "|tools", "tools\\a.dat", "tools\\a.dat",
                                    "b", "tools/sub/b"}));
  plan.Add("forced-clash", Plan(2, {"setup.exe", "", "one\\A.txt", "", "two\\a.TXT", ""}));
  plan.Add("refused", Plan(1, {"x", "..\\evil.txt", "y", "C:evil", "z", "a\x1b[2J"}));

  const Corpus bounds(root, "archive_bounds");
  const Bytes program = Archive({File("a.txt", "", TextLike(200, 17), Good), File("b.bin", "", Runs(300), Fast)},
                                ArchiveLayout::FileNames, ProgramImage());
  bounds.Add("program", program);
  bounds.Add("signed", WithCertificate(program, program.size()));
  const Bytes stub_signed = WithCertificate(ProgramImage(), 512);
  bounds.Add("stub-signed", Archive({File("a.txt", "", TextLike(100, 18), Good)}, ArchiveLayout::FileNames,
                                    stub_signed));
  return 0;
}
