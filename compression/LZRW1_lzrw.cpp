// The component's LZRW1/KH block loops: the body is a run of blocks, each a
// 16-bit little-endian coded length and the coded block; every block but the
// last decodes to BlockSize bytes.
#include "compression/LZRW1.h"
#include "compression/LZRW1KH.h"
#include "compression/bytes.h"

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
  // so the reader knows where the body ends.
  while (BlockInLength == BlockSize) {
    BlockInLength = ReadInput(InBuffer.get(), BlockSize);
    if (BlockInLength < 0) {
      if (UseStream) throw ELzrw1Exception("Compression Error, reading from input stream ! (LZRW1/KH)");
      throw ELzrw1Exception("Compression Error, reading from input file : " + InputFile + " (LZRW1/KH)");
    }
    ReadTotal += BlockInLength;
    BlockOutLength = LzrCodec->CompressBlock(InBuffer.get(), OutBuffer.get(),
                                             static_cast<uint16_t>(BlockInLength));

    uint8_t length_field[2];
    StoreLE16(length_field, static_cast<uint16_t>(BlockOutLength));
    IoCount = WriteOutput(length_field, 2);
    CheckWrite(IoCount, 2);
    WriteTotal += IoCount;
    IoCount = WriteOutput(OutBuffer.get(), BlockOutLength);
    CheckWrite(IoCount, BlockOutLength);
    WriteTotal += IoCount;
    ProgressPoint();
  }
}

}  // namespace stowaway
