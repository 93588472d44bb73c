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
                               ": missing.exe: cannot be opened: No such file or directory\n");
    const Outcome folder = Run({command, "."});
    EXPECT_EQ(folder.status, 1);
    EXPECT_EQ(folder.err, "stowaway " + command + ": . is a folder; name a file\n");
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

TEST_F(DamagedInstaller, UnsafeNamesStopTheExtractionBeforeItStarts) {
  struct Case {
    std::string file_name;
    std::string stored_path;
    bool stored_paths;
    std::string said;  // what the message says after "has a name that"
  };
  const std::string outside = "would lead outside jail/inside: ";
  const std::string refused = "Windows does not allow: ";
  const std::string done = "; nothing was extracted\n";
  const std::vector<Case> cases = {
      {"x", "..\\evil.txt", true, outside + "..\\evil.txt" + done},
      {"x", "sub/../../evil.txt", true, outside + "sub/../../evil.txt" + done},
      {"x", "\\evil.txt", true, outside + "\\evil.txt" + done},
      {"x", "/tmp/evil.txt", true, outside + "/tmp/evil.txt" + done},
      {"x", "C:evil.txt", true, outside + "C:evil.txt" + done},
      {"x", "|..", true, outside + "|.." + done},
      {"..", "", false, outside + ".." + done},
      {"sub\\. .", "", false, outside + "sub\\. ." + done},
      {"NUL", "", false, refused + "NUL; it is a device name on Windows ('NUL')" + done},
      {"sub\\com1.txt", "", false,
       refused + "sub\\com1.txt; it is a device name on Windows ('com1.txt')" + done},
      {"x", "bin\\CONOUT$", true, refused + "bin\\CONOUT$; it is a device name on Windows ('CONOUT$')" + done},
      {"x", "d\\?*<>", true, refused + "d\\?*<>; it holds '?', which Windows does not allow in names" + done},
      // How the terminal is shown these names is not the point here.
      {"x", "a\x1b[31m\\b", true, refused},
      {"x", "a\nb", true, refused},
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
    EXPECT_EQ(extracted.status, 1) << c.said;
    EXPECT_THAT(extracted.err, StartsWith("stowaway extract: installer.exe: entry 1 (" + c.file_name +
                                          ") has a name that " + c.said));
    EXPECT_TRUE(fs::is_empty(At("jail/inside")));
    EXPECT_EQ(Listing("jail"), std::vector<std::string>{"inside"});

    std::vector<std::string> test = {"test", "installer.exe"};
    if (c.stored_paths) test.push_back("--stored-paths");
    EXPECT_EQ(Run(test).status, 1) << c.said;
  }
}

TEST_F(DamagedInstaller, NamesWindowsTakesForOneFileAreRefusedAsOne) {
  // Windows drops trailing dots and spaces: all three are a.txt there.
  Build({{"setup.exe", front_end}, {"a.txt", text}, {"b.bin", binary}, {"c.bin", binary}});
  Patch(2, [](ArchiveDirectoryEntry& entry) { entry.FileName = "A.TXT."; });
  Patch(3, [](ArchiveDirectoryEntry& entry) { entry.FileName = "a.txt "; });
  const Outcome refused = Run({"extract", "-C", "out", "installer.exe"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "stowaway extract: installer.exe: entry 1 (a.txt) and entry 2 (A.TXT.) "
                         "both extract to out/A.TXT.; use --force to let the later one win\n");
  EXPECT_FALSE(Exists("out"));

  // A folder d. is the folder d.
  Build({{"setup.exe", front_end}, {"x", text}, {"d", binary}});
  Patch(1, [](ArchiveDirectoryEntry& entry) { entry = {"QZFILEID", 0, 0, "d.", "|d."}; });
  EXPECT_EQ(Run({"extract", "--stored-paths", "-C", "out", "installer.exe"}).err,
            "stowaway extract: installer.exe: entry 1 (d.) and entry 2 (d) both extract to out/d\n");
  EXPECT_FALSE(Exists("out"));

  // test refuses what extract refuses and what the unpacker would overwrite.
  Build({{"setup.exe", front_end}, {"a.txt", text}});
  Patch(1, [](ArchiveDirectoryEntry& entry) { entry.FileName = "SETUP.EXE"; });
  const Outcome tested = Run({"test", "installer.exe"});
  EXPECT_EQ(tested.status, 1);
  EXPECT_EQ(tested.err, "stowaway test: installer.exe: entry 0 (setup.exe) and entry 1 (SETUP.EXE) "
                        "both extract to SETUP.EXE, so one would replace the other\n");
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

TEST_F(DamagedInstaller, NoSignatureOrBytesOverOthersAreDamage) {
  Build({{"setup.exe", front_end}, {"a.txt", text}, {"b.bin", binary}});
  const std::vector<ArchiveDirectoryEntry> directory = ReadDirectory(At("installer.exe").string());
  const Bytes whole = Read("installer.exe");
  // a.txt's signature gone: not a stream of any codec, and out of the totals.
  Bytes archive = whole;
  archive[static_cast<size_t>(directory[1].StartOffset)] = 'X';
  testing::WriteFileBytes(At("installer.exe"), archive);
  const Outcome listed = Run({"list", "installer.exe"});
  EXPECT_EQ(listed.status, 1);
  EXPECT_THAT(listed.out, HasSubstr("    1  a.txt      a.txt        damaged"));
  EXPECT_THAT(listed.out, HasSubstr("3 entries                         " +
                                    std::to_string(directory[0].PackedSize() + directory[2].PackedSize()) +
                                    "    110002"));
  EXPECT_EQ(listed.err, "stowaway list: installer.exe: entry 1 (a.txt) is damaged: its packed data begins "
                        "with no codec's signature; 'stowaway test installer.exe' checks every entry\n");
  EXPECT_THAT(Run({"list", "--json", "installer.exe"}).out,
              HasSubstr("\"codec\": \"damaged\", \"packed_size\": " + std::to_string(directory[1].PackedSize()) +
                        ", \"original_size\": null"));

  // b.bin reaching into the records, then into a.txt.
  testing::WriteFileBytes(At("installer.exe"), whole);
  Patch(2, [](ArchiveDirectoryEntry& entry) { entry.EndOffset += 10; });
  EXPECT_EQ(Run({"test", "installer.exe"}).err,
            "stowaway test: installer.exe: entry 2 (b.bin) is damaged: its packed bytes run into the "
            "directory records\n");
  testing::WriteFileBytes(At("installer.exe"), whole);
  Patch(2, [&](ArchiveDirectoryEntry& entry) { entry.StartOffset = directory[1].EndOffset - 1; });
  const Outcome tested = Run({"test", "installer.exe"});
  EXPECT_EQ(tested.status, 1);
  EXPECT_EQ(tested.err, "stowaway test: installer.exe: entry 2 (b.bin) is damaged: its packed bytes "
                        "overlap entry 1 (a.txt)\n");
  EXPECT_EQ(Run({"list", "installer.exe"}).status, 1);
}

TEST_F(DamagedInstaller, ExtractNeverReplacesTheInstallerItReads) {
  // The usual case: the installer is named as its front-end.
  Build({{"setup.exe", front_end}, {"a.txt", text}});
  Put("out/setup.exe", Read("installer.exe"));
  const Bytes installer = Read("out/setup.exe");
  const Outcome extracted = Run({"extract", "--force", "-C", "out", "out/setup.exe"});
  EXPECT_EQ(extracted.status, 1);
  EXPECT_EQ(extracted.err, "stowaway extract: out/setup.exe is the installer being read, and entry 0 "
                           "(setup.exe) would replace it; extract into another folder (nothing was "
                           "extracted)\n");
  EXPECT_EQ(Read("out/setup.exe"), installer);
  EXPECT_EQ(Listing("out"), std::vector<std::string>{"setup.exe"});
}

}  // namespace
}  // namespace stowaway
