// Seeded test data and scratch folders shared by the test programs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace stowaway::testing {

using Bytes = std::vector<uint8_t>;

// Words and punctuation in varying order: compresses like prose.
Bytes TextLike(size_t size, uint32_t seed);
// Uniformly random bytes: does not compress.
Bytes RandomBytes(size_t size, uint32_t seed);
// Long runs and short repeated phrases: compresses extremely well.
Bytes Repetitive(size_t size, uint32_t seed);
// Structured records with small integers and some noise, like a program image.
Bytes BinaryLike(size_t size, uint32_t seed);

Bytes ToBytes(const std::string& text);
// "e3b0c4..." and back: bytes as lower-case hexadecimal pairs.
Bytes FromHex(const std::string& hex);
std::string ToHex(const uint8_t* data, size_t size);
Bytes ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const Bytes& data);
// The names in folder, sorted; with recursive, everything below it as
// relative paths with '/' between components.
std::vector<std::string> Listing(const std::filesystem::path& folder, bool recursive = false);

// A fresh folder under the system's temporary folder, removed with all its
// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // The path of a file in the folder, as a string for the component.
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace stowaway::testing
