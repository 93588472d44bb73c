// The pipe between the extraction and the sender: every report, in order,
// the extraction held back once it is Capacity ahead, and neither end left
// waiting when the other stops.
#include "app/report_pipe.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace stowaway {
namespace {

ProgressReport Numbered(int32_t n) {
  ProgressReport report{};
  report.BytesRead = n;
  return report;
}

TEST(ReportPipe, EveryReportInOrderAndTheExtractionAtMostCapacityAhead) {
  constexpr int32_t Count = 2000;
  ReportPipe pipe;
  std::atomic<int32_t> put{0};
  std::thread extraction([&] {
    for (int32_t n = 0; n < Count; ++n) {
      pipe.Put(Numbered(n));
      ++put;
    }
    pipe.Close();
  });
  ProgressReport report{};
  int32_t taken = 0;
  while (pipe.Take(report)) {
    EXPECT_EQ(report.BytesRead, taken);
    ++taken;
    EXPECT_LE(put.load(), taken + static_cast<int32_t>(ReportPipe::Capacity)) << taken;
    // A slow front-end now and then, so that the pipe fills up.
    if (taken % 500 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  extraction.join();
  EXPECT_EQ(taken, Count);
  EXPECT_FALSE(pipe.Take(report));
}

TEST(ReportPipe, AnAbandonedPipeLetsTheExtractionFinish) {
  ReportPipe pipe;
  std::thread extraction([&] {
    for (int32_t n = 0; n < 10 * static_cast<int32_t>(ReportPipe::Capacity); ++n) pipe.Put(Numbered(n));
    pipe.Close();
  });
  ProgressReport report{};
  ASSERT_TRUE(pipe.Take(report));
  // Let the extraction fill the pipe and wait on it.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  pipe.Abandon();
  extraction.join();
  EXPECT_FALSE(pipe.Take(report));
}

}  // namespace
}  // namespace stowaway
