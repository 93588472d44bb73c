// Output names: the file-name part, and the names and paths that would lead
// extraction outside its destination folder.
#include "archive/names.h"

#include <gtest/gtest.h>

#include "archive/packerunit.h"

namespace stowaway {
namespace {

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

TEST(SafeNames, StoredPaths) {
  for (const std::string path : {"a", "tools\\a.dat", "a/b/c.txt", "x..\\..y", "dir\\f.e.g"}) {
    EXPECT_TRUE(IsSafeStoredPath(path)) << path;
  }
  for (const std::string path : {"", "\\abs", "/abs", "\\\\server\\share\\x", "C:\\x", "C:x",
                                 "a\\b:stream", "..", "..\\x", "a\\..\\..\\x", "a/../b", "a\\.\\b",
                                 ".\\a", "a\\\\b", "a\\", "a/", "a\\...\\b", "a\\.. \\b"}) {
    EXPECT_FALSE(IsSafeStoredPath(path)) << path;
  }
}

}  // namespace
}  // namespace stowaway
