#include "setup/settings.h"

#include <cstring>

#include "compression/bytes.h"
#include "platform/stream.h"

namespace stowaway {
namespace {

enum Tag : uint8_t {
  NameTag = 1,
  VersionTag = 2,
  PublisherTag = 3,
  DefaultFolderTag = 4,
  RunTag = 5,
  LicenceTag = 6,
  TotalSizeTag = 7,
};

void PutField(std::vector<uint8_t>& out, Tag tag, const void* data, size_t size) {
  out.push_back(tag);
  uint8_t length[4];
  StoreLE32(length, static_cast<uint32_t>(size));
  out.insert(out.end(), length, length + 4);
  const auto* bytes = static_cast<const uint8_t*>(data);
  out.insert(out.end(), bytes, bytes + size);
}

void PutText(std::vector<uint8_t>& out, Tag tag, const std::string& text) {
  if (!text.empty()) PutField(out, tag, text.data(), text.size());
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

}  // namespace

std::vector<uint8_t> EncodeSettingsBlock(const SetupSettings& settings) {
  std::vector<uint8_t> block;
  PutText(block, NameTag, settings.Name);
  PutText(block, VersionTag, settings.Version);
  PutText(block, PublisherTag, settings.Publisher);
  PutText(block, DefaultFolderTag, settings.DefaultFolder);
  PutText(block, RunTag, settings.Run);
  PutText(block, LicenceTag, settings.Licence);
  uint8_t total[8];
  StoreLE32(total, static_cast<uint32_t>(settings.TotalSize));
  StoreLE32(total + 4, static_cast<uint32_t>(static_cast<uint64_t>(settings.TotalSize) >> 32));
  PutField(block, TotalSizeTag, total, sizeof total);
  uint8_t footer[SettingsFooterSize];
  StoreLE32(footer, static_cast<uint32_t>(block.size()));
  std::memcpy(footer + 4, SettingsMagic, SettingsMagicSize);
  block.insert(block.end(), footer, footer + SettingsFooterSize);
  return block;
}

std::optional<uint32_t> SettingsBodySize(const uint8_t* footer) {
  if (std::memcmp(footer + 4, SettingsMagic, SettingsMagicSize) != 0) return std::nullopt;
  const uint32_t size = LoadLE32(footer);
  if (size > SettingsBodyLimit) return std::nullopt;
  return size;
}

std::optional<SetupSettings> DecodeSettingsBlock(const uint8_t* file, size_t size) {
  if (size < SettingsFooterSize) return std::nullopt;
  const std::optional<uint32_t> body_size = SettingsBodySize(file + size - SettingsFooterSize);
  if (!body_size || *body_size > size - SettingsFooterSize) return std::nullopt;
  const uint8_t* at = file + size - SettingsFooterSize - *body_size;
  const uint8_t* const end = at + *body_size;
  SetupSettings settings;
  while (at != end) {
    if (end - at < 5) return std::nullopt;
    const uint8_t tag = at[0];
    const uint32_t length = LoadLE32(at + 1);
    at += 5;
    if (length > static_cast<size_t>(end - at)) return std::nullopt;
    const std::string text(reinterpret_cast<const char*>(at), length);
    switch (tag) {
      case NameTag: settings.Name = text; break;
      case VersionTag: settings.Version = text; break;
      case PublisherTag: settings.Publisher = text; break;
      case DefaultFolderTag: settings.DefaultFolder = text; break;
      case RunTag: settings.Run = text; break;
      case LicenceTag: settings.Licence = text; break;
      case TotalSizeTag:
        if (length != 8) return std::nullopt;
        settings.TotalSize = static_cast<int64_t>(LoadLE32(at) | uint64_t{LoadLE32(at + 4)} << 32);
        if (settings.TotalSize < 0) return std::nullopt;
        break;
      default: break;
    }
    at += length;
  }
  if (settings.Name.empty()) return std::nullopt;
  return settings;
}

std::string ExpandFolder(const std::string& folder, const std::string& program_files,
                         const std::string& user_programs) {
  if (StartsWith(folder, ProgramFilesPlaceholder)) {
    return program_files + folder.substr(std::strlen(ProgramFilesPlaceholder));
  }
  if (StartsWith(folder, UserProgramsPlaceholder)) {
    return user_programs + folder.substr(std::strlen(UserProgramsPlaceholder));
  }
  return folder;
}

}  // namespace stowaway

namespace stowaway {

std::optional<SetupSettings> ReadSettings(TStream& file) {
  const int64_t size = file.Seek(0, SeekOrigin::End);
  if (size < static_cast<int64_t>(SettingsFooterSize)) return std::nullopt;
  uint8_t footer[SettingsFooterSize];
  if (file.Seek(size - static_cast<int64_t>(SettingsFooterSize), SeekOrigin::Begin) < 0 ||
      file.Read(footer, SettingsFooterSize) != static_cast<int32_t>(SettingsFooterSize)) {
    return std::nullopt;
  }
  const std::optional<uint32_t> body = SettingsBodySize(footer);
  if (!body || *body > size - static_cast<int64_t>(SettingsFooterSize)) return std::nullopt;
  std::vector<uint8_t> block(*body + SettingsFooterSize);
  const auto wanted = static_cast<int32_t>(block.size());
  if (file.Seek(size - wanted, SeekOrigin::Begin) < 0 || file.Read(block.data(), wanted) != wanted) {
    return std::nullopt;
  }
  return DecodeSettingsBlock(block.data(), block.size());
}

}  // namespace stowaway
