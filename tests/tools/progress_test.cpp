// The progress line: what it shows, and that it fits any terminal width.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tools/terminal/progress.h"
#include "tools/terminal/text.h"

namespace stowaway {
namespace {

ProgressState Halfway() {
  ProgressState state;
  state.verb = "extracting";
  state.done = 25'000'000;
  state.total = 50'000'000;
  state.files_done = 3;
  state.files = 12;
  state.seconds = 2;
  state.item = "caf\xC3\xA9-menu.txt";
  return state;
}

TEST(ProgressLine, ShowsFilesBytesSpeedAndTimeLeft) {
  EXPECT_EQ(ProgressLine(Halfway(), 120),
            "extracting  50%  3/12 files  25.0/50.0 MB  12.5 MB/s  0:02 left [###############"
            "...............] caf\xC3\xA9-menu.txt");
  ProgressState early = Halfway();
  early.seconds = 0.1;  // too soon to tell a speed
  EXPECT_EQ(ProgressLine(early, 80),
            "extracting  50%  3/12 files  25.0/50.0 MB [##########...........] caf\xC3\xA9-menu.txt");
  ProgressState small = Halfway();
  small.done = 512;
  small.total = 900;
  small.seconds = 1;
  EXPECT_THAT(ProgressLine(small, 200), ::testing::HasSubstr(" 56%  3/12 files  512/900 B  512 B/s  0:01 left ["));
  ProgressState slow = Halfway();
  slow.seconds = 10000;
  EXPECT_THAT(ProgressLine(slow, 200), ::testing::HasSubstr("  2 KB/s  2:46:40 left ["));
}

TEST(ProgressLine, FitsEveryWidthGivingUpTheLeastUsefulFirst) {
  for (int columns = 1; columns <= 140; ++columns) {
    const std::string line = ProgressLine(Halfway(), columns);
    EXPECT_LE(static_cast<int>(DisplayWidth(line)), std::max(columns - 1, 0)) << columns << ": " << line;
  }
  EXPECT_EQ(ProgressLine(Halfway(), 70), "extracting  50%  3/12 files  25.0/50.0 MB [#####......] caf\xC3\xA9-menu.txt");
  EXPECT_EQ(ProgressLine(Halfway(), 40), "extracting  50% [#####.....] caf\xC3\xA9-me...");
  EXPECT_EQ(ProgressLine(Halfway(), 20), "extracting  50%");
}

}  // namespace
}  // namespace stowaway
