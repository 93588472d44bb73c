// Compress then Decompress, in every mode, gives back the input byte for
// byte, and the counts agree with the bytes that moved.
//
// Input: a control byte, a parameter byte, then the data. The control byte's
// low two bits choose the mode (0 Good, 1 Fast, 2 Auto, 3 Auto as well); its
// next two bits may stretch the data, by repeating it (1) or by padding it
// with noise (2 or 3): past one block in Fast mode, past the size at which
// Advise takes samples in Auto mode. The parameter byte is Advise's
// Threshold and varies the stretched length.
//
// The LZH encoder is slow under the fuzzer's instrumentation, so only data
// the fast coder packs is stretched: in Good mode never, in Auto mode only by
// repeating its first 64 bytes at most, with a threshold of at least
// MinStretchedThreshold, at which Advise sends such data to the fast coder.
// Stretched past the size Advise samples, an execution takes a few
// milliseconds even so: in Auto mode only both stretch bits stretch.
//
// So that one execution stays short, the data is cut to MaxData bytes (Good
// and Auto mode, where short data goes to the LZH coder: MaxGoodData), and a stretch reaches only just past the border it is
// there for: one block, or the size Advise samples.
#include <random>

#include "fuzz/fuzz_support.h"

namespace {

using stowaway::TCompressMode;

constexpr size_t OneBlock = stowaway::BlockSize;
// The smallest input that Advise samples.
constexpr size_t SampledSize = 3 * OneBlock;
constexpr size_t MaxData = 4096;
constexpr size_t MaxGoodData = 1024;
constexpr uint8_t MinStretchedThreshold = 20;

// Repeating: the data stays as it is and its first period bytes follow
// again and again.
std::vector<uint8_t> Stretched(const uint8_t* data, size_t size, int how, size_t length, size_t period) {
  std::vector<uint8_t> out(data, data + size);
  if (how == 0 || out.size() >= length) return out;
  period = std::min(period, size);
  out.resize(length);
  if (how == 1 && period > 0) {
    for (size_t at = size; at < length; ++at) out[at] = data[(at - size) % period];
    return out;
  }
  std::minstd_rand noise(static_cast<uint32_t>(size * 31u + length));
  for (size_t at = size; at < length; ++at) out[at] = static_cast<uint8_t>(noise());
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace stowaway;
  if (size < 2) return 0;
  const uint8_t control = data[0];
  const uint8_t parameter = data[1];
  const auto mode = static_cast<TCompressMode>(std::min(control & 3, 2));
  const int stretch = control >> 2 & 3;
  const int how = mode == TCompressMode::Good ? 0 : mode == TCompressMode::Auto ? stretch / 3 : stretch;
  const bool advised = mode == TCompressMode::Auto;
  const size_t length = (advised ? SampledSize : OneBlock) + parameter % 64u;
  const size_t kept = std::min(size - 2, mode == TCompressMode::Fast ? MaxData : MaxGoodData);
  const std::vector<uint8_t> input = Stretched(data + 2, kept, how, length, advised ? 64 : kept);

  TMemoryStream source(input);
  TMemoryStream packed;
  Tlzrw1 codec;
  codec.UseStream = true;
  codec.InputStream = &source;
  codec.OutputStream = &packed;
  codec.CompressMode = mode;
  codec.Threshold = advised && how != 0 ? std::max(parameter, MinStretchedThreshold) : parameter;
  const int32_t written = codec.Compress();
  fuzz::Require(written == static_cast<int64_t>(packed.Data().size()), "Compress returned another count than it wrote");
  fuzz::Require(codec.BytesRead == static_cast<int64_t>(input.size()), "Compress did not count the whole input");
  fuzz::Require(codec.BytesWritten == written, "Compress's last progress point is not its result");
  const uint32_t expected_signature =
      mode == TCompressMode::Good ? LzhIdentifier : mode == TCompressMode::Fast ? LzrwIdentifier : 0;
  fuzz::Require(expected_signature == 0 || LoadLE32(packed.Data().data()) == expected_signature,
                "the mode's signature is missing");

  // The same component unpacks: nothing of the packing may carry over.
  TMemoryStream restored;
  packed.Seek(0, SeekOrigin::Begin);
  codec.InputStream = &packed;
  codec.OutputStream = &restored;
  const int32_t unpacked = codec.Decompress();
  fuzz::Require(unpacked == static_cast<int64_t>(input.size()), "Decompress gave another size");
  fuzz::Require(restored.Data() == input, "Decompress gave other bytes");
  return 0;
}
