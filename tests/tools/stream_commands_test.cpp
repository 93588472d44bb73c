// compress, decompress and advise: one packed stream between two files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/tools/tool_fixture.h"

namespace stowaway {
namespace {

using testing::Bytes;
using testing::Outcome;
using ::testing::MatchesRegex;

class PackedFile : public testing::ToolTest {
 protected:
  std::string Signature(const std::string& file) const {
    const Bytes packed = Read(file);
    return std::string(packed.begin(), packed.begin() + 4);
  }
};

TEST_F(PackedFile, RoundTripsInEveryMode) {
  const Bytes text = testing::TextLike(150000, 31);
  const Bytes noise = testing::RandomBytes(120000, 32);
  Put("text.txt", text);
  Put("noise.bin", noise);
  Put("empty", {});
  struct Case {
    std::string in;
    std::vector<std::string> mode;
    std::string signature;
  };
  for (const Case& c : std::vector<Case>{{"text.txt", {}, "!HZL"},
                                         {"text.txt", {"--mode", "fast"}, "WRZL"},
                                         {"text.txt", {"--mode", "AUTO", "--threshold", "100"}, "WRZL"},
                                         {"noise.bin", {"--mode", "auto"}, "!HZL"},
                                         {"empty", {"--mode", "fast"}, "WRZL"}}) {
    std::vector<std::string> arguments = {"compress", "-f", c.in, "packed"};
    arguments.insert(arguments.end(), c.mode.begin(), c.mode.end());
    const Outcome packed = Run(arguments);
    ASSERT_EQ(packed.status, 0) << packed.err;
    EXPECT_THAT(packed.out, MatchesRegex(c.in + ": [0-9]+ bytes packed to [0-9]+ in packed \\(.*, " +
                                         (c.signature == "WRZL" ? "LZRW1/KH" : "LZH") + "\\)\n"));
    EXPECT_EQ(Signature("packed"), c.signature) << c.in;
    const Outcome unpacked = Run({"decompress", "-f", "packed", "restored"});
    ASSERT_EQ(unpacked.status, 0) << unpacked.err;
    EXPECT_EQ(unpacked.out, "packed: unpacked " + std::to_string(Read(c.in).size()) +
                                " bytes into restored\n");
    EXPECT_EQ(Read("restored"), Read(c.in));
  }
}

TEST_F(PackedFile, AdviseSaysWhatAutoWouldPick) {
  Put("runs.bin", testing::Repetitive(200000, 33));
  Put("noise.bin", testing::RandomBytes(200000, 34));
  Put("small.bin", testing::Repetitive(98303, 35));
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"runs.bin"}, "Fast\n"},
      {{"noise.bin"}, "Good\n"},
      {{"small.bin"}, "Good\n"},
      {{"--threshold", "0", "runs.bin"}, "Good\n"},
      {{"--threshold=100", "noise.bin"}, "Good\n"},
  };
  for (const auto& [more, answer] : cases) {
    std::vector<std::string> arguments = {"advise"};
    arguments.insert(arguments.end(), more.begin(), more.end());
    const Outcome advised = Run(arguments);
    EXPECT_EQ(advised.status, 0) << advised.err;
    EXPECT_EQ(advised.out, answer) << more.back();
  }
}

TEST_F(PackedFile, RefusesAndLeavesNothingHalfWritten) {
  Put("in.txt", testing::TextLike(80000, 36));
  Put("mine", testing::ToBytes("mine"));
  ASSERT_EQ(Run({"compress", "--mode", "fast", "in.txt", "in.wrzl"}).status, 0);
  const Bytes whole = Read("in.wrzl");
  Put("cut.wrzl", Bytes(whole.begin(), whole.end() - 100));

  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"compress", "in.txt", "mine"}, 1,
       "stowaway compress: mine exists already; use --force to replace it\n"},
      {{"decompress", "in.txt", "out"}, 1,
       "stowaway decompress: in.txt: not a packed stream (it begins with neither \"!HZL\" nor "
       "\"WRZL\"); installers are read with 'stowaway extract'\n"},
      {{"compress", "absent.txt", "out"}, 1, "stowaway compress: absent.txt: cannot be opened: No such file or directory\n"},
      {{"compress", ".", "out"}, 1, "stowaway compress: . is a folder; name a file\n"},
      {{"compress", "in.txt"}, 2,
       "stowaway compress: name IN and OUT, the file to pack and the packed file to write\n"
       "Try 'stowaway compress --help'.\n"},
      {{"advise", "--mode", "fast", "in.txt"}, 2,
       "stowaway advise: unknown option --mode\nTry 'stowaway advise --help'.\n"},
      {{"compress", "--threshold", "x", "--mode", "auto", "in.txt", "out"}, 2,
       "stowaway compress: --threshold needs a whole number from 0 to 100, not 'x'\n"
       "Try 'stowaway compress --help'.\n"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Run(c.arguments);
    EXPECT_EQ(outcome.status, c.status) << c.message;
    EXPECT_EQ(outcome.err, c.message);
    EXPECT_EQ(outcome.out, "");
  }
  EXPECT_EQ(Read("mine"), testing::ToBytes("mine"));

  const Outcome cut = Run({"decompress", "cut.wrzl", "out"});
  EXPECT_EQ(cut.status, 1);
  EXPECT_THAT(cut.err, ::testing::StartsWith("stowaway decompress: cannot unpack cut.wrzl into out: "));
  EXPECT_EQ(Listing("."), (std::vector<std::string>{"cut.wrzl", "in.txt", "in.wrzl", "mine"}));
}

TEST_F(PackedFile, HelpForTheToolAndEveryCommand) {
  const Outcome overview = Run({"--help"});
  EXPECT_EQ(overview.status, 0);
  EXPECT_THAT(overview.out, ::testing::StartsWith("Usage: stowaway COMMAND [OPTION]... [ARGUMENT]...\n"));
  for (const std::string command :
       {"pack", "list", "test", "extract", "compress", "decompress", "advise"}) {
    EXPECT_THAT(overview.out, ::testing::HasSubstr("\n  " + command + " "));
    const Outcome help = Run({command, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, ::testing::StartsWith("Usage: stowaway " + command + " "));
    EXPECT_EQ(Run({"help", command}).out, help.out);
  }
  EXPECT_THAT(Run({"pack", "--help"}).out,
              ::testing::HasSubstr("build/native/bin/stowaway uses\nbuild/win32/bin/unpacker.exe"));
  const Outcome bare = Run({});
  EXPECT_EQ(bare.status, 2);
  EXPECT_EQ(bare.err, overview.out);
  const Outcome unknown = Run({"unpack", "x"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.err, "stowaway: 'unpack' is not a command\nTry 'stowaway --help'.\n");
}

}  // namespace
}  // namespace stowaway
