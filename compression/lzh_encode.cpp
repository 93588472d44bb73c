// The LZH encoder: match tree, bit writer and the encode loop.
//
// The match tree is a forest of binary search trees of window positions, one
// tree per first byte, keyed by the 60 bytes starting at each position. Its
// shape, and so which of several equal matches is found, is part of the
// format: archives already made must come out bit for bit the same.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <type_traits>
#include <utility>

#include "compression/errors.h"
#include "compression/lzh.h"
#include "compression/lzh_offsets.h"

namespace stowaway {

namespace {

// MatchRight[RootSlot + b] holds the root of the tree for first byte b.
constexpr int RootSlot = WindowSize + 1;
constexpr int PositionMask = WindowSize - 1;

// Keys are compared a machine word at a time, each word loaded with its
// first byte as the most significant: comparing two words as numbers then
// compares their bytes in order, whatever the host's byte order.
using Word = std::conditional_t<sizeof(void*) >= 8, uint64_t, uint32_t>;
constexpr int WordSize = sizeof(Word);
// The last word of a key overlaps the one before it, so that no load reaches
// past byte 59 of either key: for a key at 4095 that is the mirror's end.
constexpr int LastWord = MaxMatch - WordSize;

template <std::size_t... I>
Word LoadWord(const uint8_t* p, std::index_sequence<I...>) {
  return ((static_cast<Word>(p[I]) << 8 * (WordSize - 1 - I)) | ...);
}

// Written out byte by byte, which compilers turn into one load and a byte
// swap where the host needs one.
Word LoadWord(const uint8_t* p) { return LoadWord(p, std::make_index_sequence<WordSize>()); }

// The number of leading bytes two words have in common, given that they
// differ.
int CommonBytes(Word a, Word b) { return std::countl_zero(a ^ b) / 8; }

struct Difference {
  int index;     // the first index at which the keys differ, or 60
  bool greater;  // the first key's byte there is the greater one
};

// Compares the 60-byte keys at a and b from index `from` on.
Difference Compare(const uint8_t* a, const uint8_t* b, int from) {
  for (int at = std::min(from, LastWord);; at = std::min(at + WordSize, LastWord)) {
    const Word wa = LoadWord(a + at);
    const Word wb = LoadWord(b + at);
    if (wa != wb) return {at + CommonBytes(wa, wb), wa > wb};
    if (at == LastWord) return {MaxMatch, false};
  }
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
  t.MatchLeft[r] = t.MatchRight[r] = NoNode;
  const int root = RootSlot + key[0];
  if (t.MatchRight[root] == NoNode) {
    t.MatchRight[root] = static_cast<int16_t>(r);
    t.MatchParent[r] = static_cast<int16_t>(root);
    MatchLength = 0;
    return;
  }
  // The best match so far as length * 4096 + (4095 - offset): longer wins,
  // and among equals the nearer, with one comparison and no branch. Matches
  // of 2 bytes or fewer take part too: they lose to every longer one, and
  // SetMatch drops them if nothing longer comes.
  int best = 0;
  // The descent is bound by the latency of its loads, so the first word of
  // both children's keys is loaded while a node is being compared: most
  // comparisons end within that word. Which way it goes next is a coin toss
  // that a branch predictor would lose half the time, so the next node is
  // selected with a mask instead. Positions are unsigned machine words, so
  // that no widening stands between a loaded link and the next load.
  const Word key_word = LoadWord(key + 1);
  std::size_t p = static_cast<uint16_t>(t.MatchRight[root]);
  Word word = LoadWord(t.Window + 1 + p);
  for (;;) {
    const std::size_t smaller = static_cast<uint16_t>(t.MatchLeft[p]);
    const std::size_t larger = static_cast<uint16_t>(t.MatchRight[p]);
    // NoNode's word is read from the mirror, and never used.
    const Word smaller_word = LoadWord(t.Window + 1 + smaller);
    const Word larger_word = LoadWord(t.Window + 1 + larger);
    int i;
    Word larger_side;  // all ones when the key is the greater
    if (key_word != word) {
      i = 1 + CommonBytes(key_word, word);
      larger_side = Word{0} - (word < key_word);
    } else {
      const Difference diff = Compare(key, t.Window + p, 1 + WordSize);
      i = diff.index;
      if (i == MaxMatch) break;
      larger_side = Word{0} - diff.greater;
    }
    best = std::max(best, i << 12 | ((static_cast<int>(p) - r) & PositionMask));
    const std::size_t next = smaller ^ ((smaller ^ larger) & static_cast<std::size_t>(larger_side));
    if (next == NoNode) {
      (larger_side ? t.MatchRight : t.MatchLeft)[p] = static_cast<int16_t>(r);
      t.MatchParent[r] = static_cast<int16_t>(p);
      SetMatch(best);
      return;
    }
    p = next;
    word = smaller_word ^ ((smaller_word ^ larger_word) & larger_side);
  }
  best = std::max(best, MaxMatch << 12 | ((static_cast<int>(p) - r) & PositionMask));
  SetMatch(best);

  // r's key equals p's in all 60 bytes: r takes p's place, so that only the
  // nearer of the two stays.
  t.MatchLeft[r] = t.MatchLeft[p];
  t.MatchRight[r] = t.MatchRight[p];
  t.MatchParent[t.MatchLeft[p]] = static_cast<int16_t>(r);
  t.MatchParent[t.MatchRight[p]] = static_cast<int16_t>(r);
  TakePlace(r, static_cast<int>(p));
}

void TLZH::TakePlace(int q, int p) {
  Tables& t = *T;
  const int parent = t.MatchParent[p];
  t.MatchParent[q] = static_cast<int16_t>(parent);
  if (t.MatchRight[parent] == p) {
    t.MatchRight[parent] = static_cast<int16_t>(q);
  } else {
    t.MatchLeft[parent] = static_cast<int16_t>(q);
  }
  t.MatchParent[p] = NoNode;
}

void TLZH::SetMatch(int best) {
  if (best >> 12 <= MatchThreshold) {
    MatchLength = 0;
    return;
  }
  MatchLength = static_cast<int16_t>(best >> 12);
  MatchOffset = static_cast<int16_t>(WindowSize - 1 - (best & PositionMask));
}

void TLZH::RemoveString(int p) {
  Tables& t = *T;
  if (t.MatchParent[p] == NoNode) return;
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
  TakePlace(q, p);
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
