// Real installers: unpacker.exe with an archive written behind it, entry 0
// the probe front-end, run as processes of their own. The probe's script
// comes from the environment the installer passes on to it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "archive/directory.h"
#include "archive/writer.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/window.h"
#include "tests/e2e/probe_log.h"
#include "tests/support/test_data.h"

namespace stowaway {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::ProbeLog;

// Generous: a run takes about a second under Wine.
constexpr uint32_t TimeOut = 60000;

// The folder of the test programs: unpacker.exe and probe_frontend.exe are
// built next to this one.
std::string ProgramFolder() {
  const std::string own = NativeWindowSystem().ModulePath();
  return own.substr(0, own.find_last_of('\\'));
}

class Installer : public ::testing::Test {
 protected:
  Installer()
      : installer(dir.File("setup.exe")),
        log(dir.File("probe.log")),
        destination(dir.File("dest")),
        front_end_name(std::string("probe_") +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".exe") {
    fs::create_directory(destination);
  }
  // The front-end's copy in the system folder is left there by design.
  ~Installer() override { Files().Delete(SystemCopy()); }

  std::string SystemCopy() const {
    return NativeWindowSystem().SystemFolderPath() + "\\" + front_end_name;
  }

  ArchiveItem FrontEnd(ByteSource content) {
    contents[front_end_name] = content.IsFile() ? testing::ReadFileBytes(content.Path())
                                                : content.Bytes();
    return {front_end_name, "", std::move(content)};
  }
  ArchiveItem Probe() { return FrontEnd(ByteSource::File(ProgramFolder() + "\\probe_frontend.exe")); }

  ArchiveItem Data(const std::string& name, Bytes bytes) {
    contents[name] = bytes;
    return {name, "", ByteSource::Memory(std::move(bytes))};
  }

  void Build(const std::vector<ArchiveItem>& items) {
    WriteArchiveFile(installer, ByteSource::File(ProgramFolder() + "\\unpacker.exe"), items,
                     ArchiveLayout::FileNames);
  }

  // setup.exe's exit code; fails the test, and ends every process it
  // started, if the installer or the probe does not end in time.
  uint32_t Run(std::map<std::string, std::string> environment = {}) {
    environment.emplace("PROBE_LOG", log);
    environment.emplace("PROBE_FOLDERS", destination);
    ChildProcess process('"' + installer + '"', environment);
    const bool ended = process.WaitForExit(TimeOut);
    probe = testing::ReadProbeLog(log);
    if (probe.process_id != 0 && !WaitForProcess(probe.process_id, TimeOut)) {
      ADD_FAILURE() << "the probe front-end did not end";
      EndProcess(probe.process_id);
    }
    if (!ended) {
      ADD_FAILURE() << "the installer did not end";
      process.Terminate();
      return UINT32_MAX;
    }
    probe = testing::ReadProbeLog(log);
    return process.ExitCode();
  }

  void ExpectExtracted(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
      const fs::path file = fs::path(destination) / name;
      ASSERT_TRUE(fs::exists(file)) << name;
      EXPECT_EQ(testing::ReadFileBytes(file), contents.at(name)) << name;
    }
  }

  std::vector<std::string> Listing() const { return testing::Listing(destination); }

  // The directory's packed sizes, by name.
  std::map<std::string, int32_t> PackedSizes() const {
    std::map<std::string, int32_t> sizes;
    for (const ArchiveDirectoryEntry& entry : ReadDirectory(installer)) {
      sizes[entry.FileName] = entry.EndOffset - entry.StartOffset;
    }
    return sizes;
  }

  testing::TempDir dir;
  std::string installer;
  std::string log;
  std::string destination;
  std::string front_end_name;
  std::map<std::string, Bytes> contents;
  ProbeLog probe;
};

// The probe sends two folders: the second wins.
TEST_F(Installer, ExtractsEveryFileReportingAsItGoes) {
  const std::string first = dir.File("first");
  fs::create_directory(first);
  Build({Probe(), Data("readme.txt", testing::TextLike(100000, 1)), Data("empty.dat", {}),
         Data("data.bin", testing::RandomBytes(50000, 2)),
         Data("image.dll", testing::BinaryLike(70000, 3))});
  ASSERT_EQ(Run({{"PROBE_FOLDERS", first + "|" + destination}}), 0u);
  EXPECT_TRUE(fs::is_empty(first));

  // Entry 0 is started from the system folder, where it stays.
  ASSERT_TRUE(probe.exists);
  EXPECT_EQ(probe.command_line, SystemCopy() + " /Splash");
  EXPECT_EQ(testing::ReadFileBytes(SystemCopy()), contents.at(front_end_name));
  ASSERT_NE(probe.unpacker, 0u);

  ExpectExtracted({front_end_name, "readme.txt", "empty.dat", "data.bin", "image.dll"});
  EXPECT_EQ(Listing().size(), 5u);

  const std::map<std::string, int32_t> packed = PackedSizes();
  std::vector<std::string> order;
  testing::LoggedReport last;
  for (const testing::LoggedReport& report : probe.reports) {
    EXPECT_EQ(report.wParam, probe.unpacker);
    EXPECT_EQ(report.dwData, 0u);
    EXPECT_EQ(report.cbData, 265u);
    EXPECT_EQ(report.length, static_cast<int>(report.name.size()));
    ASSERT_TRUE(packed.count(report.name)) << report.name;
    if (order.empty() || order.back() != report.name) {
      if (!order.empty() && !contents.at(last.name).empty()) {
        EXPECT_EQ(last.percent, 100) << last.name;
        EXPECT_EQ(last.written, static_cast<int32_t>(contents.at(last.name).size()));
      }
      order.push_back(report.name);
    } else {
      EXPECT_GE(report.read, last.read) << report.name;
      EXPECT_GE(report.written, last.written) << report.name;
    }
    EXPECT_LE(report.percent, 100);
    EXPECT_LE(report.read, packed.at(report.name));
    last = report;
  }
  EXPECT_EQ(last.percent, 100);
  EXPECT_EQ(order, (std::vector<std::string>{front_end_name, "readme.txt", "empty.dat",
                                             "data.bin", "image.dll"}));
  // At least one report per block of the larger files.
  EXPECT_GE(probe.reports.size(), 12u);

  ASSERT_FALSE(probe.sequence.empty());
  EXPECT_EQ(probe.messages, std::vector<std::string>{"message 1025 0 0"});
  EXPECT_EQ(probe.sequence.back(), "finish");
  EXPECT_EQ(probe.sequence[probe.sequence.size() - 2], "message 1025");
  EXPECT_EQ(probe.finish, "extract 0");
  EXPECT_TRUE(probe.ended);
}

TEST_F(Installer, ACorruptEntryEndsWithFailedAndLeavesTheEntriesBeforeIt) {
  Build({Probe(), Data("first.txt", testing::TextLike(40000, 4)),
         Data("broken.bin", testing::BinaryLike(80000, 5)),
         Data("after.txt", testing::TextLike(1000, 6))});
  // broken.bin claims more bytes than its packed data holds.
  Bytes archive = testing::ReadFileBytes(installer);
  const ArchiveDirectoryEntry broken = ReadDirectory(installer)[2];
  archive[static_cast<size_t>(broken.StartOffset) + 6] ^= 0x10;
  testing::WriteFileBytes(installer, archive);

  ASSERT_EQ(Run(), 0u);
  ASSERT_TRUE(probe.exists);
  ASSERT_FALSE(probe.reports.empty());
  EXPECT_EQ(probe.reports.back().name, "broken.bin");
  EXPECT_EQ(probe.messages, std::vector<std::string>{"message 1026 0 0"});
  EXPECT_EQ(probe.sequence[probe.sequence.size() - 2], "message 1026");
  ExpectExtracted({front_end_name, "first.txt"});
  EXPECT_EQ(Listing(), (std::vector<std::string>{"first.txt", front_end_name}));
}

TEST_F(Installer, CloseBeforeTheOrderEndsItWithoutExtracting) {
  Build({Probe(), Data("a.txt", testing::TextLike(5000, 8))});
  ASSERT_EQ(Run({{"PROBE_FINISH", "close"}}), 0u);
  ASSERT_TRUE(probe.exists);
  EXPECT_TRUE(fs::is_empty(destination));
  EXPECT_TRUE(probe.reports.empty());
  EXPECT_TRUE(probe.messages.empty());
  EXPECT_EQ(probe.finish, "close 0");
}

TEST_F(Installer, AnArchiveWithoutEntriesStartsNothing) {
  Bytes image = testing::ReadFileBytes(ProgramFolder() + "\\unpacker.exe");
  image.insert(image.end(), 4, 0);
  testing::WriteFileBytes(installer, image);
  ASSERT_EQ(Run(), 0u);
  EXPECT_FALSE(probe.exists);
  EXPECT_TRUE(fs::is_empty(destination));
}

TEST_F(Installer, AFrontEndThatCannotBeStartedEndsTheInstaller) {
  // Not a program at all: the platform refuses to start it.
  Bytes not_a_program = testing::RandomBytes(4000, 9);
  not_a_program[0] = 0;
  Build({FrontEnd(ByteSource::Memory(not_a_program)), Data("a.txt", testing::TextLike(500, 10))});
  ASSERT_EQ(Run(), 0u);
  EXPECT_FALSE(probe.exists);
  EXPECT_EQ(testing::ReadFileBytes(SystemCopy()), not_a_program);
  EXPECT_TRUE(fs::is_empty(destination));
}

}  // namespace
}  // namespace stowaway
