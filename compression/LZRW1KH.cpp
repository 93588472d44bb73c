#include "compression/LZRW1KH.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstring>
#include <new>

#include "compression/bytes.h"
#include "compression/errors.h"

namespace stowaway {
namespace {

constexpr uint8_t FlagStored = 0x80;
constexpr uint8_t FlagCoded = 0x40;
constexpr int32_t GroupItems = 16;
constexpr int32_t LargestItem = 4;  // a run item
constexpr int32_t RunMinimum = 16;
constexpr int32_t RunMaximum = 4095;
constexpr int32_t MatchMinimum = 3;
constexpr int32_t MatchMaximum = 18;
constexpr int32_t MatchReach = 4095;
constexpr int32_t HashEntries = 4096;
constexpr uint16_t EmptyEntry = 0xFFFF;
constexpr int32_t WideCopy = 8;
// A group without runs takes at most FastGroupSource bytes of source, so that
// from that many bytes before the end each of its items starts with
// MatchMaximum bytes left; any group writes at most FastGroupCoded bytes.
constexpr int32_t FastGroupSource = GroupItems * MatchMaximum;
constexpr int32_t FastGroupCoded = GroupItems * LargestItem;

uint16_t LoadBE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

void StoreBE16(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value >> 8);
  p[1] = static_cast<uint8_t>(value);
}

uint64_t Load64(const uint8_t* p) {
  uint64_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

// The number of equal bytes before the first that differs, in memory order,
// of two 8-byte loads whose exclusive or is diff: 8 when diff is 0.
int32_t FirstDifference(uint64_t diff) {
  if constexpr (std::endian::native == std::endian::little) {
    return std::countr_zero(diff) / 8;
  } else {
    return std::countl_zero(diff) / 8;
  }
}

// The bits of an 8-byte load that hold its first three bytes.
constexpr uint64_t FirstThreeBytes =
    std::endian::native == std::endian::little ? 0x0000000000FFFFFF : 0xFFFFFF0000000000;

// The number of equal bytes at a and b, at most limit, compared eight at a
// time; the first differing byte in memory order ends the count.
int32_t CommonLength(const uint8_t* a, const uint8_t* b, int32_t limit) {
  int32_t length = 0;
  while (limit - length >= WideCopy) {
    const uint64_t diff = Load64(a + length) ^ Load64(b + length);
    if (diff != 0) return length + FirstDifference(diff);
    length += WideCopy;
  }
  while (length < limit && a[length] == b[length]) ++length;
  return length;
}

// CommonLength with the limit MatchMaximum, for two places with at least that
// many bytes each whose first eight agree.
int32_t LongMatchLength(const uint8_t* a, const uint8_t* b) {
  static_assert(MatchMaximum == 2 * WideCopy + 2);
  const uint64_t diff = Load64(a + WideCopy) ^ Load64(b + WideCopy);
  if (diff != 0) return WideCopy + FirstDifference(diff);
  return 2 * WideCopy + (a[16] == b[16]) * (1 + (a[17] == b[17]));
}

// The length of the run of here[0] starting at here, with left bytes left (at
// least RunMinimum), when it is long enough for a run item; 0 otherwise.
int32_t RunLength(const uint8_t* here, int32_t left) {
  // Nine equal bytes first, in one comparison of two overlapping 8-byte
  // loads: nearly every position fails there, where two equal bytes are
  // common.
  if (Load64(here + 1) != Load64(here)) return 0;
  const int32_t limit = std::min(RunMaximum, left);
  const int32_t length = 1 + CommonLength(here + 1, here, limit - 1);
  return length >= RunMinimum ? length : 0;
}

// The hash table index of the three bytes at here: bits 4 to 15 of the key
// times 40543, which only the key's low 16 bits reach.
uint32_t HashIndex(const uint8_t* here) {
  const auto key = static_cast<uint16_t>(here[0] << 8 ^ here[1] << 4 ^ here[2]);
  return static_cast<uint16_t>(key * 40543u) >> 4;
}

// The hash indexes of a stretch of positions, worked out ahead in one pass
// that the compiler turns into vector code: a position's index is then one
// load. After a match the next item's position is known only once the
// match's length is; this takes the hash arithmetic off the chain of work
// from one to the other.
class IndexWindow {
 public:
  static constexpr int32_t Positions = 1024;

  // Works out the indexes from here on, up to Positions of them and as far
  // as three bytes are left before end.
  void Fill(const uint8_t* here, const uint8_t* end) {
    start_ = here;
    const auto count = static_cast<int32_t>(std::min<ptrdiff_t>(Positions, end - here - 2));
    for (int32_t k = 0; k < count; ++k) indexes_[k] = static_cast<uint16_t>(HashIndex(here + k));
  }
  // Whether the window holds the indexes of a group from here on that has no
  // runs: FastGroupSource positions.
  bool Covers(const uint8_t* here) const { return here - start_ <= Positions - FastGroupSource; }
  uint32_t Index(const uint8_t* here) const { return indexes_[here - start_]; }

 private:
  const uint8_t* start_ = nullptr;
  uint16_t indexes_[Positions];
};

// Copies length bytes from offset bytes back, with the result of a copy one
// byte at a time in ascending order. Eight-byte pieces give that result when
// the offset is at least eight: each piece reads only bytes already in place.
// They may write past the match, up to the next multiple of eight bytes, so
// they are used only where room allows.
void CopyMatch(uint8_t* to, int32_t offset, int32_t length, int32_t room) {
  constexpr int32_t WideReach = (MatchMaximum + WideCopy - 1) / WideCopy * WideCopy;
  const uint8_t* from = to - offset;
  if (offset >= WideCopy && room >= WideReach) {
    for (int32_t done = 0; done < length; done += WideCopy) {
      std::memcpy(to + done, from + done, WideCopy);
    }
  } else if (offset == 1) {
    std::memset(to, *from, static_cast<size_t>(length));
  } else {
    for (int32_t k = 0; k < length; ++k) to[k] = from[k];
  }
}

// For an offset under eight, the smallest multiple of it that is at least
// eight: a match repeats its first offset bytes, so once eight bytes are in
// place the rest can be copied from that far back in 8-byte pieces.
constexpr uint8_t PatternReach[WideCopy] = {0, 8, 8, 9, 8, 10, 12, 14};

// The same result as CopyMatch for a match of up to MatchMaximum bytes, in
// three 8-byte pieces: it writes 24 bytes from to, whatever the length, and
// the caller has the room. Each piece reads only bytes already in place. One
// branch, rarely taken, tells the short offsets apart: on this loop's data a
// second one, for the offsets of 16 or more, cost more than the 16-byte
// pieces it allowed.
void CopyMatchWide(uint8_t* to, uint32_t offset) {
  static_assert(3 * WideCopy >= MatchMaximum);
  const uint8_t* from = to - offset;
  if (offset < WideCopy) [[unlikely]] {
    for (int32_t k = 0; k < WideCopy; ++k) to[k] = from[k];
    from = to + WideCopy - PatternReach[offset];
    std::memcpy(to + WideCopy, from, WideCopy);
    std::memcpy(to + 2 * WideCopy, from + WideCopy, WideCopy);
    return;
  }
  std::memcpy(to, from, WideCopy);
  std::memcpy(to + WideCopy, from + WideCopy, WideCopy);
  std::memcpy(to + 2 * WideCopy, from + 2 * WideCopy, WideCopy);
}

// The checked decoder takes a group's control bits at the top of a 32-bit
// word, the next item's bit highest, with a stop bit below the sixteenth: the
// word is GroupDone once every item is taken.
constexpr uint32_t NextItemBit = 0x80000000u;
constexpr uint32_t GroupDone = NextItemBit;

uint32_t GroupBits(const uint8_t* control) { return uint32_t{LoadBE16(control)} << 16 | 0x8000u; }

// How decoding a group's items ended: every item taken, some left for the
// checked decoder, the block's end reached, or a broken limit.
enum class GroupEnd { Full, ItemsLeft, BlockEnd, Corrupt };

// Decodes the group's items left, checking every item against both buffers'
// bounds: near the ends of a block.
GroupEnd DecodeItemsChecked(const uint8_t*& in, const uint8_t* in_end, uint8_t*& out, uint8_t* dest,
                            uint32_t bits) {
  uint8_t* const out_end = dest + LzrwBlockSize;
  for (; bits != GroupDone; bits <<= 1) {
    if (in >= in_end) return GroupEnd::BlockEnd;
    if ((bits & NextItemBit) == 0) {
      if (out >= out_end) return GroupEnd::Corrupt;
      *out++ = *in++;
      continue;
    }
    if (in_end - in < 2) return GroupEnd::Corrupt;
    const int32_t offset = LoadBE16(in) >> 4;
    if (offset == 0) {
      if (in_end - in < 4) return GroupEnd::Corrupt;
      const int32_t length = LoadBE16(in + 1) + RunMinimum;
      if (length > out_end - out) return GroupEnd::Corrupt;
      std::memset(out, in[3], static_cast<size_t>(length));
      out += length;
      in += 4;
    } else {
      const int32_t length = (in[1] & 0x0F) + MatchMinimum;
      if (offset > out - dest || length > out_end - out) return GroupEnd::Corrupt;
      CopyMatch(out, offset, length, static_cast<int32_t>(out_end - out));
      out += length;
      in += 2;
    }
  }
  return GroupEnd::Full;
}

// Each byte with its bits in reverse order.
constexpr auto ReversedBytes = [] {
  std::array<uint8_t, 256> table{};
  for (uint32_t value = 0; value < 256; ++value) {
    uint32_t reversed = 0;
    for (uint32_t bit = 0; bit < 8; ++bit) reversed |= (value >> bit & 1) << (7 - bit);
    table[value] = static_cast<uint8_t>(reversed);
  }
  return table;
}();

// A group of 16 items reads at most this many bytes after its control word,
// its literals being copied 16 at a time.
constexpr int32_t FastGroupInput = GroupItems * LargestItem + 16;
// A group without runs writes at most this far beyond its first output
// byte, wide copies included.
constexpr int32_t FastGroupOutput = GroupItems * MatchMaximum + 16;
static_assert(3 * WideCopy <= MatchMaximum + 16);

// Decodes the group whose control word is at control and whose items start
// at in, with at least FastGroupInput bytes from in and FastGroupOutput bytes
// of room from out, so that only copies need checks. Stops early when a run
// leaves less room than that, with taken set to the number of items taken.
GroupEnd DecodeGroupFast(const uint8_t* control, const uint8_t*& in, uint8_t*& out, uint8_t* dest,
                         int32_t& taken) {
  uint8_t* const out_end = dest + LzrwBlockSize;
  // Item k's control bit at bit k: the next copy item is the lowest bit set,
  // found and cleared in a cycle or two. Shifting the word by each run of
  // literals instead chained a bit scan and a shift from item to item, which
  // bounded the whole loop.
  uint32_t copies = ReversedBytes[control[0]] | uint32_t{ReversedBytes[control[1]]} << 8;
  uint32_t next = 0;
  while (copies != 0) {
    const auto at = static_cast<uint32_t>(std::countr_zero(copies));
    // The literals up to the copy item move together, as one wide copy.
    std::memcpy(out, in, 16);
    out += at - next;
    in += at - next;
    copies &= copies - 1;
    next = at + 1;
    const uint32_t item = LoadBE16(in);
    const uint32_t offset = item >> 4;
    if (offset == 0) [[unlikely]] {
      const int32_t length = LoadBE16(in + 1) + RunMinimum;
      if (length > out_end - out) return GroupEnd::Corrupt;
      std::memset(out, in[3], static_cast<size_t>(length));
      out += length;
      in += 4;
      if (out_end - out < FastGroupOutput) {
        taken = static_cast<int32_t>(next);
        return GroupEnd::ItemsLeft;
      }
      continue;
    }
    if (offset > static_cast<uint32_t>(out - dest)) return GroupEnd::Corrupt;
    CopyMatchWide(out, offset);
    out += (item & 0x0F) + MatchMinimum;
    in += 2;
  }
  std::memcpy(out, in, 16);
  out += GroupItems - next;
  in += GroupItems - next;
  return GroupEnd::Full;
}

}  // namespace

TLZR::TLZR() : HashTable(new (std::nothrow) uint16_t[HashEntries]) {
  if (!HashTable) throw ELzrw1KHCompressor("LZRW1KH : no memory for HASH table");
}

TLZR::~TLZR() = default;

TLZR::Match TLZR::FindMatch(uint16_t* table, const uint8_t* source, const uint8_t* here, uint32_t index,
                            int32_t left) {
  const auto at = static_cast<int32_t>(here - source);
  const int32_t candidate = table[index];
  table[index] = static_cast<uint16_t>(at);
  // An empty entry lies beyond every position, so the one unsigned test
  // rejects it with the candidates too far back; it compares the position
  // with itself, which is always readable.
  const bool near = static_cast<uint32_t>(at - candidate) <= static_cast<uint32_t>(MatchReach);
  const uint8_t* there = source + std::min(candidate, at);
  return {candidate, near ? CommonLength(here, there, std::min(left, MatchMaximum)) : 0};
}

uint16_t TLZR::CompressBlock(const uint8_t* source, uint8_t* dest, uint16_t size) {
  assert(size <= LzrwBlockSize);
  const int32_t n = size;
  // Held apart from the object: as far as the compiler knows, the coder's
  // byte stores could change the object, and the pointer would be reloaded.
  uint16_t* const table = HashTable.get();
  std::fill_n(table, HashEntries, EmptyEntry);
  dest[0] = FlagCoded;
  const uint8_t* in = source;
  const uint8_t* const in_end = source + n;
  uint8_t* out = dest + 3;
  uint8_t* const out_limit = dest + n;
  uint8_t* control_at = dest + 1;
  int32_t items = 0;
  uint32_t control = 0;

  const auto code_run = [&](int32_t run) {
    out[0] = 0;
    StoreBE16(out + 1, static_cast<uint32_t>(run - RunMinimum));
    out[3] = *in;
    out += 4;
    in += run;
  };
  const auto code_match = [&](int32_t start, int32_t length) {
    StoreBE16(out, static_cast<uint32_t>((in - source - start) << 4 | (length - MatchMinimum)));
    out += 2;
    in += length;
  };

  // Whole groups while every item of the next one has MatchMaximum bytes of
  // source left and the group cannot take the output past the source's
  // size: one check per group stands for the checks at every item. A run
  // that leaves less source than that ends the group early.
  if (n >= FastGroupSource) {
    const uint8_t* const in_fast = in_end - FastGroupSource;
    uint8_t* const out_fast = out_limit - FastGroupCoded;
    IndexWindow window;
    window.Fill(in, in_end);
    // The first eight bytes at each position the table holds, kept beside
    // it by every lookup here; these groups come before any item coded on
    // its own. Filled first: an empty entry's head is read too, and ignored.
    uint64_t heads[HashEntries];
    std::fill_n(heads, HashEntries, 0);
    while (in <= in_fast && out <= out_fast) {
      if (!window.Covers(in)) window.Fill(in, in_end);
      for (items = 0; items < GroupItems; ++items) {
        control <<= 1;
        if (const int32_t run = RunLength(in, static_cast<int32_t>(in_end - in)); run != 0) {
          code_run(run);
          control |= 1;
          if (in > in_fast) break;
          if (!window.Covers(in)) window.Fill(in, in_end);
          continue;
        }
        // FindMatch written out, with the index from the window and the
        // candidate's first eight bytes from heads instead of from the source
        // through the candidate. That is one load less before the coder's
        // most unpredictable branch (is the candidate usable, do its first
        // three bytes agree) and before the length of most matches, which the
        // next item waits for. Returned as a result and tested again, the
        // decision cost a second branch.
        const uint8_t literal = *in;
        const uint64_t ahead = Load64(in);
        const uint32_t index = window.Index(in);
        const auto at = static_cast<uint32_t>(in - source);
        const uint32_t candidate = table[index];
        table[index] = static_cast<uint16_t>(at);
        const uint64_t differ = heads[index] ^ ahead;
        heads[index] = ahead;
        // An empty entry lies beyond every position: a distance of 4096 or
        // more, like the candidates too far back.
        static_assert(MatchReach == (1 << 12) - 1);
        if (((differ & FirstThreeBytes) | (at - candidate) >> 12) == 0) {
          int32_t length = FirstDifference(differ);
          if (length == WideCopy) length = LongMatchLength(in, source + candidate);
          code_match(static_cast<int32_t>(candidate), length);
          control |= 1;
          continue;
        }
        *out++ = literal;
        ++in;
      }
      if (items < GroupItems) {
        ++items;
        break;
      }
      // Another group follows, within these bounds; the coder's own checks
      // let it follow in any case.
      if (in > in_fast || out_fast - out < 2) break;
      StoreBE16(control_at, control);
      control_at = out;
      out += 2;
      control = 0;
    }
  }

  // The rest item by item. Giving up once the output passes the source's
  // size bounds the output at n + LzrwCompressSlack: a control word and a
  // run item after the last check.
  while (in < in_end && out <= out_limit) {
    if (items == GroupItems) {
      StoreBE16(control_at, control);
      control_at = out;
      out += 2;
      items = 0;
      control = 0;
    }
    ++items;
    control <<= 1;
    const auto left = static_cast<int32_t>(in_end - in);
    if (const int32_t run = left >= RunMinimum ? RunLength(in, left) : 0; run != 0) {
      code_run(run);
      control |= 1;
      continue;
    }
    // Fewer than three bytes left can never match, and nothing later can
    // match them: they are neither hashed nor remembered.
    if (left >= MatchMinimum) {
      if (const Match match = FindMatch(table, source, in, HashIndex(in), left); match.length >= MatchMinimum) {
        code_match(match.start, match.length);
        control |= 1;
        continue;
      }
    }
    *out++ = *in++;
  }
  StoreBE16(control_at, control << (GroupItems - items));
  if (out > out_limit) {
    dest[0] = FlagStored;
    std::copy_n(source, n, dest + 1);
    return static_cast<uint16_t>(n + 1);
  }
  return static_cast<uint16_t>(out - dest);
}

int32_t TLZR::DecompressBlock(const uint8_t* source, uint8_t* dest, uint16_t size) {
  const int32_t n = size;
  if (n <= 1) return 0;
  if (source[0] == FlagStored) {
    if (n - 1 > LzrwBlockSize) return LzrwCorruptBlock;
    std::memcpy(dest, source + 1, static_cast<size_t>(n - 1));
    return n - 1;
  }
  // Every flag other than the stored one means coded.
  if (n < 3) return LzrwCorruptBlock;
  const uint8_t* in = source + 1;
  const uint8_t* const in_end = source + n;
  uint8_t* out = dest;
  const uint8_t* const out_end = dest + LzrwBlockSize;
  for (;;) {
    const uint8_t* const control = in;
    in += 2;
    GroupEnd end = GroupEnd::ItemsLeft;
    int32_t taken = 0;
    if (in_end - in >= FastGroupInput && out_end - out >= FastGroupOutput) {
      end = DecodeGroupFast(control, in, out, dest, taken);
    }
    if (end == GroupEnd::ItemsLeft) {
      end = DecodeItemsChecked(in, in_end, out, dest, GroupBits(control) << taken);
    }
    if (end == GroupEnd::Corrupt) return LzrwCorruptBlock;
    if (end == GroupEnd::BlockEnd) return static_cast<int32_t>(out - dest);
    if (in >= in_end) return static_cast<int32_t>(out - dest);
    // A control word announces at least one more item.
    if (in_end - in < 3) return LzrwCorruptBlock;
  }
}

}  // namespace stowaway
