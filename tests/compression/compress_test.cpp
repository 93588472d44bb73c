// Compress in its three modes and Decompress of what it wrote: headers and
// round trips at every codec's edge sizes, Auto's choice, where packing
// starts, inputs too large, and failures in file mode before the transfer.
// Each single failing call is swept in fault_sweep_test.
#include <gtest/gtest.h>

#include <filesystem>

#include "compression/bytes.h"
#include "tests/compression/io_doubles.h"
#include "tests/compression/observe.h"
#include "tests/support/faults.h"

namespace stowaway {
namespace {

using testing::Bytes;
using testing::FailureOf;
using testing::FaultyFiles;
using testing::TempDir;
using testing::ZeroStream;

const Bytes LzhSignature{0x21, 0x48, 0x5A, 0x4C};
const Bytes LzrwSignature{0x57, 0x52, 0x5A, 0x4C};

Bytes Head(const Bytes& data, size_t count) { return Bytes(data.begin(), data.begin() + static_cast<ptrdiff_t>(count)); }

class CompressStreams : public ::testing::Test {
 protected:
  Bytes Pack(const Bytes& input, TCompressMode mode) {
    TMemoryStream in(input);
    TMemoryStream out;
    Use(codec, in, out);
    codec.CompressMode = mode;
    result = codec.Compress();
    EXPECT_EQ(out.Position(), static_cast<int64_t>(out.Data().size()));
    return out.Data();
  }

  static Bytes Unpack(Tlzrw1& component, const Bytes& packed) {
    TMemoryStream in(packed);
    TMemoryStream out;
    Use(component, in, out);
    const int32_t written = component.Decompress();
    EXPECT_EQ(written, static_cast<int32_t>(out.Data().size()));
    return out.Data();
  }

  static void Use(Tlzrw1& component, TStream& in, TStream& out) {
    component.UseStream = true;
    component.InputStream = &in;
    component.OutputStream = &out;
  }

  std::string Failure(TStream& in, TStream& out, TCompressMode mode) {
    Use(codec, in, out);
    codec.CompressMode = mode;
    return FailureOf([&] { codec.Compress(); });
  }

  Tlzrw1 codec;
  int32_t result = 0;
};

TEST_F(CompressStreams, EmptyInputInFastMode) {
  EXPECT_EQ(Pack({}, TCompressMode::Fast), (Bytes{0x57, 0x52, 0x5A, 0x4C, 0, 0, 0, 0, 0x01, 0x00, 0x80}));
  EXPECT_EQ(result, 11);
  EXPECT_EQ(codec.BytesRead, 0);
  EXPECT_EQ(codec.BytesWritten, 11);
}

// Every mode on every kind of data at the sizes where LZH's window and
// LZRW1/KH's blocks turn. The same component unpacks, and so does a second
// one whose mode and threshold must make no difference.
TEST_F(CompressStreams, RoundTripsInEveryMode) {
  Tlzrw1 second;
  second.Threshold = -5;
  for (Bytes (*make)(size_t, uint32_t) : {testing::TextLike, testing::BinaryLike, testing::Repetitive,
                                          testing::RandomBytes}) {
    for (const size_t size : {0, 1, 2, 3, 59, 60, 61, 118, 119, 120, 4095, 4096, 4097, 4155, 32767, 32768,
                              32769, 65536, 100000}) {
      const Bytes input = make(size, static_cast<uint32_t>(size));
      for (TCompressMode mode : {TCompressMode::Good, TCompressMode::Fast, TCompressMode::Auto}) {
        SCOPED_TRACE(std::to_string(size) + " bytes, mode " + std::to_string(static_cast<int>(mode)));
        const Bytes packed = Pack(input, mode);
        const bool fast = packed[0] == LzrwSignature[0];
        EXPECT_EQ(Head(packed, 4), fast ? LzrwSignature : LzhSignature);
        if (mode != TCompressMode::Auto) {
          EXPECT_EQ(fast, mode == TCompressMode::Fast);
        }
        EXPECT_EQ(LoadLE32(packed.data() + 4), size);
        EXPECT_EQ(result, static_cast<int32_t>(packed.size()));
        EXPECT_EQ(codec.BytesRead, static_cast<int32_t>(size));
        EXPECT_EQ(codec.BytesWritten, result);
        if (fast) {
          // Blocks of 32768 bytes and a shorter last one, empty if need be,
          // framing the body exactly.
          size_t blocks = 0;
          size_t at = 8;
          for (; at + 2 <= packed.size(); at += 2u + LoadLE16(packed.data() + at)) ++blocks;
          EXPECT_EQ(at, packed.size());
          EXPECT_EQ(blocks, size / 32768 + 1);
          EXPECT_TRUE(size % 32768 != 0 || Bytes(packed.end() - 3, packed.end()) == (Bytes{0x01, 0x00, 0x80}));
        }
        EXPECT_EQ(Unpack(codec, packed), input);
        if (fast) {
          EXPECT_EQ(codec.BytesRead, result) << "exactly its blocks are read";
        }
        EXPECT_EQ(codec.BytesWritten, static_cast<int32_t>(size));
        second.CompressMode = fast ? TCompressMode::Good : TCompressMode::Fast;
        EXPECT_EQ(Unpack(second, packed), input);
      }
    }
  }
  // Hundreds of model rebuilds.
  const Bytes large = testing::RandomBytes(3 << 20, 3);
  EXPECT_EQ(Unpack(codec, Pack(large, TCompressMode::Good)), large);
}

TEST_F(CompressStreams, AutoWritesTheSignatureAdviseChose) {
  EXPECT_EQ(Head(Pack(testing::Repetitive(200000, 3), TCompressMode::Auto), 4), LzrwSignature);
  EXPECT_EQ(codec.CompressMode, TCompressMode::Auto);
  EXPECT_EQ(Head(Pack(testing::RandomBytes(200000, 3), TCompressMode::Auto), 4), LzhSignature);
  codec.Threshold = 100;
  EXPECT_EQ(Head(Pack(testing::BinaryLike(200000, 3), TCompressMode::Auto), 4), LzrwSignature);
  codec.Threshold = -1;
  EXPECT_EQ(Head(Pack(testing::BinaryLike(200000, 3), TCompressMode::Fast), 4), LzrwSignature)
      << "only Advise reads the threshold";

  EXPECT_EQ(Head(Pack(Bytes(50000, 0x20), TCompressMode::Auto), 4), LzhSignature);
  EXPECT_EQ(codec.CompressMode, TCompressMode::Good) << "Advise's lasting choice for small inputs";
}

TEST_F(CompressStreams, PacksFromThePositionButRecordsTheWholeLength) {
  TMemoryStream in(testing::TextLike(5000, 5));
  in.Seek(1000, SeekOrigin::Begin);
  TMemoryStream out;
  Use(codec, in, out);
  codec.CompressMode = TCompressMode::Fast;
  codec.Compress();
  EXPECT_EQ(codec.BytesRead, 4000);
  EXPECT_EQ(LoadLE32(out.Data().data() + 4), 5000u);
}

TEST_F(CompressStreams, InputsOfTwoGiBOrMoreAreRefused) {
  const std::string too_large = "ELzrw1Exception: Lzrw1 compression : input is too large (2 GiB or more) !";
  TMemoryStream out;
  ZeroStream two_gib(int64_t{1} << 31);
  EXPECT_EQ(Failure(two_gib, out, TCompressMode::Fast), too_large);
  EXPECT_EQ(Failure(two_gib, out, TCompressMode::Auto), too_large);
  EXPECT_TRUE(out.Data().empty());

  // The largest that fits, packed from near its end to keep the test short.
  ZeroStream largest((int64_t{1} << 31) - 1);
  largest.Seek(-10, SeekOrigin::End);
  EXPECT_EQ(Failure(largest, out, TCompressMode::Fast), "");
  EXPECT_EQ(Bytes(out.Data().begin() + 4, out.Data().begin() + 8), (Bytes{0xFF, 0xFF, 0xFF, 0x7F}));
}

// Files that cannot be measured, read or created: the operation fails before
// the transfer, leaves an existing output as it was and no file open.
TEST(FileMode, FailuresBeforeTheTransfer) {
  TempDir dir;
  const std::string input = dir.File("input.txt");
  const std::string output = dir.File("output.pak");
  const std::string no_folder = dir.File("no-such-folder") + "/output.pak";
  enum Refusal { None, ReadOpen, ReadWriteOpen };
  struct Case {
    const char* operation;
    bool input_exists;
    Refusal refusal;
    std::string output;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"compress", false, None, output, "Lzrw1 compression : Failed to obtain the size of : " + input},
      {"compress", true, ReadWriteOpen, output, "Lzrw1 compression : Failed to obtain the size of : " + input},
      {"compress", true, ReadOpen, output, "Lzrw1 (de)compression : Failed to open input file : " + input},
      {"compress", true, None, no_folder, "Lzrw1 (de)compression : Failed to open output file : " + no_folder},
      {"decompress", false, None, output, "Lzrw1 (de)compression : Failed to open input file : " + input},
      {"decompress", true, None, no_folder, "Lzrw1 (de)compression : Failed to open output file : " + no_folder},
      {"advise", false, None, output, "Lzrw1 advise : can not get the size of : " + input},
      {"advise", true, ReadWriteOpen, output, "Lzrw1 advise : can not get the size of : " + input},
      {"advise", true, ReadOpen, output, "Lzrw1 advise : can open input file : " + input},
  };
  const Bytes packable = testing::Packed(testing::TextLike(1000, 9), TCompressMode::Fast);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    std::filesystem::remove(input);
    if (c.input_exists) testing::WriteFileBytes(input, packable);
    testing::WriteFileBytes(output, testing::ToBytes("precious"));
    FaultyFiles files;
    files.refuse_read_open = c.refusal == ReadOpen;
    files.refuse_read_write_open = c.refusal == ReadWriteOpen;
    ScopedFileSystem scope(files);
    Tlzrw1 codec;
    codec.InputFile = input;
    codec.OutputFile = c.output;
    const std::string operation = c.operation;
    EXPECT_EQ(FailureOf([&] {
                if (operation == "compress") codec.Compress();
                if (operation == "decompress") codec.Decompress();
                if (operation == "advise") codec.Advise();
              }),
              "ELzrw1Exception: " + c.message);
    EXPECT_EQ(testing::ReadFileBytes(output), testing::ToBytes("precious"));
    EXPECT_EQ(files.OpenCount(), 0u);
  }
}

TEST(Exceptions, ClassNames) {
  EXPECT_STREQ(ELzrw1Exception("m").ClassName(), "ELzrw1Exception");
  EXPECT_STREQ(ElzhException("m").ClassName(), "ElzhException");
  EXPECT_STREQ(ELzrw1KHCompressor("m").ClassName(), "ELzrw1KHCompressor");
  const Exception& base = ELzrw1Exception("the message");
  EXPECT_STREQ(base.what(), "the message");
}

// A full first block, as from a file, then pieces of 1 to 700 bytes, as a
// pipe might deliver them.
class FullThenSmall final : public TStream {
 public:
  explicit FullThenSmall(Bytes data) : inner_(std::move(data)) {}

  int32_t Read(void* buffer, int32_t count) override {
    if (count > 4 && reads_++ > 0) count = std::min<int32_t>(count, reads_ * 37 % 700 + 1);
    return inner_.Read(buffer, count);
  }
  int32_t Write(const void* buffer, int32_t count) override { return inner_.Write(buffer, count); }
  int64_t Seek(int64_t offset, SeekOrigin origin) override { return inner_.Seek(offset, origin); }

 private:
  TMemoryStream inner_;
  int reads_ = 0;
};

// What a caller sees of one packing with the fault on the given side. The
// input's position is left out: on threads both coders read ahead, so a
// failure may leave the input further on.
std::string PackedLine(TCompressMode mode, const Bytes& input, bool small_reads, testing::Fault fault,
                       bool on_output, int threads) {
  TMemoryStream memory(input);
  FullThenSmall pieces(input);
  TStream& source = small_reads ? static_cast<TStream&>(pieces) : memory;
  testing::FaultyStream in(source, on_output ? testing::Fault{} : fault);
  TMemoryStream out_memory;
  testing::FaultyStream out(out_memory, on_output ? fault : testing::Fault{});
  const testing::Observed seen =
      testing::Observe(testing::Operation::Compress, mode, in, out, out_memory, threads);
  return seen.outcome + " | " + testing::Hash(seen.output) + " | " + testing::Hash(seen.points);
}

TEST(Compress, ThreadsChangeNothingACallerSees) {
  // Runs of one byte, which only one thread's trees hold, and mixed data.
  Bytes short_input(70000, 0);
  const Bytes mixed = testing::Mixed(5, 12, 20000, 40000);
  short_input.insert(short_input.end(), mixed.begin(), mixed.end());
  // LZRW1/KH codes its blocks in batches of dozens: it gets enough for
  // several batches on three threads, and faults in later ones.
  Bytes long_input = short_input;
  const Bytes text = testing::TextLike(5 << 20, 61);
  long_input.insert(long_input.end(), text.begin(), text.end());
  using testing::Fault;
  using testing::FaultKind;
  using testing::FaultOp;
  const struct {
    Fault fault;
    bool on_output;
  } cases[] = {{{}, false},
               {{FaultOp::Read, 5, FaultKind::Fail}, false},
               {{FaultOp::Read, 4, FaultKind::Short}, false},
               {{FaultOp::Read, 120, FaultKind::Fail}, false},
               {{FaultOp::Write, 4, FaultKind::Fail}, true},
               {{FaultOp::Write, 5, FaultKind::Short}, true},
               {{FaultOp::Write, 250, FaultKind::Fail}, true}};
  for (TCompressMode mode : {TCompressMode::Good, TCompressMode::Fast}) {
    const Bytes& input = mode == TCompressMode::Fast ? long_input : short_input;
    for (bool small_reads : {false, true}) {
      for (const auto& c : cases) {
        const std::string alone = PackedLine(mode, input, small_reads, c.fault, c.on_output, 1);
        for (int threads : {2, 3}) {
          EXPECT_EQ(PackedLine(mode, input, small_reads, c.fault, c.on_output, threads), alone)
              << (mode == TCompressMode::Good ? "LZH, " : "LZRW1/KH, ") << testing::Describe(c.fault)
              << (small_reads ? ", small reads, " : ", ") << threads << " threads";
        }
      }
    }
  }
}

}  // namespace
}  // namespace stowaway
