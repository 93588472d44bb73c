// Decompress in both modes: its messages, what it leaves behind, and the
// counts it publishes.
#include <gtest/gtest.h>

#include <filesystem>

#include "compression/LZRW1.h"
#include "tests/compression/lzh_body_writer.h"
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
using testing::LzhBodyWriter;
using testing::TempDir;

// A valid LZH stream of 50000 bytes of text: two output blocks and more.
const Bytes& SampleStream() {
  static const Bytes stream = [] {
    LzhBodyWriter body;
    const Bytes text = testing::TextLike(50000, 4);
    for (uint8_t b : text) body.Literal(b);
    return body.Stream(static_cast<int32_t>(text.size()));
  }();
  return stream;
}

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const ELzrw1Exception& e) {
    return e.Message();
  } catch (const Exception& e) {
    return std::string(e.ClassName()) + ": " + e.Message();
  }
  return "(no exception)";
}

class StreamMode : public ::testing::Test {
 protected:
  std::string Run(TStream& in, TStream& out) {
    codec.UseStream = true;
    codec.InputStream = &in;
    codec.OutputStream = &out;
    return MessageOf([&] { codec.Decompress(); });
  }
  Tlzrw1 codec;
};

TEST_F(StreamMode, PositionQueriesThatFail) {
  TMemoryStream good(SampleStream());
  TMemoryStream out;
  FaultyStream bad_in(good, {FaultOp::Seek, 1});
  EXPECT_EQ(Run(bad_in, out), "Lzrw1 (de)compression : Failed to initialize input stream !");
  FaultyStream bad_out(out, {FaultOp::Seek, 1});
  EXPECT_EQ(Run(good, bad_out), "Lzrw1 (de)compression : Failed to initialize output stream !");
  EXPECT_EQ(good.Position(), 0) << "the queries do not move the stream";
}

TEST_F(StreamMode, FailuresInTheTransferReachTheCaller) {
  TMemoryStream out;
  TMemoryStream empty;
  EXPECT_EQ(Run(empty, out), "Compression Error, reading from input stream !");
  TMemoryStream foreign(testing::ToBytes("MZ, not packed"));
  EXPECT_EQ(Run(foreign, out), "Lzrw1 decompression : input stream contains no valid header !");
  TMemoryStream short_header(Bytes{0x21, 0x48, 0x5A, 0x4C, 0x10});
  EXPECT_EQ(Run(short_header, out), "Compression Error, reading from input stream !");
  EXPECT_TRUE(out.Data().empty());
}

TEST_F(StreamMode, ReadAndWriteErrors) {
  {
    TMemoryStream in(SampleStream());
    FaultyStream failing(in, {FaultOp::Read, 3});  // signature, size, first block
    TMemoryStream out;
    EXPECT_EQ(Run(failing, out), "Compression Error, reading from input stream ! (LZH)");
  }
  {
    TMemoryStream in(SampleStream());
    TMemoryStream out;
    FaultyStream failing(out, {FaultOp::Write, 2, FaultKind::Short});
    EXPECT_EQ(Run(in, failing), "Compression Error, writing to output stream !");
    EXPECT_EQ(codec.BytesWritten, 32768) << "the counts of the last progress point";
    EXPECT_EQ(out.Data().size(), 32768u + (50000u - 32768u) / 2) << "what was written stays";
  }
}

TEST_F(StreamMode, CountsKeepTheLastProgressPointAfterAFailure) {
  TMemoryStream in(SampleStream());
  TMemoryStream out;
  ASSERT_EQ(Run(in, out), "(no exception)");
  const int32_t read = codec.BytesRead;
  EXPECT_EQ(codec.BytesWritten, 50000);
  TMemoryStream foreign(testing::ToBytes("nothing packed here"));
  Run(foreign, out);
  EXPECT_EQ(codec.BytesRead, read);
  EXPECT_EQ(codec.BytesWritten, 50000);
}

TEST_F(StreamMode, CompressModeHasNoInfluence) {
  for (TCompressMode mode : {TCompressMode::Fast, TCompressMode::Auto}) {
    codec.CompressMode = mode;
    codec.Threshold = -5;
    TMemoryStream in(SampleStream());
    TMemoryStream out;
    EXPECT_EQ(Run(in, out), "(no exception)");
    EXPECT_EQ(out.Data(), testing::TextLike(50000, 4));
  }
}

class FileMode : public ::testing::Test {
 protected:
  void SetUp() override {
    input = dir.File("in.pak");
    output = dir.File("out.bin");
    codec.InputFile = input;
    codec.OutputFile = output;
  }
  std::string Run() { return MessageOf([&] { codec.Decompress(); }); }

  TempDir dir;
  std::string input;
  std::string output;
  Tlzrw1 codec;
};

TEST_F(FileMode, DecodesFileToFile) {
  testing::WriteFileBytes(input, SampleStream());
  FaultyFiles files;
  ScopedFileSystem scope(files);
  EXPECT_EQ(codec.Decompress(), 50000);
  EXPECT_EQ(testing::ReadFileBytes(output), testing::TextLike(50000, 4));
  EXPECT_EQ(files.OpenCount(), 0u);
}

TEST_F(FileMode, MissingInputLeavesAnExistingOutputAlone) {
  testing::WriteFileBytes(output, testing::ToBytes("precious"));
  EXPECT_EQ(Run(), "Lzrw1 (de)compression : Failed to open input file : " + input);
  EXPECT_EQ(testing::ReadFileBytes(output), testing::ToBytes("precious"));
}

TEST_F(FileMode, OutputThatCannotBeCreatedClosesTheInput) {
  testing::WriteFileBytes(input, SampleStream());
  codec.OutputFile = dir.File("missing-folder") + "\\out.bin";
  FaultyFiles files;
  ScopedFileSystem scope(files);
  EXPECT_EQ(Run(), "Lzrw1 (de)compression : Failed to open output file : " + codec.OutputFile);
  EXPECT_EQ(files.OpenCount(), 0u);
}

TEST_F(FileMode, TransferFailuresDeleteTheOutput) {
  struct Case {
    Bytes input;
    Fault fault;
    std::string message;
  };
  const Bytes foreign = testing::ToBytes("PK\x03\x04 some other archive");
  Bytes cut = SampleStream();
  cut.resize(6);
  const std::vector<Case> cases = {
      {{}, {}, "Compression Error, reading from input file : " + input},
      {cut, {}, "Compression Error, reading from input file : " + input},
      {foreign, {}, input + " : Lzrw1 decompression : this file has no valid header !"},
      {SampleStream(), {FaultOp::Read, 3}, "Compression Error, reading from input file : " + input + " (LZH)"},
      {SampleStream(), {FaultOp::Write, 1}, "Compression Error, writing to output file : " + output},
      {SampleStream(), {FaultOp::Write, 2, FaultKind::Short},
       "Compression Error, writing to output file : " + output},
  };
  for (const Case& c : cases) {
    testing::WriteFileBytes(input, c.input);
    testing::WriteFileBytes(output, testing::ToBytes("existed before"));
    FaultyFiles files(c.fault);
    ScopedFileSystem scope(files);
    EXPECT_EQ(Run(), c.message);
    EXPECT_FALSE(std::filesystem::exists(output)) << c.message;
    EXPECT_EQ(files.OpenCount(), 0u) << c.message;
  }
}

TEST(Exceptions, ClassNames) {
  EXPECT_STREQ(ELzrw1Exception("m").ClassName(), "ELzrw1Exception");
  EXPECT_STREQ(ElzhException("m").ClassName(), "ElzhException");
  EXPECT_STREQ(ELzrw1KHCompressor("m").ClassName(), "ELzrw1KHCompressor");
  const Exception& base = ELzrw1Exception("the message");
  EXPECT_STREQ(base.what(), "the message");
}

}  // namespace
}  // namespace stowaway
