// The LZH encoder's match tree: a forest of binary search trees of window
// positions, one tree per first byte, keyed by the 60 bytes starting at each
// position, together with the ring window the keys are read from. Its shape,
// and so which of several equal matches is found, is part of the format:
// archives already made must come out bit for bit the same.
//
// The trees never share a node, so one tree object may hold only the trees
// of some first bytes: positions of the others are neither inserted nor
// found, and several such objects, each fed the same window, together find
// what one holding all trees would.
#pragma once

#include <array>
#include <cstdint>

#include "compression/lzh.h"

namespace stowaway {

class LzhMatchTree {
 public:
  // A match as Insert reports it: length << 12 | offset, where the offset
  // counts back from the position before the new one; 0 for no match longer
  // than MatchThreshold.
  static constexpr int LengthShift = 12;
  static constexpr uint32_t OffsetMask = (1u << LengthShift) - 1;

  // Empties the trees and sets the window to its starting bytes: spaces
  // below InitialFill, zeros above. Holds the trees of the first bytes that
  // owns marks.
  void Reset(const std::array<bool, 256>& owns);

  bool Owns(int position) const { return owns_[Window[position]]; }
  // Inserts the key at r into its tree and returns the best match that the
  // descent met. The key's first byte must be one this tree owns.
  uint32_t Insert(int r);
  // Takes p out of its tree, if it is in one of this object's trees; the
  // test is inline, since with several objects most calls find nothing.
  void Remove(int p) {
    if (Parent[p] != NoNode) Unlink(p);
  }
  // Moves every tree to the object that owner names for its first byte.
  static void Repartition(LzhMatchTree* const* trees, int count, const std::array<uint8_t, 256>& owner);

  // Nodes each first byte's inserts have visited since the last Reset or
  // Repartition: what its tree costs.
  const std::array<uint64_t, 256>& Work() const { return work_; }

  // Stores a byte at position p, and in the mirror behind the ring for the
  // first 59 positions, so that no key wraps.
  void Store(int p, uint8_t byte) {
    Window[p] = byte;
    if (p < MaxMatch - 1) Window[p + WindowSize] = byte;
  }

  uint8_t Window[WindowSize + MaxMatch - 1];

 private:
  void Unlink(int p);
  // Hangs q (or NoNode) where p hung, and takes p out of the tree.
  void TakePlace(int q, int p);

  int16_t& Left(int p) { return Links[p][0]; }
  int16_t& Right(int p) { return Links[p][1]; }

  // Each node's two links side by side, the smaller first, so that one load
  // fetches both; Right(4097 + b) is the root of b's tree, and NoNode's
  // links lead to NoNode.
  alignas(4) int16_t Links[WindowSize + 1 + 256][2];
  int16_t Parent[WindowSize + 1];
  std::array<bool, 256> owns_;
  std::array<uint64_t, 256> work_;
};

}  // namespace stowaway
