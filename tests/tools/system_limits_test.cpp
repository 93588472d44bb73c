// The tool against the system's limits and conventions: output that cannot
// be written, the file-size limit, names near the longest allowed, '\' in a
// user's paths, and the command line's global options.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/writer.h"
#include "tests/tools/tool_fixture.h"

namespace stowaway {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::Outcome;
using ::testing::HasSubstr;

class SystemLimits : public testing::ToolTest {
 protected:
  Outcome Shell(const std::string& script) const { return testing::RunScript(script, dir.Path().string()); }
  std::string Tool() const { return testing::Quoted(testing::ToolPath()); }
};

TEST_F(SystemLimits, OutputThatCannotBeWrittenFailsTheCommand) {
  Put("p/a.txt", testing::TextLike(3000, 51));
  ASSERT_EQ(Pack("installer.exe", {"p"}).status, 0);
  for (const std::string command : {"list installer.exe", "list --json installer.exe", "test installer.exe",
                                    "--version", "--help", "list --help"}) {
    const Outcome full = Shell(Tool() + " " + command + " >/dev/full");
    EXPECT_EQ(full.status, 1) << command;
    EXPECT_THAT(full.err, HasSubstr(": cannot write to standard output: No space left on device\n")) << command;
  }
  // A failure is still named after the lost output.
  const Outcome both = Shell(Tool() + " list missing.exe >/dev/full");
  EXPECT_EQ(both.status, 1);
  EXPECT_THAT(both.err, HasSubstr("missing.exe: cannot be opened: No such file or directory\n"));
}

TEST_F(SystemLimits, TheFileSizeLimitFailsTheWriteAndLeavesNothing) {
  Put("p/big.bin", testing::RandomBytes(300000, 52));
  ASSERT_EQ(Pack("installer.exe", {"p"}).status, 0);
  const Outcome extracted = Shell("ulimit -f 100 && " + Tool() + " extract -C out installer.exe");
  EXPECT_EQ(extracted.status, 1);
  EXPECT_EQ(extracted.err, "stowaway extract: cannot write out/big.bin: File too large\n");
  EXPECT_EQ(Listing("out"), std::vector<std::string>{"setup.exe"});

  const Outcome packed = Shell("ulimit -f 100 && " + Tool() +
                               " pack -o small.exe --stub stub.exe --front-end setup.exe p");
  EXPECT_EQ(packed.status, 1);
  EXPECT_EQ(packed.err, "stowaway pack: cannot write small.exe: File too large\n");
  EXPECT_FALSE(Exists("small.exe"));
  for (const std::string& name : Listing(".")) EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;

  // Packed streams are written in large pieces: the refusal comes at the
  // last one, and still fails the command.
  ASSERT_EQ(Run({"compress", "-q", "--mode", "fast", "p/big.bin", "big.sw"}).status, 0);
  for (const std::string command : {"compress --mode fast p/big.bin", "decompress big.sw"}) {
    const std::string verb = command.substr(0, command.find(' '));
    const Outcome streamed = Shell("ulimit -f 100 && " + Tool() + " " + command + " out.bin");
    EXPECT_EQ(streamed.status, 1) << command;
    EXPECT_EQ(streamed.err, "stowaway " + verb + ": cannot write out.bin: File too large\n");
    EXPECT_FALSE(Exists("out.bin")) << command;
  }
}

TEST_F(SystemLimits, NamesNearTheLongestAllowedAndTheRealCauseBeyond) {
  // 122 characters, 244 bytes of UTF-8: the temporary name must not grow it.
  std::string name;
  for (int i = 0; i < 122; ++i) name += "\xC3\xA9";
  Put("p/" + name, testing::TextLike(2000, 53));
  ASSERT_EQ(Pack("installer.exe", {"p"}).status, 0);
  const Outcome extracted = Run({"extract", "-q", "-C", "out", "installer.exe"});
  ASSERT_EQ(extracted.status, 0) << extracted.err;
  EXPECT_EQ(Read("out/" + name), Read("p/" + name));

  // 200 such characters fit an installer but not a Linux name (400 bytes).
  const std::string longest(200, '\xE9');
  WriteArchiveFile(At("long.exe").string(), ByteSource::Memory(stub),
                   {{"setup.exe", "setup.exe", ByteSource::Memory(front_end)},
                    {longest, longest, ByteSource::Memory(testing::TextLike(100, 56))}},
                   ArchiveLayout::StoredPaths);
  const Outcome refused = Run({"extract", "-C", "deep", "long.exe"});
  EXPECT_EQ(refused.status, 1);
  std::string shown;
  for (int i = 0; i < 200; ++i) shown += "\xC3\xA9";
  EXPECT_EQ(refused.err, "stowaway extract: cannot create deep/" + shown + ": File name too long\n");
  EXPECT_EQ(Listing("deep"), std::vector<std::string>{"setup.exe"});
}

TEST_F(SystemLimits, BackslashInAUsersPathIsPartOfTheName) {
  Put("sub\\x.txt", testing::TextLike(500, 54));
  fs::create_directories(At("sub"));
  const Outcome packed = Run({"compress", "sub\\x.txt", "sub\\x.pk"});
  ASSERT_EQ(packed.status, 0) << packed.err;
  EXPECT_TRUE(Exists("sub\\x.pk"));
  EXPECT_TRUE(fs::is_empty(At("sub")));
  ASSERT_EQ(Run({"decompress", "sub\\x.pk", "back\\x.txt"}).status, 0);
  EXPECT_EQ(Read("back\\x.txt"), Read("sub\\x.txt"));
}

TEST_F(SystemLimits, VersionAndCommonOptionsBeforeTheCommand) {
  const Outcome version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_THAT(version.out, ::testing::MatchesRegex("stowaway [0-9]+\\.[0-9]+\\.[0-9]+\n"));
  Put("p/a.txt", testing::TextLike(100, 55));
  Put("stub.exe", stub);
  Put("setup.exe", front_end);
  const Outcome quiet = Run({"-q", "pack", "-o", "i.exe", "--stub", "stub.exe", "--front-end", "setup.exe", "p"});
  ASSERT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(quiet.out + quiet.err, "");
  EXPECT_EQ(Run({"--quiet", "extract", "-C", "out", "i.exe"}).out, "");
  EXPECT_EQ(Run({"-q", "--help"}).status, 0);
  EXPECT_EQ(Run({"-q"}).status, 2);
}

}  // namespace
}  // namespace stowaway
