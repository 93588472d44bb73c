// list, test and extract on installers that are not what they should be:
// not archives, truncated, damaged, or naming places outside the folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "archive/directory.h"
#include "archive/integrity.h"
#include "archive/writer.h"
#include "tests/tools/tool_fixture.h"

namespace stowaway {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::Outcome;
using testing::operator+;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class DamagedInstaller : public testing::ToolTest {
 protected:
  // installer.exe: the stub, then the entries (name, content), each stored
  // under its name as its path too.
  void Build(const std::vector<std::pair<std::string, Bytes>>& files) {
    std::vector<ArchiveItem> items;
    for (const auto& [name, content] : files) items.push_back({name, name, ByteSource::Memory(content)});
    WriteArchiveFile(At("installer.exe").string(), ByteSource::Memory(stub), items,
                     ArchiveLayout::StoredPaths);
  }

  // Rewrites record index of installer.exe, and the records' hash with it,
  // as a producer of such records would.
  void Patch(size_t index, const std::function<void(ArchiveDirectoryEntry&)>& change) {
    Bytes archive = Read("installer.exe");
    const std::vector<ArchiveDirectoryEntry> directory = ReadDirectory(At("installer.exe").string());
    const size_t first = archive.size() - 4 - directory.size() * DirectoryEntrySize;
    ArchiveDirectoryEntry entry = directory[index];
    change(entry);
    EncodeDirectoryEntry(entry, archive.data() + first + index * DirectoryEntrySize);
    const Sha256Digest hash = Sha256::Of(archive.data() + first, directory.size() * DirectoryEntrySize);
    std::copy(hash.begin(), hash.end(), archive.begin() + static_cast<long>(first) - IntegrityFooterSize - 32);
    testing::WriteFileBytes(At("installer.exe"), archive);
  }

  const Bytes text = testing::TextLike(40000, 21);
  const Bytes binary = testing::BinaryLike(90000, 22);
};

TEST_F(DamagedInstaller, RefusesWhatIsNoInstallerInEveryCommand) {
  // One line that says why: the last four bytes are no entry count.
  const Bytes junk = testing::RandomBytes(5000, 23);
  Put("junk.bin", junk);
  const auto count = static_cast<int32_t>(junk[4996] | junk[4997] << 8 | junk[4998] << 16 | junk[4999] << 24);
  Put("empty.exe", {});
  const Bytes png_signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Put("picture.png", png_signature + testing::RandomBytes(300, 24) + testing::ToBytes("IEND") +
                         Bytes{0xAE, 0x42, 0x60, 0x82});
  fs::copy_file("/bin/ls", At("ls"));
  std::vector<std::pair<std::string, std::string>> files = {
      {"junk.bin", "it has no archive directory at its end (the number of entries in its last four bytes "
                   "reads as " + std::to_string(count) + ", not one from 1 to 501)"},
      {"empty.exe", "it is empty"},
      {"picture.png", "it has no archive directory at its end (the number of entries in its last four bytes "
                      "reads as -2107620690, not one from 1 to 501)"},
      {"ls", "it has no archive directory at its end ("},
  };
  // Wine's own programs are real Windows programs, with nothing behind them.
  const fs::path program = "/usr/lib/i386-linux-gnu/wine/i386-windows/hostname.exe";
  if (fs::exists(program)) {
    fs::copy_file(program, At("hostname.exe"));
    files.emplace_back("hostname.exe", "it is a Windows program with no archive directory (");
  }
  for (const std::string command : {"list", "test", "extract"}) {
    for (const auto& [file, reason] : files) {
      const Outcome refused = Run({command, file});
      EXPECT_EQ(refused.status, 1);
      EXPECT_THAT(refused.err, StartsWith("stowaway " + command + ": " + file + ": not a stowaway installer: " +
                                          reason)) << file;
      EXPECT_THAT(refused.err, EndsWith("; it may be truncated or not made by stowaway pack\n"));
      EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1);
      EXPECT_EQ(refused.out, "");
    }
    const Outcome missing = Run({command, "missing.exe"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "stowaway " + command +
                               ": missing.exe: cannot be opened; check the name and that it can "
                               "be read\n");
    EXPECT_EQ(Run({command}).status, 2);
  }
  EXPECT_FALSE(Exists("out"));
}

TEST_F(DamagedInstaller, EveryTruncationFailsCleanly) {
  Build({{"setup.exe", front_end}, {"a.txt", text}, {"b.bin", binary}});
  const Bytes whole = Read("installer.exe");
  std::vector<size_t> cuts = {0, 1, 3, 4, stub.size(), stub.size() + 8};
  for (size_t cut = 5; cut < whole.size(); cut += whole.size() / 23) cuts.push_back(cut);
  for (size_t back = 1; back <= 5; ++back) cuts.push_back(whole.size() - back);
  cuts.push_back(whole.size() - DirectoryEntrySize);
  for (const size_t cut : cuts) {
    testing::WriteFileBytes(At("installer.exe"), Bytes(whole.begin(), whole.begin() + static_cast<long>(cut)));
    const Outcome tested = Run({"test", "installer.exe"});
    EXPECT_EQ(tested.status, 1) << "cut at " << cut;
    EXPECT_THAT(tested.err, StartsWith("stowaway test: installer.exe: ")) << "cut at " << cut;
  }
}

TEST_F(DamagedInstaller, TestNamesTheFirstBadEntryAndExtractKeepsOnlyWholeFiles) {
  Build({{"setup.exe", front_end}, {"a.txt", text}, {"b.bin", binary}, {"c.txt", text}});
  // b.bin's header claims more bytes than its body holds.
  const ArchiveDirectoryEntry b = ReadDirectory(At("installer.exe").string())[2];
  Bytes archive = Read("installer.exe");
  archive[static_cast<size_t>(b.StartOffset) + 6] ^= 0x10;
  testing::WriteFileBytes(At("installer.exe"), archive);

  const Outcome tested = Run({"test", "installer.exe"});
  EXPECT_EQ(tested.status, 1);
  EXPECT_THAT(tested.err, StartsWith("stowaway test: installer.exe: entry 2 (b.bin) cannot be "
                                     "unpacked: "));
  EXPECT_EQ(tested.out, "");

  const Outcome extracted = Run({"extract", "-C", "out", "installer.exe"});
  EXPECT_EQ(extracted.status, 1);
  EXPECT_EQ(extracted.err, "stowaway extract" + tested.err.substr(std::string("stowaway test").size()));
  // The entries before stay, whole; the failing one leaves nothing.
  EXPECT_EQ(Listing("out"), (std::vector<std::string>{"a.txt", "setup.exe"}));
  EXPECT_EQ(Read("out/a.txt"), text);
}

TEST_F(DamagedInstaller, EntriesOutsideTheFileAreDamagedInListAndTest) {
  Build({{"setup.exe", front_end}, {"a.txt", text}});
  Patch(1, [](ArchiveDirectoryEntry& entry) { entry.EndOffset += 1000000; });
  const Outcome listed = Run({"list", "installer.exe"});
  EXPECT_EQ(listed.status, 1);
  EXPECT_THAT(listed.out, HasSubstr("\n    1  a.txt      a.txt        damaged  1009981         -      -\n"));
  EXPECT_EQ(listed.err,
            "stowaway list: installer.exe: entry 1 (a.txt) is damaged: its packed data cannot be "
            "read; 'stowaway test installer.exe' checks every entry\n");
  EXPECT_EQ(Run({"test", "installer.exe"}).err,
            "stowaway test: installer.exe: entry 1 (a.txt) cannot be unpacked: its packed bytes "
            "lie outside the file\n");
}

TEST_F(DamagedInstaller, NamesLeadingOutOfTheFolderStopTheExtractionBeforeItStarts) {
  struct Case {
    std::string file_name;
    std::string stored_path;
    bool stored_paths;
    std::string shown;
  };
  const std::vector<Case> cases = {
      {"x", "..\\evil.txt", true, "..\\evil.txt"},
      {"x", "sub/../../evil.txt", true, "sub/../../evil.txt"},
      {"x", "\\evil.txt", true, "\\evil.txt"},
      {"x", "/tmp/evil.txt", true, "/tmp/evil.txt"},
      {"x", "C:evil.txt", true, "C:evil.txt"},
      {"x", "|..", true, "|.."},
      {"..", "", false, ".."},
      {"sub\\. .", "", false, "sub\\. ."},
  };
  fs::create_directories(At("jail/inside"));
  for (const Case& c : cases) {
    Build({{"setup.exe", front_end}, {"a.txt", text}});
    Patch(1, [&](ArchiveDirectoryEntry& entry) {
      entry.FileName = c.file_name;
      entry.StoredPath = c.stored_path;
    });
    std::vector<std::string> arguments = {"extract", "-C", "jail/inside", "installer.exe"};
    if (c.stored_paths) arguments.push_back("--stored-paths");
    const Outcome extracted = Run(arguments);
    EXPECT_EQ(extracted.status, 1) << c.shown;
    EXPECT_EQ(extracted.err, "stowaway extract: installer.exe: entry 1 (" + c.file_name +
                                 ") has a name that would lead outside jail/inside: " + c.shown +
                                 "; nothing was extracted\n");
    EXPECT_TRUE(fs::is_empty(At("jail/inside")));
    EXPECT_EQ(Listing("jail"), std::vector<std::string>{"inside"});

    std::vector<std::string> test = {"test", "installer.exe"};
    if (c.stored_paths) test.push_back("--stored-paths");
    EXPECT_EQ(Run(test).status, 1) << c.shown;
  }
}

TEST_F(DamagedInstaller, ExtractDoesNotWriteThroughLinks) {
  ArchiveItem folder = ArchiveItem::Folder("sub");
  const ArchiveItem file{"sub\\a.txt", "sub\\a.txt", ByteSource::Memory(text)};
  WriteArchiveFile(At("installer.exe").string(), ByteSource::Memory(stub), {folder, file},
                   ArchiveLayout::StoredPaths);
  fs::create_directories(At("elsewhere"));
  fs::create_directories(At("dest"));
  fs::create_directory_symlink(At("elsewhere"), At("dest/sub"));

  const Outcome extracted = Run({"extract", "--stored-paths", "--force", "-C", "dest", "installer.exe"});
  EXPECT_EQ(extracted.status, 1);
  const std::string refusal =
      "stowaway extract: dest/sub is a link; extract does not write through links, which could "
      "lead outside the folder; remove it or extract elsewhere\n";
  EXPECT_EQ(extracted.err, refusal);
  EXPECT_TRUE(fs::is_empty(At("elsewhere")));

  // Without the folder entry the link is met as a folder on the way.
  WriteArchiveFile(At("installer.exe").string(), ByteSource::Memory(stub), {file},
                   ArchiveLayout::StoredPaths);
  EXPECT_EQ(Run({"extract", "--stored-paths", "-C", "dest", "installer.exe"}).err, refusal);
  EXPECT_TRUE(fs::is_empty(At("elsewhere")));

  // A link where a file goes is replaced, not followed.
  Build({{"a.txt", text}});
  testing::WriteFileBytes(At("elsewhere/target.txt"), testing::ToBytes("keep"));
  fs::create_symlink(At("elsewhere/target.txt"), At("dest/a.txt"));
  EXPECT_EQ(Run({"extract", "-C", "dest", "installer.exe"}).err,
            "stowaway extract: dest/a.txt exists already; use --force to replace it (nothing was "
            "extracted)\n");
  ASSERT_EQ(Run({"extract", "--force", "-C", "dest", "installer.exe"}).status, 0);
  EXPECT_FALSE(fs::is_symlink(At("dest/a.txt")));
  EXPECT_EQ(Read("dest/a.txt"), text);
  EXPECT_EQ(Read("elsewhere/target.txt"), testing::ToBytes("keep"));
}

TEST_F(DamagedInstaller, ExistingFilesAreReplacedOnlyWithForce) {
  Build({{"setup.exe", front_end}, {"a.txt", text}, {"b.bin", binary}});
  Put("out/b.bin", testing::ToBytes("mine"));
  const Outcome refused = Run({"extract", "-C", "out", "installer.exe"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "stowaway extract: out/b.bin exists already; use --force to replace it "
                         "(nothing was extracted)\n");
  EXPECT_EQ(Listing("out"), std::vector<std::string>{"b.bin"});
  EXPECT_EQ(Read("out/b.bin"), testing::ToBytes("mine"));

  const Outcome forced = Run({"extract", "-f", "-q", "-C", "out", "installer.exe"});
  ASSERT_EQ(forced.status, 0) << forced.err;
  EXPECT_EQ(forced.out, "");
  EXPECT_EQ(Read("out/b.bin"), binary);
  EXPECT_EQ(Listing("out"), (std::vector<std::string>{"a.txt", "b.bin", "setup.exe"}));
}

TEST_F(DamagedInstaller, TwoEntriesForOneFileNeedForce) {
  // The writer refuses such an archive; another producer might not.
  Build({{"setup.exe", front_end}, {"a.txt", text}, {"b.bin", binary}});
  Patch(1, [](ArchiveDirectoryEntry& entry) { entry.FileName = "one\\a.txt"; });
  Patch(2, [](ArchiveDirectoryEntry& entry) { entry.FileName = "two\\A.TXT"; });
  const Outcome refused = Run({"extract", "-C", "out", "installer.exe"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "stowaway extract: installer.exe: entry 1 (one\\a.txt) and entry 2 "
                         "(two\\A.TXT) both extract to out/A.TXT; use --force to let the later "
                         "one win\n");
  EXPECT_FALSE(Exists("out"));
  ASSERT_EQ(Run({"extract", "--force", "-C", "out", "installer.exe"}).status, 0);
  EXPECT_EQ(Read("out/A.TXT"), binary);
}

}  // namespace
}  // namespace stowaway
