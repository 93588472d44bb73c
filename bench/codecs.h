// The codecs the benchmark compares, each behind one small interface: the
// component in Good and Fast mode (stream mode, memory streams), zlib at
// levels 1 and 6, lz4's default, and memcpy as the ceiling. Every file of the
// corpus is packed on its own, as an installer packs each file it carries.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/corpus.h"

namespace stowaway::bench {

class Codec {
 public:
  virtual ~Codec() = default;

  // Short name for the command line, and the row label.
  virtual std::string Id() const = 0;
  virtual std::string Label() const = 0;

  // The timed operations on file index of the corpus. Compress returns the
  // packed size; Decompress unpacks what Keep saved and returns the size.
  virtual int64_t Compress(size_t index) = 0;
  virtual int64_t Decompress(size_t index) = 0;

  // Untimed: Keep saves the packed form that the last Compress of index
  // produced; Matches tells whether the last Decompress gave the original.
  virtual void Keep(size_t index) = 0;
  virtual bool Matches(size_t index) const = 0;
};

// All codecs the benchmark knows, set up for corpus (which must outlive them).
std::vector<std::unique_ptr<Codec>> MakeCodecs(const Corpus& corpus);

// The versions of the peers, for the report.
std::string PeerVersions();

}  // namespace stowaway::bench
