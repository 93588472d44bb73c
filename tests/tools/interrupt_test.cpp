// Ctrl-C and requests to end: a real signal to a real stowaway process in
// the middle of its work leaves no half-written file, and a file that had
// the output's name before stays as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/tools/tool_fixture.h"

namespace stowaway {
namespace {

using testing::Bytes;
using testing::Outcome;

class Interrupt : public testing::ToolTest {
 protected:
  // Starts stowaway with arguments in the background, waits until its
  // temporary file `temporary` (with $pid for its process number) has data, sends the signal and waits for the
  // end. Prints "seen" once the file had data, then "status N". Signals are
  // restored to their defaults, as a shell ignores SIGINT in background
  // jobs; the shell's own word on the job's end is not wanted.
  Outcome Interrupted(const std::vector<std::string>& arguments, const std::string& temporary,
                      const std::string& signal) const {
    std::string command = "env --default-signal=" + signal + ' ' + testing::Quoted(testing::ToolPath());
    for (const std::string& argument : arguments) command += ' ' + testing::Quoted(argument);
    const std::string script = command + " &\n"
        "pid=$!\n"
        "temporary=" + temporary + "\n"
        "tries=0\n"
        "while [ ! -s \"$temporary\" ] && [ $tries -lt 6000 ]; do sleep 0.01; tries=$((tries + 1)); done\n"
        "[ -s \"$temporary\" ] && echo seen\n"
        "kill -" + signal + " $pid\n"
        "wait $pid 2>/dev/null\n"
        "echo status $?\n";
    return testing::RunScript(script, dir.Path().string());
  }
};

TEST_F(Interrupt, PackingStoppedBySignalLeavesTheOldInstallerAlone) {
  // A large file that costs no disk: packing it takes seconds.
  Put("payload/small.txt", testing::TextLike(1000, 41));
  std::filesystem::resize_file(At(Put("payload/zeros.bin", {})), 1500000000);
  Put("installer.exe", testing::ToBytes("the old one"));
  Put("stub.exe", stub);
  Put("setup.exe", front_end);
  for (const std::string signal : {"INT", "TERM"}) {
    const Outcome outcome = Interrupted(
        {"pack", "-f", "-o", "installer.exe", "--stub", "stub.exe", "--front-end", "setup.exe", "payload"},
        ".stowaway-$pid-0.tmp", signal);
    EXPECT_EQ(outcome.out, "seen\nstatus " + std::string(signal == "INT" ? "130" : "143") + "\n");
    EXPECT_EQ(outcome.err, "stowaway pack: interrupted; installer.exe was not written\n");
    EXPECT_EQ(Read("installer.exe"), testing::ToBytes("the old one"));
    EXPECT_EQ(Listing("."), (std::vector<std::string>{"installer.exe", "payload", "setup.exe", "stub.exe"}));
  }
}

TEST_F(Interrupt, ExtractionStoppedBySignalKeepsTheWholeFilesOnly) {
  // Noise unpacks slowest: a few megabytes give a long enough moment.
  Put("payload/a.txt", testing::TextLike(1000, 42));
  Put("payload/noise.bin", testing::RandomBytes(12000000, 43));
  ASSERT_EQ(Pack("installer.exe", {"payload"}).status, 0);
  // The third file written, after setup.exe and a.txt.
  const Outcome outcome =
      Interrupted({"extract", "-C", "out", "installer.exe"}, "out/.stowaway-$pid-2.tmp", "INT");
  EXPECT_EQ(outcome.out, "seen\nstatus 130\n");
  EXPECT_EQ(outcome.err, "stowaway extract: interrupted; out/noise.bin was not written\n");
  EXPECT_EQ(Listing("out"), (std::vector<std::string>{"a.txt", "setup.exe"}));
  EXPECT_EQ(Read("out/a.txt"), Read("payload/a.txt"));
}

}  // namespace
}  // namespace stowaway
