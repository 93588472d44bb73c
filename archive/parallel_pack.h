// Packing an archive's entries on several threads at once, for the writer,
// which takes the packed streams in entry order and copies them into the
// archive. Each stream is packed exactly as the writer would pack it into
// the archive itself, so the archive's bytes do not depend on the number of
// threads.
//
// Memory stays bounded: a stream is held from when its packing starts until
// the writer takes it, and at most eight streams per thread are held at
// once; beyond two per thread, a stream is started only while the streams
// done and waiting for the writer hold less than a budget of bytes. The
// threads may thus run well ahead of a long entry that the writer waits
// for, which on a payload of many small files and a few large ones keeps
// every processor busy.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "compression/LZRW1.h"

namespace stowaway {

struct ArchiveItem;
class TStream;

// The machine's processors, at least 1.
int DefaultPackJobs();

class PackingPipeline {
 public:
  // Counts of one entry at a progress point: bytes read from its source,
  // bytes of its packed stream so far.
  using Progress = std::function<void(int32_t index, int32_t bytes_read, int32_t bytes_written)>;

  // Packs item into out with codec (one per thread); raises when it cannot.
  // It must leave the component's progress hook alone.
  using PackInto = std::function<void(Tlzrw1& codec, const ArchiveItem& item, TStream& out)>;
  // What one thread is packing, as the progress hook finds it.
  struct Packing;

  // Starts jobs threads (at least 2) packing items, folder entries left out.
  // items must outlive the pipeline. Until it is destroyed the component's
  // progress hook is the pipeline's, which every thread only reads.
  static constexpr size_t DefaultHeldBudget = size_t{64} << 20;
  PackingPipeline(const std::vector<ArchiveItem>& items, int jobs, PackInto pack,
                  size_t held_budget = DefaultHeldBudget);
  // Abandons the streams not taken and waits for the threads.
  ~PackingPipeline();
  PackingPipeline(const PackingPipeline&) = delete;
  PackingPipeline& operator=(const PackingPipeline&) = delete;

  // Waits for item index's packed stream, which must be the next file entry
  // in order, and hands it over. Meanwhile progress, on this thread, sees
  // the counts of every entry being packed as they move (points that come
  // faster than this thread takes them are merged; an entry's last call
  // carries its final counts). Raises what packing the entry raised.
  std::vector<uint8_t> Take(size_t index, const Progress& progress);

 private:
  struct Slot {
    enum class State { Waiting, Packing, Done } state = State::Waiting;
    std::vector<uint8_t> packed;
    std::exception_ptr failure;
    int32_t bytes_read = 0;
    int32_t bytes_written = 0;
    bool moved = false;  // counts not yet shown to progress
  };

  // Abandons what is not taken yet and waits for the threads.
  void Stop();
  void Work();
  void Pack(Tlzrw1& codec, size_t index);
  void Moved(const Packing& packing);
  // Shows every entry's counts that moved; called with the lock held, which
  // it lets go of around the calls.
  void ShowMoved(std::unique_lock<std::mutex>& lock, const Progress& progress);

  std::optional<HookInUse> hook_;  // the pipeline's, in place from start to stop
  const std::vector<ArchiveItem>& items_;
  PackInto pack_;
  size_t window_;       // the most streams held
  size_t free_window_;  // the streams held whatever their bytes
  size_t held_budget_;
  size_t held_bytes_ = 0;  // of the streams done and not yet taken
  std::vector<Slot> slots_;
  std::mutex mutex_;
  std::condition_variable changed_;  // a stream done, counts moved, or one taken
  size_t next_to_pack_ = 0;
  size_t next_to_take_ = 0;
  bool moved_ = false;  // some slot's counts moved
  bool abandoned_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace stowaway
