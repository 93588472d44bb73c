#include "tests/e2e/pe_image.h"

#include <stdexcept>

#include "tests/support/test_data.h"

namespace stowaway::testing {
namespace {

constexpr uint32_t ManifestType = 24;
constexpr uint32_t ManifestId = 1;
constexpr uint32_t SubdirectoryBit = 0x80000000u;

class Reader {
 public:
  explicit Reader(const std::string& path) : bytes_(ReadFileBytes(path)) {
    if (U16(0) != 0x5A4D) Fail("no MZ header");
    const uint32_t pe = U32(0x3C);
    if (U32(pe) != 0x00004550) Fail("no PE header");
    const uint32_t sections = U16(pe + 6);
    const uint32_t optional = pe + 24;
    if (U16(optional) != 0x10B) Fail("not a 32-bit program");
    directories_ = optional + 96;
    const uint32_t table = optional + U16(pe + 20);
    for (uint32_t i = 0; i < sections; ++i) {
      const uint32_t at = table + 40 * i;
      sections_.push_back({U32(at + 12), U32(at + 16), U32(at + 20)});
    }
  }

  // The address and size of data directory `index`.
  std::pair<uint32_t, uint32_t> Directory(uint32_t index) const {
    return {U32(directories_ + 8 * index), U32(directories_ + 8 * index + 4)};
  }

  uint32_t Offset(uint32_t address) const {
    for (const Section& s : sections_) {
      if (address >= s.address && address < s.address + s.size) {
        return address - s.address + s.offset;
      }
    }
    Fail("an address outside every section");
  }

  std::string Text(uint32_t offset) const {
    std::string text;
    while (Byte(offset) != 0) text += static_cast<char>(Byte(offset++));
    return text;
  }

  std::string Bytes(uint32_t offset, uint32_t size) const {
    if (offset + size > bytes_.size()) Fail("data past the end");
    return std::string(bytes_.begin() + offset, bytes_.begin() + offset + size);
  }

  uint8_t Byte(uint32_t at) const {
    if (at >= bytes_.size()) Fail("a field past the end");
    return bytes_[at];
  }
  uint32_t U16(uint32_t at) const { return Byte(at) | Byte(at + 1) << 8; }
  uint32_t U32(uint32_t at) const { return U16(at) | U16(at + 2) << 16; }

  [[noreturn]] static void Fail(const std::string& what) {
    throw std::runtime_error("not a Windows program as expected: " + what);
  }

 private:
  struct Section {
    uint32_t address;
    uint32_t size;
    uint32_t offset;
  };

  testing::Bytes bytes_;
  uint32_t directories_ = 0;
  std::vector<Section> sections_;
};

std::vector<std::string> Imports(const Reader& pe) {
  std::vector<std::string> imports;
  const uint32_t address = pe.Directory(1).first;
  if (address == 0) return imports;
  for (uint32_t at = pe.Offset(address);; at += 20) {
    const uint32_t name = pe.U32(at + 12);
    if (name == 0) break;
    imports.push_back(pe.Text(pe.Offset(name)));
  }
  return imports;
}

// The entry of that id in the resource directory at `directory`, relative
// to the resources' start; 0 if there is none.
uint32_t ResourceEntry(const Reader& pe, uint32_t resources, uint32_t directory, uint32_t id) {
  const uint32_t at = resources + directory;
  const uint32_t named = pe.U16(at + 12);
  const uint32_t count = named + pe.U16(at + 14);
  for (uint32_t i = named; i < count; ++i) {
    const uint32_t entry = at + 16 + 8 * i;
    if (id == 0 || pe.U32(entry) == id) return pe.U32(entry + 4);
  }
  return 0;
}

std::string Manifest(const Reader& pe) {
  const uint32_t address = pe.Directory(2).first;
  if (address == 0) return {};
  const uint32_t resources = pe.Offset(address);
  const uint32_t type = ResourceEntry(pe, resources, 0, ManifestType);
  if ((type & SubdirectoryBit) == 0) return {};
  const uint32_t name = ResourceEntry(pe, resources, type & ~SubdirectoryBit, ManifestId);
  if ((name & SubdirectoryBit) == 0) return {};
  // Any language.
  const uint32_t data = ResourceEntry(pe, resources, name & ~SubdirectoryBit, 0);
  if (data == 0 || (data & SubdirectoryBit) != 0) return {};
  return pe.Bytes(pe.Offset(pe.U32(resources + data)), pe.U32(resources + data + 4));
}

}  // namespace

PeImage ReadPeImage(const std::string& path) {
  const Reader pe(path);
  return {Imports(pe), Manifest(pe)};
}

}  // namespace stowaway::testing
