// The LZH decoder: bit reader, symbol and offset decoding, the decode loop.
#include <algorithm>

#include "compression/errors.h"
#include "compression/lzh.h"
#include "compression/lzh_offsets.h"

namespace stowaway {

namespace {

// Holds 9 to 16 bits after every refill and fetches its input one byte at a
// time, at most two bytes ahead of the bits it has delivered: how far it
// reads decides when the owner's block reads (and their progress points)
// happen, so it must not read further. Past the end of the input it is fed
// zero bytes; a bit taken from them means the body was cut off.
class BitReader {
 public:
  explicit BitReader(LzhSource& source) : source_(source) {}

  int ReadBit() {
    Refill();
    Consume(1);
    const int bit = bits_ >> 15;
    bits_ = static_cast<uint16_t>(bits_ << 1);
    return bit;
  }

  int ReadOctet() {
    Refill();
    Consume(8);
    const int octet = bits_ >> 8;
    bits_ = static_cast<uint16_t>(bits_ << 8);
    return octet;
  }

 private:
  void Refill() {
    while (count_ <= 8) {
      uint8_t byte = 0;
      if (source_.Get(byte)) {
        if (!ended_) real_ += 8;
      } else {
        byte = 0;
        ended_ = true;
      }
      bits_ = static_cast<uint16_t>(bits_ | byte << (8 - count_));
      count_ += 8;
    }
  }

  void Consume(int n) {
    if (real_ < n) {
      throw ELzrw1Exception(
          "Lzrw1 (LZH decompression) : compressed data ends before the original size is "
          "reached !");
    }
    real_ -= n;
    count_ -= n;
  }

  LzhSource& source_;
  uint16_t bits_ = 0;
  int count_ = 0;  // valid bits at the top of bits_
  int real_ = 0;   // of those, the ones in front of the first byte past the end
  bool ended_ = false;
};

}  // namespace

void TLZH::DecodeStream(int32_t size, LzhSource& reader, LzhSink& writer) {
  TablesInUse tables(*this);
  InitModel();
  Tables& t = *T;
  std::fill_n(t.Window, InitialFill, uint8_t{0x20});
  BitReader bits(reader);
  const auto& offsets = lzh_offsets::kTables;

  int r = InitialFill;
  for (int32_t count = 0; count < size;) {
    int p = t.HuffChild[RootIndex];
    while (p < NodeCount) p = t.HuffChild[p + bits.ReadBit()];
    const int symbol = p - NodeCount;
    UpdateModel(symbol);

    if (symbol < 256) {
      const auto byte = static_cast<uint8_t>(symbol);
      writer.Put(byte);
      t.Window[r] = byte;
      r = (r + 1) & (WindowSize - 1);
      ++count;
      continue;
    }

    int b = bits.ReadOctet();
    const int high = offsets.HighFromByte[b];
    for (int n = offsets.LengthFromByte[b] - 2; n > 0; --n) b = b * 2 + bits.ReadBit();
    const int offset = high << 6 | (b & 0x3F);

    // One byte at a time: the source may overlap the bytes being produced.
    int source = (r - offset - 1) & (WindowSize - 1);
    const int length = symbol - 253;
    for (int k = 0; k < length; ++k) {
      const uint8_t byte = t.Window[source];
      source = (source + 1) & (WindowSize - 1);
      writer.Put(byte);
      t.Window[r] = byte;
      r = (r + 1) & (WindowSize - 1);
    }
    count += length;
  }
}

}  // namespace stowaway
