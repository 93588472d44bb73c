// The unpacker's start-up, dispatch and reports, on a fake window layer and
// real archives in real folders.
#include "app/unpacker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

#include "app/percent.h"
#include "archive/directory.h"
#include "archive/writer.h"
#include "tests/app/fake_windows.h"
#include "tests/archive/archive_builder.h"
#include "tests/support/faults.h"
#include "tests/support/test_data.h"

namespace stowaway {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::FakeWindows;
using testing::Received;

struct Report {
  std::string name;
  int32_t read = 0;
  int32_t written = 0;
  int percent = 0;
};

Report Decode(const Received& message) {
  ProgressReport raw;
  std::memcpy(&raw, message.data.data(), sizeof raw);
  Report report;
  report.name.assign(reinterpret_cast<const char*>(raw.EntryName + 1), raw.EntryName[0]);
  report.read = raw.BytesRead;
  report.written = raw.BytesWritten;
  report.percent = raw.Percent;
  return report;
}

// Enough of a Windows program's headers for the unpacker to start it.
Bytes ProgramLike(size_t size, uint32_t seed) {
  Bytes program = testing::BinaryLike(size, seed);
  program[0] = 'M';
  program[1] = 'Z';
  testing::PutLE32(program, 0x3C, 0x80);
  std::memcpy(program.data() + 0x80, "PE\0\0", 4);
  return program;
}

class UnpackerRun : public ::testing::Test {
 protected:
  UnpackerRun() {
    Unpacker = UnpackerState{};
    // As the platform gives it, so that its file-name part is found.
    windows.module_path = dir.File("installer.exe");
    windows.system_folder = dir.File("system");
    windows.temporary_folder = dir.File("temp");
    destination = dir.File("dest");
    fs::create_directory(windows.system_folder);
    fs::create_directory(windows.temporary_folder);
    fs::create_directory(destination);
  }

  // setup.exe, then text over two blocks, an empty file and random bytes.
  void WriteUsualInstaller() {
    contents = {{"setup.exe", ProgramLike(3000, 1)},
                {"readme.txt", testing::TextLike(70000, 2)},
                {"empty.dat", {}},
                {"data.bin", testing::RandomBytes(40000, 3)}};
    std::vector<ArchiveItem> items;
    for (const std::string& name : Order()) items.push_back({name, "", ByteSource::Memory(contents.at(name))});
    WriteArchiveFile(windows.module_path, ByteSource::Memory(testing::ToBytes("MZ stub image")),
                     items, ArchiveLayout::FileNames);
  }
  static std::vector<std::string> Order() { return {"setup.exe", "readme.txt", "empty.dat", "data.bin"}; }

  void FrontEndOrders(const std::string& folder) {
    windows.script.push_back([this, folder] {
      windows.SendFolder(folder);
      EXPECT_EQ(windows.SendToUnpacker(UM_EXTRACT_ALL), 0);
    });
  }

  std::vector<Received> Reports() const {
    std::vector<Received> reports;
    for (const Received& r : windows.front_end) {
      if (r.message == WmCopyData) reports.push_back(r);
    }
    return reports;
  }

  std::vector<uint32_t> FinalMessages() const {
    std::vector<uint32_t> finals;
    for (const Received& r : windows.front_end) {
      if (r.message != WmCopyData) finals.push_back(r.message);
    }
    return finals;
  }

  bool Called(const std::string& call) const {
    return std::find(windows.calls.begin(), windows.calls.end(), call) != windows.calls.end();
  }

  void ExpectExtracted(const std::string& folder, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
      ASSERT_TRUE(fs::exists(fs::path(folder) / name)) << name;
      EXPECT_EQ(testing::ReadFileBytes(fs::path(folder) / name), contents.at(name)) << name;
    }
  }

  static size_t FilesIn(const std::string& folder) { return testing::Listing(folder).size(); }

  testing::TempDir dir;
  FakeWindows windows;
  std::string destination;
  std::map<std::string, Bytes> contents;
};

// The class, the hidden window, entry 0 into the system folder, the
// front-end started from there with the installer's path and arguments in
// its environment, then a report at every progress point and the success
// message.
TEST_F(UnpackerRun, ACompleteRun) {
  WriteUsualInstaller();
  testing::WriteFileBytes(fs::path(windows.system_folder) / "setup.exe", testing::TextLike(9000, 4));
  Bytes on_disk_when_started;
  windows.on_start = [&](const std::string&) {
    on_disk_when_started = testing::ReadFileBytes(fs::path(windows.system_folder) / "setup.exe");
  };
  windows.command_line = "\"C:\\Down loads\\setup.exe\"  \t/S  /D=\"C:\\Apps\\My Tool\" ";
  FrontEndOrders(destination);
  ASSERT_EQ(RunUnpacker(windows), 0);

  ASSERT_GE(windows.calls.size(), 9u);
  const std::vector<std::string> start(windows.calls.begin(), windows.calls.begin() + 9);
  EXPECT_EQ(start, (std::vector<std::string>{
                       "StandardIcon 32512", "StandardCursor 32512", "RegisterWindowClass",
                       "CreateTopLevelWindow", "UpdateWindowNow", "SystemFolderPath", "ModulePath",
                       "StartProgram", "NextMessage"}));
  EXPECT_EQ(windows.registered.name, "Window1");
  EXPECT_EQ(windows.registered.style, 3u);
  EXPECT_EQ(windows.registered.procedure, &UnpackerWindowProc);
  EXPECT_EQ(windows.registered.icon, 0x1C0u);
  EXPECT_EQ(windows.registered.cursor, 0xC0u);
  EXPECT_EQ(windows.registered.background, 5u);

  EXPECT_EQ(windows.created.extendedStyle, 0u);
  EXPECT_EQ(windows.created.className, "Window1");
  EXPECT_EQ(windows.created.title, "fUnpackerForm");
  EXPECT_EQ(windows.created.style, 0x00CF0000u);  // overlapped, not visible
  for (int32_t value : {windows.created.left, windows.created.top, windows.created.width,
                        windows.created.height}) {
    EXPECT_EQ(static_cast<uint32_t>(value), 0x80000000u);
  }
  EXPECT_EQ(Unpacker.UnpackerWindow, FakeWindows::UnpackerHandle);

  EXPECT_EQ(windows.programs, std::vector<std::string>{windows.system_folder + "\\setup.exe"});
  EXPECT_EQ(windows.started,
            std::vector<std::string>{windows.system_folder + "\\setup.exe /Splash"});
  EXPECT_EQ(windows.environments,
            (std::vector<std::map<std::string, std::string>>{
                {{"STOWAWAY_INSTALLER", windows.module_path},
                 {"STOWAWAY_ARGS", "/S  /D=\"C:\\Apps\\My Tool\" "}}}));
  EXPECT_EQ(windows.show_commands, std::vector<int32_t>{5});
  EXPECT_EQ(on_disk_when_started, contents.at("setup.exe"));
  EXPECT_EQ(Unpacker.SystemFolder, windows.system_folder);
  // Extracted again with all the others; the copy in the system folder stays.
  ExpectExtracted(destination, Order());
  EXPECT_TRUE(fs::exists(fs::path(windows.system_folder) / "setup.exe"));

  ASSERT_FALSE(windows.front_end.empty());
  EXPECT_EQ(windows.front_end.back().message, UM_EXTRACT_DONE);
  EXPECT_EQ(windows.front_end.back().wParam, 0u);
  EXPECT_EQ(windows.front_end.back().lParam, 0);
  EXPECT_EQ(FinalMessages(), std::vector<uint32_t>{UM_EXTRACT_DONE});
  EXPECT_EQ(windows.calls.back(), "PostQuit 0");

  std::map<std::string, int32_t> packed;
  for (const ArchiveDirectoryEntry& entry : ReadDirectory(windows.module_path)) {
    packed[entry.FileName] = entry.EndOffset - entry.StartOffset;
  }
  std::vector<std::string> order;
  Report last;
  for (const Received& message : Reports()) {
    EXPECT_EQ(message.wParam, static_cast<WParam>(FakeWindows::UnpackerHandle));
    EXPECT_EQ(message.lParam, reinterpret_cast<LParam>(&Unpacker.ReportEnvelope));
    EXPECT_EQ(message.dwData, 0u);
    EXPECT_EQ(message.cbData, 265u);
    ASSERT_EQ(message.data.size(), 265u);
    const Report report = Decode(message);
    ASSERT_TRUE(packed.count(report.name)) << report.name;
    if (order.empty() || order.back() != report.name) {
      if (!order.empty()) {
        EXPECT_EQ(last.written, static_cast<int32_t>(contents.at(last.name).size())) << last.name;
        // An empty entry's body is never read: its last report stays below 100.
        if (!contents.at(last.name).empty()) {
          EXPECT_EQ(last.percent, 100) << last.name;
        }
      }
      order.push_back(report.name);
    } else {
      EXPECT_GE(report.read, last.read);
      EXPECT_GE(report.written, last.written);
    }
    EXPECT_LE(report.read, packed.at(report.name));
    EXPECT_EQ(report.percent, Percent(report.read, packed.at(report.name)));
    last = report;
  }
  EXPECT_EQ(last.percent, 100);
  EXPECT_EQ(order, Order());
  EXPECT_GE(Reports().size(), 8u);
  EXPECT_EQ(Unpacker.ReportEnvelope.lpData, &Unpacker.ReportBuffer);
}

// The last folder before the order wins; a folder and a second order sent
// while the reports go out change nothing in the extraction under way.
TEST_F(UnpackerRun, FoldersAndOrdersDuringTheRun) {
  WriteUsualInstaller();
  const std::string first = dir.File("first");
  const std::string later = dir.File("later");
  fs::create_directory(first);
  fs::create_directory(later);
  windows.script.push_back([&] { windows.SendFolder(first); });
  windows.on_front_end_message = [&](const Received& message) {
    if (message.message != WmCopyData) return;
    if (Reports().size() == 1) windows.SendFolder(later);
    if (Reports().size() == 2) {
      EXPECT_EQ(windows.SendToUnpacker(UM_EXTRACT_ALL), 0);
    }
  };
  FrontEndOrders(destination);
  ASSERT_EQ(RunUnpacker(windows), 0);
  ExpectExtracted(destination, Order());
  EXPECT_EQ(FilesIn(first), 0u);
  EXPECT_EQ(FilesIn(later), 0u);
  EXPECT_EQ(Unpacker.DestinationFolder, later);
  EXPECT_EQ(FinalMessages(), std::vector<uint32_t>{UM_EXTRACT_DONE});
}

// Each with its exit code, shown in the failure report unless the installer
// was given a silent switch; the run ends at once and nothing is started.
TEST_F(UnpackerRun, StartUpFailuresEndAtOnceWithTheirExitCode) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    int exit_code;
    std::string message;  // the end of the report's text
  };
  const std::string installer = dir.File("installer.exe");
  // Not there: its length alone is refused, before anything is read.
  const std::string long_path = dir.File(std::string(250, 'x')) + "\\installer.exe";
  const std::vector<Case> cases = {
      {"class not registered", [this] { windows.register_succeeds = false; }, 1,
       "The installer cannot register its window."},
      {"window not created", [this] { windows.create_succeeds = false; }, 1,
       "The installer cannot create its window."},
      {"no archive file", [this] { windows.module_path = dir.File("missing.exe"); }, 1,
       "The installer's archive cannot be read: " + dir.File("missing.exe") +
           "; download the installer again."},
      {"no entries",
       [this] {
         windows.module_path = dir.File("empty.exe");
         testing::WriteFileBytes(windows.module_path, Bytes{'M', 'Z', 0, 0, 0, 0});
       },
       1, "The installer's archive cannot be read: " + dir.File("empty.exe") +
              "; download the installer again."},
      {"a path too long to read the archive from",
       [&] { windows.module_path = long_path; },
       1, "The installer's path is " + std::to_string(long_path.size()) +
              " characters long, and it can read its archive only from a path of at most 259: " +
              long_path + "; move it to a shorter path."},
      {"front-end cannot be started", [this] { windows.start_succeeds = false; }, 3,
       "The installer's front-end cannot be started: " + dir.File("system") + "\\setup.exe."},
  };
  WriteUsualInstaller();
  for (const bool silent : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (silent ? ", silent" : ""));
      Unpacker = UnpackerState{};
      windows = FakeWindows{};
      windows.module_path = installer;
      windows.system_folder = dir.File("system");
      windows.command_line = silent ? "setup.exe /d=x /verysilent" : "setup.exe /SILENTLY";
      c.arrange();
      EXPECT_EQ(RunUnpacker(windows), c.exit_code);
      EXPECT_FALSE(Called("NextMessage"));
      EXPECT_TRUE(windows.front_end.empty());
      ASSERT_EQ(windows.boxes.size(), silent ? 0u : 1u);
      if (silent) continue;
      EXPECT_EQ(windows.boxes[0].caption, "Application Error");
      const std::string& text = windows.boxes[0].text;
      ASSERT_GE(text.size(), c.message.size());
      EXPECT_EQ(text.substr(text.size() - c.message.size()), c.message);
    }
  }
  EXPECT_EQ(FilesIn(destination), 0u);
}

TEST_F(UnpackerRun, AnEntryThatCannotBeWrittenAnywhereIsReportedAndEndsWithOne) {
  WriteUsualInstaller();
  windows.system_folder = dir.File("no such folder");
  windows.temporary_folder = dir.File("no temporary folder");
  EXPECT_EQ(RunUnpacker(windows), 1);

  ASSERT_EQ(windows.boxes.size(), 1u);
  const testing::ShownBox& box = windows.boxes[0];
  EXPECT_EQ(box.caption, "Application Error");
  EXPECT_EQ(box.flags, 0x2010u);  // task-modal, error icon
  const std::string head = "Exception EUnpackerError in module installer.exe at ";
  const std::string tail = ".\nThe installer cannot make a folder for its front-end in the "
                           "temporary folder " + windows.temporary_folder + ".";
  ASSERT_EQ(box.text.size(), head.size() + 2 * sizeof(void*) + tail.size()) << box.text;
  EXPECT_EQ(box.text.substr(0, head.size()), head);
  EXPECT_EQ(box.text.substr(box.text.size() - tail.size()), tail);
  const std::string address = box.text.substr(head.size(), 2 * sizeof(void*));
  EXPECT_EQ(address.find_first_not_of("0123456789ABCDEF"), std::string::npos) << address;
  EXPECT_NE(address.find_first_not_of('0'), std::string::npos) << address;
  EXPECT_TRUE(windows.started.empty());
  EXPECT_FALSE(Called("NextMessage"));
}

// A folder of entry 0's name stands in the system folder's way, as a policy
// or a standard user's rights would: entry 0 goes to a new folder under the
// temporary folder and is started from there; the run goes on as usual.
TEST_F(UnpackerRun, WhereTheSystemFolderCannotBeWrittenEntryZeroRunsFromAFolderOfItsOwn) {
  WriteUsualInstaller();
  fs::create_directory(fs::path(windows.system_folder) / "setup.exe");
  fs::create_directory(fs::path(windows.temporary_folder) / "earlier");
  FrontEndOrders(destination);
  ASSERT_EQ(RunUnpacker(windows), 0);

  ASSERT_EQ(windows.programs.size(), 1u);
  const std::string program = windows.programs[0];
  const std::string prefix = windows.temporary_folder + "\\stowaway-";
  ASSERT_EQ(program.substr(0, prefix.size()), prefix);
  const size_t start = windows.temporary_folder.size() + 1;
  const std::string name =
      program.substr(start, program.size() - start - std::strlen("\\setup.exe"));
  EXPECT_EQ(program, windows.temporary_folder + "\\" + name + "\\setup.exe");
  EXPECT_EQ(windows.started, std::vector<std::string>{program + " /Splash"});
  EXPECT_EQ(testing::Listing(windows.temporary_folder).size(), 2u);
  // The copy stays, as the system folder's would.
  EXPECT_EQ(testing::ReadFileBytes(fs::path(windows.temporary_folder) / name / "setup.exe"),
            contents.at("setup.exe"));
  ExpectExtracted(destination, Order());
  EXPECT_EQ(FinalMessages(), std::vector<uint32_t>{UM_EXTRACT_DONE});
}

// An entry 0 that is no program is not started, whatever the platform
// would make of it; one whose name holds a space is started by its path,
// not by the first word of its command line.
TEST_F(UnpackerRun, EntryZeroIsStartedOnlyAsTheProgramItIs) {
  Bytes not_a_program = ProgramLike(4000, 5);
  not_a_program[0x81] = 'X';
  testing::WriteFileBytes(dir.File("installer.exe"), testing::ArchiveBuilder()
                                                      .AddFile(not_a_program, "setup.exe")
                                                   .AddFile(testing::TextLike(100, 6), "a.txt")
                                                   .Build());
  EXPECT_EQ(RunUnpacker(windows), 3);
  EXPECT_TRUE(windows.programs.empty());
  ASSERT_EQ(windows.boxes.size(), 1u);
  EXPECT_NE(windows.boxes[0].text.find("EFrontEndStartError"), std::string::npos);
  EXPECT_NE(windows.boxes[0].text.find("The installer's front-end is not a Windows program: " +
                                       windows.system_folder + "\\setup.exe."),
            std::string::npos)
      << windows.boxes[0].text;

  Unpacker = UnpackerState{};
  windows = FakeWindows{};
  windows.module_path = dir.File("spaced.exe");
  windows.system_folder = dir.File("system");
  contents = {{"net setup.exe", ProgramLike(3000, 7)}};
  testing::WriteFileBytes(windows.module_path,
                          testing::ArchiveBuilder().AddFile(contents.at("net setup.exe"), "net setup.exe").Build());
  FrontEndOrders(destination);
  ASSERT_EQ(RunUnpacker(windows), 0);
  const std::string program = windows.system_folder + "\\net setup.exe";
  EXPECT_EQ(windows.programs, std::vector<std::string>{program});
  EXPECT_EQ(windows.started, std::vector<std::string>{'"' + program + "\" /Splash"});
  ExpectExtracted(destination, {"net setup.exe"});
}

// 0 after success when the front-end's reply to it is 0, else that reply;
// 2 after a failure; before an order, WM_CLOSE's wParam.
TEST_F(UnpackerRun, TheExitCodeSaysHowTheRunEnded) {
  WriteUsualInstaller();
  windows.on_front_end_message = [&](const Received& message) {
    if (message.message == UM_EXTRACT_DONE) windows.front_end_reply = 9;
  };
  FrontEndOrders(destination);
  EXPECT_EQ(RunUnpacker(windows), 9);
  EXPECT_EQ(FinalMessages(), std::vector<uint32_t>{UM_EXTRACT_DONE});

  for (const WParam code : {WParam{0}, WParam{5}}) {
    SCOPED_TRACE(code);
    Unpacker = UnpackerState{};
    windows = FakeWindows{};
    windows.module_path = dir.File("installer.exe");
    windows.system_folder = dir.File("system");
    windows.script.push_back([&] {
      windows.SendFolder(destination);
      windows.SendToUnpacker(WmClose, code);
    });
    EXPECT_EQ(RunUnpacker(windows), static_cast<int>(code));
    EXPECT_TRUE(windows.destroyed);
    EXPECT_TRUE(windows.front_end.empty());
  }
  EXPECT_EQ(FilesIn(destination), Order().size());

  // Once the order is taken, a WM_CLOSE, even one that destroys the window
  // while the reply is handled, leaves the outcome's code.
  Unpacker = UnpackerState{};
  windows = FakeWindows{};
  windows.module_path = dir.File("installer.exe");
  windows.system_folder = dir.File("system");
  windows.on_front_end_message = [&](const Received& message) {
    if (message.message == UM_EXTRACT_DONE) windows.SendToUnpacker(WmClose, 7);
  };
  FrontEndOrders(destination);
  EXPECT_EQ(RunUnpacker(windows), 0);
  EXPECT_TRUE(windows.destroyed);
}

TEST_F(UnpackerRun, AFailedEntryGetsReportsThenFailedAndLeavesTheEntriesBeforeIt) {
  WriteUsualInstaller();
  // The second block write of readme.txt fails: setup.exe takes one write,
  // readme.txt three.
  testing::FaultyFiles files({testing::FaultOp::Write, 3});
  windows.script.push_back([&] {
    ScopedFileSystem faulty(files);
    windows.SendFolder(destination);
    windows.SendToUnpacker(UM_EXTRACT_ALL);
  });
  ASSERT_EQ(RunUnpacker(windows), 2);

  EXPECT_EQ(FinalMessages(), std::vector<uint32_t>{UM_EXTRACT_FAILED});
  EXPECT_EQ(windows.front_end.back().message, UM_EXTRACT_FAILED);
  ASSERT_FALSE(Reports().empty());
  EXPECT_EQ(Decode(Reports().back()).name, "readme.txt");
  ExpectExtracted(destination, {"setup.exe"});
  EXPECT_EQ(FilesIn(destination), 1u);
  EXPECT_EQ(files.OpenCount(), 0u);
  EXPECT_TRUE(Called("PostQuit 2"));
}

// A second order posted while the first runs waits in the queue until the
// first has ended; it is not obeyed, nor one after a failed extraction.
TEST_F(UnpackerRun, OneExtractionPerRunHoweverManyOrdersArePosted) {
  WriteUsualInstaller();
  windows.script.push_back([&] {
    windows.SendFolder(destination);
    windows.PostToUnpacker(UM_EXTRACT_ALL);
    windows.PostToUnpacker(UM_EXTRACT_ALL);
  });
  windows.on_front_end_message = [&](const Received& message) {
    if (message.message == UM_EXTRACT_DONE) fs::remove(fs::path(destination) / "readme.txt");
  };
  EXPECT_EQ(RunUnpacker(windows), 0);
  EXPECT_TRUE(Called("TranslateKeys"));
  EXPECT_EQ(FinalMessages(), std::vector<uint32_t>{UM_EXTRACT_DONE});
  EXPECT_FALSE(fs::exists(fs::path(destination) / "readme.txt"));
}

// A payload too short for the length it announces is no folder: without a
// folder before the order, the order fails and nothing is written (rather
// than the files going to the root of the current drive).
TEST_F(UnpackerRun, AnOrderWithoutAFolderFailsWithNothingWritten) {
  WriteUsualInstaller();
  windows.script.push_back([&] {
    uint8_t payload[] = {5, 'D', ':', '\\', 'o'};
    CopyData data;
    data.cbData = sizeof payload;
    data.lpData = payload;
    windows.SendToUnpacker(WmCopyData, 0, reinterpret_cast<LParam>(&data));
    windows.SendToUnpacker(UM_EXTRACT_ALL);
  });
  EXPECT_EQ(RunUnpacker(windows), 2);
  EXPECT_EQ(FinalMessages(), std::vector<uint32_t>{UM_EXTRACT_FAILED});
  EXPECT_TRUE(Reports().empty());
  EXPECT_EQ(Unpacker.DestinationFolder, "");
}

TEST_F(UnpackerRun, WithoutAFrontEndWindowEveryMessageIsLostAndTheRunEndsAlike) {
  WriteUsualInstaller();
  windows.front_end_present = false;
  FrontEndOrders(destination);
  EXPECT_EQ(RunUnpacker(windows), 0);
  ExpectExtracted(destination, Order());
  EXPECT_GE(windows.lost_sends, 9);
  EXPECT_TRUE(windows.front_end.empty());
}

// A front-end that ends without a word ends the run once its process and
// its window have been gone for the grace period; one that hands over to
// another process, whose window turns up within it, is served as usual.
TEST_F(UnpackerRun, TheFrontEndIsWatched) {
  WriteUsualInstaller();
  windows.front_end_running = false;
  windows.front_end_present = false;
  EXPECT_EQ(RunUnpacker(windows), 4);
  const uint32_t waited = windows.clock - 1000;
  EXPECT_GE(waited, FrontEndGracePeriod);
  EXPECT_LE(waited, FrontEndGracePeriod + WatchInterval);
  EXPECT_TRUE(windows.boxes.empty());
  EXPECT_EQ(FilesIn(destination), 0u);

  Unpacker = UnpackerState{};
  windows = FakeWindows{};
  windows.module_path = dir.File("installer.exe");
  windows.system_folder = dir.File("system");
  windows.front_end_present = false;
  // The first process runs for a second and a half; the second one's window
  // turns up four seconds after that and stays a while, then it orders.
  windows.on_tick = [&] {
    const uint32_t now = windows.clock - 1000;
    windows.front_end_running = now < 1500;
    windows.front_end_present = now >= 5500;
    if (now == 9000) FrontEndOrders(destination);
  };
  EXPECT_EQ(RunUnpacker(windows), 0);
  ExpectExtracted(destination, Order());
  EXPECT_TRUE(windows.timers.empty());
}

// Whatever a message's handling raises stays inside the procedure: during
// the extraction it fails the extraction, at other times it ends the loop
// and is reported at the end (no box under a silent switch).
TEST_F(UnpackerRun, AnExceptionInTheWindowProcedureEndsTheRunThroughItsFailurePath) {
  WriteUsualInstaller();
  windows.script.push_back([&] {
    windows.default_throws = true;
    windows.SendToUnpacker(WmClose, 5);
  });
  EXPECT_EQ(RunUnpacker(windows), 1);
  ASSERT_EQ(windows.boxes.size(), 1u);
  EXPECT_NE(windows.boxes[0].text.find("default handling failed."), std::string::npos);

  Unpacker = UnpackerState{};
  windows = FakeWindows{};
  windows.module_path = dir.File("installer.exe");
  windows.system_folder = dir.File("system");
  windows.command_line = "setup.exe /s";
  windows.on_front_end_message = [&](const Received& message) {
    if (message.message != WmCopyData) return;
    windows.default_throws = true;
    windows.SendFolder("elsewhere");
    windows.default_throws = false;
  };
  FrontEndOrders(destination);
  EXPECT_EQ(RunUnpacker(windows), 2);
  EXPECT_EQ(FinalMessages(), std::vector<uint32_t>{UM_EXTRACT_FAILED});
  EXPECT_TRUE(windows.boxes.empty());
}

class WindowProcedure : public ::testing::Test {
 protected:
  WindowProcedure() {
    Unpacker = UnpackerState{};
    Unpacker.Windows = &windows;
    Unpacker.DestinationFolder = "C:\\kept";
  }

  LResult CopyDataWith(const CopyData* data) {
    return UnpackerWindowProc(FakeWindows::UnpackerHandle, WmCopyData, 0,
                              reinterpret_cast<LParam>(data));
  }

  FakeWindows windows;
};

TEST_F(WindowProcedure, CopyDataTakesTheFolderAndReturnsTheDefaultResult) {
  windows.default_result = 7;
  uint8_t payload[] = {5, 'D', ':', '\\', 'o', 'k', 'X', 'Y'};
  CopyData data;
  data.dwData = 42;
  data.cbData = sizeof payload;
  data.lpData = payload;
  EXPECT_EQ(CopyDataWith(&data), 7);
  EXPECT_EQ(Unpacker.DestinationFolder, "D:\\ok");
  EXPECT_EQ(windows.calls, std::vector<std::string>{"DefaultProcedure 74"});
  EXPECT_TRUE(Unpacker.FolderReceived);

  data.cbData = 6;  // exactly the length byte and the characters
  payload[1] = 'E';
  CopyDataWith(&data);
  EXPECT_EQ(Unpacker.DestinationFolder, "E:\\ok");

  // An empty folder, said so, is the root of the current drive.
  Unpacker.FolderReceived = false;
  payload[0] = 0;
  data.cbData = 1;
  CopyDataWith(&data);
  EXPECT_EQ(Unpacker.DestinationFolder, "");
  EXPECT_TRUE(Unpacker.FolderReceived);
}

TEST_F(WindowProcedure, APayloadShorterThanItClaimsLeavesTheFolder) {
  uint8_t payload[] = {5, 'D', ':', '\\', 'o', 'k'};
  CopyData data;
  data.lpData = payload;
  for (uint32_t size : {0u, 1u, 5u}) {
    data.cbData = size;
    CopyDataWith(&data);
    EXPECT_EQ(Unpacker.DestinationFolder, "C:\\kept") << size;
  }
  data.cbData = 6;
  data.lpData = nullptr;
  CopyDataWith(&data);
  EXPECT_EQ(Unpacker.DestinationFolder, "C:\\kept");
  CopyDataWith(nullptr);
  EXPECT_EQ(Unpacker.DestinationFolder, "C:\\kept");
  EXPECT_FALSE(Unpacker.FolderReceived);
  // Passed on to the default handling all the same.
  EXPECT_EQ(std::count(windows.calls.begin(), windows.calls.end(), "DefaultProcedure 74"), 5);
}

TEST_F(WindowProcedure, DestroyEndsTheLoopAndOtherMessagesGoToTheDefault) {
  windows.default_result = -3;
  EXPECT_EQ(UnpackerWindowProc(FakeWindows::UnpackerHandle, WmDestroy, 0, 0), 0);
  EXPECT_EQ(windows.calls, std::vector<std::string>{"PostQuit 0"});
  windows.calls.clear();
  for (uint32_t message : {UM_EXTRACT_DONE, UM_EXTRACT_FAILED, WmUser + 3, WmClose + 0u, 1u}) {
    EXPECT_EQ(UnpackerWindowProc(FakeWindows::UnpackerHandle, message, 1, 2), -3);
  }
  EXPECT_EQ(windows.calls, (std::vector<std::string>{
                               "DefaultProcedure 1025", "DefaultProcedure 1026",
                               "DefaultProcedure 1027", "DefaultProcedure 16", "DefaultProcedure 1"}));
}

TEST_F(WindowProcedure, NothingRaisedInsideLeavesIt) {
  windows.default_throws = true;
  LResult result = -1;
  EXPECT_NO_THROW(result = UnpackerWindowProc(FakeWindows::UnpackerHandle, WmUser + 3, 0, 0));
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(Unpacker.Failure);
  EXPECT_EQ(windows.calls.back(), "PostQuit 1");
}

}  // namespace
}  // namespace stowaway
