// Names between UTF-8 and Windows-1252. Byte values from the Windows-1252
// code chart.
#include "tools/payload/windows1252.h"

#include <gtest/gtest.h>

namespace stowaway {
namespace {

std::string Converted(const std::string& utf8) {
  std::string problem;
  const std::optional<std::string> text = Utf8ToWindows1252(utf8, problem);
  EXPECT_TRUE(text) << problem;
  return text.value_or("");
}

std::string Problem(const std::string& utf8) {
  std::string problem;
  EXPECT_FALSE(Utf8ToWindows1252(utf8, problem));
  return problem;
}

TEST(Windows1252, ConvertsLatin1AndTheCharactersOfTheBytes80To9F) {
  EXPECT_EQ(Converted("readme.txt"), "readme.txt");
  EXPECT_EQ(Converted("Caf\xC3\xA9 \xC3\xBF"), "Caf\xE9 \xFF");
  EXPECT_EQ(Converted("\xE2\x82\xAC \xC5\xA0 \xC5\xB8 \xE2\x84\xA2"), "\x80 \x8A \x9F \x99");
  // The five undefined bytes stand for the C1 controls of the same number.
  EXPECT_EQ(Converted("\xC2\x81\xC2\x9D"), "\x81\x9D");
}

TEST(Windows1252, EveryByteComesBackThroughUtf8) {
  std::string all;
  for (int byte = 1; byte < 256; ++byte) all += static_cast<char>(byte);
  EXPECT_EQ(Converted(Windows1252ToUtf8(all)), all);
  EXPECT_EQ(Windows1252ToUtf8("\x80\xE9"), "\xE2\x82\xAC\xC3\xA9");
}

TEST(Windows1252, NamesTheCharacterItCannotRepresent) {
  EXPECT_EQ(Problem("a\xE4\xB8\xAD.txt"),
            "holds \"\xE4\xB8\xAD\" (U+4E2D), which Windows-1252 cannot represent");
  EXPECT_EQ(Problem("\xF0\x9F\x98\x80"), "holds \"\xF0\x9F\x98\x80\" (U+1F600), which Windows-1252 cannot represent");
  // Characters of the bytes 80 to 9F sit elsewhere in Unicode: U+0080 is not the euro.
  EXPECT_EQ(Problem("\xC2\x80"), "holds \"\xC2\x80\" (U+0080), which Windows-1252 cannot represent");
}

TEST(Windows1252, RefusesWhatIsNotUtf8) {
  EXPECT_EQ(Problem("ab\xFF"), "is not valid UTF-8 (byte 0xFF at position 2)");
  EXPECT_EQ(Problem("\xC3"), "is not valid UTF-8 (byte 0xC3 at position 0)");         // cut short
  EXPECT_EQ(Problem("\xC0\xAF"), "is not valid UTF-8 (byte 0xC0 at position 0)");     // overlong '/'
  EXPECT_EQ(Problem("\xED\xA0\x80"), "is not valid UTF-8 (byte 0xED at position 0)");  // surrogate
  EXPECT_EQ(Problem("\xC3\x28"), "is not valid UTF-8 (byte 0xC3 at position 0)");
}

}  // namespace
}  // namespace stowaway
