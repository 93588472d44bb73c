// Folders held open: what is made through them stays where the folder was
// when it was opened, whatever is renamed or linked around it later, and no
// link below it is ever followed.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/folder.h"
#include "platform/open_folder.h"
#include "platform/stream.h"
#include "tests/support/test_data.h"

namespace stowaway {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

// Links may need privileges (Windows); without them there is nothing to test.
bool MadeLink(const fs::path& target, const fs::path& link, bool folder) {
  std::error_code failed;
  if (folder) {
    fs::create_directory_symlink(target, link, failed);
  } else {
    fs::create_symlink(target, link, failed);
  }
  return !failed;
}

void WriteThrough(const OpenFolder& folder, const std::string& name, const std::string& text) {
  const FileHandle file = folder.CreateNewFile(name);
  ASSERT_GT(file, 0) << name;
  TFileStream stream(file);
  ASSERT_EQ(stream.Write(text.data(), static_cast<int32_t>(text.size())), static_cast<int32_t>(text.size()));
}

TEST(OpenFolder, ChildrenGoWhereTheFolderWasOpenedThoughItIsSwappedForALink) {
  TempDir dir;
  fs::create_directories(dir.Path() / "dest");
  fs::create_directories(dir.Path() / "elsewhere");
  std::optional<OpenFolder> dest = OpenFolder::Open(dir.File("dest"));
  ASSERT_TRUE(dest);
  std::optional<OpenFolder> sub = dest->Child("sub", true);
  ASSERT_TRUE(sub);
  // Another user moves the checked folder away and puts a link in its place.
  std::error_code refused;
  fs::rename(dir.Path() / "dest" / "sub", dir.Path() / "moved", refused);
  if (refused) {
    // Windows: the held folder cannot be moved, so its path still leads to it.
    WriteThrough(*sub, "a.txt", "a");
    EXPECT_EQ(testing::Listing(dir.Path() / "dest" / "sub"), std::vector<std::string>{"a.txt"});
    return;
  }
  if (!MadeLink(dir.Path() / "elsewhere", dir.Path() / "dest" / "sub", true)) GTEST_SKIP();

  WriteThrough(*sub, "a.txt", "a");
  std::optional<OpenFolder> deeper = sub->Child("deeper", true);
  ASSERT_TRUE(deeper);
  WriteThrough(*deeper, "b.txt", "b");
  EXPECT_TRUE(fs::is_empty(dir.Path() / "elsewhere"));
  EXPECT_EQ(testing::Listing(dir.Path() / "moved", true),
            (std::vector<std::string>{"a.txt", "deeper", "deeper/b.txt"}));
  // Entered afresh, the link is refused.
  EXPECT_FALSE(dest->Child("sub", true));
  EXPECT_EQ(dest->KindOf("sub"), EntryKind::Link);
}

TEST(OpenFolder, NewFilesAndRenamesNeverFollowALink) {
  TempDir dir;
  testing::WriteFileBytes(dir.Path() / "target.txt", testing::ToBytes("keep"));
  fs::create_directories(dir.Path() / "dest");
  std::optional<OpenFolder> dest = OpenFolder::Open(dir.File("dest"));
  ASSERT_TRUE(dest);
  // A file where a folder is wanted is no folder.
  WriteThrough(*dest, "file", "x");
  EXPECT_FALSE(dest->Child("file", true));
  EXPECT_FALSE(OpenFolder::Open(dir.File("dest/file")));
  EXPECT_FALSE(OpenFolder::Open(dir.File("missing")));
  WriteThrough(*dest, "new.txt", "new");
  EXPECT_LT(dest->CreateNewFile("new.txt"), 0) << "a file is there already";
  EXPECT_FALSE(dest->Rename("new.txt", "file", false));
  EXPECT_EQ(testing::ReadFileBytes(dir.Path() / "dest" / "file"), testing::ToBytes("x"));

  if (!MadeLink(dir.Path() / "target.txt", dir.Path() / "dest" / "link.txt", false)) GTEST_SKIP();
  EXPECT_LT(dest->CreateNewFile("link.txt"), 0) << "so is a link";

  EXPECT_FALSE(dest->Rename("new.txt", "link.txt", false));
  ASSERT_TRUE(dest->Rename("new.txt", "link.txt", true));
  EXPECT_EQ(dest->KindOf("link.txt"), EntryKind::File);
  EXPECT_EQ(testing::ReadFileBytes(dir.Path() / "target.txt"), testing::ToBytes("keep"));
  EXPECT_EQ(testing::ReadFileBytes(dir.Path() / "dest" / "link.txt"), testing::ToBytes("new"));
  EXPECT_EQ(dest->IdentityOf("link.txt"), FileIdentity(dir.File("dest/link.txt")));
  EXPECT_TRUE(dest->Remove("link.txt"));
  EXPECT_EQ(dest->KindOf("link.txt"), EntryKind::Missing);
  EXPECT_EQ(dest->IdentityOf("link.txt"), "");
}

}  // namespace
}  // namespace stowaway
