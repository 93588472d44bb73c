// Tlzrw1: the one object through which the system packs and unpacks data.
//
// A packed stream is an 8-byte header (signature, original size, both
// little-endian) followed by the body of one of two codecs:
//   LZH       signature "!HZL": an LZSS coder with an adaptive Huffman stage
//   LZRW1/KH  signature "WRZL": a fast LZ77 coder in blocks of 32768 bytes
//
// The component works either between two named files (file mode) or between
// two streams that the caller opened and owns (stream mode, UseStream set);
// it never closes or frees the caller's streams. Every failure is an
// exception carrying a fixed message; in file mode the file's name is part
// of it. A failure in the middle of a transfer reaches the caller in both
// modes; in file mode the partly written output file is deleted first.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "compression/errors.h"
#include "platform/file.h"
#include "platform/stream.h"

namespace stowaway {

class TLZH;
class TLZR;

enum class TCompressMode : uint8_t {
  Good = 0,  // LZH
  Fast = 1,  // LZRW1/KH
  Auto = 2,  // let Advise choose
};

inline constexpr uint32_t LzhIdentifier = 0x4C5A4821;   // bytes "!HZL"
inline constexpr uint32_t LzrwIdentifier = 0x4C5A5257;  // bytes "WRZL"
// A packed stream starts with the signature and the unpacked size, each four
// bytes, low byte first.
inline constexpr int32_t PackedHeaderSize = 8;

// Unpacked data moves at most this many bytes at a time.
inline constexpr int32_t BlockSize = 32768;
// The component's two I/O buffers: a coded LZRW1/KH block may be a little
// longer than the data it codes.
inline constexpr int32_t IoBufferSize = BlockSize + 16;

// Called at every progress point of every component in the process, after
// the component has published its counts in BytesRead and BytesWritten.
// Empty unless a HookInUse has put a hook in place: that is the only way to
// set it.
extern const std::function<void()>& ProgressHook;

// Puts a progress hook (or none) in place for the time of one scope; the hook
// in place before comes back when the scope ends, also by an exception.
class HookInUse {
 public:
  explicit HookInUse(std::function<void()> hook);
  ~HookInUse();
  HookInUse(const HookInUse&) = delete;
  HookInUse& operator=(const HookInUse&) = delete;

 private:
  std::function<void()> saved_;
};

class Tlzrw1 {
 public:
  // Raises ELzrw1KHCompressor when the LZRW1/KH codec's table cannot be had.
  Tlzrw1();
  ~Tlzrw1();
  Tlzrw1(const Tlzrw1&) = delete;
  Tlzrw1& operator=(const Tlzrw1&) = delete;

  // Configuration, read and written directly.
  bool UseStream = false;
  std::string InputFile;
  std::string OutputFile;
  TCompressMode CompressMode = TCompressMode::Good;
  int32_t Threshold = 40;  // percentage used by Advise
  // Threads Compress may use: the LZH coder's to find matches, the LZRW1/KH
  // coder's to code blocks side by side. The packed bytes, progress points
  // and failures are the same whatever the number.
  int32_t EncoderThreads = 1;
  TStream* InputStream = nullptr;   // not owned
  TStream* OutputStream = nullptr;  // not owned

  // Bytes taken from the input and written to the output, as of the last
  // progress point; they keep their values between operations.
  int32_t BytesRead = 0;
  int32_t BytesWritten = 0;

  // Unpacks one packed stream; the codec comes from its signature. Returns
  // the number of unpacked bytes written. In stream mode reading starts at
  // the input stream's position; an LZH stream may be read up to 32768 bytes
  // beyond its end, an LZRW1/KH stream is read exactly.
  int32_t Decompress();
  // Packs the whole input with the codec of CompressMode (Auto asks Advise)
  // and returns the number of bytes written, header included.
  int32_t Compress();
  // The codec Compress would use in Auto mode: Fast when two samples of the
  // input shrink below Threshold percent with the fast coder, else Good.
  TCompressMode Advise();

  // Raise the component's reading or writing message unless count equals
  // expected.
  void CheckRead(int32_t count, int32_t expected);
  void CheckWrite(int32_t count, int32_t expected);

 private:
  class OperationBuffers;
  class OpenEnds;
  class LzhBlockReader;
  class LzhBlockWriter;

  // The input and output primitives: a stream in stream mode, a file handle
  // in file mode. They return the count moved, -1 on failure.
  int32_t ReadInput(void* buffer, int32_t count);
  int32_t WriteOutput(const void* buffer, int32_t count);
  void ProgressPoint();
  // A 4-byte little-endian header field, moved with the reading or writing
  // check.
  uint32_t ReadHeaderField();
  void WriteHeaderField(uint32_t value);

  // The bodies behind the header; original_size is the header's size field.
  void DecompressLzh(int32_t original_size);
  void CompressLzh();
  void LzrwDecompressBlocks(int32_t original_size);
  void LzrwCompressBlocks();
  // LzrwCompressBlocks from the second block on, on EncoderThreads threads;
  // false, with nothing done, when not even one batch buffer can be had.
  bool LzrwCompressBatches();
  // The coders' reading failure, tagged with the codec's name.
  [[noreturn]] void RaiseReadFailure(const char* codec) const;
  // Writes the coded block of BlockOutLength bytes with its length field, and
  // makes the progress point.
  void WriteLzrwBlock(const uint8_t* coded);

  std::unique_ptr<TLZH> LzhCodec;
  std::unique_ptr<TLZR> LzrCodec;

  // Working state of one operation.
  std::unique_ptr<uint8_t[]> InBuffer;
  std::unique_ptr<uint8_t[]> OutBuffer;
  FileHandle InHandle = 0;
  FileHandle OutHandle = 0;
  int32_t BlockInLength = 0;
  int32_t BlockOutLength = 0;
  int32_t IoCount = 0;
  uint32_t SignatureIn = 0;
  uint32_t SignatureOut = 0;
  int32_t ReadTotal = 0;
  int32_t WriteTotal = 0;
  int32_t OriginalSize = 0;
};

}  // namespace stowaway
