// Writes LZH bodies item by item, for decoder tests that need bodies the
// encoder would never choose (and before there is an encoder at all). It
// runs the codec's own model, so it checks the decoder's reading of the bit
// format, not the model.
#pragma once

#include <string>

#include "compression/lzh.h"
#include "compression/lzh_offsets.h"
#include "tests/support/test_data.h"

namespace stowaway::testing {

// A packed LZH stream: signature, size, body.
inline Bytes LzhStream(int32_t size, const Bytes& body) {
  Bytes out;
  out.reserve(8 + body.size());
  for (int b : {0x21, 0x48, 0x5A, 0x4C}) out.push_back(static_cast<uint8_t>(b));
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(size >> shift));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

class LzhBodyWriter {
 public:
  LzhBodyWriter() {
    model_.AllocTables();
    model_.InitModel();
  }
  ~LzhBodyWriter() { model_.FreeTables(); }

  LzhBodyWriter& Literal(uint8_t byte) {
    Symbol(byte);
    return *this;
  }
  LzhBodyWriter& Literals(const std::string& text) {
    for (char c : text) Symbol(static_cast<uint8_t>(c));
    return *this;
  }
  // length 3 to 60; offset 0 to 4095 (0 = the byte written last)
  LzhBodyWriter& Match(int length, int offset) {
    Symbol(length + 253);
    const auto& t = lzh_offsets::kTables;
    const int high = offset >> 6;
    Bits(t.Code[high] >> (8 - t.CodeLength[high]), t.CodeLength[high]);
    Bits(offset & 0x3F, 6);
    return *this;
  }

  size_t BitCount() const { return bits_.size(); }

  // The body, padded with zero bits to whole bytes.
  Bytes Body() const {
    Bytes out((bits_.size() + 7) / 8, 0);
    for (size_t i = 0; i < bits_.size(); ++i) {
      if (bits_[i] == '1') out[i / 8] = static_cast<uint8_t>(out[i / 8] | 0x80 >> (i % 8));
    }
    return out;
  }

  Bytes Stream(int32_t size) const { return LzhStream(size, Body()); }

 private:
  void Symbol(int symbol) {
    bits_ += model_.SymbolCode(symbol);
    model_.UpdateModel(symbol);
  }
  void Bits(int value, int count) {
    for (int i = count - 1; i >= 0; --i) bits_ += (value >> i & 1) ? '1' : '0';
  }

  TLZH model_;
  std::string bits_;
};

}  // namespace stowaway::testing
