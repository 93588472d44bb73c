// The installer's settings, which pack appends to the copy of the setup
// program it stores as entry 0, so that one build of the program serves
// every installer. The program reads them from the end of its own file.
//
// Block layout, behind the program image (integers little-endian):
//   fields, each: tag (1 byte), length L (4 bytes), L bytes
//   body size B (4 bytes): the bytes of the fields
//   SettingsMagic (8 bytes), the file's last bytes
// Texts are UTF-8. A tag that is not known is skipped, so an older program
// reads a newer block; a tag given twice keeps its last value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace stowaway {

inline constexpr char SettingsMagic[] = "StwSetup";
inline constexpr size_t SettingsMagicSize = 8;
inline constexpr size_t SettingsFooterSize = 4 + SettingsMagicSize;
// Room enough for a long licence; a larger block is not a settings block.
inline constexpr uint32_t SettingsBodyLimit = 4u << 20;

// Where the default folder's placeholders lead.
inline constexpr char ProgramFilesPlaceholder[] = "{programfiles}";
inline constexpr char UserProgramsPlaceholder[] = "{userprograms}";

struct SetupSettings {
  std::string Name;           // shown in every title; never empty in a valid block
  std::string Version;
  std::string Publisher;
  std::string DefaultFolder;  // may begin with a placeholder
  std::string Run;            // a program below the folder, offered at the end
  std::string Licence;        // the text the user must accept; empty for none
  int64_t TotalSize = 0;      // bytes of every file the installer writes
};

// The block for settings, ready to be appended to the program.
std::vector<uint8_t> EncodeSettingsBlock(const SetupSettings& settings);

// The settings in the block that ends file (size bytes, the whole file or
// any tail of it that holds the block); none when no valid block ends it:
// no magic, a body size beyond the data or the limit, a field running past
// the body, a negative size, or no name.
std::optional<SetupSettings> DecodeSettingsBlock(const uint8_t* file, size_t size);

// The body size that footer (the file's last SettingsFooterSize bytes)
// announces, when it is a settings footer within the limit.
std::optional<uint32_t> SettingsBodySize(const uint8_t* footer);

// folder with a leading placeholder replaced by the folder it stands for.
std::string ExpandFolder(const std::string& folder, const std::string& program_files,
                         const std::string& user_programs);

}  // namespace stowaway

namespace stowaway {
class TStream;
// The settings at the end of file (read from its end); none as above, or
// when it cannot be read.
std::optional<SetupSettings> ReadSettings(TStream& file);
}  // namespace stowaway
