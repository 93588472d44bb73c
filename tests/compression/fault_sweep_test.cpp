// Every operation of the component with each of its calls broken in turn,
// failing or coming up short. The failure raised is the one the broken call
// stands for; in file mode no file is left open, a failed transfer leaves no
// output file and an earlier failure leaves an existing one as it was; in
// stream mode a failure leaves only a correct beginning of the output, and
// none before the transfer; where the operation carries on, its result is
// right; and whatever happened, the counts are those of the last progress
// point reached, on a component that has run every case before.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/compression/observe.h"
#include "tests/support/faults.h"

namespace stowaway {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::Describe;
using testing::EveryFault;
using testing::FailureOf;
using testing::Fault;
using testing::FaultCounts;
using testing::FaultKind;
using testing::FaultOp;
using testing::FaultyFiles;
using testing::FaultyStream;
using testing::TempDir;
using Calls = std::vector<std::string>;

const std::string ReadingStream = "ELzrw1Exception: Compression Error, reading from input stream !";
const std::string WritingStream = "ELzrw1Exception: Compression Error, writing to output stream !";
const std::string NoInputStream =
    "ELzrw1Exception: Lzrw1 (de)compression : Failed to initialize input stream !";
const std::string NoOutputStream =
    "ELzrw1Exception: Lzrw1 (de)compression : Failed to initialize output stream !";
const std::string NoStreamSize =
    "ELzrw1Exception: Lzrw1 compression : Failed to obtain the size of the input stream !";
const std::string AdviseNoStreamSize =
    "ELzrw1Exception: Lzrw1 advise : can not get size of inputstream !";
const std::string AdviseNoRewind =
    "ELzrw1Exception: Lzrw1 edvise : can not initialize the input stream!";
const std::string AdviseReadingStream = "ELzrw1Exception: Lzrw1 advise : input stream read error !";
const std::string LzrwSizesDiffer =
    "ELzrw1Exception: Lzrw1 (decompression LZRW1/KH) : Original and compressed sizes do not match !";

Calls Times(int count, const std::string& failure) {
  return Calls(static_cast<size_t>(std::max(count, 0)), failure);
}

Calls Then(Calls first, const Calls& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// A stream that Compress wrote but Decompress refuses, with this failure.
std::string Refused(const std::string& failure) { return "refused by Decompress: " + failure; }

// What breaking each call must give, call by call of each kind: the failure
// raised, or empty where the operation carries on as if nothing happened.
struct Expected {
  Calls failed_reads;
  Calls short_reads;
  Calls writes;  // failed or short alike
  Calls seeks;
  Calls sizes;

  std::string For(const Fault& fault) const {
    const Calls& calls = fault.op == FaultOp::Read ? (fault.kind == FaultKind::Fail ? failed_reads : short_reads)
                         : fault.op == FaultOp::Write ? writes
                         : fault.op == FaultOp::Seek  ? seeks
                                                      : sizes;
    const auto index = static_cast<size_t>(fault.nth - 1);
    return index < calls.size() ? calls[index] : std::string();
  }

  // Every call the clean run made has its expectation, and no more.
  void ExpectToCover(const FaultCounts& clean) const {
    EXPECT_EQ(failed_reads.size(), static_cast<size_t>(clean.reads));
    EXPECT_EQ(short_reads.size(), static_cast<size_t>(clean.reads));
    EXPECT_EQ(writes.size(), static_cast<size_t>(clean.writes));
    EXPECT_EQ(seeks.size(), static_cast<size_t>(clean.seeks));
    EXPECT_EQ(sizes.size(), static_cast<size_t>(clean.sizes));
  }
};

bool StartsWith(const Bytes& whole, const Bytes& part) {
  return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

// An operation and its result: the count Decompress and Compress return, or
// the mode Advise chose.
using Operation = std::function<int32_t(Tlzrw1&)>;

const Operation Decompress = [](Tlzrw1& codec) { return codec.Decompress(); };

Operation Compress(TCompressMode mode) {
  return [mode](Tlzrw1& codec) {
    codec.CompressMode = mode;
    const int32_t written = codec.Compress();
    EXPECT_EQ(written, codec.BytesWritten);
    return written;
  };
}

const Operation Advise = [](Tlzrw1& codec) { return static_cast<int32_t>(codec.Advise()); };

using Counts = std::pair<int32_t, int32_t>;

// Runs operation on codec, recording its progress points: the failure, the
// result, and whether the counts are those of the last point reached (or,
// with none reached, those the run found).
struct Outcome {
  std::string failure;
  int32_t result = 0;
  bool counts_kept = false;
};

Outcome RunOn(Tlzrw1& codec, const Operation& operation) {
  const Counts before{codec.BytesRead, codec.BytesWritten};
  Outcome outcome;
  testing::ProgressRecorder recorder(codec);
  outcome.failure = FailureOf([&] { outcome.result = operation(codec); });
  const Counts last = recorder.points.empty() ? before : recorder.points.back();
  outcome.counts_kept = Counts{codec.BytesRead, codec.BytesWritten} == last;
  return outcome;
}

enum class Side { Input, Output };

struct StreamRun : Outcome {
  Bytes output;
  int64_t input_position = 0;
  FaultCounts calls;  // of the side broken
};

// The operation between a memory input, positioned at start, and a memory
// output, with the calls of one side broken as fault says.
StreamRun OnStreams(Tlzrw1& codec, const Operation& operation, const Bytes& input, Side side, Fault fault,
                    int64_t start = 0) {
  TMemoryStream in_memory(input);
  TMemoryStream out_memory;
  in_memory.Seek(start, SeekOrigin::Begin);
  FaultyStream in(in_memory, side == Side::Input ? fault : Fault{});
  FaultyStream out(out_memory, side == Side::Output ? fault : Fault{});
  codec.UseStream = true;
  codec.InputStream = &in;
  codec.OutputStream = &out;
  StreamRun run;
  static_cast<Outcome&>(run) = RunOn(codec, operation);
  run.output = out_memory.Data();
  run.input_position = in_memory.Position();
  run.calls = side == Side::Input ? in.Counts() : out.Counts();
  return run;
}

StreamRun OnStreams(const Operation& operation, const Bytes& input, Side side, Fault fault, int64_t start = 0) {
  Tlzrw1 codec;
  return OnStreams(codec, operation, input, side, fault, start);
}

// How a Compress that raised nothing came out: empty when its stream gives
// the input back.
std::string RoundTrip(const Bytes& packed, const Bytes& input) {
  const testing::Observed seen = testing::Observe(testing::Operation::Decompress, TCompressMode::Good, packed);
  if (seen.outcome.rfind("ok ", 0) != 0) return Refused(seen.outcome);
  return seen.output == input ? std::string() : "Decompress gave other bytes";
}

// 56000 bytes: two blocks of either codec, more than one LZH buffer load.
const Bytes& Sample() {
  static const Bytes sample = [] {
    Bytes bytes = testing::RandomBytes(36000, 1);
    const Bytes text = testing::TextLike(20000, 2);
    bytes.insert(bytes.end(), text.begin(), text.end());
    return bytes;
  }();
  return sample;
}

// Large enough for Advise to take its two samples, the first coming out Fast
// and the second Good; the last block is long enough for a short read to
// shorten it.
const Bytes& LargeRepetitive() {
  static const Bytes data = testing::Repetitive(120000, 3);
  return data;
}
const Bytes& LargeBinary() {
  static const Bytes data = testing::BinaryLike(120000, 4);
  return data;
}

struct CompressCase {
  const char* name;
  TCompressMode mode;
  const Bytes& input;
  TCompressMode coder;  // the codec that does the packing
};

// Every mode, and Auto both ways.
const std::vector<CompressCase>& CompressCases() {
  static const std::vector<CompressCase> cases = {
      {"Good", TCompressMode::Good, Sample(), TCompressMode::Good},
      {"Fast", TCompressMode::Fast, Sample(), TCompressMode::Fast},
      {"Auto, chooses Fast", TCompressMode::Auto, LargeRepetitive(), TCompressMode::Fast},
      {"Auto, chooses Good", TCompressMode::Auto, LargeBinary(), TCompressMode::Good},
  };
  return cases;
}

// Breaks every call of one side of a stream-mode operation in turn, all on
// one component. A run that raises nothing must give result (Decompress:
// the bytes; Compress: a stream that restores input); one that raises
// leaves a beginning of the clean run's output, and nothing when a seek or
// size query broke, which come before the transfer.
void SweepStreams(const Operation& operation, const Bytes& input, Side side, const Expected& expected,
                  const Bytes& result, bool packing) {
  const StreamRun clean = OnStreams(operation, input, side, {});
  ASSERT_EQ(clean.failure, "");
  expected.ExpectToCover(clean.calls);
  Tlzrw1 codec;
  for (const Fault& fault : EveryFault(clean.calls)) {
    SCOPED_TRACE((side == Side::Input ? "input: " : "output: ") + Describe(fault));
    const StreamRun run = OnStreams(codec, operation, input, side, fault);
    EXPECT_TRUE(run.counts_kept);
    if (!run.failure.empty()) {
      EXPECT_EQ(run.failure, expected.For(fault));
      EXPECT_TRUE(StartsWith(clean.output, run.output)) << "only a correct beginning stays";
      EXPECT_TRUE(run.output.empty() || (fault.op != FaultOp::Seek && fault.op != FaultOp::Size))
          << "nothing written before the transfer";
      if (run.failure == NoInputStream || run.failure == NoOutputStream) {
        EXPECT_EQ(run.input_position, 0) << "the position queries move nothing";
      }
    } else if (packing) {
      EXPECT_EQ(RoundTrip(run.output, input), expected.For(fault));
      EXPECT_EQ(run.result, static_cast<int32_t>(run.output.size()));
    } else {
      EXPECT_EQ(expected.For(fault), "");
      EXPECT_EQ(run.output, result);
      EXPECT_EQ(run.result, static_cast<int32_t>(result.size()));
    }
  }
}

TEST(DecompressFaultSweep, Streams) {
  for (TCompressMode mode : {TCompressMode::Good, TCompressMode::Fast}) {
    SCOPED_TRACE(mode == TCompressMode::Good ? "LZH" : "LZRW1/KH");
    const Bytes packed = testing::Packed(Sample(), mode);
    const FaultCounts clean = OnStreams(Decompress, packed, Side::Input, {}).calls;
    Expected input;
    input.seeks = {NoInputStream};
    if (mode == TCompressMode::Good) {
      ASSERT_GE(clean.reads, 5) << "signature, size, two loads, the end";
      // The signature and the size are read straight from the stream, the
      // body a load at a time, and a short load is no failure.
      input.failed_reads = Then(Times(2, ReadingStream), Times(clean.reads - 2, ReadingStream + " (LZH)"));
      input.short_reads = Then(Times(2, ReadingStream), Times(clean.reads - 2, ""));
    } else {
      ASSERT_EQ(clean.reads, 2 + 2 * 2) << "signature, size, two blocks";
      input.failed_reads = input.short_reads = Times(clean.reads, ReadingStream);
    }
    SweepStreams(Decompress, packed, Side::Input, input, Sample(), false);

    Expected output;
    output.seeks = {NoOutputStream};
    output.writes = Times(OnStreams(Decompress, packed, Side::Output, {}).calls.writes, WritingStream);
    SweepStreams(Decompress, packed, Side::Output, output, Sample(), false);
  }
}

TEST(CompressFaultSweep, Streams) {
  for (const CompressCase& c : CompressCases()) {
    SCOPED_TRACE(c.name);
    const Operation compress = Compress(c.mode);
    const StreamRun clean = OnStreams(compress, c.input, Side::Input, {});
    ASSERT_EQ(clean.output[0], c.coder == TCompressMode::Fast ? 0x57 : 0x21);

    // Reads and seeks of the input: Advise's first in Auto mode, then the
    // size, the position query and the coder's reads.
    Expected input;
    const bool advised = c.mode == TCompressMode::Auto;
    // A stream whose position Advise cannot learn, or which does not seek
    // back, is refused: packing it would start from the wrong place.
    const Calls advise_seeks =
        advised ? Then(Then({AdviseNoRewind}, Times(3, AdviseNoStreamSize)), {AdviseNoRewind, "", "", AdviseNoRewind})
                : Calls{};
    input.seeks = Then(advise_seeks, Then(Times(3, NoStreamSize), {NoInputStream}));
    input.sizes = Then(advised ? Calls{AdviseNoStreamSize} : Calls{}, {NoStreamSize});
    const int advise_reads = advised ? 2 : 0;
    const int coder_reads = clean.calls.reads - advise_reads;
    if (c.coder == TCompressMode::Fast) {
      // A short read ends the body early: the size check catches it.
      input.failed_reads = Times(coder_reads, ReadingStream + " (LZRW1/KH)");
      input.short_reads = Times(coder_reads, Refused(LzrwSizesDiffer));
    } else {
      input.failed_reads = Times(coder_reads, ReadingStream + " (LZH)");
      input.short_reads = Times(coder_reads, "");
    }
    input.failed_reads = Then(Times(advise_reads, AdviseReadingStream), input.failed_reads);
    input.short_reads = Then(Times(advise_reads, ""), input.short_reads);
    SweepStreams(compress, c.input, Side::Input, input, {}, true);

    Expected output;
    output.seeks = {NoOutputStream};
    output.writes = Times(OnStreams(compress, c.input, Side::Output, {}).calls.writes, WritingStream);
    SweepStreams(compress, c.input, Side::Output, output, {}, true);
  }
}

TEST(AdviseFaultSweep, Streams) {
  constexpr int64_t start = 777;
  const StreamRun clean = OnStreams(Advise, LargeRepetitive(), Side::Input, {}, start);
  ASSERT_EQ(clean.input_position, start);
  // The position, the size, the rewind, two samples, the way back. Samples
  // taken from elsewhere or short only change the estimate.
  Expected expected;
  expected.seeks = Then(Then({AdviseNoRewind}, Times(3, AdviseNoStreamSize)), {AdviseNoRewind, "", "", AdviseNoRewind});
  expected.sizes = {AdviseNoStreamSize};
  expected.failed_reads = Times(2, AdviseReadingStream);
  expected.short_reads = Times(2, "");
  expected.ExpectToCover(clean.calls);
  Tlzrw1 codec;
  for (const Fault& fault : EveryFault(clean.calls)) {
    SCOPED_TRACE(Describe(fault));
    const StreamRun run = OnStreams(codec, Advise, LargeRepetitive(), Side::Input, fault, start);
    EXPECT_EQ(run.failure, expected.For(fault));
    EXPECT_TRUE(run.counts_kept);
    EXPECT_TRUE(!run.failure.empty() || run.result == static_cast<int32_t>(TCompressMode::Fast));
    // A failed size query or rewind leaves the stream where that call did; a
    // position never learnt or a failed way back cannot be made good, and
    // is reported.
    const bool before_rewind = run.failure == AdviseNoStreamSize || run.failure == AdviseNoRewind;
    const bool unrestorable = fault.op == FaultOp::Seek && (fault.nth == 1 || fault.nth == clean.calls.seeks);
    if (!before_rewind && !unrestorable) {
      EXPECT_EQ(run.input_position, start);
    }
  }
}

// The operations between two files, through a file layer with one call
// broken, on one component.
class FileFaultSweep : public ::testing::Test {
 protected:
  struct FileRun : Outcome {
    bool output_exists = false;
    Bytes output;
    size_t open = 0;
    FaultCounts calls;
  };

  // With prior, an output file is there before the run.
  FileRun OnFiles(const Operation& operation, const Bytes& input, Fault fault, bool prior) {
    testing::WriteFileBytes(input_path, input);
    fs::remove(output_path);
    if (prior) testing::WriteFileBytes(output_path, Prior());
    FaultyFiles files(fault);
    FileRun run;
    {
      ScopedFileSystem scope(files);
      codec.UseStream = false;
      codec.InputFile = input_path;
      codec.OutputFile = output_path;
      static_cast<Outcome&>(run) = RunOn(codec, operation);
    }
    run.open = files.OpenCount();
    run.calls = files.Counts();
    run.output_exists = fs::exists(output_path);
    if (run.output_exists) run.output = testing::ReadFileBytes(output_path);
    EXPECT_EQ(testing::ReadFileBytes(input_path), input) << "the input is only read";
    for (const auto& item : fs::directory_iterator(dir.Path())) {
      EXPECT_TRUE(item.path() == fs::path(input_path) || item.path() == fs::path(output_path))
          << item.path() << " made beside the output";
    }
    return run;
  }

  // Breaks every call in turn, with an output file there before. A run that
  // raises in the transfer leaves no output file, one that raises before it
  // leaves the file as it was; one that does not raise leaves result
  // (Decompress, Advise) or a stream that restores input (Compress); none
  // leaves a file open.
  void Sweep(const Operation& operation, const Bytes& input, const Expected& expected, const Bytes& result,
             int32_t result_value, bool packing) {
    const FileRun clean = OnFiles(operation, input, {}, false);
    ASSERT_EQ(clean.failure, "");
    expected.ExpectToCover(clean.calls);
    for (const Fault& fault : EveryFault(clean.calls)) {
      SCOPED_TRACE(Describe(fault));
      const FileRun run = OnFiles(operation, input, fault, true);
      EXPECT_EQ(run.open, 0u);
      EXPECT_TRUE(run.counts_kept);
      if (!run.failure.empty()) {
        EXPECT_EQ(run.failure, expected.For(fault));
        if (run.failure.find(": Compression Error, ") != std::string::npos) {
          EXPECT_FALSE(run.output_exists);
        } else {
          EXPECT_EQ(run.output, Prior()) << "a failure before the transfer leaves the output alone";
        }
        continue;
      }
      if (packing) {
        EXPECT_EQ(RoundTrip(run.output, input), expected.For(fault));
        result_value = static_cast<int32_t>(run.output.size());
      } else {
        EXPECT_EQ(expected.For(fault), "");
        EXPECT_EQ(run.output, result);
      }
      EXPECT_EQ(run.result, result_value);
    }
  }

  static Bytes Prior() { return testing::ToBytes("existed before"); }
  std::string Reading(const char* suffix = "") const {
    return "ELzrw1Exception: Compression Error, reading from input file : " + input_path + suffix;
  }
  std::string Writing() const {
    return "ELzrw1Exception: Compression Error, writing to output file : " + output_path;
  }

  TempDir dir;
  std::string input_path = dir.File("input.bin");
  std::string output_path = dir.File("output.bin");
  Tlzrw1 codec;
};

TEST_F(FileFaultSweep, Decompress) {
  for (TCompressMode mode : {TCompressMode::Good, TCompressMode::Fast}) {
    SCOPED_TRACE(mode == TCompressMode::Good ? "LZH" : "LZRW1/KH");
    const Bytes packed = testing::Packed(Sample(), mode);
    const FileRun clean = OnFiles(Decompress, packed, {}, false);
    Expected expected;
    if (mode == TCompressMode::Good) {
      expected.failed_reads = Then(Times(2, Reading()), Times(clean.calls.reads - 2, Reading(" (LZH)")));
      expected.short_reads = Then(Times(2, Reading()), Times(clean.calls.reads - 2, ""));
    } else {
      expected.failed_reads = expected.short_reads = Times(clean.calls.reads, Reading());
    }
    expected.writes = Times(clean.calls.writes, Writing());
    Sweep(Decompress, packed, expected, Sample(), static_cast<int32_t>(Sample().size()), false);
  }
}

TEST_F(FileFaultSweep, Compress) {
  const std::string no_size = "ELzrw1Exception: Lzrw1 compression : Failed to obtain the size of : " + input_path;
  const std::string advise_no_size = "ELzrw1Exception: Lzrw1 advise : can not get the size of : " + input_path;
  const std::string advise_reading = "ELzrw1Exception: Lzrw1 advise : read error on input file : " + input_path;
  for (const CompressCase& c : CompressCases()) {
    SCOPED_TRACE(c.name);
    const Operation compress = Compress(c.mode);
    const FileRun clean = OnFiles(compress, c.input, {}, false);
    ASSERT_EQ(clean.output[0], c.coder == TCompressMode::Fast ? 0x57 : 0x21);
    // Advise measures the file and seeks to its two samples; Compress
    // measures it again.
    const bool advised = c.mode == TCompressMode::Auto;
    Expected expected;
    expected.seeks = Then(advised ? Calls{advise_no_size, "", ""} : Calls{}, {no_size});
    expected.sizes = Then(advised ? Calls{advise_no_size} : Calls{}, {no_size});
    const int advise_reads = advised ? 2 : 0;
    const int coder_reads = clean.calls.reads - advise_reads;
    const bool fast = c.coder == TCompressMode::Fast;
    expected.failed_reads = Then(Times(advise_reads, advise_reading),
                                 Times(coder_reads, Reading(fast ? " (LZRW1/KH)" : " (LZH)")));
    expected.short_reads =
        Then(Times(advise_reads, ""), Times(coder_reads, fast ? Refused(LzrwSizesDiffer) : ""));
    expected.writes = Times(clean.calls.writes, Writing());
    Sweep(compress, c.input, expected, {}, 0, true);
  }
}

TEST_F(FileFaultSweep, Advise) {
  const FileRun clean = OnFiles(Advise, LargeRepetitive(), {}, false);
  Expected expected;
  expected.seeks = {"ELzrw1Exception: Lzrw1 advise : can not get the size of : " + input_path, "", ""};
  expected.sizes = {expected.seeks[0]};
  expected.failed_reads = Times(2, "ELzrw1Exception: Lzrw1 advise : read error on input file : " + input_path);
  expected.short_reads = Times(2, "");
  Sweep(Advise, LargeRepetitive(), expected, Prior(), static_cast<int32_t>(TCompressMode::Fast), false);
  EXPECT_FALSE(clean.output_exists) << "Advise writes nothing";
}

}  // namespace
}  // namespace stowaway
