// Runs one operation of the component in stream mode and records what its
// caller can observe: the result or failure, the bytes written, every
// progress point and where the input stream is left. Recorded results are
// compared as one line, with FNV-1a digests for the bulky parts.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "compression/LZRW1.h"
#include "tests/compression/progress_recorder.h"
#include "tests/support/test_data.h"

namespace stowaway::testing {

inline uint64_t Fnv1a(const uint8_t* data, size_t size, uint64_t h = 0xCBF29CE484222325) {
  for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 0x100000001B3;
  return h;
}

// "count:digest".
inline std::string Digest(size_t count, uint64_t h) {
  char text[40];
  std::snprintf(text, sizeof text, "%zu:%016llx", count, static_cast<unsigned long long>(h));
  return text;
}

inline std::string Hash(const Bytes& data) { return Digest(data.size(), Fnv1a(data.data(), data.size())); }

// Each point as its two counts, little-endian.
inline std::string Hash(const ProgressPoints& points) {
  uint64_t h = 0xCBF29CE484222325;
  for (const auto& [read, written] : points) {
    uint8_t pair[8];
    for (int i = 0; i < 4; ++i) {
      pair[i] = static_cast<uint8_t>(read >> 8 * i);
      pair[4 + i] = static_cast<uint8_t>(written >> 8 * i);
    }
    h = Fnv1a(pair, sizeof pair, h);
  }
  return Digest(points.size(), h);
}

enum class Operation { Compress, Decompress };

struct Observed {
  std::string outcome;  // "ok" and the result, or the exception's class and message
  Bytes output;
  ProgressPoints points;
  int64_t input_position = 0;

  std::string Line() const {
    return outcome + " | out " + Hash(output) + " | points " + Hash(points) + " | in at " +
           std::to_string(input_position);
  }
};

// The operation writes to out, which passes what it takes on to written (out
// itself, or a stream wrapped around it); encoder_threads: the encoder's
// threads.
inline Observed Observe(Operation operation, TCompressMode mode, TStream& in, TStream& out,
                        const TMemoryStream& written, int encoder_threads) {
  Tlzrw1 codec;
  codec.EncoderThreads = encoder_threads;
  codec.UseStream = true;
  codec.CompressMode = mode;
  codec.InputStream = &in;
  codec.OutputStream = &out;
  Observed seen;
  {
    ProgressRecorder recorder(codec);
    try {
      const int32_t result = operation == Operation::Compress ? codec.Compress() : codec.Decompress();
      seen.outcome = "ok " + std::to_string(result);
    } catch (const Exception& e) {
      seen.outcome = std::string(e.ClassName()) + ": " + e.Message();
    }
    seen.points = recorder.points;
  }
  seen.output = written.Data();
  seen.input_position = in.Position();
  return seen;
}

inline Observed Observe(Operation operation, TCompressMode mode, TStream& in, int encoder_threads = 1) {
  TMemoryStream out;
  return Observe(operation, mode, in, out, out, encoder_threads);
}

inline Observed Observe(Operation operation, TCompressMode mode, const Bytes& input, int64_t start = 0,
                        int encoder_threads = 1) {
  TMemoryStream in(input);
  in.Seek(start, SeekOrigin::Begin);
  return Observe(operation, mode, in, encoder_threads);
}

inline Bytes Packed(const Bytes& input, TCompressMode mode) {
  const Observed seen = Observe(Operation::Compress, mode, input);
  EXPECT_EQ(seen.outcome, "ok " + std::to_string(seen.output.size()));
  return seen.output;
}

// Serves reads of more than four bytes (the header's fields are read whole,
// as from a file) in pieces whose sizes a seeded draw decides.
class ChoppyStream final : public TStream {
 public:
  // piece: the count to move, from a draw and the count asked for.
  using Piece = int32_t (*)(int32_t draw, int32_t count);
  ChoppyStream(Bytes data, uint32_t seed, Piece piece) : inner_(std::move(data)), rng_(seed), piece_(piece) {}

  int32_t Read(void* buffer, int32_t count) override {
    if (count <= 4) return inner_.Read(buffer, count);
    return inner_.Read(buffer, std::min(count, piece_(static_cast<int32_t>(rng_() >> 8), count)));
  }
  int32_t Write(const void* buffer, int32_t count) override { return inner_.Write(buffer, count); }
  int64_t Seek(int64_t offset, SeekOrigin origin) override { return inner_.Seek(offset, origin); }

 private:
  TMemoryStream inner_;
  std::mt19937 rng_;
  Piece piece_;
};

struct Kind {
  const char* name;
  Bytes input;
};

// Pieces of text, program-like records, noise and runs back to back, sizes
// drawn from smallest to smallest + spread - 1.
inline Bytes Mixed(uint32_t seed, uint32_t pieces, size_t smallest, size_t spread) {
  Bytes out;
  std::mt19937 rng(seed);
  Bytes (*const makers[])(size_t, uint32_t) = {TextLike, BinaryLike, RandomBytes, Repetitive};
  for (uint32_t piece = 0; piece < pieces; ++piece) {
    Bytes (*const make)(size_t, uint32_t) = makers[rng() % 4];
    const Bytes part = make(smallest + rng() % spread, piece);
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

}  // namespace stowaway::testing
