// Names as archives hold them: one byte per character, in Windows-1252.
#pragma once

#include <optional>
#include <string>

namespace stowaway {

// The Windows-1252 form of a UTF-8 text; nothing when the text is not valid
// UTF-8 or holds a character that Windows-1252 lacks, and problem then says
// which, in words for a message ("holds ... (U+4E2D), which Windows-1252
// cannot represent", "is not valid UTF-8 (byte 0xFF at position 3)"). The
// five byte values that Windows-1252 leaves undefined stand for the control
// characters of the same number, as on Windows.
std::optional<std::string> Utf8ToWindows1252(const std::string& utf8, std::string& problem);
std::string Windows1252ToUtf8(const std::string& text);

// An archive's name from a name of this system, and back: converted where
// the system's names are UTF-8, taken as they are where they come in the
// ANSI code page already.
std::optional<std::string> ArchiveNameFromHost(const std::string& name, std::string& problem);
std::string HostNameFromArchive(const std::string& name);

}  // namespace stowaway
