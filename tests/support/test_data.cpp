#include "tests/support/test_data.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <stdexcept>

namespace stowaway::testing {

Bytes TextLike(size_t size, uint32_t seed) {
  static const char* const kWords[] = {
      "the",  "archive", "of",    "installer", "window", "a",      "folder", "compress",
      "and",  "stream",  "block", "to",        "is",     "file",   "setup",  "progress",
      "with", "byte",    "each",  "data",      "from",   "entry",  "name",   "system"};
  std::mt19937 rng(seed);
  Bytes out;
  out.reserve(size + 16);
  while (out.size() < size) {
    const char* word = kWords[rng() % std::size(kWords)];
    out.insert(out.end(), word, word + std::char_traits<char>::length(word));
    const uint32_t r = static_cast<uint32_t>(rng() % 16);
    out.push_back(r == 0 ? '.' : r == 1 ? ',' : r == 2 ? '\n' : ' ');
  }
  out.resize(size);
  return out;
}

Bytes RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(size);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

Bytes Repetitive(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out;
  out.reserve(size + 5000);
  while (out.size() < size) {
    const uint32_t kind = static_cast<uint32_t>(rng() % 3);
    if (kind == 0) {
      out.insert(out.end(), 1 + rng() % 5000, static_cast<uint8_t>(rng() % 4));
    } else {
      const uint8_t phrase[] = {'a', 'b', 'c', static_cast<uint8_t>(rng() % 3)};
      for (auto n = rng() % 200; n > 0; --n) out.insert(out.end(), phrase, phrase + 4);
    }
  }
  out.resize(size);
  return out;
}

Bytes BinaryLike(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out;
  out.reserve(size + 16);
  uint32_t address = 0x401000;
  while (out.size() < size) {
    address += static_cast<uint32_t>(4 * (rng() % 64));
    const uint8_t record[] = {0x8B, static_cast<uint8_t>(0x40 + rng() % 8),
                              static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
                              static_cast<uint8_t>(address >> 16), 0x00,
                              static_cast<uint8_t>(rng() % 4 == 0 ? rng() : 0), 0xE8};
    out.insert(out.end(), record, record + sizeof record);
  }
  out.resize(size);
  return out;
}

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes FromHex(const std::string& hex) {
  Bytes out;
  for (size_t at = 0; at + 1 < hex.size(); at += 2) {
    out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(at, 2), nullptr, 16)));
  }
  return out;
}

std::string ToHex(const uint8_t* data, size_t size) {
  static const char Digits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out += Digits[data[i] >> 4];
    out += Digits[data[i] & 15];
  }
  return out;
}

Bytes ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::filesystem::path& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<std::string> Listing(const std::filesystem::path& folder, bool recursive) {
  std::vector<std::string> names;
  const auto add = [&](const std::filesystem::directory_entry& item) {
    names.push_back(item.path().lexically_relative(folder).generic_string());
  };
  if (recursive) {
    std::for_each(std::filesystem::recursive_directory_iterator(folder), {}, add);
  } else {
    std::for_each(std::filesystem::directory_iterator(folder), {}, add);
  }
  std::sort(names.begin(), names.end());
  return names;
}

TempDir::TempDir() {
  std::random_device entropy;
  const auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = base / ("stowaway-test-" + std::to_string(entropy()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace stowaway::testing
