// stowaway list: the entries of an installer, as a table or as JSON.
#include <cstdio>
#include <iostream>

#include "platform/host.h"
#include "tools/command.h"
#include "tools/errors.h"
#include "tools/extraction/archive_access.h"
#include "tools/payload/windows1252.h"
#include "tools/terminal/text.h"

namespace stowaway {
namespace {

const char Help[] = R"(Usage: stowaway list [--json] ARCHIVE
Show the entries of the installer ARCHIVE, one row each: its index, name,
stored path, codec, packed size, original size and ratio (the packed size
as a percentage of the original), then the totals and whether the
installer carries a SHA-256 hash of every file's content (which 'stowaway
test' checks). Folder entries show the codec "folder". Signed installers
are read as they are.

      --json      print one JSON object instead, for scripts: "archive",
                  "entries" (each with "index", "name", "stored_path",
                  "folder", "codec", "packed_size", "original_size",
                  "ratio", the packed size divided by the original, and
                  "sha256", the content's hash in hexadecimal), "hashes"
                  (true when the installer carries them) and "totals"
                  ("entries", "files", "folders", "packed_size",
                  "original_size", "ratio"); names are UTF-8, and values
                  that do not apply are null
  -h, --help      show this help

An entry whose packed data cannot be read, has no valid signature, or lies
over the directory records or another entry is shown as "damaged" and left
out of the totals, and the exit status is then 1.
)";

struct Row {
  ArchiveDirectoryEntry entry;
  EntryHeader header;
  int64_t packed = 0;
  const Sha256Digest* hash = nullptr;  // a file's, when the installer carries them
};

struct Totals {
  int files = 0;
  int folders = 0;
  int64_t packed = 0;
  int64_t original = 0;
};

std::string Codec(const Row& row) {
  if (row.entry.IsFolder()) return "folder";
  return row.header.readable ? row.header.codec : "damaged";
}

// Control characters escaped, the C1 set (U+0080 to U+009F) among them,
// which a terminal showing the JSON would act on.
std::string JsonText(const std::string& utf8) {
  std::string out = "\"";
  for (size_t at = 0; at < utf8.size(); ++at) {
    const char c = utf8[at];
    const auto byte = static_cast<unsigned char>(c);
    const auto next = at + 1 < utf8.size() ? static_cast<unsigned char>(utf8[at + 1]) : 0;
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F || (byte == 0xC2 && next >= 0x80 && next < 0xA0)) {
      const unsigned code = byte == 0xC2 ? next : byte;
      if (byte == 0xC2) ++at;
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", code);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + '"';
}

std::string JsonHash(const Sha256Digest* hash) {
  if (hash == nullptr) return "null";
  std::string hex = "\"";
  for (const uint8_t byte : *hash) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", byte);
    hex += pair;
  }
  return hex + '"';
}

std::string JsonRatio(int64_t packed, int64_t original) {
  if (original <= 0) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", static_cast<double>(packed) / static_cast<double>(original));
  return text;
}

void PrintJson(const std::string& path, const std::vector<Row>& rows, const Totals& totals, bool hashes) {
  const std::string shown_path = HostNamesAreUtf8() ? path : Windows1252ToUtf8(path);
  std::cout << "{\n  \"archive\": " << JsonText(shown_path) << ",\n  \"entries\": [";
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    const bool file = !row.entry.IsFolder();
    const bool known = file && row.header.readable;
    std::cout << (i == 0 ? "\n" : ",\n") << "    {\"index\": " << i
              << ", \"name\": " << JsonText(Windows1252ToUtf8(row.entry.FileName))
              << ", \"stored_path\": " << JsonText(Windows1252ToUtf8(row.entry.StoredPath))
              << ", \"folder\": " << (file ? "false" : "true")
              << ", \"codec\": " << (file ? JsonText(Codec(row)) : "null")
              << ", \"packed_size\": " << (file ? std::to_string(row.packed) : "null")
              << ", \"original_size\": "
              << (known ? std::to_string(row.header.original_size) : "null")
              << ", \"ratio\": " << (known ? JsonRatio(row.packed, row.header.original_size) : "null")
              << ", \"sha256\": " << JsonHash(row.hash) << "}";
  }
  std::cout << "\n  ],\n  \"hashes\": " << (hashes ? "true" : "false")
            << ",\n  \"totals\": {\"entries\": " << rows.size()
            << ", \"files\": " << totals.files << ", \"folders\": " << totals.folders
            << ", \"packed_size\": " << totals.packed
            << ", \"original_size\": " << totals.original
            << ", \"ratio\": " << JsonRatio(totals.packed, totals.original) << "}\n}\n";
}

void PrintTable(const std::vector<Row>& rows, const Totals& totals, bool hashes) {
  std::vector<std::vector<std::string>> cells = {
      {"Index", "Name", "Stored path", "Codec", "Packed", "Original", "Ratio"}};
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    const bool file = !row.entry.IsFolder();
    const bool known = file && row.header.readable;
    cells.push_back({std::to_string(i), ShownName(row.entry.FileName),
                     ShownName(row.entry.StoredPath), Codec(row),
                     file ? std::to_string(row.packed) : "-",
                     known ? std::to_string(row.header.original_size) : "-",
                     known ? Percentage(row.packed, row.header.original_size) : "-"});
  }
  std::string summary = std::to_string(rows.size()) + (rows.size() == 1 ? " entry" : " entries");
  if (totals.folders > 0) {
    summary += " (" + std::to_string(totals.files) + " files, " + std::to_string(totals.folders) +
               (totals.folders == 1 ? " folder)" : " folders)");
  }
  cells.push_back({"", summary, "", "", std::to_string(totals.packed),
                   std::to_string(totals.original), Percentage(totals.packed, totals.original)});

  constexpr bool RightAligned[] = {true, false, false, false, true, true, true};
  std::vector<size_t> widths(7, 0);
  for (const auto& line : cells) {
    for (size_t c = 0; c < 7; ++c) widths[c] = std::max(widths[c], DisplayWidth(line[c]));
  }
  for (const auto& line : cells) {
    std::string text;
    for (size_t c = 0; c < 7; ++c) {
      const std::string pad(widths[c] - DisplayWidth(line[c]), ' ');
      if (c > 0) text += "  ";
      text += RightAligned[c] ? pad + line[c] : line[c] + pad;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    std::cout << text << '\n';
  }
  std::cout << (hashes ? "Content hashes: SHA-256 of every file, checked by 'stowaway test'\n"
                       : "Content hashes: none; only sizes can be checked\n");
}

int Run(const Arguments& arguments) {
  if (arguments.operands.size() != 1) throw EUsage("name one ARCHIVE to list");
  const std::string& path = arguments.operands[0];
  const OpenedArchive opened = OpenArchive(path);
  const std::vector<ArchiveDirectoryEntry>& directory = opened.directory;
  TFileStream& archive = *opened.file;
  const std::vector<std::string> misplaced = LayoutProblems(opened);

  std::vector<Row> rows;
  Totals totals;
  std::string damage;
  for (size_t i = 0; i < directory.size(); ++i) {
    Row row;
    row.entry = directory[i];
    if (row.entry.IsFolder()) {
      ++totals.folders;
    } else {
      ++totals.files;
      row.packed = row.entry.PackedSize();
      if (misplaced[i].empty()) row.header = ReadEntryHeader(archive, row.entry);
      row.hash = ExpectedHash(opened, i);
      if (row.header.readable) {
        totals.packed += row.packed;
        totals.original += row.header.original_size;
      } else if (damage.empty()) {
        const std::string& why = misplaced[i].empty() ? row.header.damage : misplaced[i];
        damage = path + ": " + EntryLabel(i, row.entry) + " is damaged: " + why +
                 "; 'stowaway test " + path + "' checks every entry";
      }
    }
    rows.push_back(std::move(row));
  }

  if (arguments.Has("json")) {
    PrintJson(path, rows, totals, !opened.hashes.empty());
  } else {
    PrintTable(rows, totals, !opened.hashes.empty());
  }
  if (!damage.empty()) throw EToolFailure(damage);
  return 0;
}

}  // namespace

Command ListCommand() {
  return {"list", "show the entries of an installer", Help, {{"json", 0, false}}, Run};
}

}  // namespace stowaway
