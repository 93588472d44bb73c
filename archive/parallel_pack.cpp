#include "archive/parallel_pack.h"

#include <memory>
#include <utility>

#include "archive/writer.h"
#include "compression/LZRW1.h"

namespace stowaway {
namespace {

// Thrown from a codec's progress point to stop packing a stream nobody
// will take.
struct Abandoned {};

}  // namespace

struct PackingPipeline::Packing {
  PackingPipeline* pipeline;
  Tlzrw1* codec;
  Slot* slot;
};

namespace {

// The stream the calling thread packs, if any: the one hook that every
// thread calls looks here.
thread_local const PackingPipeline::Packing* ThisThreadPacks = nullptr;

}  // namespace

int DefaultPackJobs() {
  const unsigned processors = std::thread::hardware_concurrency();
  return processors == 0 ? 1 : static_cast<int>(processors);
}

PackingPipeline::PackingPipeline(const std::vector<ArchiveItem>& items, int jobs, PackInto pack,
                                 size_t held_budget)
    : items_(items),
      pack_(std::move(pack)),
      window_(8 * static_cast<size_t>(jobs)),
      free_window_(2 * static_cast<size_t>(jobs)),
      held_budget_(held_budget),
      slots_(items.size()) {
  hook_.emplace([] {
    if (ThisThreadPacks != nullptr) ThisThreadPacks->pipeline->Moved(*ThisThreadPacks);
  });
  try {
    for (int k = 0; k < jobs; ++k) threads_.emplace_back([this] { Work(); });
  } catch (...) {
    Stop();
    throw;
  }
}

PackingPipeline::~PackingPipeline() { Stop(); }

void PackingPipeline::Stop() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    abandoned_ = true;
  }
  changed_.notify_all();
  for (std::thread& thread : threads_) {
    if (thread.joinable()) thread.join();
  }
  hook_.reset();
}

void PackingPipeline::Work() {
  std::unique_ptr<Tlzrw1> codec;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] {
      const size_t held = next_to_pack_ - next_to_take_;
      return abandoned_ || next_to_pack_ == items_.size() ||
             (held < window_ && (held < free_window_ || held_bytes_ < held_budget_));
    });
    if (abandoned_ || next_to_pack_ == items_.size()) return;
    const size_t index = next_to_pack_++;
    if (items_[index].IsFolder()) continue;
    slots_[index].state = Slot::State::Packing;
    lock.unlock();
    try {
      if (!codec) codec = std::make_unique<Tlzrw1>();
      Pack(*codec, index);
    } catch (...) {
      slots_[index].failure = std::current_exception();
    }
    lock.lock();
    slots_[index].state = Slot::State::Done;
    held_bytes_ += slots_[index].packed.size();
    changed_.notify_all();
  }
}

void PackingPipeline::Pack(Tlzrw1& codec, size_t index) {
  Slot& slot = slots_[index];
  TMemoryStream out;
  const Packing packing{this, &codec, &slot};
  ThisThreadPacks = &packing;
  try {
    pack_(codec, items_[index], out);
  } catch (...) {
    ThisThreadPacks = nullptr;
    throw;
  }
  ThisThreadPacks = nullptr;
  slot.packed = out.Data();
}

void PackingPipeline::Moved(const Packing& packing) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (abandoned_) throw Abandoned{};
  packing.slot->bytes_read = packing.codec->BytesRead;
  packing.slot->bytes_written = packing.codec->BytesWritten;
  packing.slot->moved = true;
  moved_ = true;
  changed_.notify_all();
}

void PackingPipeline::ShowMoved(std::unique_lock<std::mutex>& lock, const Progress& progress) {
  moved_ = false;
  for (size_t index = next_to_take_; index < next_to_pack_; ++index) {
    Slot& slot = slots_[index];
    if (!slot.moved) continue;
    slot.moved = false;
    const int32_t bytes_read = slot.bytes_read;
    const int32_t bytes_written = slot.bytes_written;
    if (!progress) continue;
    lock.unlock();
    progress(static_cast<int32_t>(index), bytes_read, bytes_written);
    lock.lock();
  }
}

std::vector<uint8_t> PackingPipeline::Take(size_t index, const Progress& progress) {
  std::unique_lock<std::mutex> lock(mutex_);
  Slot& slot = slots_[index];
  for (;;) {
    changed_.wait(lock, [&] { return moved_ || slot.state == Slot::State::Done; });
    ShowMoved(lock, progress);
    if (slot.state == Slot::State::Done && !slot.moved) break;
  }
  next_to_take_ = index + 1;
  held_bytes_ -= slot.packed.size();
  changed_.notify_all();
  if (slot.failure) std::rethrow_exception(slot.failure);
  return std::move(slot.packed);
}

}  // namespace stowaway
