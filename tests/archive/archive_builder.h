// Archives laid out byte by byte for the archive's tests, independently of
// the writer: records, offsets and count where a well-formed archive has
// them, open to spoiling.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "compression/LZRW1.h"
#include "tests/compression/lzh_body_writer.h"
#include "tests/support/test_data.h"

namespace stowaway::testing {

// A packed LZH stream of data, coded as literals only.
inline Bytes PackedLiterals(const Bytes& data) {
  LzhBodyWriter body;
  for (uint8_t byte : data) body.Literal(byte);
  return body.Stream(static_cast<int32_t>(data.size()));
}

inline void PutLE32(Bytes& out, size_t at, int64_t value) {
  for (size_t i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

struct RawRecord {
  std::string signature = "QZFILEID";
  int64_t start = 0;
  int64_t end = 0;
  std::string file_name;
  std::string stored_path;
};

inline Bytes RecordBytes(const RawRecord& r) {
  Bytes out(428, 0);
  const auto put_text = [&](size_t at, const std::string& text) {
    out[at] = static_cast<uint8_t>(text.size());
    std::copy(text.begin(), text.end(), out.begin() + static_cast<std::ptrdiff_t>(at) + 1);
  };
  put_text(0, r.signature);
  PutLE32(out, 16, r.start);
  PutLE32(out, 20, r.end);
  put_text(24, r.file_name);
  put_text(225, r.stored_path);
  return out;
}

// packed decompressed, or nothing when it is refused.
inline std::optional<Bytes> Unpacked(const Bytes& packed) {
  TMemoryStream in(packed);
  TMemoryStream out;
  Tlzrw1 codec;
  codec.UseStream = true;
  codec.InputStream = &in;
  codec.OutputStream = &out;
  try {
    codec.Decompress();
    return out.Data();
  } catch (const Exception&) {
    return std::nullopt;
  }
}

// A packed stream altered in one byte so that it still decodes to its size,
// but to other bytes: what only a hash can catch (packed itself when no such
// byte is found).
inline Bytes QuietlyDamaged(const Bytes& packed) {
  const std::optional<Bytes> original = Unpacked(packed);
  for (size_t at = packed.size() - 1; at > 8; --at) {
    Bytes damaged = packed;
    damaged[at] ^= 0x04;
    const std::optional<Bytes> decoded = Unpacked(damaged);
    if (decoded && decoded != original) return damaged;
  }
  return packed;
}

// Damages the packed stream that lies in archive from start to end, as
// QuietlyDamaged does; false when no such damage was found.
inline bool DamageQuietly(Bytes& archive, int64_t start, int64_t end) {
  const auto first = archive.begin() + static_cast<std::ptrdiff_t>(start);
  const Bytes packed(first, archive.begin() + static_cast<std::ptrdiff_t>(end));
  const Bytes damaged = QuietlyDamaged(packed);
  std::copy(damaged.begin(), damaged.end(), first);
  return damaged != packed;
}

class ArchiveBuilder {
 public:
  explicit ArchiveBuilder(Bytes image = ToBytes("MZ stub")) : body_(std::move(image)) {}

  ArchiveBuilder& Add(const Bytes& packed, const std::string& file_name,
                      const std::string& stored_path = "") {
    const auto start = static_cast<int64_t>(body_.size());
    body_.insert(body_.end(), packed.begin(), packed.end());
    records.push_back(
        {"QZFILEID", start, static_cast<int64_t>(body_.size()), file_name, stored_path});
    return *this;
  }
  ArchiveBuilder& AddFile(const Bytes& data, const std::string& file_name,
                          const std::string& stored_path = "") {
    return Add(PackedLiterals(data), file_name, stored_path);
  }
  ArchiveBuilder& AddFolder(const std::string& folder) { return Add({}, folder, "|" + folder); }

  Bytes Build() const {
    Bytes out = body_;
    for (const RawRecord& r : records) {
      const Bytes bytes = RecordBytes(r);
      out.insert(out.end(), bytes.begin(), bytes.end());
    }
    out.resize(out.size() + 4);
    PutLE32(out, out.size() - 4, static_cast<int64_t>(records.size()));
    return out;
  }

  std::vector<RawRecord> records;

 private:
  Bytes body_;
};

}  // namespace stowaway::testing
