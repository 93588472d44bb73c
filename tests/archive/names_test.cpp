// The name rules: the file-name part, the names Windows refuses or changes,
// the paths that would lead extraction outside its folder, and which names
// are one file. Device names and folding from the Windows naming rules and
// the Windows-1252 code chart.
#include "archive/names.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "archive/directory.h"

namespace stowaway {
namespace {

bool IsSafeFileName(const std::string& name) { return NameProblem(name).empty(); }
// Whether stored-path mode would extract an entry of that stored path.
bool IsSafeStoredPath(const std::string& path) { return OutputNameProblem("x", path, true).empty(); }

TEST(FileNamePart, CutsAfterTheLastBackslashOrColon) {
  EXPECT_EQ(FileNamePart("data.bin"), "data.bin");
  EXPECT_EQ(FileNamePart("sub\\data.bin"), "data.bin");
  EXPECT_EQ(FileNamePart("C:data.bin"), "data.bin");
  EXPECT_EQ(FileNamePart("C:\\dir\\x:y\\z.txt"), "z.txt");
  EXPECT_EQ(FileNamePart("a\\b:c"), "c");
  EXPECT_EQ(FileNamePart("dir\\"), "");
  EXPECT_EQ(FileNamePart(""), "");
  EXPECT_EQ(FileNamePart("sub/data.bin"), "sub/data.bin") << "'/' is no separator here";
}

TEST(FileNamePart, KeepsAtMost255Characters) {
  const std::string long_name(300, 'n');
  EXPECT_EQ(FileNamePart("dir\\" + long_name), std::string(255, 'n'));
}

TEST(SafeNames, FileNames) {
  for (const std::string name :
       {"data.bin", "a b.txt", "...x", "x..", "\xE9t\xE9.txt", "data.bin."}) {
    EXPECT_TRUE(IsSafeFileName(name)) << name;
  }
  for (const std::string name :
       {"", ".", "..", "...", ".. ", " ", ". .", "a/b", "../x", "a\\b", "a:b", "a<b", "a>b", "a\"b",
        "a|b", "a?b", "a*b", "a\x01", "tab\t"}) {
    EXPECT_FALSE(IsSafeFileName(name)) << name;
  }
  EXPECT_FALSE(IsSafeFileName(std::string("a\0b", 3)));
}

TEST(SafeNames, DeviceNamesWhateverFollowsThem) {
  for (const std::string name :
       {"CON", "con", "PRN.txt", "aux.tar.gz", "Nul", "nul .txt", "COM1", "com9.log", "LPT1",
        "lpt9", "COM\xB9", "com\xB2.txt", "LPT\xB3", "CONIN$", "conout$", "CONOUT$.txt", "CLOCK$"}) {
    EXPECT_EQ(NameProblem(name), "is a device name on Windows ('" + name + "')");
  }
  for (const std::string name : {"COM10", "COM0", "LPT", "CONSOLE", "nul_", "aux1.txt", "x.con",
                                 "COM\xB4", "CONIN", "clock"}) {
    EXPECT_EQ(NameProblem(name), "") << name;
  }
}

TEST(SafeNames, WhatWindowsRefusesOrChangesSaidInWords) {
  // Readers take trailing dots and spaces, which Windows drops; writers of
  // new archives do not.
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      // name, NameProblem, ExactNameProblem
      {"what?.txt", "holds '?', which Windows does not allow in names", ""},
      {"a\x1b[2J", "holds a control character (27), which Windows does not allow", ""},
      {". .", "'. .' is made of dots and spaces only, which Windows does not allow", ""},
      {"dot.", "", "ends with '.', which Windows drops from names"},
      {"space ", "", "ends with ' ', which Windows drops from names"},
      {"con.", "is a device name on Windows ('con.')", ""},
      {"fine.txt", "", ""},
  };
  for (const auto& [name, problem, exact] : cases) {
    EXPECT_EQ(NameProblem(name), problem);
    EXPECT_EQ(ExactNameProblem(name), exact.empty() ? problem : exact);
  }
}

TEST(SafeNames, StoredPaths) {
  for (const std::string path : {"a", "tools\\a.dat", "a/b/c.txt", "x..\\..y", "dir\\f.e.g"}) {
    EXPECT_TRUE(IsSafeStoredPath(path)) << path;
  }
  for (const std::string path : {"", "\\abs", "/abs", "\\\\server\\share\\x", "C:\\x", "C:x",
                                 "a\\b:stream", "..", "..\\x", "a\\..\\..\\x", "a/../b", "a\\.\\b",
                                 ".\\a", "a\\\\b", "a\\", "a/", "a\\...\\b", "a\\.. \\b"}) {
    EXPECT_FALSE(IsSafeStoredPath(path)) << path;
  }
  // Every name of the path is a name Windows takes.
  for (const std::string path : {"a\x1b[31m\\b", "x\ny", "d\\?*<>", "d\\a|b", "nul\\x",
                                 "d/com1.txt", "d\\\"q\""}) {
    EXPECT_FALSE(IsSafeStoredPath(path)) << path;
  }
}

TEST(OutputNames, SayWhyTheyCannotBeExtracted) {
  EXPECT_EQ(OutputNameProblem("x", "..\\evil", true), LeadsOutside);
  EXPECT_EQ(OutputNameProblem("../evil", "", false), LeadsOutside);
  EXPECT_EQ(OutputNameProblem("sub\\. .", "", false), LeadsOutside);
  EXPECT_EQ(OutputNameProblem("x", "d\\nul", true), "is a device name on Windows ('nul')");
  EXPECT_EQ(OutputNameProblem("a/b", "", false), "holds '/', which Windows does not allow in names");
  EXPECT_EQ(OutputNameProblem("d\\nul", "", false), "is a device name on Windows ('nul')");
  EXPECT_EQ(OutputNameProblem("x", "|tools", true), "");
  EXPECT_EQ(SafeOutputName("x", "|tools", true, ""), "tools");
  EXPECT_EQ(SafeOutputName("sub\\a.txt", "other", false, ""), "a.txt");
}

TEST(NameIdentity, NamesWindowsTakesForOneFileAreOne) {
  EXPECT_EQ(NameIdentity("a.txt"), NameIdentity("A.TXT."));
  EXPECT_EQ(NameIdentity("a.txt"), NameIdentity("a.txt "));
  EXPECT_EQ(NameIdentity("a.txt"), NameIdentity("a.txt. . "));
  EXPECT_EQ(NameIdentity("d.\\x"), NameIdentity("D/X"));
  EXPECT_EQ(NameIdentity("\xC9T\xC9.TXT"), NameIdentity("\xE9t\xE9.txt"));  // ÉTÉ, été
  EXPECT_NE(NameIdentity("a.txt"), NameIdentity("a.txt2"));
  EXPECT_NE(NameIdentity(".a"), NameIdentity("a"));
}

TEST(NameIdentity, FoldsLettersOfEitherCaseAsWindowsCompares) {
  EXPECT_EQ(NameIdentity("ReadMe.TXT"), "readme.txt");
  EXPECT_EQ(NameIdentity("\xC9\xC0\xDE"), "\xE9\xE0\xFE");         // É À Þ
  EXPECT_EQ(NameIdentity("\x8A\x8C\x8E\x9F"), "\x9A\x9C\x9E\xFF");  // Š Œ Ž Ÿ
  EXPECT_EQ(NameIdentity("\xD7\xDF\xF7"), "\xD7\xDF\xF7");         // × ß ÷ have no other case
}

TEST(OutputClaims, TwoEntriesForOneFileOrAFileAndAFolderClash) {
  OutputClaims claims;
  EXPECT_EQ(claims.Claim("d", true, 0), std::nullopt);
  EXPECT_EQ(claims.Claim("D.", true, 1), std::nullopt) << "one folder, made twice";
  EXPECT_EQ(claims.Claim("d ", false, 2), std::optional<size_t>(0));
  EXPECT_EQ(claims.Claim("d\\setup.exe", false, 3), std::nullopt);
  EXPECT_EQ(claims.Claim("D/SETUP.EXE", false, 4), std::optional<size_t>(3));
}

}  // namespace
}  // namespace stowaway
