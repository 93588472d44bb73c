// Installers built by pack with the setup program, run as processes of
// their own under Wine: unattended with the switches deployment tools use,
// and through the wizard, whose controls the tests work as a person would.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include "archive/directory.h"
#include "archive/names.h"
#include "platform/form.h"
#include "platform/places.h"
#include "platform/process.h"
#include "platform/window.h"
#include "tests/e2e/pe_image.h"
#include "tests/support/test_data.h"
#include "tools/tool.h"

namespace stowaway {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;

constexpr uint32_t TimeOut = 60000;
constexpr char Title[] = "My Tool Setup";

std::string ProgramFolder() {
  const std::string own = NativeWindowSystem().ModulePath();
  return own.substr(0, own.find_last_of('\\'));
}

// Waits, a little at a time, until found gives a window.
WindowHandle WaitFor(const std::function<WindowHandle()>& found, int seconds = 30) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (const WindowHandle window = found(); window != WindowHandle::None) return window;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return WindowHandle::None;
}

class SetupInstall : public ::testing::Test {
 protected:
  SetupInstall() : installer(dir.File("setup.exe")), log(dir.File("setup log.txt")) {
    // Equal names in different folders, a folder in a folder, an empty file.
    Put("dist/README", testing::TextLike(3000, 1));
    Put("dist/lib/README", testing::TextLike(2000, 2));
    Put("dist/lib/deep/core.dll", testing::BinaryLike(200000, 3));
    Put("dist/res/README", testing::TextLike(10, 4));
    Put("dist/res/empty.dat", {});
    Put("LICENSE", testing::TextLike(2000, 5));
  }
  ~SetupInstall() override {
    Files().Delete(NativeWindowSystem().SystemFolderPath() + "\\stowaway-setup.exe");
  }

  void Put(const std::string& relative, const Bytes& content) {
    const fs::path path = dir.Path() / relative;
    fs::create_directories(path.parent_path());
    testing::WriteFileBytes(path, content);
    if (relative.rfind("dist/", 0) == 0) files[relative.substr(5)] = content;
  }

  void Pack(std::vector<std::string> more = {}) {
    std::vector<std::string> words = {"pack", "-q", "-o", installer, "--stub",
                                      ProgramFolder() + "\\unpacker.exe", "--setup-program",
                                      ProgramFolder() + "\\stowaway-setup.exe", "--name", "My Tool",
                                      "--version", "1.0"};
    words.insert(words.end(), more.begin(), more.end());
    words.push_back(dir.File("dist") + "\\.");
    ASSERT_EQ(RunTool(words), 0);
  }

  // Damages the large file's packed stream where it shows: its signature.
  void DamageCoreDll() {
    for (const ArchiveDirectoryEntry& entry : ReadDirectory(installer)) {
      if (entry.FileName != "core.dll") continue;
      std::fstream file(installer, std::ios::in | std::ios::out | std::ios::binary);
      file.seekp(entry.StartOffset);
      const std::string junk(4, '\x5A');
      file.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
  }

  // The installer's exit code, run with arguments; it must end in time, and
  // so must the setup program.
  uint32_t Run(const std::string& arguments, const std::function<void()>& meanwhile = {}) {
    ChildProcess process('"' + installer + "\" " + arguments);
    if (meanwhile) meanwhile();
    if (!process.WaitForExit(TimeOut)) {
      ADD_FAILURE() << "the installer did not end";
      process.Terminate();
      return UINT32_MAX;
    }
    const bool setup_ended = WaitFor([] {
      return FindTopWindow("fSplashScreen") == WindowHandle::None ? WindowHandle{1} : WindowHandle::None;
    }) != WindowHandle::None;
    EXPECT_TRUE(setup_ended) << "the setup program did not end";
    return process.ExitCode();
  }

  void ExpectInstalled(const fs::path& folder) {
    for (const auto& [relative, content] : files) {
      EXPECT_EQ(testing::ReadFileBytes(folder / relative), content) << relative;
    }
    // Nothing else: no staging folder, no copy of the setup program.
    EXPECT_EQ(testing::Listing(folder), (std::vector<std::string>{"README", "lib", "res"}));
    EXPECT_EQ(testing::Listing(folder / "lib"), (std::vector<std::string>{"README", "deep"}));
  }

  std::string LogText() const {
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  testing::TempDir dir;
  std::string installer;
  std::string log;
  std::map<std::string, Bytes> files;
};

// How often the system is to remove the setup program's copy at its next
// start.
size_t CopyMarkedForRemoval() {
  const std::string copy = NameIdentity(NativeWindowSystem().SystemFolderPath() + "\\stowaway-setup.exe");
  const std::vector<std::string> removals = RemovalsAtRestart();
  return static_cast<size_t>(std::count_if(removals.begin(), removals.end(),
                                           [&](const std::string& path) { return NameIdentity(path) == copy; }));
}

TEST_F(SetupInstall, SilentInstallBringsTheTreeIntactIntoANewFolderWithSpaces) {
  Pack();
  const size_t marked = CopyMarkedForRemoval();
  const fs::path folder = dir.Path() / "Program Files" / "My Tool";
  EXPECT_EQ(Run("/S /LOG=\"" + log + "\" /D=" + folder.string()), 0u);
  ExpectInstalled(folder);
  EXPECT_EQ(LogText(), "installing My Tool 1.0 into " + folder.string() +
                           "\nfile README\nfile lib\\README\nfile lib\\deep\\core.dll\n"
                           "file res\\README\nfile res\\empty.dat\noutcome: installed\nexit code 0\n");

  // /D= in quotes and with a trailing separator, over the files there; the
  // progress window only.
  EXPECT_EQ(Run("/SILENT /D=\"" + folder.string() + "\\\""), 0u);
  ExpectInstalled(folder);
  // Each run marked its copy for removal, once however many runs there are.
  EXPECT_EQ(CopyMarkedForRemoval(), std::max<size_t>(marked, 1));
}

TEST_F(SetupInstall, CorruptInstallerFailsNamingTheEntryAndLeavesNoPartialFile) {
  Pack();
  DamageCoreDll();
  const fs::path folder = dir.Path() / "target";
  EXPECT_EQ(Run("/S /LOG=\"" + log + "\" /D=" + folder.string()), 2u);
  const std::string text = LogText();
  EXPECT_NE(text.find("failed lib\\deep\\core.dll"), std::string::npos) << text;
  EXPECT_NE(text.find("exit code 2"), std::string::npos) << text;
  // The staging folder and the folders made for it are gone again.
  EXPECT_FALSE(fs::exists(folder));
}

// Files that replace nothing go to their places while the extraction goes
// on; when it fails, they are taken back, and the files of the earlier
// installation, which would have been replaced, are as they were.
TEST_F(SetupInstall, AFailedInstallOverAnEarlierOneLeavesItAsItWas) {
  Pack();
  const fs::path folder = dir.Path() / "target";
  ASSERT_EQ(Run("/S /D=" + folder.string()), 0u);
  const std::map<std::string, Bytes> earlier = files;

  Put("dist/README", testing::TextLike(4000, 6));
  Put("dist/aaa/new.txt", testing::TextLike(500, 7));
  installer = dir.File("setup 2.exe");
  Pack();
  DamageCoreDll();
  EXPECT_EQ(Run("/S /LOG=\"" + log + "\" /D=" + folder.string()), 2u);
  EXPECT_NE(LogText().find("failed lib\\deep\\core.dll"), std::string::npos) << LogText();
  files = earlier;
  ExpectInstalled(folder);
}

TEST_F(SetupInstall, UnattendedRunsEndWithTheirOwnExitCodes) {
  Pack();
  // A folder that cannot be made: a file stands in its way.
  Put("blocker", {});
  const fs::path below = dir.Path() / "blocker" / "Tool";
  EXPECT_EQ(Run("/S /LOG=\"" + log + "\" /D=" + below.string()), 7u);
  EXPECT_NE(LogText().find("outcome: the folder cannot be made\nexit code 7\n"), std::string::npos);
  EXPECT_EQ(Run("/S /D=relative\\folder"), 7u);
  // Unknown switches and /? end with the usage code, without a box under /S.
  EXPECT_EQ(Run("/S /NORESTART"), 6u);
  EXPECT_EQ(Run("/S /?"), 6u);
  EXPECT_EQ(testing::Listing(dir.Path()),
            (std::vector<std::string>{"LICENSE", "blocker", "dist", "setup log.txt", "setup.exe"}));
}

// The wizard's controls, found by what they show.
class Wizard {
 public:
  Wizard() : window_(WaitFor([] { return FindTopWindow(Title); })) {
    EXPECT_NE(window_, WindowHandle::None) << "no wizard window";
  }
  // Waits for the page whose heading is heading.
  void Page(const std::string& heading) {
    EXPECT_NE(WaitFor([&] { return Shown(heading); }), WindowHandle::None) << heading;
  }
  void Click(const std::string& text) {
    const WindowHandle control = WaitFor([&] { return Shown(text); });
    ASSERT_NE(control, WindowHandle::None) << text;
    Press(control);
  }
  void Key(stowaway::Key key) { PressKey(window_, key); }
  void Type(const std::string& text) {
    const WindowHandle edit = WaitFor([&] { return FindControlOfClass(window_, "Edit"); });
    ASSERT_NE(edit, WindowHandle::None);
    TypeInto(edit, text);
  }

 private:
  WindowHandle Shown(const std::string& text) {
    const WindowHandle control = FindControl(window_, text);
    return control != WindowHandle::None && IsShown(control) ? control : WindowHandle::None;
  }
  WindowHandle window_;
};

TEST_F(SetupInstall, WizardInstallsThroughItsPages) {
  Pack({"--license", dir.File("LICENSE")});
  const fs::path folder = dir.Path() / "chosen folder" / "Tool";
  const uint32_t code = Run("", [&] {
    Wizard wizard;
    wizard.Page("Welcome to My Tool Setup");
    wizard.Key(Key::Enter);  // the default button: Next
    wizard.Page("Licence agreement");
    wizard.Click("I &accept the terms of the licence agreement");
    wizard.Click("&Next >");
    wizard.Page("Installation folder");
    wizard.Type(folder.string());
    wizard.Click("&Install");
    wizard.Page("Installation complete");
    wizard.Click("&Finish");
  });
  EXPECT_EQ(code, 0u);
  ExpectInstalled(folder);
}

TEST_F(SetupInstall, DecliningTheLicenceOrEscapeCancelsWithNothingInstalled) {
  Pack({"--license", dir.File("LICENSE")});
  const uint32_t code = Run("/D=" + dir.File("never"), [&] {
    Wizard wizard;
    wizard.Click("&Next >");
    wizard.Page("Licence agreement");
    wizard.Click("Cancel");
  });
  EXPECT_EQ(code, 5u);
  // Esc on the first page cancels too.
  EXPECT_EQ(Run("/D=" + dir.File("never"), [&] {
              Wizard wizard;
              wizard.Page("Welcome to My Tool Setup");
              wizard.Key(Key::Escape);
            }),
            5u);
  EXPECT_FALSE(fs::exists(dir.File("never")));
}

// DPI-aware, with the current common controls, running as the unpacker
// does, and linked only against libraries the system loads from its own
// folder: the common controls library is loaded after the search is
// restricted.
TEST(SetupProgram, CarriesItsManifestAndImportsOnlyKnownSystemLibraries) {
  const testing::PeImage image = testing::ReadPeImage(ProgramFolder() + "\\stowaway-setup.exe");
  for (const char* part : {"<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true",
                           "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                           "<requestedExecutionLevel level=\"asInvoker\""}) {
    EXPECT_NE(image.manifest.find(part), std::string::npos) << part;
  }
  const std::vector<std::string> known = {"advapi32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll",
                                          "ole32.dll", "shell32.dll", "user32.dll"};
  for (std::string library : image.imports) {
    for (char& c : library) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(std::find(known.begin(), known.end(), library), known.end()) << library;
  }
}

}  // namespace
}  // namespace stowaway
