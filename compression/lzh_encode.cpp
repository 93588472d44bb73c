// The LZH encoder: bit writer, symbol and offset coding, the encode loop.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <type_traits>
#include <utility>

#include "compression/errors.h"
#include "compression/lzh.h"
#include "compression/lzh_match_finder.h"
#include "compression/lzh_offsets.h"

namespace stowaway {

void TLZH::WriteBits(LzhSink& writer, int n, uint16_t code) {
  OutBits = static_cast<uint16_t>(OutBits | code >> OutBitCount);
  OutBitCount = static_cast<uint8_t>(OutBitCount + n);
  if (OutBitCount < 8) return;
  writer.Put(static_cast<uint8_t>(OutBits >> 8));
  OutBitCount = static_cast<uint8_t>(OutBitCount - 8);
  if (OutBitCount >= 8) {
    writer.Put(static_cast<uint8_t>(OutBits));
    OutBitCount = static_cast<uint8_t>(OutBitCount - 8);
    OutBits = static_cast<uint16_t>(code << (n - OutBitCount));
  } else {
    OutBits = static_cast<uint16_t>(OutBits << 8);
  }
}

void TLZH::EncodeSymbol(LzhSink& writer, int symbol) {
  const Tables& t = *T;
  // The path from the leaf up, the leaf's bit lowest: read from the top
  // down, that is the code. With a root weight of at most 0x8000 the tree, a
  // Huffman tree for its weights, is far less than 32 levels deep.
  uint32_t code = 0;
  int length = 0;
  for (int k = t.HuffParent[symbol + NodeCount]; k != RootIndex; k = t.HuffParent[k]) {
    code |= static_cast<uint32_t>(k & 1) << length;
    ++length;
  }
  if (length > 16) {
    const int high = length - 16;
    WriteBits(writer, high, static_cast<uint16_t>(code >> 16 << (16 - high)));
    WriteBits(writer, 16, static_cast<uint16_t>(code));
  } else {
    WriteBits(writer, length, static_cast<uint16_t>(code << (16 - length)));
  }
  UpdateModel(symbol);
}

void TLZH::EncodeOffset(LzhSink& writer, int offset) {
  const auto& offsets = lzh_offsets::kTables;
  const int high = offset >> 6;
  WriteBits(writer, offsets.CodeLength[high], static_cast<uint16_t>(offsets.Code[high] << 8));
  WriteBits(writer, 6, static_cast<uint16_t>((offset & 0x3F) << 10));
}

void TLZH::FlushBits(LzhSink& writer) {
  if (OutBitCount > 0) writer.Put(static_cast<uint8_t>(OutBits >> 8));
}

void TLZH::EncodeStream(LzhSource& reader, LzhSink& writer) {
  TablesInUse tables(*this);
  KeepPairs = false;
  InitModel();
  LzhMatchFinder finder(reader, EncoderThreads);
  // An empty input still codes one literal: the byte at the first
  // position, which nothing has set.
  if (finder.Total() == 0) EncodeSymbol(writer, 0);
  for (int64_t position = 0; !finder.AtEnd(position);) {
    const LzhMatchFinder::Match match = finder.At(position);
    if (match.length == 0) {
      EncodeSymbol(writer, match.literal);
      ++position;
    } else {
      EncodeSymbol(writer, match.length + 253);
      EncodeOffset(writer, match.offset);
      position += match.length;
    }
    finder.Advance(position);
  }
  FlushBits(writer);
}

}  // namespace stowaway
