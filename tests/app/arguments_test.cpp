// The unpacker's own command line, as the platform hands it over.
#include "app/arguments.h"

#include <gtest/gtest.h>

namespace stowaway {
namespace {

TEST(Arguments, AreWhatFollowsTheProgramsNameAsTyped) {
  const std::pair<std::string, std::string> cases[] = {
      {"setup.exe", ""},
      {"setup.exe   ", ""},
      {"setup.exe /S", "/S"},
      {"setup.exe \t /S  /D=C:\\Apps\\Tool ", "/S  /D=C:\\Apps\\Tool "},
      {"\"C:\\Down loads\\setup.exe\" /D=\"C:\\My Apps\"", "/D=\"C:\\My Apps\""},
      {"\"C:\\Down loads\\setup.exe\"/S", ""},  // one word, as the C runtime reads it
      {"\"C:\\a b\\set\"up.exe \"x\"", "\"x\""},
      {"\"unclosed quote /S", ""},
      {"", ""},
  };
  for (const auto& [line, arguments] : cases) EXPECT_EQ(ArgumentsOf(line), arguments) << line;
}

TEST(Arguments, SilentSwitchesAreWholeArgumentsInAnyCase) {
  for (const std::string silent : {"/S", "/s", "/SILENT", "/silent", "/VerySilent",
                                   "/D=x /S", "\"/S\"", "x\t/verysilent"}) {
    EXPECT_TRUE(HasSilentSwitch(silent)) << silent;
  }
  for (const std::string loud : {"", "/SI", "/Silently", "-S", "S", "/D=/S", "\"/S x\"",
                                 "/D=\"C:\\a /S\""}) {
    EXPECT_FALSE(HasSilentSwitch(loud)) << loud;
  }
}

}  // namespace
}  // namespace stowaway
