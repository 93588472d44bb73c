// Compress and Advise.
#include <algorithm>
#include <limits>

#include "compression/LZRW1.h"
#include "compression/LZRW1KH.h"
#include "compression/operation.h"

namespace stowaway {
namespace {

// Smaller inputs are not sampled: they have no two separate samples away
// from their start.
constexpr int64_t AdviseMinimumSize = 3 * int64_t{BlockSize};

// The size of an existing file, measured through the read-write probe, which
// also fails on a read-only file; negative when the file cannot be measured.
int64_t ProbeFileSize(const std::string& path) {
  const FileHandle file = Files().OpenReadWriteShared(path);
  if (file < 0) return -1;
  const int64_t size = Files().Seek(file, 0, SeekOrigin::End);
  Files().Close(file);
  return size;
}

template <typename Action>
class OnExit {
 public:
  explicit OnExit(Action action) : action_(action) {}
  ~OnExit() { action_(); }
  OnExit(const OnExit&) = delete;
  OnExit& operator=(const OnExit&) = delete;

 private:
  Action action_;
};

}  // namespace

int32_t Tlzrw1::Compress() {
  const TCompressMode mode = CompressMode == TCompressMode::Auto ? Advise() : CompressMode;
  OperationBuffers buffers(*this, "Lzrw1 (de)compression : Failed to get memory for I/O buffers !");
  SignatureOut = mode == TCompressMode::Fast ? LzrwIdentifier : LzhIdentifier;

  const int64_t size = UseStream ? InputStream->Size() : ProbeFileSize(InputFile);
  if (size < 0) {
    if (UseStream) throw ELzrw1Exception("Lzrw1 compression : Failed to obtain the size of the input stream !");
    throw ELzrw1Exception("Lzrw1 compression : Failed to obtain the size of : " + InputFile);
  }
  // The header's size field is a signed 32-bit number; a larger input would
  // get a header that lies about it.
  if (size > std::numeric_limits<int32_t>::max()) {
    throw ELzrw1Exception("Lzrw1 compression : input is too large (2 GiB or more) !");
  }
  OriginalSize = static_cast<int32_t>(size);

  {
    OpenEnds ends(*this);
    ends.Open();
    try {
      WriteHeaderField(SignatureOut);
      WriteTotal = 4;
      ReadTotal = 0;
      WriteHeaderField(static_cast<uint32_t>(OriginalSize));
      WriteTotal += 4;
      if (mode == TCompressMode::Fast) {
        LzrwCompressBlocks();
      } else {
        CompressLzh();
      }
    } catch (...) {
      // The caller's streams are the caller's; a half-written file is ours.
      ends.DiscardOutput();
      throw;
    }
  }
  ProgressPoint();
  return WriteTotal;
}

TCompressMode Tlzrw1::Advise() {
  static const char* const kCannotPosition = "Lzrw1 edvise : can not initialize the input stream!";
  // A stream that cannot say where it stands, or cannot go back there, would
  // leave Compress packing from the wrong place behind a header that claims
  // success: it is refused with the message for a stream that cannot be
  // positioned.
  const int64_t position = UseStream ? InputStream->Position() : 0;
  if (position < 0) throw ELzrw1Exception(kCannotPosition);
  OperationBuffers buffers(*this, "Lzrw1 advise : Error getting I/O buffers");
  InHandle = 0;

  const int64_t size = UseStream ? InputStream->Size() : ProbeFileSize(InputFile);
  if (size < 0) {
    if (UseStream) throw ELzrw1Exception("Lzrw1 advise : can not get size of inputstream !");
    throw ELzrw1Exception("Lzrw1 advise : can not get the size of : " + InputFile);
  }
  // The samples are placed by the whole size; the field keeps what fits.
  OriginalSize = static_cast<int32_t>(std::min<int64_t>(size, std::numeric_limits<int32_t>::max()));

  if (UseStream) {
    if (InputStream->Seek(0, SeekOrigin::Begin) < 0) throw ELzrw1Exception(kCannotPosition);
  } else {
    InHandle = Files().OpenRead(InputFile);
    if (InHandle < 0) throw ELzrw1Exception("Lzrw1 advise : can open input file : " + InputFile);
  }
  const auto put_back = [this, position] {
    if (UseStream) return InputStream->Seek(position, SeekOrigin::Begin) >= 0;
    if (InHandle > 0) Files().Close(InHandle);
    InHandle = 0;
    return true;
  };
  bool put = false;
  const OnExit restore([&] {
    if (!put) put_back();
  });
  const auto finish = [&](TCompressMode result) {
    put = true;
    if (!put_back()) throw ELzrw1Exception(kCannotPosition);
    return result;
  };

  if (size < AdviseMinimumSize) {
    // Lasting: Compress on this component no longer asks.
    CompressMode = TCompressMode::Good;
    return finish(TCompressMode::Good);
  }
  int32_t sampled = 0;
  int32_t coded = 0;
  for (const int64_t third : {size / 3, 2 * size / 3}) {
    const int64_t offset = third - third % BlockSize;
    if (UseStream) {
      InputStream->Seek(offset, SeekOrigin::Begin);
    } else {
      Files().Seek(InHandle, offset, SeekOrigin::Begin);
    }
    BlockInLength = ReadInput(InBuffer.get(), BlockSize);
    if (BlockInLength < 0) {
      if (UseStream) throw ELzrw1Exception("Lzrw1 advise : input stream read error !");
      throw ELzrw1Exception("Lzrw1 advise : read error on input file : " + InputFile);
    }
    sampled += BlockInLength;
    coded += LzrCodec->CompressBlock(InBuffer.get(), OutBuffer.get(), static_cast<uint16_t>(BlockInLength));
  }
  // In 64 bits, so that any Threshold gives the sound answer.
  return finish(coded < int64_t{Threshold} * sampled / 100 ? TCompressMode::Fast : TCompressMode::Good);
}

}  // namespace stowaway
