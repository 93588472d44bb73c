// TLZH: the LZH codec. LZSS over a 4096-byte ring window with matches of 3 to
// 60 bytes; literals and match lengths share one adaptive Huffman code over
// 314 symbols, which encoder and decoder update in lockstep after every
// symbol; offsets are a fixed prefix code for their upper 6 bits followed by
// 6 plain bits. The body is one bit string, most significant bit first, with
// no end marker: the decoder stops by count.
//
// The codec knows no files or streams. It pulls bytes from an LzhSource and
// pushes them to an LzhSink, whose fast paths are inline buffer accesses and
// whose slow paths (a block read, a block write) are the owner's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace stowaway {

inline constexpr int WindowSize = 4096;
inline constexpr int MaxMatch = 60;
inline constexpr int MatchThreshold = 2;
inline constexpr int SymbolCount = 314;  // 256 literals + 58 match lengths
inline constexpr int NodeCount = 627;    // 2 * SymbolCount - 1
inline constexpr int RootIndex = 626;
inline constexpr uint16_t WeightLimit = 0x8000;
inline constexpr int NoNode = 4096;
// Marks a leaf that the decoder's two-level step reaches after one bit.
inline constexpr uint16_t PairsLeafAfterOneBit = 0x8000;
// Window positions 0 to 4035 start as spaces; the first new byte goes to 4036.
inline constexpr int InitialFill = WindowSize - MaxMatch;

// Where the codec takes its input from: the unread bytes [Next, End) of a
// block buffer, and Refill to load the next block when they run out.
class LzhSource {
 public:
  virtual ~LzhSource() = default;

  // Delivers one byte; false when the input has ended. Every request made
  // after the end tries to read again.
  bool Get(uint8_t& byte) {
    if (!Fetch()) return false;
    byte = *Next++;
    return true;
  }

  // Makes sure that a byte is buffered, loading a block when none is: what
  // Get does before it takes one. False when the input has ended.
  bool Fetch() { return Next != End || Refill(); }

  // Reading ahead, for a source that can: AheadSize is then the most one
  // block read ahead holds (0: it cannot). ReadAhead reads the next block
  // now and returns its size (0 at the end of the input, -1 when the read
  // failed), its bytes at bytes until the next call; nothing is counted.
  // TakeAhead later hands the oldest block read ahead over as a Refill at
  // that time would have loaded it: counted, with its progress point, or
  // its failure raised. It returns the block's size, 0 at the end; its
  // bytes are not in [Next, End), which it leaves alone.
  virtual int32_t ReadAhead(const uint8_t*& bytes) {
    bytes = nullptr;
    return -1;
  }
  virtual int32_t TakeAhead() { return 0; }
  int32_t AheadSize = 0;

  const uint8_t* Next = nullptr;
  const uint8_t* End = nullptr;

 protected:
  // Loads more bytes into [Next, End); false when none came.
  virtual bool Refill() = 0;
};

// Where the codec puts its output: the free bytes [Next, End) of a block
// buffer, and Flush to write the full buffer out when it is needed again.
class LzhSink {
 public:
  virtual ~LzhSink() = default;

  void Put(uint8_t byte) {
    if (Next == End) Flush();
    *Next++ = byte;
  }

  uint8_t* Next = nullptr;
  uint8_t* End = nullptr;

 protected:
  // Writes the buffer out and makes all of it free again.
  virtual void Flush() = 0;
};

class TLZH {
 public:
  TLZH();
  ~TLZH();
  TLZH(const TLZH&) = delete;
  TLZH& operator=(const TLZH&) = delete;

  // Decodes one body until at least size bytes have been put. A match in
  // progress is always completed, so more than size bytes may come out.
  // Raises ElzhException when the tables cannot be had, and ELzrw1Exception
  // when the body ends before size bytes have been produced.
  void DecodeStream(int32_t size, LzhSource& reader, LzhSink& writer);
  // Codes everything the reader delivers as one body, the last byte padded
  // with zero bits.
  void EncodeStream(LzhSource& reader, LzhSink& writer);

  // Threads that EncodeStream may use to find matches; the body is the same
  // whatever the number.
  int EncoderThreads = 1;

  // The adaptive model, shared by both directions; public so that tests can
  // drive it. AllocTables gives fresh tables (all zero), FreeTables releases
  // them; the other steps need the tables.
  void AllocTables();
  void FreeTables();
  void InitModel();
  void UpdateModel(int symbol);
  // UpdateModel for a symbol whose leaf was just reached by path, the
  // positions from the root's child down to the leaf: until a node moves,
  // the path names each next node up, which spares waiting for the parents
  // one after another.
  void UpdateAlong(int symbol, const int16_t* path, int depth);
  void RebuildModel();
  // The symbol's current code as '0' and '1' characters, first bit first.
  std::string SymbolCode(int symbol) const;

 private:
  // The decoder's window and the model; one allocation per stream. The
  // encoder's window is its match tree's.
  struct Tables {
    uint8_t Window[WindowSize];
    uint16_t HuffWeight[NodeCount + 4];        // 627 on: sentinels above all
    int16_t HuffParent[NodeCount + SymbolCount];  // 627 + s: leaf of s
    int16_t HuffChild[NodeCount];  // first child, or symbol + 627 for a leaf
    // The decoder's descent two levels a step: entry 2n + b is where the
    // bits (n's own, b) lead from n's pair, HuffChild[HuffChild[n] + b], or
    // for a leaf n its HuffChild marked with PairsLeafAfterOneBit, b being
    // no part of the code.
    uint16_t HuffPairs[2 * NodeCount];
  };
  // Holds fresh tables for one coding call and releases them on every way out.
  class TablesInUse {
   public:
    explicit TablesInUse(TLZH& codec) : codec_(codec) { codec_.AllocTables(); }
    ~TablesInUse() { codec_.FreeTables(); }
    TablesInUse(const TablesInUse&) = delete;
    TablesInUse& operator=(const TablesInUse&) = delete;

   private:
    TLZH& codec_;
  };

  // Encoder steps. Tests drive EncodeSymbol and EncodeOffset directly
  // through LzhEncoderProbe, to reach codes no short input produces.
  friend class LzhEncoderProbe;
  void WriteBits(LzhSink& writer, int n, uint16_t code);
  void EncodeSymbol(LzhSink& writer, int symbol);
  void EncodeOffset(LzhSink& writer, int offset);
  void FlushBits(LzhSink& writer);

  // Moves the node at c, whose weight has just become k, to the top of the
  // run of lighter nodes above it; returns its new position.
  int Promote(int c, uint16_t k);
  // Adds one to the weight of c and of each node above it.
  void Climb(int c);
  // Brings the entries of HuffPairs that HuffChild[position] decides up to
  // date; BuildPairs makes all of them.
  void RefreshPairs(int position);
  void BuildPairs();

  std::unique_ptr<Tables> T;
  // Whether the model keeps HuffPairs: only the decoder reads them.
  bool KeepPairs = false;

  // Bit writer.
  uint8_t OutBitCount = 0;
  uint16_t OutBits = 0;
};

}  // namespace stowaway
