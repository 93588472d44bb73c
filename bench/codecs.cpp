#include "bench/codecs.h"

#include <lz4.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "compression/LZRW1.h"
#include "platform/stream.h"

namespace stowaway::bench {
namespace {

using Buffer = std::vector<uint8_t>;

bool SameBytes(const uint8_t* got, int64_t size, const Buffer& original) {
  return size == static_cast<int64_t>(original.size()) &&
         std::equal(original.begin(), original.end(), got);
}

// The component in stream mode between memory streams. Each file has its own
// input stream, made once, and the output goes to one stream sized for the
// largest result, so that the timed calls neither copy the input nor grow
// the output.
class ComponentCodec final : public Codec {
 public:
  // threads: the LZH encoder's threads for finding matches.
  ComponentCodec(const Corpus& corpus, TCompressMode mode, int threads = 1)
      : corpus_(corpus),
        mode_(mode),
        threads_(threads),
        scratch_(Buffer(2 * corpus.LargestFile() + 1024)),
        packed_(corpus.Files.size()) {
    for (const CorpusFile& file : corpus.Files) {
      originals_.push_back(std::make_unique<TMemoryStream>(file.Bytes));
    }
    component_.UseStream = true;
    component_.CompressMode = mode;
    component_.EncoderThreads = threads;
  }

  std::string Id() const override {
    const std::string id = mode_ == TCompressMode::Fast ? "fast" : "good";
    return threads_ == 1 ? id : id + "-t" + std::to_string(threads_);
  }
  std::string Label() const override {
    const std::string label = mode_ == TCompressMode::Fast ? "Fast (LZRW1/KH)" : "Good (LZH)";
    return threads_ == 1 ? label : label + ", " + std::to_string(threads_) + " threads";
  }

  int64_t Compress(size_t index) override {
    return Run(*originals_[index], &Tlzrw1::Compress);
  }
  int64_t Decompress(size_t index) override {
    last_size_ = Run(*packed_[index], &Tlzrw1::Decompress);
    return last_size_;
  }

  void Keep(size_t index) override {
    const Buffer& written = scratch_.Data();
    const auto end = written.begin() + scratch_.Position();
    packed_[index] = std::make_unique<TMemoryStream>(Buffer(written.begin(), end));
  }
  bool Matches(size_t index) const override {
    return SameBytes(scratch_.Data().data(), last_size_, corpus_.Files[index].Bytes);
  }

 private:
  int64_t Run(TMemoryStream& input, int32_t (Tlzrw1::*operation)()) {
    input.Seek(0, SeekOrigin::Begin);
    scratch_.Seek(0, SeekOrigin::Begin);
    component_.InputStream = &input;
    component_.OutputStream = &scratch_;
    return (component_.*operation)();
  }

  const Corpus& corpus_;
  TCompressMode mode_;
  int threads_;
  Tlzrw1 component_;
  std::vector<std::unique_ptr<TMemoryStream>> originals_;
  TMemoryStream scratch_;
  std::vector<std::unique_ptr<TMemoryStream>> packed_;
  int64_t last_size_ = 0;
};

// The peers and memcpy work between plain buffers: a scratch buffer large
// enough for any result, and each file's packed form kept apart.
class BufferCodec : public Codec {
 public:
  BufferCodec(const Corpus& corpus, size_t scratch_size)
      : corpus_(corpus), scratch_(scratch_size), packed_(corpus.Files.size()) {}

  int64_t Compress(size_t index) override {
    packed_size_ = Pack(corpus_.Files[index].Bytes, scratch_);
    return packed_size_;
  }
  int64_t Decompress(size_t index) override {
    last_size_ = Unpack(packed_[index], scratch_);
    return last_size_;
  }
  void Keep(size_t index) override {
    packed_[index].assign(scratch_.begin(), scratch_.begin() + packed_size_);
  }
  bool Matches(size_t index) const override {
    return SameBytes(scratch_.data(), last_size_, corpus_.Files[index].Bytes);
  }

 protected:
  virtual int64_t Pack(const Buffer& in, Buffer& out) = 0;
  virtual int64_t Unpack(const Buffer& in, Buffer& out) = 0;

 private:
  const Corpus& corpus_;
  Buffer scratch_;
  std::vector<Buffer> packed_;
  int64_t packed_size_ = 0;
  int64_t last_size_ = 0;
};

class MemcpyCodec final : public BufferCodec {
 public:
  explicit MemcpyCodec(const Corpus& corpus) : BufferCodec(corpus, corpus.LargestFile()) {}
  std::string Id() const override { return "memcpy"; }
  std::string Label() const override { return "memcpy"; }

 protected:
  int64_t Pack(const Buffer& in, Buffer& out) override {
    std::memcpy(out.data(), in.data(), in.size());
    return static_cast<int64_t>(in.size());
  }
  int64_t Unpack(const Buffer& in, Buffer& out) override { return Pack(in, out); }
};

class ZlibCodec final : public BufferCodec {
 public:
  ZlibCodec(const Corpus& corpus, int level)
      : BufferCodec(corpus, compressBound(static_cast<uLong>(corpus.LargestFile()))), level_(level) {}
  std::string Id() const override { return "zlib" + std::to_string(level_); }
  std::string Label() const override { return "zlib -" + std::to_string(level_); }

 protected:
  int64_t Pack(const Buffer& in, Buffer& out) override {
    uLongf size = static_cast<uLongf>(out.size());
    if (compress2(out.data(), &size, in.data(), static_cast<uLong>(in.size()), level_) != Z_OK) {
      throw std::runtime_error("zlib: compress2 failed");
    }
    return static_cast<int64_t>(size);
  }
  int64_t Unpack(const Buffer& in, Buffer& out) override {
    uLongf size = static_cast<uLongf>(out.size());
    if (uncompress(out.data(), &size, in.data(), static_cast<uLong>(in.size())) != Z_OK) return -1;
    return static_cast<int64_t>(size);
  }

 private:
  int level_;
};

class Lz4Codec final : public BufferCodec {
 public:
  explicit Lz4Codec(const Corpus& corpus)
      : BufferCodec(corpus, static_cast<size_t>(LZ4_compressBound(static_cast<int>(corpus.LargestFile())))) {}
  std::string Id() const override { return "lz4"; }
  std::string Label() const override { return "lz4 (default)"; }

 protected:
  int64_t Pack(const Buffer& in, Buffer& out) override {
    const int size = LZ4_compress_default(reinterpret_cast<const char*>(in.data()),
                                          reinterpret_cast<char*>(out.data()),
                                          static_cast<int>(in.size()), static_cast<int>(out.size()));
    if (size <= 0 && !in.empty()) throw std::runtime_error("lz4: LZ4_compress_default failed");
    return size;
  }
  int64_t Unpack(const Buffer& in, Buffer& out) override {
    return LZ4_decompress_safe(reinterpret_cast<const char*>(in.data()),
                               reinterpret_cast<char*>(out.data()), static_cast<int>(in.size()),
                               static_cast<int>(out.size()));
  }
};

}  // namespace

std::vector<std::unique_ptr<Codec>> MakeCodecs(const Corpus& corpus) {
  std::vector<std::unique_ptr<Codec>> codecs;
  codecs.push_back(std::make_unique<MemcpyCodec>(corpus));
  codecs.push_back(std::make_unique<Lz4Codec>(corpus));
  codecs.push_back(std::make_unique<ZlibCodec>(corpus, 1));
  codecs.push_back(std::make_unique<ZlibCodec>(corpus, 6));
  codecs.push_back(std::make_unique<ComponentCodec>(corpus, TCompressMode::Fast));
  codecs.push_back(std::make_unique<ComponentCodec>(corpus, TCompressMode::Fast, 2));
  codecs.push_back(std::make_unique<ComponentCodec>(corpus, TCompressMode::Good));
  codecs.push_back(std::make_unique<ComponentCodec>(corpus, TCompressMode::Good, 2));
  return codecs;
}

std::string PeerVersions() {
  return std::string("zlib ") + zlibVersion() + ", lz4 " + LZ4_versionString();
}

}  // namespace stowaway::bench
