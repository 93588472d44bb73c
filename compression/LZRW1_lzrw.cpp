// The component's LZRW1/KH block loops: the body is a run of blocks, each a
// 16-bit little-endian coded length and the coded block; every block but the
// last decodes to BlockSize bytes.
#include "compression/LZRW1.h"

#include <vector>

#include "compression/LZRW1KH.h"
#include "compression/bytes.h"
#include "compression/lzrw_block_pool.h"

namespace stowaway {

static_assert(LzrwBlockSize == BlockSize);
static_assert(LzrwBlockSize + LzrwCompressSlack <= IoBufferSize);

namespace {

[[noreturn]] void RaiseCorruptBlock() {
  throw ELzrw1Exception("Lzrw1 (decompression LZRW1/KH) : corrupt compressed block !");
}

[[noreturn]] void RaiseSizesDiffer() {
  throw ELzrw1Exception("Lzrw1 (decompression LZRW1/KH) : Original and compressed sizes do not match !");
}

}  // namespace

void Tlzrw1::LzrwDecompressBlocks(int32_t original_size) {
  while (BlockOutLength == BlockSize) {
    uint8_t length_field[2];
    IoCount = ReadInput(length_field, 2);
    CheckRead(IoCount, 2);
    BlockInLength = LoadLE16(length_field);
    // A longer block cannot have come from the coder, and would not fit.
    if (BlockInLength > IoBufferSize) RaiseCorruptBlock();
    IoCount = ReadInput(InBuffer.get(), BlockInLength);
    CheckRead(IoCount, BlockInLength);
    ReadTotal += IoCount + 2;

    BlockOutLength = TLZR::DecompressBlock(InBuffer.get(), OutBuffer.get(),
                                           static_cast<uint16_t>(BlockInLength));
    if (BlockOutLength == LzrwCorruptBlock) RaiseCorruptBlock();
    // A few bytes of body can stand for megabytes of output: a block that
    // would take the output past the header's size is never written, so
    // disk use stays within what the stream declares.
    if (BlockOutLength > original_size - WriteTotal) RaiseSizesDiffer();

    IoCount = WriteOutput(OutBuffer.get(), BlockOutLength);
    CheckWrite(IoCount, BlockOutLength);
    WriteTotal += IoCount;
    ProgressPoint();
  }
  if (WriteTotal != original_size) RaiseSizesDiffer();
}

void Tlzrw1::LzrwCompressBlocks() {
  BlockInLength = BlockSize;
  ReadTotal = 0;
  // A short read ends the body; the empty block it may give still goes out,
  // so the reader knows where the body ends. Only an input that fills its
  // first block, and is said to hold a batch's worth after it, is worth
  // threads.
  for (bool first = true; BlockInLength == BlockSize; first = false) {
    if (!first && EncoderThreads > 1 && LzrwBlockPool::Pays(OriginalSize - ReadTotal, EncoderThreads) &&
        LzrwCompressBatches()) {
      return;
    }
    BlockInLength = ReadInput(InBuffer.get(), BlockSize);
    if (BlockInLength < 0) RaiseReadFailure("LZRW1/KH");
    ReadTotal += BlockInLength;
    BlockOutLength = LzrCodec->CompressBlock(InBuffer.get(), OutBuffer.get(),
                                             static_cast<uint16_t>(BlockInLength));
    WriteLzrwBlock(OutBuffer.get());
  }
}

bool Tlzrw1::LzrwCompressBatches() {
  LzrwBlockPool pool(*LzrCodec, EncoderThreads);
  if (pool.Blocks(0).empty()) return false;
  // The blocks are read a batch ahead and written in order, each with its
  // progress point and its bytes counted as it goes out: what a caller sees
  // is what one block at a time gives, but for how far the input has been
  // read. A read that fails ends its batch and is raised once the blocks
  // before it are out.
  bool failed = false;
  const auto read_batch = [&](LzrwBlockPool::Batch& batch) {
    int count = 0;
    while (count < static_cast<int>(batch.size()) && BlockInLength == BlockSize) {
      const int32_t got = ReadInput(batch[static_cast<size_t>(count)].source.get(), BlockSize);
      if (got < 0) {
        failed = true;
        break;
      }
      BlockInLength = got;
      batch[static_cast<size_t>(count++)].size = static_cast<uint16_t>(got);
    }
    return count;
  };
  int which = 0;
  int count = read_batch(pool.Blocks(which));
  pool.Start(which, count);
  for (;;) {
    const bool failed_here = failed;
    const bool more = !failed && BlockInLength == BlockSize;
    const int next = more ? read_batch(pool.Blocks(1 - which)) : 0;
    pool.Finish();
    if (more) pool.Start(1 - which, next);
    for (int k = 0; k < count; ++k) {
      const LzrwBlockPool::Block& block = pool.Blocks(which)[static_cast<size_t>(k)];
      ReadTotal += block.size;
      BlockOutLength = block.coded_size;
      WriteLzrwBlock(block.coded.get());
    }
    if (failed_here) RaiseReadFailure("LZRW1/KH");
    if (!more) return true;
    which = 1 - which;
    count = next;
  }
}

void Tlzrw1::WriteLzrwBlock(const uint8_t* coded) {
  uint8_t length_field[2];
  StoreLE16(length_field, static_cast<uint16_t>(BlockOutLength));
  IoCount = WriteOutput(length_field, 2);
  CheckWrite(IoCount, 2);
  WriteTotal += IoCount;
  IoCount = WriteOutput(coded, BlockOutLength);
  CheckWrite(IoCount, BlockOutLength);
  WriteTotal += IoCount;
  ProgressPoint();
}

}  // namespace stowaway
