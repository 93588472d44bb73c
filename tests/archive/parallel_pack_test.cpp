// Packing entries on several threads: the same archive whatever the number
// of threads, progress on the caller's thread with each entry's final counts
// last, and a bounded number of streams held (failures in entry order are in
// writer_test).
#include "archive/parallel_pack.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

#include "archive/writer.h"
#include "tests/support/test_data.h"

namespace stowaway {
namespace {

using testing::Bytes;

std::vector<ArchiveItem> Mixed(testing::TempDir& dir) {
  std::vector<ArchiveItem> items;
  const TCompressMode modes[] = {TCompressMode::Good, TCompressMode::Fast, TCompressMode::Auto};
  for (int i = 0; i < 14; ++i) {
    const std::string name = std::to_string(i) + ".dat";
    const Bytes data = i % 4 == 0   ? testing::TextLike(static_cast<size_t>(40000 + 9000 * i), i)
                       : i % 4 == 1 ? testing::RandomBytes(static_cast<size_t>(3000 * i), i)
                       : i % 4 == 2 ? Bytes{}
                                    : testing::Repetitive(70000, i);
    if (i == 5) items.push_back(ArchiveItem::Folder("d"));
    ByteSource source = ByteSource::Memory(data);
    if (i % 3 == 0) {
      testing::WriteFileBytes(dir.File(name), data);
      source = ByteSource::File(dir.File(name));
    }
    items.push_back({name, "", std::move(source), modes[i % 3]});
  }
  return items;
}

TEST(ParallelPack, TheSameArchiveAndFinalCountsWhateverTheJobs) {
  testing::TempDir dir;
  const std::vector<ArchiveItem> items = Mixed(dir);
  const ByteSource image = ByteSource::Memory(testing::BinaryLike(5000, 1));
  Bytes first;
  std::map<int32_t, std::pair<int32_t, int32_t>> first_final;
  for (int jobs : {1, 2, 3, 8}) {
    std::map<int32_t, std::pair<int32_t, int32_t>> final_counts;
    bool other_thread = false;
    bool went_back = false;
    const std::thread::id caller = std::this_thread::get_id();
    TMemoryStream out;
    WriteArchive(
        out, image, items, ArchiveLayout::FileNames,
        [&](int32_t index, int32_t read, int32_t written) {
          other_thread |= std::this_thread::get_id() != caller;
          const auto seen = final_counts.find(index);
          went_back |= seen != final_counts.end() && seen->second.first > read;
          final_counts[index] = {read, written};
        },
        jobs);
    EXPECT_FALSE(other_thread) << jobs;
    EXPECT_FALSE(went_back) << jobs;
    if (jobs == 1) {
      first = out.Data();
      first_final = final_counts;
      continue;
    }
    EXPECT_EQ(out.Data(), first) << jobs << " jobs";
    EXPECT_EQ(final_counts, first_final) << jobs << " jobs";
  }
}

// The most streams held at once while a slow writer takes streams of size
// bytes each; before taking the first it waits up to a few seconds for
// `ahead` streams to be started.
int MostHeld(int jobs, size_t size, size_t budget, int ahead) {
  std::vector<ArchiveItem> items(60);
  for (size_t i = 0; i < items.size(); ++i) items[i].FileName = std::to_string(i);
  std::atomic<int> started{0};
  std::atomic<int> taken{0};
  std::atomic<int> most{0};
  const auto pack = [&](Tlzrw1&, const ArchiveItem& item, TStream& out) {
    const int held = ++started - taken;
    for (int seen = most; held > seen && !most.compare_exchange_weak(seen, held);) {
    }
    std::string data = item.FileName;
    data.resize(size, '.');
    out.Write(data.data(), static_cast<int32_t>(data.size()));
  };
  PackingPipeline pipeline(items, jobs, pack, budget);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (started < ahead && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  for (size_t i = 0; i < items.size(); ++i) {
    const std::vector<uint8_t> packed = pipeline.Take(i, {});
    EXPECT_EQ(std::string(packed.begin(), packed.begin() + static_cast<ptrdiff_t>(items[i].FileName.size())),
              items[i].FileName);
    ++taken;
    if (i % 8 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return most;
}

TEST(ParallelPack, HoldsAFixedNumberOfStreamsAndFewerOnceTheyHoldMuch) {
  // Eight for each of the 3 jobs, and the one just handed over.
  const int many = MostHeld(3, 10, PackingPipeline::DefaultHeldBudget, 24);
  EXPECT_LE(many, 25);
  EXPECT_GE(many, 24) << "the threads run ahead of a slow writer";
  // Past the budget only two for each job, and the one just handed over.
  EXPECT_LE(MostHeld(3, 2000, 1000, 0), 7);
}

}  // namespace
}  // namespace stowaway
