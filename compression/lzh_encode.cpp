// The LZH encoder: match tree, bit writer and the encode loop.
//
// The match tree is a forest of binary search trees of window positions, one
// tree per first byte, keyed by the 60 bytes starting at each position. Its
// shape, and so which of several equal matches is found, is part of the
// format: archives already made must come out bit for bit the same.
#include <algorithm>

#include "compression/errors.h"
#include "compression/lzh.h"
#include "compression/lzh_offsets.h"

namespace stowaway {

namespace {

// MatchRight[RootSlot + b] holds the root of the tree for first byte b.
constexpr int RootSlot = WindowSize + 1;
constexpr int PositionMask = WindowSize - 1;

// The first index from 1 to 59 at which the 60-byte keys differ, or 60. The
// first bytes are equal by construction.
int FirstDifference(const uint8_t* a, const uint8_t* b) {
  int i = 1;
  while (i < MaxMatch && a[i] == b[i]) ++i;
  return i;
}

}  // namespace

void TLZH::ResetMatchTree() {
  Tables& t = *T;
  std::fill_n(t.MatchRight + RootSlot, 256, static_cast<int16_t>(NoNode));
  std::fill_n(t.MatchParent, WindowSize + 1, static_cast<int16_t>(NoNode));
}

void TLZH::InsertString(int r) {
  Tables& t = *T;
  const uint8_t* const key = t.Window + r;
  int p = RootSlot + key[0];
  int cmp = 1;
  t.MatchLeft[r] = t.MatchRight[r] = NoNode;
  int length = 0;
  int offset = MatchOffset;
  for (;;) {
    int16_t* const link = cmp >= 0 ? &t.MatchRight[p] : &t.MatchLeft[p];
    if (*link == NoNode) {
      *link = static_cast<int16_t>(r);
      t.MatchParent[r] = static_cast<int16_t>(p);
      MatchLength = static_cast<int16_t>(length);
      MatchOffset = static_cast<int16_t>(offset);
      return;
    }
    p = *link;
    const uint8_t* const candidate = t.Window + p;
    const int i = FirstDifference(key, candidate);
    if (i > MatchThreshold) {
      const int d = ((r - p) & PositionMask) - 1;
      if (i > length) {
        offset = d;
        length = i;
      } else if (i == length && d < offset) {
        offset = d;
      }
    }
    if (i == MaxMatch) break;
    cmp = key[i] - candidate[i];
  }
  MatchLength = static_cast<int16_t>(length);
  MatchOffset = static_cast<int16_t>(offset);

  // r's key equals p's in all 60 bytes: r takes p's place, so that only the
  // nearer of the two stays.
  const int parent = t.MatchParent[p];
  t.MatchParent[r] = static_cast<int16_t>(parent);
  t.MatchLeft[r] = t.MatchLeft[p];
  t.MatchRight[r] = t.MatchRight[p];
  t.MatchParent[t.MatchLeft[p]] = static_cast<int16_t>(r);
  t.MatchParent[t.MatchRight[p]] = static_cast<int16_t>(r);
  if (t.MatchRight[parent] == p) {
    t.MatchRight[parent] = static_cast<int16_t>(r);
  } else {
    t.MatchLeft[parent] = static_cast<int16_t>(r);
  }
  t.MatchParent[p] = NoNode;
}

void TLZH::RemoveString(int p) {
  Tables& t = *T;
  const int parent = t.MatchParent[p];
  if (parent == NoNode) return;
  int q;
  if (t.MatchRight[p] == NoNode) {
    q = t.MatchLeft[p];
  } else if (t.MatchLeft[p] == NoNode) {
    q = t.MatchRight[p];
  } else {
    q = t.MatchLeft[p];
    if (t.MatchRight[q] != NoNode) {
      do q = t.MatchRight[q]; while (t.MatchRight[q] != NoNode);
      t.MatchRight[t.MatchParent[q]] = t.MatchLeft[q];
      t.MatchParent[t.MatchLeft[q]] = t.MatchParent[q];
      t.MatchLeft[q] = t.MatchLeft[p];
      t.MatchParent[t.MatchLeft[p]] = static_cast<int16_t>(q);
    }
    t.MatchRight[q] = t.MatchRight[p];
    t.MatchParent[t.MatchRight[p]] = static_cast<int16_t>(q);
  }
  t.MatchParent[q] = static_cast<int16_t>(parent);
  if (t.MatchRight[parent] == p) {
    t.MatchRight[parent] = static_cast<int16_t>(q);
  } else {
    t.MatchLeft[parent] = static_cast<int16_t>(q);
  }
  t.MatchParent[p] = NoNode;
}

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
  InitModel();
  ResetMatchTree();
  Tables& t = *T;

  int s = 0;
  int r = InitialFill;
  std::fill_n(t.Window, InitialFill, uint8_t{0x20});

  // Reading stops for good at the first request that delivers nothing.
  bool delivered = true;
  uint8_t byte = 0;
  int len = 0;
  while (len < MaxMatch && (delivered = reader.Get(byte))) t.Window[r + len++] = byte;

  for (int i = 1; i <= MaxMatch; ++i) InsertString(r - i);
  InsertString(r);

  do {
    int length = std::min<int>(MatchLength, len);
    if (length <= MatchThreshold) {
      length = 1;
      EncodeSymbol(writer, t.Window[r]);
    } else {
      EncodeSymbol(writer, length + 253);
      EncodeOffset(writer, MatchOffset);
    }

    int i = 0;
    while (i < length && delivered && (delivered = reader.Get(byte))) {
      RemoveString(s);
      t.Window[s] = byte;
      // Keep the mirror behind the ring, so keys never wrap.
      if (s < MaxMatch - 1) t.Window[s + WindowSize] = byte;
      s = (s + 1) & PositionMask;
      r = (r + 1) & PositionMask;
      InsertString(r);
      ++i;
    }
    while (i < length) {
      ++i;
      RemoveString(s);
      s = (s + 1) & PositionMask;
      r = (r + 1) & PositionMask;
      if (--len != 0) InsertString(r);
    }
  } while (len > 0);

  FlushBits(writer);
}

}  // namespace stowaway
