// Installers that stowaway packs, run under Wine with the probe front-end,
// and stowaway.exe itself under Wine. They need the Windows build tree
// beside this one, and are skipped without it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "archive/directory.h"
#include "tests/archive/archive_builder.h"
#include "tests/e2e/probe_log.h"
#include "tests/tools/signing.h"
#include "tests/tools/tool_fixture.h"

namespace stowaway {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::Outcome;

// Creating Wine's prefix on its first use takes a while; ctest gives a case 300 s.
constexpr int WineTimeLimit = 240;

class UnderWine : public testing::ToolTest {
 protected:
  void SetUp() override {
    for (const std::string name : {"unpacker.exe", "probe_frontend.exe", "stowaway.exe"}) {
      if (windows_tree.empty() || !fs::exists(windows_tree / "bin" / name)) {
        GTEST_SKIP() << "needs the Windows build tree beside this one, with bin/" << name;
      }
    }
  }

  static std::string WindowsPath(const fs::path& path) {
    std::string text = "Z:" + path.string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
  }

  // Runs program (and arguments) under Wine in the scratch folder (or the
  // folder given), with the environment given; one run at a time, as ctest
  // may run cases side by side and installers in one prefix share its system
  // folder.
  Outcome Wine(const std::vector<std::string>& command,
               const std::map<std::string, std::string>& environment = {},
               const fs::path& folder = {}) const {
    std::string script = "WINE_BUILD_DIR=" + testing::Quoted(windows_tree.string());
    for (const auto& [name, value] : environment) script += ' ' + name + '=' + testing::Quoted(value);
    script += " flock " + testing::Quoted((windows_tree / "wine-run.lock").string());
    script += ' ' + testing::Quoted(std::string(STOWAWAY_SOURCE_DIR) + "/cmake/wine-run.sh");
    for (const std::string& word : command) script += ' ' + testing::Quoted(word);
    Outcome outcome = testing::RunScript(script + '\n', (folder.empty() ? dir.Path() : folder).string(),
                                         WineTimeLimit);
    for (std::string* text : {&outcome.out, &outcome.err}) {
      text->erase(std::remove(text->begin(), text->end(), '\r'), text->end());
    }
    return outcome;
  }

  void PutPayload() {
    Put("payload/readme.txt", testing::TextLike(30000, 51));
    Put("payload/empty.dat", {});
    Put("payload/lib/data.bin", testing::BinaryLike(200000, 52));
  }

  const fs::path windows_tree = STOWAWAY_WINDOWS_TREE;
};

TEST_F(UnderWine, TheInstallerExtractsWhatPackPutIn) {
  PutPayload();
  fs::create_directory(At("dest"));
  const fs::path probe = windows_tree / "bin" / "probe_frontend.exe";
  // No --stub: the tool finds the unpacker in the Windows tree beside its own.
  const Outcome packed = Run({"pack", "-o", "installer.exe", "--front-end", probe.string(), "payload"});
  ASSERT_EQ(packed.status, 0) << packed.err;
  const Bytes unpacker = testing::ReadFileBytes(windows_tree / "bin" / "unpacker.exe");
  const Bytes installer = Read("installer.exe");
  ASSERT_TRUE(std::equal(unpacker.begin(), unpacker.end(), installer.begin()));

  const Outcome run = Wine({"installer.exe"}, {{"PROBE_LOG", WindowsPath(At("probe.log"))},
                                                {"PROBE_FOLDERS", WindowsPath(At("dest"))}});
  ASSERT_EQ(run.status, 0) << run.err;
  const testing::ProbeLog log = testing::ReadProbeLog(At("probe.log").string());
  ASSERT_TRUE(log.exists);
  EXPECT_EQ(log.messages, std::vector<std::string>{"message 1025 0 0"});

  // Every entry reports, in archive order, and its last report carries its
  // whole size.
  const std::map<std::string, std::string> sources = {
      {"probe_frontend.exe", probe.string()},
      {"empty.dat", At("payload/empty.dat").string()},
      {"data.bin", At("payload/lib/data.bin").string()},
      {"readme.txt", At("payload/readme.txt").string()}};
  std::vector<std::string> order;
  std::map<std::string, int32_t> written;
  for (const testing::LoggedReport& report : log.reports) {
    if (order.empty() || order.back() != report.name) order.push_back(report.name);
    written[report.name] = report.written;
  }
  EXPECT_EQ(order, (std::vector<std::string>{"probe_frontend.exe", "empty.dat", "data.bin",
                                             "readme.txt"}));
  for (const auto& [name, source] : sources) {
    const Bytes original = testing::ReadFileBytes(source);
    EXPECT_EQ(written[name], static_cast<int32_t>(original.size())) << name;
    EXPECT_EQ(Read("dest/" + name), original) << name;
  }
}

TEST_F(UnderWine, StowawayExeBuildsTheSameBytesAndReadsThemBack) {
  PutPayload();
  Put("stub.exe", stub);
  Put("setup.exe", front_end);
  const std::vector<std::string> pack = {"pack", "-o", "windows.exe", "--tree", "--stub", "stub.exe",
                                         "--front-end", "setup.exe", "payload"};
  const Outcome packed = Wine([&] {
    std::vector<std::string> command = {(windows_tree / "bin" / "stowaway.exe").string()};
    command.insert(command.end(), pack.begin(), pack.end());
    return command;
  }());
  ASSERT_EQ(packed.status, 0) << packed.err;
  std::vector<std::string> native = pack;
  native[2] = "native.exe";
  ASSERT_EQ(Run(native).status, 0);
  EXPECT_EQ(Read("windows.exe"), Read("native.exe"));

  const std::string tool = (windows_tree / "bin" / "stowaway.exe").string();
  const Outcome listed = Wine({tool, "list", "windows.exe"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(listed.out, Run({"list", "windows.exe"}).out);

  const Outcome extracted = Wine({tool, "extract", "--stored-paths", "-C", "out", "windows.exe"});
  ASSERT_EQ(extracted.status, 0) << extracted.err;
  EXPECT_EQ(Read("out/payload/lib/data.bin"), Read("payload/lib/data.bin"));
  EXPECT_EQ(Read("out/payload/readme.txt"), Read("payload/readme.txt"));
  EXPECT_TRUE(fs::is_empty(At("out/payload/empty.dat")));

  const Outcome again = Wine({tool, "extract", "--stored-paths", "-C", "out", "windows.exe"});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.err, "stowaway extract: out\\setup.exe exists already; use --force to replace "
                       "it (nothing was extracted)\n");
}

// Wine starts a program whose path is longer than 259 characters only from
// a shell in its folder. The unpacker cannot read its archive from there
// (the system's file calls take no longer path) and must say so rather than
// read a path cut short: under /S, with no box, exit code 1.
TEST_F(UnderWine, AnInstallerTooDeepToReadItselfFailsWithItsOwnCode) {
  PutPayload();
  const fs::path probe = windows_tree / "bin" / "probe_frontend.exe";
  const std::string deep = std::string(120, 'd') + "/" + std::string(120, 'e');
  fs::create_directories(At(deep));
  const std::string installer = deep + "/setup.exe";
  ASSERT_EQ(Run({"pack", "-q", "-o", installer, "--front-end", probe.string(), "payload"}).status, 0);
  ASSERT_GT(WindowsPath(At(installer)).size(), 259u);
  const Outcome run =
      Wine({"./setup.exe", "/S"}, {{"PROBE_LOG", WindowsPath(At("probe.log"))}}, At(deep));
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_FALSE(fs::exists(At("probe.log")));
}

TEST_F(UnderWine, ASignedInstallerRunsEndToEnd) {
  if (!testing::SigningToolsPresent()) GTEST_SKIP() << "needs openssl and osslsigncode";
  PutPayload();
  fs::create_directory(At("dest"));
  const fs::path probe = windows_tree / "bin" / "probe_frontend.exe";
  ASSERT_EQ(Run({"pack", "-o", "installer.exe", "--front-end", probe.string(), "payload"}).status, 0);
  const Outcome signing = testing::Sign(dir.Path(), "installer.exe", "signed.exe");
  ASSERT_EQ(signing.status, 0) << signing.out << signing.err;

  const Outcome run = Wine({"signed.exe"}, {{"PROBE_LOG", WindowsPath(At("probe.log"))},
                                             {"PROBE_FOLDERS", WindowsPath(At("dest"))}});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(testing::ReadProbeLog(At("probe.log").string()).messages, std::vector<std::string>{"message 1025 0 0"});
  EXPECT_EQ(Read("dest/data.bin"), Read("payload/lib/data.bin"));
  EXPECT_EQ(Read("dest/readme.txt"), Read("payload/readme.txt"));
  EXPECT_EQ(Read("dest/probe_frontend.exe"), testing::ReadFileBytes(probe));
}

TEST_F(UnderWine, ContentThatDoesNotMatchItsHashFailsTheInstall) {
  PutPayload();
  fs::create_directory(At("dest"));
  const fs::path probe = windows_tree / "bin" / "probe_frontend.exe";
  ASSERT_EQ(Run({"pack", "-o", "installer.exe", "--front-end", probe.string(), "payload"}).status, 0);
  // The last entry, readme.txt, decodes to its size but not to its bytes.
  const std::vector<ArchiveDirectoryEntry> directory = ReadDirectory(At("installer.exe").string());
  const ArchiveDirectoryEntry& entry = directory.back();
  ASSERT_EQ(entry.FileName, "readme.txt");
  Bytes installer = Read("installer.exe");
  ASSERT_TRUE(testing::DamageQuietly(installer, entry.StartOffset, entry.EndOffset));
  Put("installer.exe", installer);

  Wine({"installer.exe"}, {{"PROBE_LOG", WindowsPath(At("probe.log"))}, {"PROBE_FOLDERS", WindowsPath(At("dest"))}});
  EXPECT_EQ(testing::ReadProbeLog(At("probe.log").string()).messages, std::vector<std::string>{"message 1026 0 0"});
  EXPECT_EQ(Listing("dest"), (std::vector<std::string>{"data.bin", "empty.dat", "probe_frontend.exe"}));
}

}  // namespace
}  // namespace stowaway
