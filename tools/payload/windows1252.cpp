#include "tools/payload/windows1252.h"

#include <cstdint>
#include <cstdio>

#include "platform/host.h"

namespace stowaway {
namespace {

// The characters of the bytes 0x80 to 0x9F; the rest of Windows-1252 is
// Latin-1, the first 256 characters of Unicode.
constexpr char32_t HighCharacters[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t CharacterOf(uint8_t byte) {
  return byte >= 0x80 && byte < 0xA0 ? HighCharacters[byte - 0x80] : byte;
}

std::optional<uint8_t> ByteOf(char32_t character) {
  if (character < 0x80 || (character >= 0xA0 && character <= 0xFF)) {
    return static_cast<uint8_t>(character);
  }
  for (uint8_t i = 0; i < 32; ++i) {
    if (HighCharacters[i] == character) return static_cast<uint8_t>(0x80 + i);
  }
  return std::nullopt;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Decodes the character at text[at], moving at behind it; nothing for bytes
// that are not UTF-8 (overlong forms and surrogates among them).
std::optional<char32_t> NextCharacter(const std::string& text, size_t& at) {
  const auto lead = static_cast<uint8_t>(text[at]);
  int extra;
  char32_t c;
  char32_t least;
  if (lead < 0x80) {
    ++at;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1, c = lead & 0x1F, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, c = lead & 0x0F, least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, c = lead & 0x07, least = 0x10000;
  } else {
    return std::nullopt;
  }
  if (at + static_cast<size_t>(extra) >= text.size()) return std::nullopt;
  for (int i = 1; i <= extra; ++i) {
    const auto next = static_cast<uint8_t>(text[at + static_cast<size_t>(i)]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (next & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
  at += static_cast<size_t>(extra) + 1;
  return c;
}

std::string CodePointName(char32_t c) {
  char name[16];
  std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(c));
  return name;
}

}  // namespace

std::optional<std::string> Utf8ToWindows1252(const std::string& utf8, std::string& problem) {
  std::string out;
  for (size_t at = 0; at < utf8.size();) {
    const size_t start = at;
    const std::optional<char32_t> c = NextCharacter(utf8, at);
    if (!c) {
      char byte[8];
      std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned>(static_cast<uint8_t>(utf8[start])));
      problem = std::string("is not valid UTF-8 (byte ") + byte + " at position " +
                std::to_string(start) + ")";
      return std::nullopt;
    }
    const std::optional<uint8_t> byte = ByteOf(*c);
    if (!byte) {
      problem = "holds \"" + utf8.substr(start, at - start) + "\" (" + CodePointName(*c) +
                "), which Windows-1252 cannot represent";
      return std::nullopt;
    }
    out += static_cast<char>(*byte);
  }
  return out;
}

std::string Windows1252ToUtf8(const std::string& text) {
  std::string out;
  for (const char byte : text) AppendUtf8(out, CharacterOf(static_cast<uint8_t>(byte)));
  return out;
}

std::optional<std::string> ArchiveNameFromHost(const std::string& name, std::string& problem) {
  if (!HostNamesAreUtf8()) return name;
  return Utf8ToWindows1252(name, problem);
}

std::string HostNameFromArchive(const std::string& name) {
  return HostNamesAreUtf8() ? Windows1252ToUtf8(name) : name;
}

}  // namespace stowaway
