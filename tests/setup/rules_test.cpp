// The setup program's rules, natively: the settings block pack appends to
// it, the switches of an unattended install, and where each file goes.
#include <gtest/gtest.h>

#include "setup/placement.h"
#include "setup/settings.h"
#include "setup/switches.h"

namespace stowaway {
namespace {

SetupSettings FullSettings() {
  SetupSettings settings;
  settings.Name = "Mein Gerät";
  settings.Version = "1.2.3";
  settings.Publisher = "Example Ltd";
  settings.DefaultFolder = "{programfiles}\\Mein Gerät";
  settings.Run = "bin\\tool.exe";
  settings.Licence = std::string(70000, 'L') + "\n§ 2";
  settings.TotalSize = (int64_t{3} << 32) + 17;
  return settings;
}

void ExpectSame(const SetupSettings& a, const SetupSettings& b) {
  EXPECT_EQ(a.Name, b.Name);
  EXPECT_EQ(a.Version, b.Version);
  EXPECT_EQ(a.Publisher, b.Publisher);
  EXPECT_EQ(a.DefaultFolder, b.DefaultFolder);
  EXPECT_EQ(a.Run, b.Run);
  EXPECT_EQ(a.Licence, b.Licence);
  EXPECT_EQ(a.TotalSize, b.TotalSize);
}

// The program image in front of the block, and whatever it holds, does not
// matter; only the end of the file is read.
TEST(SettingsBlock, ReadsBackBehindAnyProgramImage) {
  const SetupSettings settings = FullSettings();
  std::vector<uint8_t> file = {'M', 'Z', 0, 0};
  const std::vector<uint8_t> block = EncodeSettingsBlock(settings);
  file.insert(file.end(), block.begin(), block.end());
  const std::optional<SetupSettings> read = DecodeSettingsBlock(file.data(), file.size());
  ASSERT_TRUE(read);
  ExpectSame(*read, settings);
  // The block alone is enough.
  ASSERT_TRUE(DecodeSettingsBlock(block.data(), block.size()));

  SetupSettings minimal;
  minimal.Name = "X";
  const std::vector<uint8_t> small = EncodeSettingsBlock(minimal);
  const std::optional<SetupSettings> back = DecodeSettingsBlock(small.data(), small.size());
  ASSERT_TRUE(back);
  ExpectSame(*back, minimal);
}

TEST(SettingsBlock, RefusesEveryDamagedOrCutBlock) {
  SetupSettings settings;
  settings.Name = "Tool";
  settings.Version = "2";
  const std::vector<uint8_t> block = EncodeSettingsBlock(settings);
  // Cut at its end: the magic is gone or the sizes run outside.
  for (size_t size = 0; size < block.size(); ++size) {
    EXPECT_FALSE(DecodeSettingsBlock(block.data(), size)) << size;
  }
  // Cut at its beginning: the body is no longer all there.
  for (size_t cut = 1; cut < block.size(); ++cut) {
    EXPECT_FALSE(DecodeSettingsBlock(block.data() + cut, block.size() - cut)) << cut;
  }
  const auto damaged = [&](size_t at, uint8_t value) {
    std::vector<uint8_t> copy = block;
    copy[at] = value;
    return DecodeSettingsBlock(copy.data(), copy.size()).has_value();
  };
  const size_t body = block.size() - SettingsFooterSize;
  EXPECT_FALSE(damaged(block.size() - 1, 'x'));  // the magic
  EXPECT_FALSE(damaged(body, 0xFF));             // body size beyond the data
  EXPECT_FALSE(damaged(body + 3, 0x7F));         // and beyond the limit
  EXPECT_FALSE(damaged(1, 0xFF));                // the name's length runs past the body
  EXPECT_TRUE(damaged(9, 99));                   // an unknown tag (the version's) is skipped
  EXPECT_FALSE(damaged(0, 99));                  // the name's: a block without a name
}

TEST(SettingsBlock, PlaceholdersLeadToTheFoldersGiven) {
  EXPECT_EQ(ExpandFolder("{programfiles}\\Tool", "C:\\Program Files", "C:\\U\\Programs"),
            "C:\\Program Files\\Tool");
  EXPECT_EQ(ExpandFolder("{userprograms}\\Tool", "C:\\Program Files", "C:\\U\\Programs"),
            "C:\\U\\Programs\\Tool");
  EXPECT_EQ(ExpandFolder("D:\\Tool\\{programfiles}", "P", "U"), "D:\\Tool\\{programfiles}");
}

TEST(Switches, ReadAsDeploymentToolsWriteThem) {
  EXPECT_EQ(ParseSwitches("").Quiet, Quietness::Normal);
  EXPECT_EQ(ParseSwitches("/S").Quiet, Quietness::VerySilent);
  EXPECT_EQ(ParseSwitches("/verysilent").Quiet, Quietness::VerySilent);
  EXPECT_EQ(ParseSwitches("/Silent").Quiet, Quietness::Silent);
  EXPECT_EQ(ParseSwitches("/SILENT /S").Quiet, Quietness::VerySilent);
  EXPECT_TRUE(ParseSwitches("/?").Usage);

  // /D= takes the rest of the line as it stands: spaces, and what looks like
  // more switches, are part of the folder.
  SetupSwitches d = ParseSwitches("  /S /LOG=\"C:\\Logs\\setup log.txt\" /D=C:\\My Apps\\Tool /X  ");
  EXPECT_EQ(d.Quiet, Quietness::VerySilent);
  EXPECT_EQ(d.LogFile, "C:\\Logs\\setup log.txt");
  EXPECT_TRUE(d.FolderGiven);
  EXPECT_EQ(d.Folder, "C:\\My Apps\\Tool \\X");
  EXPECT_EQ(d.Unknown, "");

  EXPECT_EQ(ParseSwitches("/d=\"C:\\My Apps\\\"").Folder, "C:\\My Apps");
  EXPECT_EQ(ParseSwitches("/D=C:\\").Folder, "C:");
  EXPECT_EQ(ParseSwitches("\"/D=C:\\My Apps\" /S").Folder, "C:\\My Apps");
  EXPECT_EQ(ParseSwitches("/DIR=\"D:\\Two Words\" /S").Folder, "D:\\Two Words");
  EXPECT_EQ(ParseSwitches("/dir=D:/Tools/").Folder, "D:\\Tools");

  EXPECT_EQ(ParseSwitches("/S /X /Y").Unknown, "/X");
  EXPECT_EQ(ParseSwitches("install").Unknown, "install");
  EXPECT_EQ(ParseSwitches("/LOG=").Unknown, "/LOG=");
  EXPECT_EQ(ParseSwitches("\"\"").Unknown, "\"\"");
}

TEST(Switches, FolderProblemsInWordsForTheUser) {
  EXPECT_EQ(FolderProblem("C:\\Apps\\Tool", 20), "");
  EXPECT_EQ(FolderProblem("C:", 20), "");
  EXPECT_EQ(FolderProblem("\\\\server\\share\\Tool", 20), "");
  EXPECT_NE(FolderProblem("", 20), "");
  EXPECT_NE(FolderProblem("Apps\\Tool", 20).find("not a full path"), std::string::npos);
  EXPECT_NE(FolderProblem("C:Tool", 20).find("not a full path"), std::string::npos);
  EXPECT_NE(FolderProblem("C:\\A|B", 20).find("does not allow"), std::string::npos);
  EXPECT_NE(FolderProblem("C:\\A:B", 20).find("does not allow"), std::string::npos);
  // The staging folder must fit the folder message, every file the path limit.
  EXPECT_EQ(FolderProblem("C:\\" + std::string(200, 'a'), 50), "");
  EXPECT_NE(FolderProblem("C:\\" + std::string(240, 'a'), 5).find("too long"), std::string::npos);
  EXPECT_NE(FolderProblem("C:\\" + std::string(100, 'a'), 160).find("too long"), std::string::npos);
}

ArchiveDirectoryEntry Entry(const std::string& file_name, const std::string& stored_path) {
  ArchiveDirectoryEntry entry;
  entry.FileName = file_name;
  entry.StoredPath = stored_path;
  return entry;
}

TEST(Placement, EveryFileFromItsFlatNameToItsPath) {
  const std::optional<InstallPlan> plan = PlanInstall({
      Entry("stowaway-setup.exe", "stowaway-setup.exe"),
      Entry("dist", "|dist"),
      Entry("README", "dist\\README"),
      Entry("dist\\lib", "|dist\\lib"),
      Entry("README~2", "dist\\lib\\README"),
      Entry("flat.txt", ""),
  });
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->FrontEnd, "stowaway-setup.exe");
  ASSERT_EQ(plan->Places.size(), 5u);
  EXPECT_EQ(plan->Places[0].Staged, "");
  EXPECT_EQ(plan->Places[0].Target, "dist");
  EXPECT_EQ(plan->Places[3].Staged, "README~2");
  EXPECT_EQ(plan->Places[3].Target, "dist\\lib\\README");
  EXPECT_EQ(plan->Places[4].Target, "flat.txt");
  EXPECT_EQ(plan->Longest, std::string("~stowaway-staging\\stowaway-setup.exe").size());
  // A report's name, compared as Windows compares names; the setup
  // program's own copy has no place.
  EXPECT_EQ(PlaceOf(*plan, "readme~2"), std::optional<size_t>{3});
  EXPECT_EQ(PlaceOf(*plan, "stowaway-setup.exe"), std::nullopt);
}

TEST(Placement, RefusesInstallersThatWouldLeaveTheFolderOrOverlap) {
  const ArchiveDirectoryEntry front = Entry("setup.exe", "setup.exe");
  EXPECT_FALSE(PlanInstall({}));
  EXPECT_FALSE(PlanInstall({front, Entry("a", "..\\a")}));
  EXPECT_FALSE(PlanInstall({front, Entry("a", "C:\\a")}));
  EXPECT_FALSE(PlanInstall({front, Entry("a", "\\a")}));
  EXPECT_FALSE(PlanInstall({front, Entry("x", "|..")}));
  EXPECT_FALSE(PlanInstall({front, Entry("a", "x\\a"), Entry("A", "y\\a")}));
  EXPECT_FALSE(PlanInstall({front, Entry("a", "x\\a"), Entry("b", "X\\A")}));
  EXPECT_FALSE(PlanInstall({front, Entry("SETUP.EXE", "x")}));
  EXPECT_TRUE(PlanInstall({front, Entry("x", "|x"), Entry("x2", "|x")}));
}

}  // namespace
}  // namespace stowaway
