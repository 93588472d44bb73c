// The component's side of the LZH codec: its block-buffered byte source and
// sink, and the LZH branches of Decompress and Compress.
#include "compression/LZRW1.h"

#include <deque>
#include <limits>

#include "compression/lzh.h"

namespace stowaway {

namespace {

[[noreturn]] void RaiseSizesDiffer() {
  throw ELzrw1Exception("Lzrw1 (LZH decompression) : Original and compressed sizes do not match !");
}

}  // namespace

// Loads the input buffer BlockSize bytes at a time, with a progress point
// after each load. At the end of the input every request reads again, and
// makes a progress point again. Blocks read ahead wait in order for their
// turn, each with what its read gave.
class Tlzrw1::LzhBlockReader final : public LzhSource {
 public:
  explicit LzhBlockReader(Tlzrw1& owner) : owner_(owner) { AheadSize = BlockSize; }

  int32_t ReadAhead(const uint8_t*& bytes) override {
    const int32_t got = owner_.ReadInput(owner_.InBuffer.get(), BlockSize);
    ahead_.push_back(got);
    bytes = owner_.InBuffer.get();
    return got < 0 ? -1 : got;
  }

  int32_t TakeAhead() override {
    const int32_t got = ahead_.front();
    ahead_.pop_front();
    Count(got);
    return got;
  }

 protected:
  bool Refill() override {
    const int32_t got = owner_.ReadInput(owner_.InBuffer.get(), BlockSize);
    Count(got);
    if (got == 0) return false;
    Next = owner_.InBuffer.get();
    End = Next + got;
    return true;
  }

 private:
  void Count(int32_t got) {
    if (got < 0) owner_.RaiseReadFailure("LZH");
    owner_.ReadTotal += got;
    owner_.ProgressPoint();
  }

  Tlzrw1& owner_;
  std::deque<int32_t> ahead_;
};

// Collects the output in the output buffer and writes it out BlockSize bytes
// at a time, each block when the next byte arrives, with a progress point.
// A block that would take WriteTotal past the limit is refused unwritten.
class Tlzrw1::LzhBlockWriter final : public LzhSink {
 public:
  LzhBlockWriter(Tlzrw1& owner, int32_t limit) : owner_(owner), limit_(limit) {
    Next = owner_.OutBuffer.get();
    End = Next + BlockSize;
  }

  // Writes what is left, then makes the closing progress point.
  void Finish() {
    WriteOut();
    owner_.ProgressPoint();
  }

 protected:
  void Flush() override {
    WriteOut();
    Next = owner_.OutBuffer.get();
    owner_.ProgressPoint();
  }

 private:
  void WriteOut() {
    const auto pending = static_cast<int32_t>(Next - owner_.OutBuffer.get());
    if (pending > limit_ - owner_.WriteTotal) RaiseSizesDiffer();
    owner_.IoCount = owner_.WriteOutput(owner_.OutBuffer.get(), pending);
    owner_.CheckWrite(owner_.IoCount, pending);
    owner_.WriteTotal += owner_.IoCount;
  }

  Tlzrw1& owner_;
  int32_t limit_;
};

void Tlzrw1::DecompressLzh(int32_t original_size) {
  LzhBlockReader reader(*this);
  // The last match may run past the size; what it adds is never written.
  LzhBlockWriter writer(*this, original_size);
  LzhCodec->DecodeStream(original_size, reader, writer);
  writer.Finish();
  if (WriteTotal != original_size) RaiseSizesDiffer();
}

void Tlzrw1::CompressLzh() {
  LzhBlockReader reader(*this);
  LzhBlockWriter writer(*this, std::numeric_limits<int32_t>::max());
  LzhCodec->EncoderThreads = EncoderThreads;
  LzhCodec->EncodeStream(reader, writer);
  writer.Finish();
}

}  // namespace stowaway
