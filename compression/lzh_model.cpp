// The adaptive Huffman model that the LZH encoder and decoder run in lockstep.
//
// Positions 0 to 626 hold the nodes sorted by weight, the root at 626;
// siblings sit at an even position and the odd one after it, and a node's
// code bit is the low bit of its position.
#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <new>
#include <type_traits>

#include "compression/errors.h"
#include "compression/lzh.h"

namespace stowaway {

TLZH::TLZH() = default;
TLZH::~TLZH() = default;

void TLZH::AllocTables() {
  OutBitCount = 0;
  OutBits = 0;
  // Value-initialised: window bytes that are never written read as zero.
  T.reset(new (std::nothrow) Tables());
  if (!T) throw ElzhException("LZH : Cannot get memory for dictionary tables");
}

void TLZH::FreeTables() { T.reset(); }

void TLZH::InitModel() {
  Tables& t = *T;
  for (int s = 0; s < SymbolCount; ++s) {
    t.HuffWeight[s] = 1;
    t.HuffChild[s] = static_cast<int16_t>(s + NodeCount);
    t.HuffParent[s + NodeCount] = static_cast<int16_t>(s);
  }
  for (int i = 0, j = SymbolCount; j < NodeCount; i += 2, ++j) {
    t.HuffWeight[j] = static_cast<uint16_t>(t.HuffWeight[i] + t.HuffWeight[i + 1]);
    t.HuffChild[j] = static_cast<int16_t>(i);
    t.HuffParent[i] = t.HuffParent[i + 1] = static_cast<int16_t>(j);
  }
  // The sentinel above the root, and the lanes past it that a word-wide
  // search may read.
  std::fill(std::begin(t.HuffWeight) + NodeCount, std::end(t.HuffWeight), uint16_t{0xFFFF});
  t.HuffParent[RootIndex] = 0;
  if (KeepPairs) BuildPairs();
}

void TLZH::RefreshPairs(int position) {
  Tables& t = *T;
  const int child = t.HuffChild[position];
  uint16_t* const through = t.HuffPairs + 2 * position;
  if (child >= NodeCount) {
    through[0] = through[1] = static_cast<uint16_t>(child | PairsLeafAfterOneBit);
  } else {
    through[0] = static_cast<uint16_t>(t.HuffChild[child]);
    through[1] = static_cast<uint16_t>(t.HuffChild[child + 1]);
  }
  // The root has no pair above it.
  if (position != RootIndex) {
    t.HuffPairs[2 * t.HuffParent[position] + (position & 1)] = static_cast<uint16_t>(child);
  }
}

void TLZH::BuildPairs() {
  for (int n = 0; n < NodeCount; ++n) RefreshPairs(n);
}

namespace {

// Weights are compared a machine word of 16-bit lanes at a time.
using LaneWord = std::conditional_t<sizeof(void*) >= 8, uint64_t, uint32_t>;
constexpr int Lanes = sizeof(LaneWord) / 2;

// The highest position of the run of weight k - 1 that starts at or below
// c + 1. Weights are sorted, so the run ends just before the first weight
// that differs from k - 1; the sentinel above the root stops the search.
int EndOfRun(const uint16_t* weights, int c, uint16_t k) {
  LaneWord run = 0;
  for (int lane = 0; lane < Lanes; ++lane) run = run << 16 | static_cast<uint16_t>(k - 1);
  for (int at = c + 2;; at += Lanes) {
    LaneWord lanes;
    std::memcpy(&lanes, weights + at, sizeof lanes);
    const LaneWord differ = lanes ^ run;
    if (differ == 0) continue;
    const int lane = std::endian::native == std::endian::little ? std::countr_zero(differ) / 16
                                                                : std::countl_zero(differ) / 16;
    return at + lane - 1;
  }
}

}  // namespace

int TLZH::Promote(int c, uint16_t k) {
  Tables& t = *T;
  // Swap the subtrees; the positions keep their parents.
  const int l = EndOfRun(t.HuffWeight, c, k);
  t.HuffWeight[c] = t.HuffWeight[l];
  t.HuffWeight[l] = k;
  // An inner node's children are a pair of positions, a leaf's child is
  // its symbol's one entry: for a leaf the second store repeats the first,
  // which spares a branch that the predictor often loses.
  const int i = t.HuffChild[c];
  t.HuffParent[i] = static_cast<int16_t>(l);
  t.HuffParent[i + (i < NodeCount)] = static_cast<int16_t>(l);
  const int j = t.HuffChild[l];
  t.HuffChild[l] = static_cast<int16_t>(i);
  t.HuffParent[j] = static_cast<int16_t>(c);
  t.HuffParent[j + (j < NodeCount)] = static_cast<int16_t>(c);
  t.HuffChild[c] = static_cast<int16_t>(j);
  if (KeepPairs) {
    RefreshPairs(c);
    RefreshPairs(l);
  }
  return l;
}

void TLZH::Climb(int c) {
  Tables& t = *T;
  do {
    const uint16_t k = ++t.HuffWeight[c];
    if (k > t.HuffWeight[c + 1]) c = Promote(c, k);
    c = t.HuffParent[c];
  } while (c != 0);
}

void TLZH::UpdateModel(int symbol) {
  Tables& t = *T;
  if (t.HuffWeight[RootIndex] == WeightLimit) RebuildModel();
  Climb(t.HuffParent[symbol + NodeCount]);
}

void TLZH::UpdateAlong(int symbol, const int16_t* path, int depth) {
  Tables& t = *T;
  // Rebuilding reshapes the tree: the path no longer leads to the leaf.
  if (t.HuffWeight[RootIndex] == WeightLimit) {
    UpdateModel(symbol);
    return;
  }
  for (int d = depth - 1; d >= 0; --d) {
    const int c = path[d];
    const uint16_t k = ++t.HuffWeight[c];
    if (k > t.HuffWeight[c + 1]) {
      Climb(t.HuffParent[Promote(c, k)]);
      return;
    }
  }
  ++t.HuffWeight[RootIndex];
}

void TLZH::RebuildModel() {
  Tables& t = *T;
  // Keep the leaves, in order, with their weights halved (rounded up).
  int j = 0;
  for (int i = 0; i < NodeCount; ++i) {
    if (t.HuffChild[i] >= NodeCount) {
      t.HuffWeight[j] = static_cast<uint16_t>((t.HuffWeight[i] + 1) / 2);
      t.HuffChild[j] = t.HuffChild[i];
      ++j;
    }
  }
  // Pair them up again; a new node goes above every node of equal weight.
  for (int i = 0, n = SymbolCount; n < NodeCount; i += 2, ++n) {
    const uint16_t f = static_cast<uint16_t>(t.HuffWeight[i] + t.HuffWeight[i + 1]);
    int k = n - 1;
    while (t.HuffWeight[k] > f) --k;
    ++k;
    std::memmove(&t.HuffWeight[k + 1], &t.HuffWeight[k], sizeof t.HuffWeight[0] * (n - k));
    std::memmove(&t.HuffChild[k + 1], &t.HuffChild[k], sizeof t.HuffChild[0] * (n - k));
    t.HuffWeight[k] = f;
    t.HuffChild[k] = static_cast<int16_t>(i);
  }
  for (int i = 0; i < NodeCount; ++i) {
    const int k = t.HuffChild[i];
    if (k >= NodeCount) {
      t.HuffParent[k] = static_cast<int16_t>(i);
    } else {
      t.HuffParent[k] = t.HuffParent[k + 1] = static_cast<int16_t>(i);
    }
  }
  if (KeepPairs) BuildPairs();
}

std::string TLZH::SymbolCode(int symbol) const {
  const Tables& t = *T;
  std::string reversed;
  for (int k = t.HuffParent[symbol + NodeCount]; k != RootIndex; k = t.HuffParent[k]) {
    reversed += (k & 1) ? '1' : '0';
  }
  return std::string(reversed.rbegin(), reversed.rend());
}

}  // namespace stowaway
