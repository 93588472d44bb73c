// Extraction planning on its own: where each entry of a directory goes, what
// exists there, and every refusal, with nothing written by the plan.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/test_data.h"
#include "tools/errors.h"
#include "tools/extraction/extract_plan.h"

namespace stowaway {
namespace {

namespace fs = std::filesystem;

ArchiveDirectoryEntry File(const std::string& name, const std::string& stored = "", int32_t size = 10) {
  ArchiveDirectoryEntry entry;
  entry.FileName = name;
  entry.StoredPath = stored;
  entry.StartOffset = 100;
  entry.EndOffset = 100 + size;
  return entry;
}

ArchiveDirectoryEntry Folder(const std::string& path) {
  ArchiveDirectoryEntry entry;
  entry.FileName = path;
  entry.StoredPath = "|" + path;
  return entry;
}

class Planning : public ::testing::Test {
 protected:
  ExtractRequest Request(bool stored_paths = false, bool force = false) const {
    return {(dir.Path() / "installer.exe").string(), (dir.Path() / "out").string(), stored_paths, force};
  }
  std::string Out(const std::string& relative) const { return (dir.Path() / "out" / relative).string(); }
  void Put(const std::string& relative, const std::string& text) const {
    fs::create_directories(dir.Path() / "out");
    testing::WriteFileBytes(Out(relative), testing::ToBytes(text));
  }

  // The message of the refusal, or "planned".
  std::string Refusal(const ExtractRequest& request, const std::vector<ArchiveDirectoryEntry>& directory) const {
    try {
      PlanExtraction(request, directory);
      return "planned";
    } catch (const EToolFailure& refused) {
      return refused.Message();
    }
  }

  testing::TempDir dir;
};

TEST_F(Planning, PlacesEachEntryByFileNameOrStoredPath) {
  const std::vector<ArchiveDirectoryEntry> directory = {
      File("setup.exe", "setup.exe", 50), Folder("tools"), File("tools\\a.dat", "tools\\a.dat", 7),
      File("x\\caf\xE9.txt", "tools\\caf\xE9.txt", 3)};
  const ExtractionPlan flat = PlanExtraction(Request(), directory);
  ASSERT_EQ(flat.targets.size(), 3u) << "file-name mode has no place for folders";
  EXPECT_EQ(flat.targets[1].names, std::vector<std::string>{"a.dat"});
  EXPECT_EQ(flat.targets[2].path, Out("caf\xC3\xA9.txt"));
  EXPECT_EQ(flat.files, 3);
  EXPECT_EQ(flat.packed_total, 60);

  const ExtractionPlan tree = PlanExtraction(Request(true), directory);
  ASSERT_EQ(tree.targets.size(), 4u);
  EXPECT_TRUE(tree.targets[1].folder);
  EXPECT_EQ(tree.targets[2].names, (std::vector<std::string>{"tools", "a.dat"}));
  EXPECT_EQ(tree.targets[3].path, Out("tools/caf\xC3\xA9.txt"));
  EXPECT_FALSE(tree.targets[3].exists);
  EXPECT_FALSE(fs::exists(dir.Path() / "out")) << "planning writes nothing";

  Put("a.dat", "old");
  EXPECT_TRUE(PlanExtraction(Request(false, true), directory).targets[1].exists);
}

TEST_F(Planning, RefusesWithTheRealCause) {
  const std::string installer = dir.Path() / "installer.exe";
  const std::string label = installer + ": entry 1 ";
  EXPECT_EQ(Refusal(Request(), {File("setup.exe"), File("..")}),
            label + "(..) has a name that would lead outside " + Request().dir + ": ..; nothing was extracted");
  EXPECT_EQ(Refusal(Request(), {File("setup.exe"), File("a\x1b[2Jb")}),
            label + "(a\\x1b[2Jb) has a name that Windows does not allow: a\\x1b[2Jb; it holds a "
                    "control character (27), which Windows does not allow; nothing was extracted");
  EXPECT_EQ(Refusal(Request(true), {File("setup.exe")}),
            installer + ": entry 0 (setup.exe) has no stored path: the installer was packed without "
                        "--tree; extract it without --stored-paths; nothing was extracted");
  EXPECT_EQ(Refusal(Request(), {File("setup.exe"), File("one\\A.txt"), File("two\\a.TXT")}),
            installer + ": entry 1 (one\\A.txt) and entry 2 (two\\a.TXT) both extract to " +
                Out("a.TXT") + "; use --force to let the later one win");
  EXPECT_EQ(Refusal(Request(true), {Folder("d"), File("d", "d")}),
            installer + ": entry 0 (d) and entry 1 (d) both extract to " + Out("d"));

  Put("d", "a file");
  EXPECT_EQ(Refusal(Request(true), {File("d\\x", "d\\x")}),
            Out("d") + " is in the way of a folder that entry 0 (d\\x) needs; move it");
  fs::create_directories(dir.Path() / "out" / "f");
  EXPECT_EQ(Refusal(Request(), {File("f")}), Out("f") + " is a folder, in the way of entry 0 (f); move it");
  EXPECT_EQ(Refusal(Request(), {File("d")}),
            Out("d") + " exists already; use --force to replace it (nothing was extracted)");
  EXPECT_EQ(Refusal(Request(false, true), {File("d")}), "planned");

  fs::create_directory_symlink(dir.Path(), dir.Path() / "out" / "up");
  EXPECT_EQ(Refusal(Request(true), {File("up\\x", "up\\x")}),
            Out("up") + " is a link; extract does not write through links, which could lead "
                        "outside the folder; remove it or extract elsewhere");

  Put("file", "");
  ExtractRequest into_file = Request();
  into_file.dir = Out("file");
  EXPECT_EQ(Refusal(into_file, {File("a")}),
            Out("file") + " is not a folder; -C names the folder to extract into");
}

TEST_F(Planning, NeverReplacesTheInstallerBeingRead) {
  Put("setup.exe", "the installer");
  ExtractRequest request = Request(false, true);
  request.archive_path = Out("setup.exe");
  EXPECT_EQ(Refusal(request, {File("setup.exe")}),
            Out("setup.exe") + " is the installer being read, and entry 0 (setup.exe) would replace "
                               "it; extract into another folder (nothing was extracted)");
  // Through another name for the same file too.
  fs::create_hard_link(dir.Path() / "out" / "setup.exe", dir.Path() / "other.exe");
  request.archive_path = (dir.Path() / "other.exe").string();
  EXPECT_THAT(Refusal(request, {File("setup.exe")}), ::testing::HasSubstr("is the installer being read"));
}

}  // namespace
}  // namespace stowaway
