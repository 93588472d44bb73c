// Compress in its three modes, to streams and to files: what it writes, what
// it leaves behind when it fails, and that Decompress gives the input back.
#include <gtest/gtest.h>

#include <filesystem>

#include "compression/LZRW1.h"
#include "compression/bytes.h"
#include "tests/compression/io_doubles.h"
#include "tests/support/faults.h"
#include "tests/support/test_data.h"

namespace stowaway {
namespace {

using testing::Bytes;
using testing::Fault;
using testing::FaultKind;
using testing::FaultOp;
using testing::FaultyFiles;
using testing::FaultyStream;
using testing::RefusingFiles;
using testing::TempDir;
using testing::ZeroStream;

const Bytes LzhSignature{0x21, 0x48, 0x5A, 0x4C};
const Bytes LzrwSignature{0x57, 0x52, 0x5A, 0x4C};

Bytes Head(const Bytes& data, size_t count) { return Bytes(data.begin(), data.begin() + static_cast<ptrdiff_t>(count)); }

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(no exception)";
}

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
    return MessageOf([&] { codec.Compress(); });
  }

  Tlzrw1 codec;
  int32_t result = 0;
};

TEST_F(CompressStreams, HeaderCarriesTheSignatureAndTheLength) {
  const Bytes input = testing::TextLike(70000, 1);
  const Bytes length{0x70, 0x11, 0x01, 0x00};
  const Bytes good = Pack(input, TCompressMode::Good);
  EXPECT_EQ(Head(good, 4), LzhSignature);
  EXPECT_EQ(Bytes(good.begin() + 4, good.begin() + 8), length);
  EXPECT_EQ(result, static_cast<int32_t>(good.size()));
  const Bytes fast = Pack(input, TCompressMode::Fast);
  EXPECT_EQ(Head(fast, 4), LzrwSignature);
  EXPECT_EQ(Bytes(fast.begin() + 4, fast.begin() + 8), length);
  EXPECT_EQ(result, static_cast<int32_t>(fast.size()));
}

TEST_F(CompressStreams, EmptyInputInFastMode) {
  EXPECT_EQ(Pack({}, TCompressMode::Fast), (Bytes{0x57, 0x52, 0x5A, 0x4C, 0, 0, 0, 0, 0x01, 0x00, 0x80}));
  EXPECT_EQ(result, 11);
  EXPECT_EQ(codec.BytesRead, 0);
  EXPECT_EQ(codec.BytesWritten, 11);
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

TEST_F(CompressStreams, RoundTripsInEveryMode) {
  const std::vector<std::pair<const char*, Bytes>> inputs = {
      {"empty", {}},
      {"one byte", {0x42}},
      {"text", testing::TextLike(100000, 4)},
      {"repetitive", testing::Repetitive(200000, 4)},
      {"random", testing::RandomBytes(70000, 4)},
  };
  Tlzrw1 second;
  for (TCompressMode mode : {TCompressMode::Good, TCompressMode::Fast, TCompressMode::Auto}) {
    for (const auto& [name, input] : inputs) {
      SCOPED_TRACE(std::string(name) + " in mode " + std::to_string(static_cast<int>(mode)));
      const Bytes packed = Pack(input, mode);
      EXPECT_EQ(codec.BytesRead, static_cast<int32_t>(input.size()));
      EXPECT_EQ(codec.BytesWritten, static_cast<int32_t>(packed.size()));
      EXPECT_EQ(Unpack(codec, packed), input);
      EXPECT_EQ(Unpack(second, packed), input);
    }
  }
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

TEST_F(CompressStreams, FailuresReachTheCaller) {
  const Bytes input = testing::TextLike(40000, 6);
  for (TCompressMode mode : {TCompressMode::Good, TCompressMode::Fast}) {
    TMemoryStream in(input);
    TMemoryStream out;
    // Seeks of the input: the size (three), then the position query.
    FaultyStream no_size(in, {FaultOp::Seek, 2});
    EXPECT_EQ(Failure(no_size, out, mode), "Lzrw1 compression : Failed to obtain the size of the input stream !");
    FaultyStream no_input(in, {FaultOp::Seek, 4});
    EXPECT_EQ(Failure(no_input, out, mode), "Lzrw1 (de)compression : Failed to initialize input stream !");
    FaultyStream no_output(out, {FaultOp::Seek, 1});
    EXPECT_EQ(Failure(in, no_output, mode), "Lzrw1 (de)compression : Failed to initialize output stream !");
    EXPECT_TRUE(out.Data().empty());
    for (int nth : {1, 2, 3}) {
      TMemoryStream fresh(input);
      FaultyStream short_write(out, {FaultOp::Write, nth, FaultKind::Short});
      EXPECT_EQ(Failure(fresh, short_write, mode), "Compression Error, writing to output stream !") << nth;
    }
  }
  TMemoryStream in(input);
  TMemoryStream out;
  FaultyStream bad_read(in, {FaultOp::Read, 1});
  EXPECT_EQ(Failure(bad_read, out, TCompressMode::Fast), "Compression Error, reading from input stream ! (LZRW1/KH)");
  in.Seek(0, SeekOrigin::Begin);
  FaultyStream bad_read_lzh(in, {FaultOp::Read, 1});
  EXPECT_EQ(Failure(bad_read_lzh, out, TCompressMode::Good), "Compression Error, reading from input stream ! (LZH)");
}

TEST_F(CompressStreams, FailureKeepsTheLastProgressPoint) {
  Pack(testing::TextLike(1000, 7), TCompressMode::Fast);
  TMemoryStream out;
  TMemoryStream in(testing::TextLike(40000, 7));
  FaultyStream second_block(out, {FaultOp::Write, 6});
  EXPECT_EQ(Failure(in, second_block, TCompressMode::Fast), "Compression Error, writing to output stream !");
  EXPECT_EQ(codec.BytesRead, 32768) << "the first block's point";
  const int32_t written = codec.BytesWritten;
  TMemoryStream again(testing::TextLike(40000, 7));
  FaultyStream header(out, {FaultOp::Write, 1});
  EXPECT_EQ(Failure(again, header, TCompressMode::Fast), "Compression Error, writing to output stream !");
  EXPECT_EQ(codec.BytesRead, 32768);
  EXPECT_EQ(codec.BytesWritten, written);
}

TEST_F(CompressStreams, InputsOfTwoGiBOrMoreAreRefused) {
  TMemoryStream out;
  ZeroStream too_large(int64_t{1} << 31);
  EXPECT_EQ(Failure(too_large, out, TCompressMode::Fast), "Lzrw1 compression : input is too large (2 GiB or more) !");
  EXPECT_EQ(Failure(too_large, out, TCompressMode::Auto), "Lzrw1 compression : input is too large (2 GiB or more) !");
  EXPECT_TRUE(out.Data().empty());

  // The largest that fits, packed from near its end to keep the test short.
  ZeroStream largest((int64_t{1} << 31) - 1);
  largest.Seek(-10, SeekOrigin::End);
  EXPECT_EQ(Failure(largest, out, TCompressMode::Fast), "(no exception)");
  EXPECT_EQ(Bytes(out.Data().begin() + 4, out.Data().begin() + 8), (Bytes{0xFF, 0xFF, 0xFF, 0x7F}));
}

class CompressFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    input = dir.File("input.txt");
    output = dir.File("output.pak");
    codec.InputFile = input;
    codec.OutputFile = output;
  }
  std::string Run(TCompressMode mode) {
    codec.CompressMode = mode;
    return MessageOf([&] { codec.Compress(); });
  }

  TempDir dir;
  std::string input;
  std::string output;
  Tlzrw1 codec;
};

TEST_F(CompressFiles, RoundTripsInEveryMode) {
  const Bytes data = testing::BinaryLike(150000, 8);
  testing::WriteFileBytes(input, data);
  Tlzrw1 second;
  second.InputFile = output;
  second.OutputFile = dir.File("restored.bin");
  for (TCompressMode mode : {TCompressMode::Good, TCompressMode::Fast, TCompressMode::Auto}) {
    FaultyFiles files;
    ScopedFileSystem scope(files);
    codec.CompressMode = mode;
    const int32_t written = codec.Compress();
    EXPECT_EQ(written, static_cast<int32_t>(std::filesystem::file_size(output)));
    EXPECT_EQ(second.Decompress(), 150000);
    EXPECT_EQ(testing::ReadFileBytes(second.OutputFile), data);
    EXPECT_EQ(files.OpenCount(), 0u);
  }
}

TEST_F(CompressFiles, FailuresBeforeTheTransferCreateNoOutput) {
  EXPECT_EQ(Run(TCompressMode::Fast), "Lzrw1 compression : Failed to obtain the size of : " + input);
  EXPECT_FALSE(std::filesystem::exists(output));

  testing::WriteFileBytes(input, testing::TextLike(1000, 9));
  testing::WriteFileBytes(output, testing::ToBytes("precious"));
  {
    RefusingFiles files(RefusingFiles::Refuse::ReadWriteProbe);
    ScopedFileSystem scope(files);
    EXPECT_EQ(Run(TCompressMode::Good), "Lzrw1 compression : Failed to obtain the size of : " + input)
        << "a read-only input";
  }
  {
    RefusingFiles files(RefusingFiles::Refuse::ReadOpen);
    ScopedFileSystem scope(files);
    EXPECT_EQ(Run(TCompressMode::Fast), "Lzrw1 (de)compression : Failed to open input file : " + input);
  }
  EXPECT_EQ(testing::ReadFileBytes(output), testing::ToBytes("precious"));

  std::filesystem::remove(output);
  codec.OutputFile = dir.File("no-such-folder") + "\\output.pak";
  FaultyFiles files;
  ScopedFileSystem scope(files);
  EXPECT_EQ(Run(TCompressMode::Fast), "Lzrw1 (de)compression : Failed to open output file : " + codec.OutputFile);
  EXPECT_EQ(files.OpenCount(), 0u);
}

TEST_F(CompressFiles, TransferFailuresDeleteTheOutput) {
  testing::WriteFileBytes(input, testing::TextLike(40000, 10));
  struct Case {
    TCompressMode mode;
    Fault fault;
    std::string message;
  };
  const std::vector<Case> cases = {
      {TCompressMode::Fast, {FaultOp::Write, 1}, "Compression Error, writing to output file : " + output},
      {TCompressMode::Good, {FaultOp::Write, 2, FaultKind::Short}, "Compression Error, writing to output file : " + output},
      {TCompressMode::Fast, {FaultOp::Write, 4, FaultKind::Short}, "Compression Error, writing to output file : " + output},
      {TCompressMode::Fast, {FaultOp::Read, 2}, "Compression Error, reading from input file : " + input + " (LZRW1/KH)"},
      {TCompressMode::Good, {FaultOp::Read, 1}, "Compression Error, reading from input file : " + input + " (LZH)"},
  };
  for (const Case& c : cases) {
    testing::WriteFileBytes(output, testing::ToBytes("existed before"));
    FaultyFiles files(c.fault);
    ScopedFileSystem scope(files);
    EXPECT_EQ(Run(c.mode), c.message);
    EXPECT_FALSE(std::filesystem::exists(output)) << c.message;
    EXPECT_EQ(files.OpenCount(), 0u) << c.message;
  }
}

}  // namespace
}  // namespace stowaway
