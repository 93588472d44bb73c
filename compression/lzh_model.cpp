// The adaptive Huffman model that the LZH encoder and decoder run in lockstep.
//
// Positions 0 to 626 hold the nodes sorted by weight, the root at 626;
// siblings sit at an even position and the odd one after it, and a node's
// code bit is the low bit of its position.
#include <cstring>
#include <new>

#include "compression/errors.h"
#include "compression/lzh.h"

namespace stowaway {

TLZH::TLZH() = default;
TLZH::~TLZH() = default;

void TLZH::AllocTables() {
  OutBitCount = 0;
  OutBits = 0;
  MatchOffset = 0;
  MatchLength = 0;
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
  t.HuffWeight[NodeCount] = 0xFFFF;
  t.HuffParent[RootIndex] = 0;
}

void TLZH::UpdateModel(int symbol) {
  Tables& t = *T;
  if (t.HuffWeight[RootIndex] == WeightLimit) RebuildModel();
  int c = t.HuffParent[symbol + NodeCount];
  do {
    const uint16_t k = ++t.HuffWeight[c];
    if (k > t.HuffWeight[c + 1]) {
      // Move the node to the top of the run of lighter nodes above it: swap
      // the subtrees, the positions keep their parents.
      int l = c + 1;
      while (t.HuffWeight[l + 1] < k) ++l;
      t.HuffWeight[c] = t.HuffWeight[l];
      t.HuffWeight[l] = k;
      const int i = t.HuffChild[c];
      t.HuffParent[i] = static_cast<int16_t>(l);
      if (i < NodeCount) t.HuffParent[i + 1] = static_cast<int16_t>(l);
      const int j = t.HuffChild[l];
      t.HuffChild[l] = static_cast<int16_t>(i);
      t.HuffParent[j] = static_cast<int16_t>(c);
      if (j < NodeCount) t.HuffParent[j + 1] = static_cast<int16_t>(c);
      t.HuffChild[c] = static_cast<int16_t>(j);
      c = l;
    }
    c = t.HuffParent[c];
  } while (c != 0);
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
