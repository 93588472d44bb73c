// Real installers: unpacker.exe with an archive written behind it, entry 0
// the probe front-end, run as processes of their own. The probe's script
// comes from the environment the installer passes on to it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "archive/packerunit.h"
#include "archive/writer.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/window.h"
#include "tests/e2e/pe_image.h"
#include "tests/e2e/probe_log.h"
#include "tests/support/test_data.h"

namespace stowaway {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::ProbeLog;

// Generous: a run takes about a second under Wine, or the front-end's grace
// period more where the unpacker has to notice that it is gone.
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
  uint32_t Run(std::map<std::string, std::string> environment = {},
               const std::string& arguments = "") {
    environment.emplace("PROBE_LOG", log);
    environment.emplace("PROBE_FOLDERS", destination);
    ChildProcess process('"' + installer + '"' + arguments, environment);
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

// The probe sends two folders: the second wins. It sees the installer's
// path and arguments exactly as given, its own command line as ever.
TEST_F(Installer, ExtractsEveryFileReportingAsItGoes) {
  const std::string first = dir.File("first");
  fs::create_directory(first);
  Build({Probe(), Data("readme.txt", testing::TextLike(100000, 1)), Data("empty.dat", {}),
         Data("data.bin", testing::RandomBytes(50000, 2)),
         Data("image.dll", testing::BinaryLike(70000, 3))});
  const std::string arguments = "/LANG=de \"/D=C:\\My Apps\\Tool\" a\\\"b  \"\" ";
  ASSERT_EQ(Run({{"PROBE_FOLDERS", first + "|" + destination}}, "  " + arguments), 0u);
  EXPECT_TRUE(fs::is_empty(first));

  // Entry 0 is started from the system folder, where it stays.
  ASSERT_TRUE(probe.exists);
  EXPECT_EQ(probe.command_line, SystemCopy() + " /Splash");
  EXPECT_TRUE(probe.has_installer);
  EXPECT_EQ(probe.installer, installer);
  EXPECT_TRUE(probe.has_arguments);
  EXPECT_EQ(probe.arguments, arguments);
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

  ASSERT_EQ(Run(), 2u);
  ASSERT_TRUE(probe.exists);
  ASSERT_FALSE(probe.reports.empty());
  EXPECT_EQ(probe.reports.back().name, "broken.bin");
  EXPECT_EQ(probe.messages, std::vector<std::string>{"message 1026 0 0"});
  EXPECT_EQ(probe.sequence[probe.sequence.size() - 2], "message 1026");
  ExpectExtracted({front_end_name, "first.txt"});
  EXPECT_EQ(Listing(), (std::vector<std::string>{"first.txt", front_end_name}));
}

// A front-end reports its own outcome: by WM_CLOSE's wParam before the
// order, by its reply to the success message after it.
TEST_F(Installer, TheFrontEndsOutcomeIsTheExitCode) {
  Build({Probe(), Data("a.txt", testing::TextLike(5000, 8))});
  for (const uint32_t code : {0u, 5u}) {
    SCOPED_TRACE(code);
    ASSERT_EQ(Run({{"PROBE_FINISH", "close " + std::to_string(code)}}), code);
    ASSERT_TRUE(probe.exists);
    EXPECT_TRUE(fs::is_empty(destination));
    EXPECT_TRUE(probe.reports.empty());
    EXPECT_TRUE(probe.messages.empty());
    EXPECT_EQ(probe.finish, "close " + std::to_string(code) + " 0");
    fs::remove(log);
  }
  ASSERT_EQ(Run({{"PROBE_REPLY", "9"}}), 9u);
  EXPECT_EQ(probe.messages, std::vector<std::string>{"message 1025 0 0"});
  ExpectExtracted({front_end_name, "a.txt"});
}

// Unattended runs must end, each with its own code and no box to wait on
// under a silent switch: no entries, entry 0 no program, a front-end that
// ends at once without a word. (An installer too deep to read itself is
// tried in tests/tools: Wine starts such a path only from a Unix shell.)
TEST_F(Installer, EveryWayOfGoingWrongEndsTheRunWithItsOwnCode) {
  Bytes image = testing::ReadFileBytes(ProgramFolder() + "\\unpacker.exe");
  image.insert(image.end(), 4, 0);
  testing::WriteFileBytes(installer, image);
  ASSERT_EQ(Run({}, " /S"), 1u);
  EXPECT_FALSE(probe.exists);

  // "MZ" and junk: the platform might start it as something else.
  Bytes not_a_program = testing::RandomBytes(4000, 9);
  not_a_program[0] = 'M';
  not_a_program[1] = 'Z';
  Build({FrontEnd(ByteSource::Memory(not_a_program)), Data("a.txt", testing::TextLike(500, 10))});
  ASSERT_EQ(Run({}, " /verysilent"), 3u);
  EXPECT_FALSE(probe.exists);
  EXPECT_EQ(testing::ReadFileBytes(SystemCopy()), not_a_program);

  Build({Probe(), Data("a.txt", testing::TextLike(500, 10))});
  ASSERT_EQ(Run({{"PROBE_FINISH", "none"}}), 4u);
  EXPECT_TRUE(probe.ended);
  EXPECT_TRUE(fs::is_empty(destination));
}

// As root the prefix's system folder can be written; a folder of entry 0's
// name stands in the way as a standard user's rights would.
TEST_F(Installer, WhereTheSystemFolderCannotBeWrittenEntryZeroRunsFromATemporaryFolder) {
  Build({Probe(), Data("readme.txt", testing::TextLike(20000, 11))});
  fs::create_directory(SystemCopy());
  const uint32_t code = Run();
  fs::remove(SystemCopy());
  ASSERT_EQ(code, 0u);
  ASSERT_TRUE(probe.exists);
  const std::string prefix = NativeWindowSystem().TemporaryFolderPath() + "\\stowaway-";
  ASSERT_EQ(probe.command_line.substr(0, prefix.size()), prefix) << probe.command_line;
  const std::string program =
      probe.command_line.substr(0, probe.command_line.size() - std::string(" /Splash").size());
  EXPECT_EQ(program, fs::path(program).parent_path().string() + "\\" + front_end_name);
  EXPECT_EQ(testing::ReadFileBytes(program), contents.at(front_end_name));
  fs::remove_all(fs::path(program).parent_path());
  ExpectExtracted({front_end_name, "readme.txt"});
  EXPECT_EQ(probe.messages, std::vector<std::string>{"message 1025 0 0"});
}

// Wine takes its own library of a name it has unless told, for a program of
// that file name, to prefer one found on the search path (a setting of the
// prefix, which other programs do not see).
class PreferFoundLibrary {
 public:
  PreferFoundLibrary(std::vector<std::string> programs, std::string library)
      : programs_(std::move(programs)), library_(std::move(library)) {
    for (const std::string& program : programs_) {
      Registry("add \"" + Key(program) + "\" /v " + library_ + " /d native,builtin /f");
    }
  }
  ~PreferFoundLibrary() {
    for (const std::string& program : programs_) Registry("delete \"" + Key(program) + "\" /f");
  }

 private:
  static std::string Key(const std::string& program) {
    return "HKCU\\Software\\Wine\\AppDefaults\\" + program + "\\DllOverrides";
  }
  static void Registry(const std::string& arguments) {
    ChildProcess reg("reg.exe " + arguments);
    EXPECT_TRUE(reg.WaitForExit(TimeOut));
    EXPECT_EQ(reg.ExitCode(), 0u) << arguments;
  }

  std::vector<std::string> programs_;
  std::string library_;
};

// The probe does not restrict its library search, so it shows that the
// planted library would be taken from beside a program; beside the
// installer it is not.
TEST_F(Installer, ALibraryPlantedBesideTheInstallerIsNotLoaded) {
  installer = dir.File("planted-setup.exe");
  const std::string probe_copy = dir.File("planted-probe.exe");
  const PreferFoundLibrary prefer({"planted-setup.exe", "planted-probe.exe"}, "uxtheme");
  const std::string planted_log = dir.File("planted.log");
  const std::map<std::string, std::string> planting = {{"PLANTED_LOG", planted_log}};
  fs::copy_file(ProgramFolder() + "\\planted.dll", dir.File("uxtheme.dll"));

  fs::copy_file(ProgramFolder() + "\\probe_frontend.exe", probe_copy);
  std::map<std::string, std::string> alone = planting;
  alone.emplace("PROBE_LOG", log);
  alone.emplace("PROBE_FINISH", "none");
  ChildProcess beside('"' + probe_copy + '"', alone);
  ASSERT_TRUE(beside.WaitForExit(TimeOut));
  ASSERT_TRUE(fs::exists(planted_log)) << "the planted library was not loaded beside the probe";
  fs::remove(planted_log);
  fs::remove(log);

  Build({Probe(), Data("a.txt", testing::TextLike(500, 12))});
  ASSERT_EQ(Run(planting), 0u);
  ExpectExtracted({front_end_name, "a.txt"});
  EXPECT_FALSE(fs::exists(planted_log));
}

// Both unpackers ask for what they should, and are linked only against
// libraries the system loads from its own folder whatever the search path
// (its known libraries), since they load before the program can restrict
// the search.
TEST(Unpackers, CarryTheirManifestAndImportOnlyKnownSystemLibraries) {
  const std::vector<std::string> known = {
      "advapi32.dll", "comdlg32.dll", "gdi32.dll", "imm32.dll",   "kernel32.dll",
      "msvcrt.dll",   "ole32.dll",    "oleaut32.dll", "rpcrt4.dll", "sechost.dll",
      "shell32.dll",  "shlwapi.dll",  "user32.dll", "ws2_32.dll"};
  for (const auto& [name, level] : {std::pair{"unpacker.exe", "requireAdministrator"},
                                    std::pair{"unpacker-user.exe", "asInvoker"}}) {
    SCOPED_TRACE(name);
    const testing::PeImage image = testing::ReadPeImage(ProgramFolder() + "\\" + name);
    for (std::string library : image.imports) {
      for (char& c : library) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      EXPECT_NE(std::find(known.begin(), known.end(), library), known.end()) << library;
    }
    EXPECT_NE(image.manifest.find(std::string("<requestedExecutionLevel level=\"") + level + '"'),
              std::string::npos)
        << image.manifest;
    for (const char* os : {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                           "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
      EXPECT_NE(image.manifest.find(os), std::string::npos) << os;
    }
  }
}

TEST_F(Installer, PackChoosesTheUnpackerByElevation) {
  testing::WriteFileBytes(dir.File("a.txt"), testing::TextLike(300, 13));
  const std::string probe_program = ProgramFolder() + "\\probe_frontend.exe";
  int count = 0;
  for (const auto& [option, level] : {std::pair{"", "requireAdministrator"},
                                      std::pair{" --elevation admin", "requireAdministrator"},
                                      std::pair{" --elevation user", "asInvoker"}}) {
    SCOPED_TRACE(option);
    installer = dir.File("packed" + std::to_string(++count) + ".exe");
    ChildProcess pack('"' + ProgramFolder() + "\\stowaway.exe\" pack -q -o \"" + installer +
                      "\" --front-end \"" + probe_program + '"' + option + " \"" +
                      dir.File("a.txt") + '"');
    ASSERT_TRUE(pack.WaitForExit(TimeOut));
    ASSERT_EQ(pack.ExitCode(), 0u);
    EXPECT_NE(testing::ReadPeImage(installer).manifest.find(std::string("level=\"") + level + '"'),
              std::string::npos);
  }
  // The user variant runs as the other does.
  front_end_name = "probe_frontend.exe";
  ASSERT_EQ(Run(), 0u);
  EXPECT_EQ(probe.messages, std::vector<std::string>{"message 1025 0 0"});
}

}  // namespace
}  // namespace stowaway
