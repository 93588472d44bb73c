// stowaway pack, then list, test and extract, on real files: what goes into
// an installer, in which order and under which names, and what is refused.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "archive/directory.h"
#include "tests/tools/tool_fixture.h"

namespace stowaway {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::Outcome;
using testing::operator+;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class Packing : public testing::ToolTest {
 protected:
  void PutPayload() {
    Put("payload/readme.txt", testing::TextLike(5000, 1));
    Put("payload/data/big.bin", testing::BinaryLike(150000, 2));
    Put("payload/data/empty.dat", {});
    Put("payload/\xC3\x9Cml\xC3\xA4ut \xE2\x82\xAC.txt", testing::TextLike(300, 3));
  }

  std::vector<std::string> EntryNames(const std::string& archive) const {
    std::vector<std::string> names;
    for (const ArchiveDirectoryEntry& entry : ReadDirectory(At(archive).string())) {
      names.push_back(entry.FileName + (entry.StoredPath.empty() ? "" : " @ " + entry.StoredPath));
    }
    return names;
  }

  // What a failed pack must leave: no installer and no temporary file.
  void ExpectNothingWritten(const std::string& folder = ".") const {
    for (const std::string& name : Listing(folder)) {
      EXPECT_EQ(name.find("installer.exe"), std::string::npos) << name;
    }
  }
};

TEST_F(Packing, PacksListsTestsAndExtractsFlat) {
  PutPayload();
  const Outcome packed = Pack("installer.exe", {"payload"});
  ASSERT_EQ(packed.status, 0) << packed.err;
  EXPECT_THAT(packed.out, StartsWith("installer.exe: 5 entries, "));
  EXPECT_EQ(packed.err, "");

  // Entry 0 is the front-end; the payload follows in sorted order, the
  // folder's files at its place, under their names alone, in Windows-1252.
  EXPECT_EQ(EntryNames("installer.exe"),
            (std::vector<std::string>{"setup.exe", "big.bin", "empty.dat", "readme.txt",
                                      "\xDCml\xE4ut \x80.txt"}));
  const Bytes archive = Read("installer.exe");
  EXPECT_TRUE(std::equal(stub.begin(), stub.end(), archive.begin()));

  const Outcome listed = Run({"list", "installer.exe"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_THAT(listed.out, StartsWith("Index  Name          Stored path  Codec  Packed  Original  Ratio\n"
                                      "    0  setup.exe                  LZH      9913     20002  49.6%\n"));
  EXPECT_THAT(listed.out, HasSubstr("\n    4  \xC3\x9Cml\xC3\xA4ut \xE2\x82\xAC.txt               LZH "));
  EXPECT_THAT(listed.out, HasSubstr("\n       5 entries  "));

  const Outcome json = Run({"list", "--json", "installer.exe"});
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_THAT(json.out, StartsWith("{\n  \"archive\": \"installer.exe\",\n  \"entries\": [\n"
                                   "    {\"index\": 0, \"name\": \"setup.exe\", \"stored_path\": \"\", "
                                   "\"folder\": false, \"codec\": \"LZH\", \"packed_size\": "));
  EXPECT_THAT(json.out, HasSubstr("{\"index\": 2, \"name\": \"empty.dat\", \"stored_path\": \"\", "
                                  "\"folder\": false, \"codec\": \"LZH\", \"packed_size\": 10, "
                                  "\"original_size\": 0, \"ratio\": null, \"sha256\": "
                                  "\"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\"}"));
  EXPECT_THAT(json.out, HasSubstr("\"totals\": {\"entries\": 5, \"files\": 5, \"folders\": 0, "));

  const Outcome tested = Run({"test", "installer.exe"});
  EXPECT_EQ(tested.status, 0) << tested.err;
  EXPECT_EQ(tested.out, "installer.exe: OK, 5 entries, 175302 bytes unpacked, every SHA-256 hash matches\n");
  // Stored paths there are none, and the message says so.
  EXPECT_EQ(Run({"test", "--stored-paths", "installer.exe"}).err,
            "stowaway test: installer.exe: entry 0 (setup.exe) has no stored path: the installer was "
            "packed without --tree; extract it without --stored-paths\n");

  const Outcome extracted = Run({"extract", "-C", "out", "installer.exe"});
  ASSERT_EQ(extracted.status, 0) << extracted.err;
  EXPECT_EQ(extracted.out, "installer.exe: extracted 5 files into out\n");
  EXPECT_EQ(Listing("out"), (std::vector<std::string>{"big.bin", "empty.dat", "readme.txt",
                                                      "setup.exe", "\xC3\x9Cml\xC3\xA4ut \xE2\x82\xAC.txt"}));
  for (const std::string name : {"readme.txt", "data/big.bin", "data/empty.dat",
                                  "\xC3\x9Cml\xC3\xA4ut \xE2\x82\xAC.txt"}) {
    EXPECT_EQ(Read("out/" + fs::path(name).filename().string()), Read("payload/" + name)) << name;
  }
  EXPECT_EQ(Read("out/setup.exe"), front_end);
}

TEST_F(Packing, TreeKeepsFoldersAndStoredPathExtractionRestoresThem) {
  PutPayload();
  Put("loose.txt", testing::TextLike(100, 4));
  Put("more/data/extra.txt", testing::TextLike(100, 5));
  const Outcome packed = Pack("installer.exe", {"--tree", "payload/.", "loose.txt", "more/data"});
  ASSERT_EQ(packed.status, 0) << packed.err;
  EXPECT_EQ(packed.err,
            "stowaway pack: note: the unpacker extracts by file name alone and ignores the "
            "folders of --tree; 'stowaway extract --stored-paths' restores them\n");
  // "payload/." brings its contents alone; two folders of one name make one
  // folder entry.
  EXPECT_EQ(EntryNames("installer.exe"),
            (std::vector<std::string>{"setup.exe @ setup.exe", "data @ |data",
                                      "data\\big.bin @ data\\big.bin",
                                      "data\\empty.dat @ data\\empty.dat",
                                      "readme.txt @ readme.txt",
                                      "\xDCml\xE4ut \x80.txt @ \xDCml\xE4ut \x80.txt",
                                      "loose.txt @ loose.txt",
                                      "data\\extra.txt @ data\\extra.txt"}));
  // The same folder named again brings the same files, which clash.
  const Outcome clash = Pack("clash.exe", {"--tree", "payload/.", "payload/data/.."});
  EXPECT_EQ(clash.status, 1);
  EXPECT_EQ(clash.err,
            "stowaway pack: payload/./data/big.bin and payload/data/../data/big.bin would both "
            "be stored as data\\big.bin; rename one or leave one out\n");

  const Outcome extracted = Run({"extract", "--stored-paths", "-C", "out/deeper", "installer.exe"});
  ASSERT_EQ(extracted.status, 0) << extracted.err;
  EXPECT_EQ(extracted.out, "installer.exe: extracted 7 files and 1 folder into out/deeper\n");
  EXPECT_EQ(Read("out/deeper/data/big.bin"), Read("payload/data/big.bin"));
  EXPECT_EQ(Read("out/deeper/data/extra.txt"), Read("more/data/extra.txt"));
  EXPECT_EQ(Read("out/deeper/loose.txt"), Read("loose.txt"));
  EXPECT_EQ(Listing("out/deeper").size(), 5u);
}

TEST_F(Packing, SameInputsGiveTheSameBytesWhateverTheFilesystemOrder) {
  // Created in opposite orders, so that a walk in directory order would differ.
  for (const std::string name : {"b.txt", "Z.txt", "c/z.bin", "c/y.bin", "a.txt"}) {
    Put("one/" + name, testing::TextLike(2000 + name.size(), static_cast<uint32_t>(name[0])));
  }
  for (const std::string name : {"a.txt", "c/y.bin", "c/z.bin", "Z.txt", "b.txt"}) {
    Put("two/" + name, testing::TextLike(2000 + name.size(), static_cast<uint32_t>(name[0])));
  }
  ASSERT_EQ(Pack("first.exe", {"--tree", "--mode", "auto", "one/."}).status, 0);
  ASSERT_EQ(Pack("second.exe", {"--tree", "--mode", "auto", "two/."}).status, 0);
  EXPECT_EQ(Read("first.exe"), Read("second.exe"));
  // Sorted by bytes: capitals first.
  EXPECT_EQ(EntryNames("first.exe")[1], "Z.txt @ Z.txt");
  // Nor on how many files are packed at once.
  for (const std::string jobs : {"1", "3", "16"}) {
    ASSERT_EQ(Pack("jobs" + jobs + ".exe", {"--tree", "--mode", "auto", "--jobs", jobs, "one/."}).status, 0);
    EXPECT_EQ(Read("jobs" + jobs + ".exe"), Read("first.exe")) << jobs << " jobs";
  }
}

TEST_F(Packing, RefusesNamesTheInstallerOrWindowsCannotTake) {
  struct Case {
    std::string file;
    std::string message;
  };
  const std::string long_name(201, 'n');
  const std::vector<Case> cases = {
      {"p/\xE4\xB8\xAD.txt",
       "p/\xE4\xB8\xAD.txt: the name holds \"\xE4\xB8\xAD\" (U+4E2D), which Windows-1252 cannot "
       "represent; rename it"},
      // Shown escaped, as every name that reaches the terminal.
      {"p/bad\xFF.txt", "p/bad\\xff.txt: the name is not valid UTF-8 (byte 0xFF at position 3); rename it"},
      {"p/what?.txt", "p/what?.txt: the name holds '?', which Windows does not allow in names; rename it"},
      {"p/con.txt", "p/con.txt: the name is a device name on Windows ('con.txt'); rename it"},
      {"p/CONIN$", "p/CONIN$: the name is a device name on Windows ('CONIN$'); rename it"},
      {"p/conout$.txt", "p/conout$.txt: the name is a device name on Windows ('conout$.txt'); rename it"},
      {"p/CLOCK$", "p/CLOCK$: the name is a device name on Windows ('CLOCK$'); rename it"},
      {"p/COM\xC2\xB9", "p/COM\xC2\xB9: the name is a device name on Windows ('COM\xC2\xB9'); rename it"},
      {"p/lpt\xC2\xB3.log", "p/lpt\xC2\xB3.log: the name is a device name on Windows ('lpt\xC2\xB3.log'); rename it"},
      {"p/dot.", "p/dot.: the name ends with '.', which Windows drops from names; rename it"},
      {"p/tab\there", "p/tab\\x09here: the name holds a control character (9), which Windows does not allow; rename it"},
      {"p/" + long_name, "p/" + long_name + ": its name in the installer (" + long_name +
                             ") is 201 characters long, over the 200 an installer holds; shorten it"},
  };
  for (const Case& c : cases) {
    fs::remove_all(At("p"));
    Put(c.file, testing::TextLike(10, 5));
    const Outcome packed = Pack("installer.exe", {"p"});
    EXPECT_EQ(packed.status, 1) << c.file;
    EXPECT_EQ(packed.err, "stowaway pack: " + c.message + "\n");
    ExpectNothingWritten();
  }
  // 200 characters fit.
  fs::remove_all(At("p"));
  Put("p/" + long_name.substr(1), {});
  EXPECT_EQ(Pack("installer.exe", {"p"}).status, 0);

  // One run names every path at fault, with the system's reason where there
  // is one.
  fs::remove_all(At("p"));
  Put("p/what?.txt", {});
  Put("p/sub/con.txt", {});
  fs::create_symlink("loop", At("p/loop"));
  fs::create_symlink("nowhere", At("p/dangling"));
  const Outcome all = Pack("all.exe", {"p", "absent"});
  EXPECT_EQ(all.status, 1);
  EXPECT_EQ(all.err,
            "stowaway pack: p/dangling: a link that cannot be followed: No such file or directory; leave it out\n"
            "p/loop: a link that cannot be followed: Too many levels of symbolic links; leave it out\n"
            "p/sub/con.txt: the name is a device name on Windows ('con.txt'); rename it\n"
            "p/what?.txt: the name holds '?', which Windows does not allow in names; rename it\n"
            "absent: No such file or directory\n");
  EXPECT_FALSE(Exists("all.exe"));
}

TEST_F(Packing, RefusesTwoFilesThatWouldMeetAndNamesBoth) {
  Put("p/a/readme.txt", testing::TextLike(10, 6));
  Put("p/b/README.TXT", testing::TextLike(10, 7));
  const Outcome packed = Pack("installer.exe", {"p"});
  EXPECT_EQ(packed.status, 1);
  EXPECT_EQ(packed.err,
            "stowaway pack: p/a/readme.txt and p/b/README.TXT would both be extracted as "
            "README.TXT (the unpacker extracts by file name alone); rename one or leave one "
            "out\n");
  // The front-end's own name is taken too.
  Put("q/SETUP.EXE", {});
  EXPECT_EQ(Pack("installer.exe", {"q"}).err,
            "stowaway pack: setup.exe and q/SETUP.EXE would both be extracted as SETUP.EXE (the "
            "unpacker extracts by file name alone); rename one or leave one out\n");
  // With --tree too: the unpacker still extracts by file name alone.
  EXPECT_EQ(Pack("installer.exe", {"--tree", "p"}).err,
            "stowaway pack: p/a/readme.txt and p/b/README.TXT would both be extracted as "
            "README.TXT (the unpacker extracts by file name alone); rename one or leave one "
            "out, or leave out --front-end: the setup program installs folders\n");
}

TEST_F(Packing, HoldsAtMost501Entries) {
  for (int i = 0; i < 500; ++i) Put("p/f" + std::to_string(i), {});
  EXPECT_EQ(Pack("installer.exe", {"p"}).status, 0);
  // In the tree layout the folder entry is the 502nd.
  const Outcome packed = Pack("tree.exe", {"--tree", "p"});
  EXPECT_EQ(packed.status, 1);
  EXPECT_EQ(packed.err,
            "stowaway pack: tree.exe would hold 502 entries, and an installer holds at most 501 "
            "(the front-end and folder entries count); pack fewer files\n");
  EXPECT_FALSE(Exists("tree.exe"));
}

TEST_F(Packing, RefusesCommandLinesAndProgramsItCannotUse) {
  Put("p/a.txt", {});
  Put("notes.txt", testing::TextLike(100, 8));
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"pack", "--front-end", "setup.exe", "p"}, 2,
       "stowaway pack: missing -o OUT.exe, the installer to write\n"
       "Try 'stowaway pack --help'.\n"},
      {{"pack", "-o", "i.exe", "p"}, 2,
       "stowaway pack: missing --name NAME, the product name the setup program shows (or name "
       "a front-end of your own with --front-end SETUP.exe)\n"
       "Try 'stowaway pack --help'.\n"},
      {{"pack", "-o", "i.exe", "--front-end", "setup.exe", "--mode", "best", "p"}, 2,
       "stowaway pack: --mode is good, fast or auto, not 'best'\nTry 'stowaway pack --help'.\n"},
      {{"pack", "-o", "i.exe", "--front-end", "setup.exe", "--threshold", "30", "p"}, 2,
       "stowaway pack: --threshold only applies to --mode auto\nTry 'stowaway pack --help'.\n"},
      {{"pack", "-o", "i.exe", "--front-end", "setup.exe", "--mode", "auto", "--threshold", "101"}, 2,
       "stowaway pack: --threshold needs a whole number from 0 to 100, not '101'\n"
       "Try 'stowaway pack --help'.\n"},
      {{"pack", "-o", "i.exe", "--front-end", "setup.exe", "--jobs", "0", "p"}, 2,
       "stowaway pack: --jobs needs a whole number from 1 to 64, not '0'\n"
       "Try 'stowaway pack --help'.\n"},
      {{"pack", "-o", "i.exe", "--stub", "stub.exe", "--front-end", "notes.txt", "p"}, 1,
       "stowaway pack: notes.txt: not a Windows program (it does not begin with \"MZ\"); "
       "--front-end names the program the installer starts\n"},
      {{"pack", "-o", "i.exe", "--stub", "notes.txt", "--front-end", "setup.exe", "p"}, 1,
       "stowaway pack: notes.txt: not a Windows program (it does not begin with \"MZ\"); "
       "--stub names the unpacker the installer is built on\n"},
      {{"pack", "-o", "i.exe", "--stub", "stub.exe", "--front-end", "setup.exe", "p", "nothing"}, 1,
       "stowaway pack: nothing: No such file or directory\n"},
      {{"pack", "-o", "i.exe", "--stub", "stub.exe", "--front-end", "setup.exe"}, 2,
       "stowaway pack: nothing to pack: name the files or folders to put beside the front-end\n"
       "Try 'stowaway pack --help'.\n"},
      {{"pack", "-o", "p", "--stub", "stub.exe", "--front-end", "setup.exe", "notes.txt"}, 1,
       "stowaway pack: p is a folder; -o names the installer file to write\n"},
      {{"pack", "-o", "i.exe", "--elevation", "root", "--front-end", "setup.exe", "p"}, 2,
       "stowaway pack: --elevation takes admin or user, not 'root'\nTry 'stowaway pack --help'.\n"},
      {{"pack", "-o", "i.exe", "--stub", "stub.exe", "--elevation", "user", "--front-end",
        "setup.exe", "p"}, 2,
       "stowaway pack: --elevation chooses between the unpackers pack finds itself; with --stub, "
       "the unpacker named decides: leave one of them out\nTry 'stowaway pack --help'.\n"},
      {{"pack", "-o", "i.exe", "--stub", "stub.exe", "--front-end", "my setup.exe", "p"}, 1,
       "stowaway pack: my setup.exe: the front-end's name holds a space, and the unpacker starts "
       "it by that name; rename it\n"},
  };
  Put("stub.exe", stub);
  Put("setup.exe", front_end);
  Put("my setup.exe", front_end);
  for (const Case& c : cases) {
    const Outcome outcome = Run(c.arguments);
    EXPECT_EQ(outcome.status, c.status) << c.message;
    EXPECT_EQ(outcome.err, c.message);
    EXPECT_FALSE(Exists("i.exe"));
  }
}

TEST_F(Packing, LeavesOutTheInstallerItIsWriting) {
  Put("p/a.txt", testing::TextLike(100, 9));
  ASSERT_EQ(Pack("p/installer.exe", {"p"}).status, 0);
  const Outcome refused = Pack("p/installer.exe", {"p"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "stowaway pack: p/installer.exe exists already; use --force to replace it\n");
  const Outcome again = Pack("p/installer.exe", {"-f", "p"});
  ASSERT_EQ(again.status, 0);
  EXPECT_EQ(again.err, "stowaway pack: note: leaving out p/installer.exe, the installer being written\n");
  EXPECT_EQ(EntryNames("p/installer.exe"), (std::vector<std::string>{"setup.exe", "a.txt"}));
}

TEST_F(Packing, FindsTheUnpackerBesideItselfOrInTheWindowsTree) {
  Put("p/a.txt", {});
  Put("setup.exe", front_end);
  const Bytes other_stub = Bytes{'M', 'Z'} + testing::TextLike(500, 10);
  for (const std::string copy : {"alone/stowaway", "side/stowaway", "b/native/bin/stowaway"}) {
    fs::create_directories(At(copy).parent_path());
    fs::copy_file(testing::ToolPath(), At(copy));
  }
  Put("side/unpacker.exe", stub);
  Put("b/win32/bin/unpacker.exe", other_stub);

  const std::vector<std::string> arguments = {"pack", "-f", "-o", "i.exe", "--front-end", "setup.exe", "p"};
  auto run = [&](const std::string& program) {
    std::string script = testing::Quoted(At(program).string());
    for (const std::string& argument : arguments) script += ' ' + testing::Quoted(argument);
    return testing::RunScript(script, dir.Path().string());
  };
  auto starts_with = [&](const Bytes& start) {
    const Bytes installer = Read("i.exe");
    return installer.size() >= start.size() && std::equal(start.begin(), start.end(), installer.begin());
  };
  ASSERT_EQ(run("side/stowaway").status, 0);
  EXPECT_TRUE(starts_with(stub));
  ASSERT_EQ(run("b/native/bin/stowaway").status, 0);
  EXPECT_TRUE(starts_with(other_stub));

  const Outcome lost = run("alone/stowaway");
  EXPECT_EQ(lost.status, 1);
  EXPECT_EQ(lost.err, "stowaway pack: cannot find the unpacker; looked for\n  " +
                          At("alone/unpacker.exe").string() +
                          "\nBuild it (make build) or name it with --stub UNPACKER.exe\n");
}

TEST_F(Packing, DrawsProgressOnlyOnATerminalAndNotWhenQuiet) {
  Put("p/big.bin", testing::BinaryLike(300000, 11));
  Put("stub.exe", stub);
  Put("setup.exe", front_end);
  const std::string command = testing::Quoted(testing::ToolPath()) +
                              " pack -f -o i.exe --stub stub.exe --front-end setup.exe p";
  // script(1) gives the program a terminal and copies what it shows.
  const Outcome shown = testing::RunScript(
      "script -qec " + testing::Quoted(command) + " /dev/null", dir.Path().string());
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_THAT(shown.out, HasSubstr("\rpacking    100%  1/2 files  320.0/320.0 KB"));
  EXPECT_THAT(shown.out, HasSubstr("] big.bin"));

  const Outcome quiet = testing::RunScript(
      "script -qec " + testing::Quoted(command + " -q") + " /dev/null", dir.Path().string());
  ASSERT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.out, "");

  const Outcome piped = Pack("i.exe", {"-f", "p"});
  ASSERT_EQ(piped.status, 0);
  EXPECT_EQ(piped.err, "");
}

}  // namespace
}  // namespace stowaway
