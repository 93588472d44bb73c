// The LZH decoder: bit reader, symbol and offset decoding, the decode loop.
#include <algorithm>
#include <cstddef>
#include <type_traits>

#include "compression/errors.h"
#include "compression/lzh.h"
#include "compression/lzh_offsets.h"

namespace stowaway {

namespace {

// A machine word of bits, the next bit to deliver the most significant.
using BitWord = std::conditional_t<sizeof(void*) >= 8, uint64_t, uint32_t>;
constexpr int WordBits = 8 * sizeof(BitWord);

// Fetches its input at exactly the moments the format's 16-bit reader does:
// at the start of every read, while 8 or fewer bits are held, one byte. How
// far it reads decides when the owner's block reads (and their progress
// points) happen. Only a fetch at the end of the block buffer is seen from
// outside, so while the buffer holds a word or more the reader takes bytes
// from it ahead of that schedule, a word at a time; near the buffer's end it
// fetches one byte at a time, on schedule. Past the end of the input it is
// fed zero bytes; a bit taken from them means the body was cut off.
class BitReader {
 public:
  explicit BitReader(LzhSource& source) : source_(source) {}

  int ReadBit() {
    if (count_ <= 8) Fill();
    const int bit = static_cast<int>(bits_ >> (WordBits - 1));
    bits_ <<= 1;
    --count_;
    return bit;
  }

  int ReadOctet() {
    if (count_ <= 8) Fill();
    const int octet = static_cast<int>(bits_ >> (WordBits - 8));
    bits_ <<= 8;
    count_ -= 8;
    return octet;
  }

  // n bits (1 to 8), the first the most significant: at once when no fetch
  // falls due among them.
  int ReadBits(int n) {
    if (count_ - n < 8) {
      int value = 0;
      for (; n > 0; --n) value = value * 2 + ReadBit();
      return value;
    }
    const int value = static_cast<int>(bits_ >> (WordBits - n));
    Skip(n);
    return value;
  }

  // The bits that can be taken with no fetch due (the format's reader
  // fetches when 8 or fewer are held), after topping them up from a buffer
  // that holds a word. Peek shows them from the most significant bit on;
  // Skip takes n of them.
  int Ready() {
    if (count_ < WordBits - 8) FillWord();
    return count_ - 8;
  }
  BitWord Peek() const { return bits_; }
  void Skip(int n) {
    bits_ <<= n;
    count_ -= n;
  }

  // Raises the cut-off failure if a bit taken since the last check came
  // from past the end of the input. Called before anything that the owner
  // can see: a fetch, or the output of what the bits decoded to.
  void CheckNotCutOff() const {
    if (count_ < past_end_) {
      throw ELzrw1Exception(
          "Lzrw1 (LZH decompression) : compressed data ends before the original size is "
          "reached !");
    }
  }

 private:
  // Bits below the count are zero or the first bits of the byte at Next,
  // which the next fetch ORs in again unchanged.
  void Fill() {
    if (FillWord()) return;
    CheckNotCutOff();
    while (count_ <= 8) {
      uint8_t byte = 0;
      // A byte that comes after the input has once ended counts as past it.
      if (!source_.Get(byte) || past_end_ > 0) past_end_ += 8;
      bits_ |= static_cast<BitWord>(byte) << (WordBits - 8 - count_);
      count_ += 8;
    }
  }

  // Tops the bits up to a word from a buffer that holds one, which moves
  // no fetch that can be seen; false when it does not hold one.
  bool FillWord() {
    const std::ptrdiff_t buffered = source_.End - source_.Next;
    if (buffered < static_cast<std::ptrdiff_t>(sizeof(BitWord)) || past_end_ != 0) return false;
    BitWord word = 0;
    for (std::size_t i = 0; i < sizeof(BitWord); ++i) word = word << 8 | source_.Next[i];
    const int taken = (WordBits - 1 - count_) / 8;
    bits_ |= word >> count_;
    source_.Next += taken;
    count_ += 8 * taken;
    return true;
  }

  LzhSource& source_;
  BitWord bits_ = 0;
  int count_ = 0;  // valid bits at the top of bits_
  // Bits fetched since the input first ended; the last ones in bits_.
  int past_end_ = 0;
};

// Follows one code from the root down to its leaf and returns the leaf's
// child entry: two levels a step while the bits are ready, then one at a
// time. The positions passed go to path, from the top down.
int Descend(BitReader& bits, const int16_t* child, const uint16_t* pairs, int16_t* path,
            int& depth) {
  int p = child[RootIndex];
  int used = 0;
  const int ready = bits.Ready();
  BitWord peek = bits.Peek();
  for (int steps = ready / 2; steps > 0; --steps) {
    const int two = static_cast<int>(peek >> (WordBits - 2));
    peek <<= 2;
    used += 2;
    const int node = p + (two >> 1);
    const int next = pairs[2 * p + two];
    path[depth++] = static_cast<int16_t>(node);
    if (next & PairsLeafAfterOneBit) {
      --used;
      p = next & ~PairsLeafAfterOneBit;
      break;
    }
    path[depth++] = static_cast<int16_t>(child[node] + (two & 1));
    p = next;
    if (p >= NodeCount) break;
  }
  bits.Skip(used);
  while (p < NodeCount) {
    const int node = p + bits.ReadBit();
    path[depth++] = static_cast<int16_t>(node);
    p = child[node];
  }
  return p;
}

}  // namespace

void TLZH::DecodeStream(int32_t size, LzhSource& reader, LzhSink& writer) {
  TablesInUse tables(*this);
  KeepPairs = true;
  InitModel();
  Tables& t = *T;
  std::fill_n(t.Window, InitialFill, uint8_t{0x20});
  BitReader bits(reader);
  const auto& offsets = lzh_offsets::kTables;

  // The nodes that a symbol's code passes: at most every inner node and
  // one leaf.
  int16_t path[SymbolCount];
  int r = InitialFill;
  // Counted down: a last match past a size near the top of the range must
  // not overflow the count.
  for (int32_t remaining = size; remaining > 0;) {
    int depth = 0;
    const int p = Descend(bits, t.HuffChild, t.HuffPairs, path, depth);
    const int symbol = p - NodeCount;
    UpdateAlong(symbol, path, depth);

    if (symbol < 256) {
      bits.CheckNotCutOff();
      const auto byte = static_cast<uint8_t>(symbol);
      writer.Put(byte);
      t.Window[r] = byte;
      r = (r + 1) & (WindowSize - 1);
      --remaining;
      continue;
    }

    int b = bits.ReadOctet();
    const int high = offsets.HighFromByte[b];
    const int extra = offsets.LengthFromByte[b] - 2;
    b = b << extra | bits.ReadBits(extra);
    bits.CheckNotCutOff();
    const int offset = high << 6 | (b & 0x3F);

    // One byte at a time: the source may overlap the bytes being produced.
    int source = (r - offset - 1) & (WindowSize - 1);
    const int length = symbol - 253;
    if (writer.End - writer.Next >= length) {
      uint8_t* out = writer.Next;
      for (int k = 0; k < length; ++k) {
        const uint8_t byte = t.Window[source];
        source = (source + 1) & (WindowSize - 1);
        out[k] = byte;
        t.Window[r] = byte;
        r = (r + 1) & (WindowSize - 1);
      }
      writer.Next = out + length;
    } else {
      for (int k = 0; k < length; ++k) {
        const uint8_t byte = t.Window[source];
        source = (source + 1) & (WindowSize - 1);
        writer.Put(byte);
        t.Window[r] = byte;
        r = (r + 1) & (WindowSize - 1);
      }
    }
    remaining -= length;
  }
}

}  // namespace stowaway
