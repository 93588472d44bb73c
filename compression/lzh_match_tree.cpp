// The match tree's descent, insertion and removal.
#include "compression/lzh_match_tree.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <type_traits>

namespace stowaway {

namespace {

// Right(RootSlot + b) holds the root of the tree for first byte b.
constexpr int RootSlot = WindowSize + 1;
constexpr int PositionMask = WindowSize - 1;

// Keys are compared a machine word at a time, each word read with its
// first byte as the most significant: comparing two words as numbers then
// compares their bytes in order, whatever the host's byte order.
using Word = std::conditional_t<sizeof(void*) >= 8, uint64_t, uint32_t>;
constexpr int WordSize = sizeof(Word);
// The last word of a key overlaps the one before it, so that no load reaches
// past byte 59 of either key: for a key at 4095 that is the mirror's end.
constexpr int LastWord = MaxMatch - WordSize;

// One load and, on a little-endian host, a byte swap: written that way
// rather than byte by byte so that instrumented builds stay fast too.
Word LoadWord(const uint8_t* p) {
  Word word;
  std::memcpy(&word, p, sizeof word);
  if constexpr (std::endian::native == std::endian::little) {
    if constexpr (sizeof(Word) == 8) {
      word = __builtin_bswap64(word);
    } else {
      word = __builtin_bswap32(word);
    }
  }
  return word;
}

// Both links of a node in one load, and each of them out of that.
uint32_t LinksOf(const int16_t (&links)[2]) {
  uint32_t both;
  std::memcpy(&both, links, sizeof both);
  return both;
}
constexpr int SmallerShift = std::endian::native == std::endian::little ? 0 : 16;
std::size_t SmallerOf(uint32_t links) { return links >> SmallerShift & 0xFFFF; }
std::size_t LargerOf(uint32_t links) { return links >> (16 - SmallerShift) & 0xFFFF; }

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

// The best match so far as length * 4096 + (4095 - offset), turned into
// Insert's form.
uint32_t Reported(int best) {
  if (best >> 12 <= MatchThreshold) return 0;
  const auto offset = static_cast<uint32_t>(WindowSize - 1 - (best & PositionMask));
  return static_cast<uint32_t>(best >> 12) << LzhMatchTree::LengthShift | offset;
}

}  // namespace

void LzhMatchTree::Reset(const std::array<bool, 256>& owns) {
  owns_ = owns;
  work_.fill(0);
  for (int b = 0; b < 256; ++b) Right(RootSlot + b) = NoNode;
  // NoNode's own links lead back to it: the descent reads the links of a
  // child that may be NoNode.
  Left(NoNode) = Right(NoNode) = NoNode;
  std::fill_n(Parent, WindowSize + 1, static_cast<int16_t>(NoNode));
  std::fill_n(Window, InitialFill, uint8_t{0x20});
  std::fill(Window + InitialFill, std::end(Window), uint8_t{0});
}

uint32_t LzhMatchTree::Insert(int r) {
  const uint8_t* const key = Window + r;
  Left(r) = Right(r) = NoNode;
  const int root = RootSlot + key[0];
  if (Right(root) == NoNode) {
    Right(root) = static_cast<int16_t>(r);
    Parent[r] = static_cast<int16_t>(root);
    return 0;
  }
  // Longer wins, and among equals the nearer, with one comparison and no
  // branch. Matches of 2 bytes or fewer take part too: they lose to every
  // longer one, and are dropped if nothing longer comes.
  int best = 0;
  // The descent is bound by the latency of its loads. So while a node is
  // being compared, the first word of both its children's keys is loaded,
  // and both links of both children: the next step then has its node's
  // key word and links at hand and only selects. Most comparisons end
  // within that first word. Which way it goes is a coin toss that a branch
  // predictor would lose half the time, so everything is selected with a
  // mask instead. Positions are unsigned machine words, so that no
  // widening stands between a loaded link and the next load.
  const Word key_word = LoadWord(key + 1);
  std::size_t p = static_cast<uint16_t>(Right(root));
  Word word = LoadWord(Window + 1 + p);
  uint32_t links = LinksOf(Links[p]);
  uint64_t visited = 0;
  for (;;) {
    ++visited;
    // NoNode's word is read from the mirror and never used.
    const std::size_t smaller = SmallerOf(links);
    const std::size_t larger = LargerOf(links);
    const Word smaller_word = LoadWord(Window + 1 + smaller);
    const Word larger_word = LoadWord(Window + 1 + larger);
    const uint32_t smaller_links = LinksOf(Links[smaller]);
    const uint32_t larger_links = LinksOf(Links[larger]);
    int i;
    Word larger_side;  // all ones when the key is the greater
    if (key_word != word) {
      i = 1 + CommonBytes(key_word, word);
      larger_side = Word{0} - (word < key_word);
    } else {
      const Difference diff = Compare(key, Window + p, 1 + WordSize);
      i = diff.index;
      if (i == MaxMatch) break;
      larger_side = Word{0} - diff.greater;
    }
    best = std::max(best, i << 12 | ((static_cast<int>(p) - r) & PositionMask));
    const std::size_t next = smaller ^ ((smaller ^ larger) & static_cast<std::size_t>(larger_side));
    if (next == NoNode) {
      Links[p][larger_side & 1] = static_cast<int16_t>(r);
      Parent[r] = static_cast<int16_t>(p);
      work_[key[0]] += visited;
      return Reported(best);
    }
    p = next;
    word = smaller_word ^ ((smaller_word ^ larger_word) & larger_side);
    links = smaller_links ^ ((smaller_links ^ larger_links) & static_cast<uint32_t>(larger_side));
  }
  work_[key[0]] += visited;
  best = std::max(best, MaxMatch << 12 | ((static_cast<int>(p) - r) & PositionMask));

  // r's key equals p's in all 60 bytes: r takes p's place, so that only the
  // nearer of the two stays.
  const int same = static_cast<int>(p);
  Left(r) = Left(same);
  Right(r) = Right(same);
  Parent[Left(same)] = static_cast<int16_t>(r);
  Parent[Right(same)] = static_cast<int16_t>(r);
  TakePlace(r, same);
  return Reported(best);
}

void LzhMatchTree::Repartition(LzhMatchTree* const* trees, int count, const std::array<uint8_t, 256>& owner) {
  for (int k = 0; k < count; ++k) {
    LzhMatchTree& from = *trees[k];
    for (int b = 0; b < 256; ++b) {
      LzhMatchTree& to = *trees[owner[static_cast<size_t>(b)]];
      if (&to == &from || !from.owns_[static_cast<size_t>(b)]) continue;
      to.Right(RootSlot + b) = from.Right(RootSlot + b);
      from.Right(RootSlot + b) = NoNode;
    }
    // A node belongs to the tree of its key's first byte, which stays in
    // the window as long as the node is in the tree.
    for (int p = 0; p < WindowSize; ++p) {
      if (from.Parent[p] == NoNode) continue;
      LzhMatchTree& to = *trees[owner[from.Window[p]]];
      if (&to == &from) continue;
      to.Left(p) = from.Left(p);
      to.Right(p) = from.Right(p);
      to.Parent[p] = from.Parent[p];
      from.Parent[p] = NoNode;
    }
  }
  for (int k = 0; k < count; ++k) {
    for (int b = 0; b < 256; ++b) trees[k]->owns_[static_cast<size_t>(b)] = owner[static_cast<size_t>(b)] == k;
    trees[k]->work_.fill(0);
  }
}

void LzhMatchTree::TakePlace(int q, int p) {
  const int parent = Parent[p];
  Parent[q] = static_cast<int16_t>(parent);
  // Which side p hangs on is a coin toss, so the side is an index rather
  // than a branch. A root slot's tree hangs on its right.
  Links[parent][Right(parent) == p] = static_cast<int16_t>(q);
  Parent[p] = NoNode;
}

void LzhMatchTree::Unlink(int p) {
  const int smaller = Left(p);
  const int larger = Right(p);
  int q;
  if (smaller == NoNode || larger == NoNode) {
    // The other link, or NoNode when both are: one branch, not two.
    q = smaller ^ larger ^ NoNode;
  } else {
    q = smaller;
    if (Right(q) != NoNode) {
      do q = Right(q); while (Right(q) != NoNode);
      Right(Parent[q]) = Left(q);
      Parent[Left(q)] = Parent[q];
      Left(q) = Left(p);
      Parent[Left(p)] = static_cast<int16_t>(q);
    }
    Right(q) = Right(p);
    Parent[Right(p)] = static_cast<int16_t>(q);
  }
  TakePlace(q, p);
}

}  // namespace stowaway
