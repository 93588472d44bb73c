// The setup program's two readers of outside input: the settings block at
// the end of its own file, and the installer's command line. Whatever the
// bytes, the block reader stays inside them and what it accepts encodes
// back to a block that reads the same; the switch reader's folder is
// normalised for good (normalising it again changes nothing).
#include <string>

#include "setup/settings.h"
#include "setup/switches.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace stowaway;
  if (const std::optional<SetupSettings> settings = DecodeSettingsBlock(data, size)) {
    const std::vector<uint8_t> block = EncodeSettingsBlock(*settings);
    const std::optional<SetupSettings> again = DecodeSettingsBlock(block.data(), block.size());
    if (!again || again->Name != settings->Name || again->Licence != settings->Licence ||
        again->DefaultFolder != settings->DefaultFolder || again->TotalSize != settings->TotalSize) {
      __builtin_trap();
    }
  }
  const std::string line(reinterpret_cast<const char*>(data), size);
  const SetupSwitches switches = ParseSwitches(line);
  if (NormaliseFolder(switches.Folder) != switches.Folder) __builtin_trap();
  (void)FolderProblem(switches.Folder, size);
  return 0;
}
