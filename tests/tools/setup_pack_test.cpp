// stowaway pack without --front-end: the setup program as entry 0 with the
// installer's settings behind it, its options and their refusals, and the
// flat names that let a tree install intact.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "archive/directory.h"
#include "setup/settings.h"
#include "tests/tools/tool_fixture.h"
#include "tools/payload/setup_front_end.h"

namespace stowaway {
namespace {

using testing::Bytes;
using testing::Outcome;
using testing::operator+;
using ::testing::HasSubstr;

class SetupPacking : public testing::ToolTest {
 protected:
  SetupPacking() {
    Put("stub.exe", stub);
    Put("setup-program.exe", front_end);
    Put("dist/README", testing::TextLike(300, 1));
    Put("dist/lib/README", testing::TextLike(200, 2));
    Put("dist/lib/tool.dll", testing::BinaryLike(5000, 3));
    Put("dist/bin/tool.exe", testing::BinaryLike(7000, 4));
    Put("LICENSE", Bytes{0xEF, 0xBB, 0xBF} + testing::TextLike(800, 5));
  }

  Outcome PackSetup(std::vector<std::string> more) const {
    std::vector<std::string> arguments = {"pack", "-o", "setup.exe", "--stub", "stub.exe",
                                          "--setup-program", "setup-program.exe"};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return Run(arguments);
  }
};

TEST_F(SetupPacking, StoresTheSettingsAndATreeThatInstallsIntact) {
  const Outcome packed =
      PackSetup({"--name", "My Tool", "--version", "1.2", "--publisher", "Example Ltd",
                 "--run", "dist/bin/tool.exe", "--license", "LICENSE", "dist"});
  ASSERT_EQ(packed.status, 0) << packed.err;
  EXPECT_EQ(packed.err, "");

  // Unique flat names for the unpacker, real paths for the setup program.
  std::vector<std::string> names;
  for (const ArchiveDirectoryEntry& entry : ReadDirectory(At("setup.exe").string())) {
    names.push_back(entry.FileName + " @ " + entry.StoredPath);
  }
  EXPECT_EQ(names, (std::vector<std::string>{
                       "stowaway-setup.exe @ stowaway-setup.exe", "dist @ |dist",
                       "README @ dist\\README", "dist\\bin @ |dist\\bin",
                       "tool.exe @ dist\\bin\\tool.exe", "dist\\lib @ |dist\\lib",
                       "README~2 @ dist\\lib\\README", "tool.dll @ dist\\lib\\tool.dll"}));

  // Entry 0 is the setup program with the block behind it.
  ASSERT_EQ(Run({"extract", "-C", "flat", "setup.exe"}).status, 0);
  const Bytes program = Read("flat/stowaway-setup.exe");
  ASSERT_GT(program.size(), front_end.size());
  EXPECT_TRUE(std::equal(front_end.begin(), front_end.end(), program.begin()));
  const std::optional<SetupSettings> settings = DecodeSettingsBlock(program.data(), program.size());
  ASSERT_TRUE(settings);
  EXPECT_EQ(settings->Name, "My Tool");
  EXPECT_EQ(settings->Version, "1.2");
  EXPECT_EQ(settings->Publisher, "Example Ltd");
  EXPECT_EQ(settings->DefaultFolder, "{programfiles}\\My Tool");
  EXPECT_EQ(settings->Run, "dist\\bin\\tool.exe");
  const Bytes licence = Read("LICENSE");
  EXPECT_EQ(settings->Licence, std::string(licence.begin() + 3, licence.end()));
  EXPECT_EQ(settings->TotalSize, 300 + 200 + 5000 + 7000);

  ASSERT_EQ(Run({"extract", "--stored-paths", "-C", "tree", "setup.exe"}).status, 0);
  EXPECT_EQ(Read("tree/dist/lib/README"), Read("dist/lib/README"));
  EXPECT_EQ(Read("tree/dist/README"), Read("dist/README"));

  // Without one, the folder follows the elevation: the user's own programs
  // folder for an installer that runs as its user.
  Arguments arguments;
  arguments.values = {{"name", "A/B: C."}, {"setup-program", At("setup-program.exe").string()}};
  EXPECT_EQ(ReadSetupRequest(arguments, true)->settings.DefaultFolder, "{userprograms}\\A_B_ C");
  EXPECT_EQ(ReadSetupRequest(arguments, false)->settings.DefaultFolder, "{programfiles}\\A_B_ C");

  // A default folder given is kept as given.
  ASSERT_EQ(PackSetup({"--force", "--name", "T", "--default-folder", "{userprograms}/Tools", "dist"}).status, 0);
  ASSERT_EQ(Run({"extract", "--force", "-C", "flat", "setup.exe"}).status, 0);
  const Bytes user = Read("flat/stowaway-setup.exe");
  EXPECT_EQ(DecodeSettingsBlock(user.data(), user.size())->DefaultFolder, "{userprograms}\\Tools");
}

TEST_F(SetupPacking, RefusesSettingsItCannotUseNamingTheOption) {
  struct Case {
    std::vector<std::string> more;
    int status;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"dist"}, 2, "missing --name NAME"},
      {{"--name", " ", "dist"}, 2, "missing --name NAME"},
      {{"--name", "T", "--front-end", "stub.exe", "dist"}, 2,
       "--name is a setting of stowaway's setup program, which --front-end replaces"},
      {{"--name", "T", "--default-folder", "Tools\\T", "dist"}, 2, "--default-folder Tools\\T: give a full"},
      {{"--name", "T", "--default-folder", "{home}\\T", "dist"}, 2, "--default-folder {home}\\T: give a full"},
      {{"--name", "T", "--default-folder", "C:\\{programfiles}", "dist"}, 2, "the only placeholders"},
      {{"--name", "T", "--default-folder", "C:\\a|b", "dist"}, 2, "--default-folder C:\\a|b: holds a character"},
      {{"--name", "T", "--run", "tool.exe", "dist"}, 2, "--run tool.exe: no file of that path is packed"},
      {{"--name", "T", "--license", "missing.txt", "dist"}, 1, "missing.txt"},
      {{"--name", "T", "--license", "dist/lib/tool.dll", "dist"}, 2, "--license dist/lib/tool.dll: not UTF-8 text"},
      {{"--name", std::string(101, 'n'), "dist"}, 2, "--name: at most 100 bytes"},
      {{"--name", "T", "--version", "1\t2", "dist"}, 2, "--version: holds a control character"},
      {{"--name", "T", "--setup-program", "LICENSE", "dist"}, 1, "--setup-program names the setup program"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = PackSetup(c.more);
    EXPECT_EQ(outcome.status, c.status) << c.message;
    EXPECT_THAT(outcome.err, HasSubstr(c.message));
    EXPECT_FALSE(Exists("setup.exe")) << c.message;
  }
  // A file of the setup program's own name cannot be packed beside it.
  Put("dist/stowaway-setup.exe", {});
  EXPECT_THAT(PackSetup({"--name", "T", "dist/."}).err,
              HasSubstr("would both be stored as stowaway-setup.exe"));
}

}  // namespace
}  // namespace stowaway
