// Lays out archives byte by byte for the reader's tests, independently of
// the writer: records, offsets and count are put where a well-formed archive
// has them, and any of them can be spoilt afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
  for (int i = 0; i < 4; ++i) out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

// A length byte at out[at], then the text; the length byte may claim more
// than the text holds.
inline void PutText(Bytes& out, size_t at, const std::string& text, int length_byte = -1) {
  out[at] = static_cast<uint8_t>(length_byte < 0 ? static_cast<int>(text.size()) : length_byte);
  for (size_t i = 0; i < text.size(); ++i) out[at + 1 + i] = static_cast<uint8_t>(text[i]);
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
  PutText(out, 0, r.signature);
  PutLE32(out, 16, r.start);
  PutLE32(out, 20, r.end);
  PutText(out, 24, r.file_name);
  PutText(out, 225, r.stored_path);
  return out;
}

class ArchiveBuilder {
 public:
  explicit ArchiveBuilder(Bytes image = ToBytes("MZ stub")) : body_(std::move(image)) {}

  ArchiveBuilder& Add(const Bytes& packed, const std::string& file_name,
                      const std::string& stored_path = "") {
    RawRecord r;
    r.start = static_cast<int64_t>(body_.size());
    body_.insert(body_.end(), packed.begin(), packed.end());
    r.end = static_cast<int64_t>(body_.size());
    r.file_name = file_name;
    r.stored_path = stored_path;
    records.push_back(r);
    return *this;
  }
  ArchiveBuilder& AddFile(const Bytes& data, const std::string& file_name,
                          const std::string& stored_path = "") {
    return Add(PackedLiterals(data), file_name, stored_path);
  }
  ArchiveBuilder& AddFolder(const std::string& folder) {
    return Add({}, folder, "|" + folder);
  }

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
  std::string WriteTo(const std::string& path) const {
    WriteFileBytes(path, Build());
    return path;
  }

  // Open to spoiling before Build.
  std::vector<RawRecord> records;

 private:
  Bytes body_;
};

}  // namespace stowaway::testing
